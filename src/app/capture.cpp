#include "mkestrunewidget.h"

#include "fileopen.h"
#include "mkestruneform.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextStream>

void mKestruneWidget::on_StartRcvFile_clicked(bool checked)
{
    if (!checked) {
        rcvFlow.drop();
        ui->ReceiveTextEdit->clear();
        closeRcvFile();
        return;
    }
    // What was read before the click is shown before the dialog.
    rcvFlow.flush();

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
    rcvFlow.drop();
    ui->ReceiveTextEdit->setPlainText(tr("接收数据保存到文件：\n") + rcvFileName + QStringLiteral("\n"));
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
    ui->ReceiveTextEdit->moveCursor(QTextCursor::End);
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

    QFile file(fileName);
    bool saved = openAtOnce(file, QIODevice::WriteOnly | QIODevice::Truncate);
    if (saved) {
        // Written in the locale's encoding, lines joined by single line
        // feeds, without a byte-order mark.
        QTextStream out(&file);
        out.setEncoding(QStringConverter::System);
        // Everything read up to now is in the area first.
        rcvFlow.flush();
        out << ui->ReceiveTextEdit->toPlainText();
        out.flush();
        saved = out.status() == QTextStream::Ok;
        file.close();
        saved = saved && file.error() == QFileDevice::NoError;
    }
    if (!saved)
        QMessageBox::information(this, tr("错误"), tr("保存文件失败。"));
}
