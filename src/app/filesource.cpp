#include "mkestrunewidget.h"

#include "fileopen.h"
#include "filesend.h"
#include "mkestruneform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <chrono>

void mKestruneWidget::on_cBoxStartSndFile_clicked(bool checked)
{
    if (!checked) {
        rcvArea.replace(QString());
        closeDataFile();
        return;
    }

    const QString fileName = chooseAnyFile(tr("选择发送文件"));
    if (fileName.isEmpty()) {
        ui->cBoxStartSndFile->setChecked(false);
        return;
    }

    closeDataFile();
    dataFileName = fileName;
    dataFile = new QFile(dataFileName);
    if (!openAtOnce(*dataFile, QIODevice::ReadOnly)) {
        closeDataFile();
        ui->cBoxStartSndFile->setChecked(false);
        return;
    }
    rcvArea.replace(tr("从文件发送数据：\n") + dataFileName + QStringLiteral("\n"));
}

void mKestruneWidget::closeDataFile()
{
    delete dataFile;
    dataFile = nullptr;
}

void mKestruneWidget::sendDataFile()
{
    if (fileSend)
        return; // one send at a time
    on_pBtnResetCnt_clicked();
    ui->pBtnSendData->setText(tr("正在发送"));
    ui->pBtnSendData->setEnabled(false);
    insertDateTimeInRcvDisp();
    rcvArea.appendNote(tr("开始发送..."));
    // The send goes on in passes and ends in fileSendEnded.
    if (dataFile)
        toSendFile();
    else
        fileSendEnded(QString());
}

void mKestruneWidget::toSendFile()
{
    if (!dataFile)
        return;
    // The link is the one open at the click, and in server mode the client
    // chosen then; the send ends when that link closes or the window does.
    const LinkMode linkMode = LinkMode(ui->cBoxNetType->currentIndex());
    const int clientIndex = linkMode == TcpServerLink ? ui->cBoxClients->currentIndex() : -1;
    const bool wasVisible = isVisible();
    FileSender::Link link;
    link.write = [this, linkMode, clientIndex](QByteArrayView chunk, QString *refusal) {
        if (writeToLink(linkMode, clientIndex, chunk, refusal) != LinkWrite::Taken)
            return false;
        sndByteCnt += quint32(chunk.size());
        return true;
    };
    link.queued = [this, linkMode] { return queuedBytes(linkMode); };
    link.goesOn = [this, linkMode, wasVisible] { return linkExists(linkMode) && !(wasVisible && !isVisible()); };
    link.datagrams = linkMode == UdpLink;
    fileSend = new FileSender(dataFile, std::move(link), this);
    connect(fileSend, &FileSender::progress, this, &mKestruneWidget::showFileSend);
    connect(fileSend, &FileSender::finished, this, &mKestruneWidget::fileSendEnded);
    fileSend->start();
}

void mKestruneWidget::showFileSend(qint64 sent, qint64 total)
{
    const int shift = progressShift(total);
    ui->SndProgressBar->setMaximum(int(total >> shift));
    // A file that grows while it is sent, or a device of no size, sends
    // more than the bar's maximum.
    ui->SndProgressBar->setValue(int(qMin(sent, total) >> shift));
    ui->SndProgressBar->show();
    ui->lEdit_SndCnt->setText(QString::number(sndByteCnt));
}

void mKestruneWidget::fileSendEnded(const QString &refusal)
{
    fileSend = nullptr;
    ui->SndProgressBar->hide();
    insertDateTimeInRcvDisp();
    rcvArea.appendNote(tr("发送完成！"));
    rcvArea.appendNote(tr("共发送数据：") + sendTotalText(sndByteCnt) + QStringLiteral("MB"));
    ui->pBtnSendData->setText(tr("发送"));
    // A link closed during the send leaves nothing to send on.
    ui->pBtnSendData->setEnabled(ui->pBtnNetCnnt->isChecked());
    if (!refusal.isEmpty())
        QTimer::singleShot(0, this, [this, refusal] { QMessageBox::information(this, tr("错误"), refusal); });
}

void mKestruneWidget::msDelay(uint msec)
{
    // Waits in the event loop on a precise timer, measured on a clock that
    // does not jump, instead of spinning.
    QElapsedTimer clock;
    clock.start();
    const qint64 wait = qint64(msec) * 1000 * 1000;
    while (clock.nsecsElapsed() < wait) {
        const qint64 left = (wait - clock.nsecsElapsed() + 999999) / 1000000;
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(left), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
}
