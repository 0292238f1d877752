#include "mkestrunewidget.h"

#include "fileopen.h"
#include "filesend.h"
#include "mkestruneform.h"
#include "mtcpserver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

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
    const QPointer<mKestruneWidget> alive(this);
    on_pBtnResetCnt_clicked();
    ui->pBtnSendData->setText(tr("正在发送"));
    ui->pBtnSendData->setEnabled(false);
    insertDateTimeInRcvDisp();
    rcvArea.appendNote(tr("开始发送..."));

    fileSendRunning = true;
    toSendFile();
    if (!alive)
        return; // the window went away while events ran under the send
    fileSendRunning = false;

    insertDateTimeInRcvDisp();
    rcvArea.appendNote(tr("发送完成！"));
    rcvArea.appendNote(tr("共发送数据：") + sendTotalText(sndByteCnt) + QStringLiteral("MB"));
    ui->pBtnSendData->setText(tr("发送"));
    // A link closed during the send leaves nothing to send on.
    ui->pBtnSendData->setEnabled(ui->pBtnNetCnnt->isChecked());
}

void mKestruneWidget::toSendFile()
{
    if (!dataFile)
        return;

    // Events run under the send: the link, the file or the window itself may
    // be gone after any of them, and the send then ends at once.
    const QPointer<mKestruneWidget> alive(this);
    const QPointer<QFile> file(dataFile);
    const LinkMode linkMode = LinkMode(ui->cBoxNetType->currentIndex());
    const int clientIndex = linkMode == TcpServerLink ? ui->cBoxClients->currentIndex() : -1;
    const bool wasVisible = isVisible();
    auto sendGoesOn = [&] {
        return alive && file && file == dataFile && file->isOpen() && linkExists(linkMode)
            && !(wasVisible && !isVisible());
    };

    // Every send starts at the beginning of the file.
    if (!file->isSequential())
        file->seek(0);
    const qint64 total = file->bytesAvailable();
    const int shift = progressShift(total);
    const int progressMaximum = int(total >> shift);
    ui->SndProgressBar->setMaximum(progressMaximum);
    ui->SndProgressBar->show();
    ui->SndProgressBar->setValue(0);

    qint64 sent = 0;
    auto showProgress = [&] {
        ui->lEdit_SndCnt->setText(QString::number(sndByteCnt));
        ui->SndProgressBar->setValue(int(qMin<qint64>(sent >> shift, progressMaximum)));
    };
    QElapsedTimer sinceDisplay;
    sinceDisplay.start();
    int chunksSincePass = 0;
    char chunk[FileChunk];
    QString refusal;

    // The end is where a read returns nothing: a device such as /dev/zero
    // reports nothing available in advance, yet never ends.
    while (sendGoesOn()) {
        const qint64 n = file->read(chunk, FileChunk);
        if (n <= 0)
            break; // the end of the file, or a failed read
        // A chunk the link did not take is neither counted nor followed by
        // more: a refusal (a target that is no address) holds for the rest.
        if (writeToLink(linkMode, clientIndex, QByteArrayView(chunk, n), &refusal) != LinkWrite::Taken)
            break;
        sndByteCnt += quint32(n);
        sent += n;
        if (sinceDisplay.hasExpired(SendDisplayIntervalMs)) {
            showProgress();
            sinceDisplay.restart();
        }

        if (linkMode == UdpLink) {
            msDelay(FileDatagramGapMs);
        } else if (++chunksSincePass == FileChunksPerPass || queuedBytes(linkMode) > MaxQueuedBytes) {
            chunksSincePass = 0;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            // A slow peer must not make the file pile up in memory.
            while (sendGoesOn() && queuedBytes(linkMode) > MaxQueuedBytes)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    if (!alive)
        return;
    showProgress();
    ui->SndProgressBar->hide();
    if (!refusal.isEmpty())
        QMessageBox::information(this, tr("错误"), refusal);
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
