#include "mkestrunewidget.h"

#include "hexcodec.h"
#include "mkestruneform.h"
#include "mtcpserver.h"
#include "writequeue.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

void mKestruneWidget::on_pBtnSendData_clicked()
{
    if (ui->cBoxStartSndFile->isChecked()) {
        sendDataFile();
        return;
    }
    if (ui->tEditSendText->document()->isEmpty()) {
        QMessageBox::information(this, tr("提示"), tr("发送区为空，请输入内容。"));
        return;
    }
    if (!ui->cBoxLoopSnd->isChecked()) {
        toSendData();
        if (ui->cBox_AntoClearSnd->isChecked())
            ui->tEditSendText->clear();
        return;
    }
    if (!loopSndTimer)
        return;
    if (loopSndRunning) {
        loopSndTimer->stop();
        ui->pBtnSendData->setText(tr("发送"));
        loopSndRunning = false;
    } else {
        // The first send comes one interval from now.
        ui->pBtnSendData->setText(tr("停止发送"));
        loopSndTimer->start();
        loopSndRunning = true;
    }
}

void mKestruneWidget::toSendData()
{
    const QString text = ui->tEditSendText->toPlainText();
    const QByteArray payload = ui->cBox_SndHexDisp->isChecked() ? parseSendHex(text) : text.toLocal8Bit();
    if (payload.isEmpty())
        return;
    const LinkMode linkMode = LinkMode(ui->cBoxNetType->currentIndex());
    // A loop tick leaves a peer that does not keep up alone: while the link
    // holds more than the bound queued, the tick sends and counts nothing,
    // as when no link is open, and the loop goes on.
    if (loopSndTimer && sender() == loopSndTimer && queuedBytes(linkMode) > MaxQueuedBytes)
        return;
    const int target = ui->cBoxClients->currentIndex();
    if (writeToLink(linkMode, target, payload))
        countSndBytes(payload.size());
}

bool mKestruneWidget::writeToLink(LinkMode linkMode, int clientIndex, QByteArrayView bytes)
{
    // A copy the server call may point into; the bytes are queued on the
    // sockets before the call returns.
    QByteArray buffer = bytes.toByteArray();
    switch (linkMode) {
    case UdpLink:
        if (!udpSocket)
            return false;
        udpSocket->writeDatagram(buffer, udpTargetAddr, quint16(udpTargetPort));
        return true;
    case TcpServerLink:
        if (!tcpServer)
            return false;
        // Item 0 stands for every client; an index past the list (nobody
        // listed, or a client that has left) reaches nobody.
        if (clientIndex == 0)
            emit sendDataToClient(buffer.data(), int(buffer.size()), 0, 0);
        else if (clientIndex > 0 && clientIndex < socketDescriptorList.size())
            emit sendDataToClient(buffer.data(), int(buffer.size()), socketDescriptorList.at(clientIndex), 0);
        return true;
    case TcpClientLink:
        if (!tcpClientSocket)
            return false;
        if (tcpClientSocket->state() == QAbstractSocket::ConnectedState)
            tcpClientSocket->write(buffer);
        return true;
    }
    return false;
}

void mKestruneWidget::countSndBytes(qint64 length)
{
    sndByteCnt += quint32(length);
    ui->lEdit_SndCnt->setText(QString::number(sndByteCnt));
}

void mKestruneWidget::on_cBoxLoopSnd_toggled(bool checked)
{
    if (checked) {
        delete loopSndTimer;
        loopSndTimer = new QTimer(this);
        connect(loopSndTimer, &QTimer::timeout, this, &mKestruneWidget::toSendData);
        const int interval = ui->lEdit_Interval_ms->text().toInt(nullptr, 10);
        if (interval > 0)
            loopSndTimer->setInterval(interval);
        else
            ui->cBoxLoopSnd->setChecked(false); // runs the branch below
        return;
    }
    if (loopSndTimer) {
        loopSndTimer->stop();
        loopSndTimer->deleteLater();
        loopSndTimer = nullptr;
    }
    // A file send keeps the button to itself until it ends.
    if (!fileSendRunning)
        ui->pBtnSendData->setEnabled(true);
    if (loopSndRunning) {
        ui->pBtnSendData->setText(tr("发送"));
        loopSndRunning = false;
    }
}

void mKestruneWidget::on_lEdit_Interval_ms_editingFinished()
{
    const int interval = ui->lEdit_Interval_ms->text().toInt(nullptr, 10);
    if (interval > 0 && loopSndTimer)
        loopSndTimer->setInterval(interval);
}

void mKestruneWidget::on_pBtnClearSndDisp_clicked()
{
    ui->tEditSendText->clear();
}
