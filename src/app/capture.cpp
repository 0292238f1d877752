#include "mkestrunewidget.h"

#include "fileopen.h"
#include "filesend.h"
#include "mkestruneform.h"
#include "rcvsave.h"
#include "sendareaload.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

#include <memory>

void mKestruneWidget::on_StartRcvFile_clicked(bool checked)
{
    if (!checked) {
        rcvArea.replace(QString());
        closeRcvFile();
        return;
    }
    // What was read before the click is shown before the dialog.
    rcvArea.flush();

    const QString fileName = chooseAnyFile(tr("建立接收文件"));
    if (fileName.isEmpty()) {
        ui->StartRcvFile->setChecked(false);
        return;
    }

    // Capture has a file of its own: the data source's file is never touched.
    closeRcvFile();
    rcvFileName = fileName;
    rcvFile = new QFile(rcvFileName);
    if (!openAtOnce(*rcvFile, QIODevice::WriteOnly | QIODevice::Truncate)) {
        closeRcvFile();
        ui->StartRcvFile->setChecked(false);
        return;
    }
    rcvArea.replace(tr("接收数据保存到文件：\n") + rcvFileName + QStringLiteral("\n"));
    on_pBtnResetCnt_clicked();
}

void mKestruneWidget::closeRcvFile()
{
    delete rcvFile; // closing flushes what is still buffered
    rcvFile = nullptr;
}

void mKestruneWidget::captureRcvChunk(QByteArrayView chunk)
{
    if (!rcvFile || !rcvFile->isOpen())
        return;
    if (rcvFile->write(chunk.data(), chunk.size()) == chunk.size())
        return;
    // The file takes no more: a pipe whose reader has left, a full disk.
    // Capture ends as a start that could not open its file ends: the switch
    // is unchecked, the receive area keeps what it shows, and the chunks
    // that follow are displayed again, after the capture notice rather than
    // before it. The chunk that failed is lost.
    closeRcvFile();
    ui->StartRcvFile->setChecked(false);
    rcvArea.moveCursorToEnd();
}

void mKestruneWidget::on_pBtnSaveRcvData_clicked()
{
    if (!roomForFileDialog()) {
        QMessageBox::information(this, tr("错误"), tr("保存文件失败。"));
        return;
    }
    const QString fileName = QFileDialog::getSaveFileName(this, tr("保存接收区内容到文本文件"), QString(),
                                                          tr("文本文件(*.txt)"));
    if (fileName.isEmpty())
        return;

    // A save still running ends before the file is opened: it may be the
    // same file.
    rcvArea.finishSave();
    auto file = std::make_unique<QFile>(fileName);
    if (!openAtOnce(*file, QIODevice::WriteOnly | QIODevice::Truncate)) {
        QMessageBox::information(this, tr("错误"), tr("保存文件失败。"));
        return;
    }
    // Everything read up to now is saved. The text is written in passes,
    // as it stands now, while received text goes on joining the area;
    // written in the locale's encoding, lines joined by single line feeds,
    // without a byte-order mark.
    RcvSave *save = rcvArea.save(std::move(file), this);
    connect(save, &RcvSave::progress, this, &mKestruneWidget::showRcvSave);
    connect(save, &RcvSave::finished, this, &mKestruneWidget::rcvSaveEnded);
    save->start();
}

void mKestruneWidget::showRcvSave(qint64 done, qint64 total)
{
    // A file send or a load into the send area keeps the bar it shows.
    if (fileSend || sendAreaLoad)
        return;
    const int shift = progressShift(total);
    ui->SndProgressBar->setMaximum(int(total >> shift));
    ui->SndProgressBar->setValue(int(done >> shift));
    ui->SndProgressBar->show();
}

void mKestruneWidget::rcvSaveEnded(bool saved)
{
    if (!fileSend && !sendAreaLoad)
        ui->SndProgressBar->hide();
    if (saved)
        return;
    // Told from the event loop, once the save has gone.
    QTimer::singleShot(0, this, [this] { QMessageBox::information(this, tr("错误"), tr("保存文件失败。")); });
}
