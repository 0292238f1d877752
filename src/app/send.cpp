#include "mkestrunewidget.h"

#include "hexcodec.h"
#include "filesend.h"
#include "mkestruneform.h"
#include "mtcpserver.h"
#include "bounds.h"

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
        if (ui->cBox_AntoClearSnd->isChecked()) {
            stopSendAreaLoad();
            ui->tEditSendText->clear();
        }
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
    // A loop tick skips silently what a click on the send button reports.
    const bool tick = loopSndTimer && sender() == loopSndTimer;
    const QString text = ui->tEditSendText->toPlainText();
    const QByteArray payload = sendPayload(text, ui->cBox_SndHexDisp->isChecked());
    if (payload.isEmpty())
        return;
    const LinkMode linkMode = LinkMode(ui->cBoxNetType->currentIndex());
    // A loop tick leaves a peer that does not keep up alone: while the link
    // holds more than the bound queued, the tick sends and counts nothing,
    // as when no link is open, and the loop goes on.
    if (tick && queuedBytes(linkMode) > MaxQueuedBytes)
        return;
    const int target = ui->cBoxClients->currentIndex();
    QString refusal;
    const LinkWrite written = writeToLink(linkMode, target, payload, &refusal);
    if (written == LinkWrite::Taken)
        countSndBytes(payload.size());
    else if (written == LinkWrite::Refused && !tick)
        QMessageBox::information(this, tr("错误"), refusal);
}

mKestruneWidget::LinkWrite mKestruneWidget::writeToLink(LinkMode linkMode, int clientIndex, QByteArrayView bytes,
                                                       QString *refusal)
{
    // A copy the server call may point into; the bytes are queued on the
    // sockets before the call returns.
    QByteArray buffer = bytes.toByteArray();
    switch (linkMode) {
    case UdpLink:
        if (!udpSocket)
            return LinkWrite::NoLink;
        // A target field that holds no address names no target: the
        // datagram must not go to whatever the field held before. Port 0
        // (also an empty field, or 65536) is no destination either.
        if (udpTargetAddr.isNull()) {
            *refusal = tr("目标IP地址无效! 数据未发送。");
            return LinkWrite::Refused;
        }
        if (quint16(udpTargetPort) == 0) {
            *refusal = tr("目标端口无效! 数据未发送。");
            return LinkWrite::Refused;
        }
        if (udpSocket->writeDatagram(buffer, udpTargetAddr, quint16(udpTargetPort)) != buffer.size()) {
            *refusal = udpSocket->error() == QAbstractSocket::DatagramTooLargeError
                ? tr("数据超出一个UDP数据报的最大长度! 数据未发送。")
                : tr("UDP发送失败! 数据未发送。");
            return LinkWrite::Refused;
        }
        return LinkWrite::Taken;
    case TcpServerLink:
        if (!tcpServer)
            return LinkWrite::NoLink;
        // Item 0 stands for every client; an index past the list (nobody
        // listed, or a client that has left) reaches nobody, and is still
        // counted, as a send to every client of none is.
        if (clientIndex == 0)
            emit sendDataToClient(buffer.data(), int(buffer.size()), 0, 0);
        else if (clientIndex > 0 && clientIndex < socketDescriptorList.size())
            emit sendDataToClient(buffer.data(), int(buffer.size()), socketDescriptorList.at(clientIndex), 0);
        return LinkWrite::Taken;
    case TcpClientLink:
        if (!tcpClientSocket || tcpClientSocket->state() != QAbstractSocket::ConnectedState)
            return LinkWrite::NoLink;
        if (tcpClientSocket->write(buffer) != buffer.size()) {
            *refusal = tr("发送失败! 数据未发送。");
            return LinkWrite::Refused;
        }
        return LinkWrite::Taken;
    }
    return LinkWrite::NoLink;
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
    if (!fileSend)
        ui->pBtnSendData->setEnabled(true);
    if (loopSndRunning && !fileSend)
        ui->pBtnSendData->setText(tr("发送"));
    loopSndRunning = false;
}

void mKestruneWidget::on_lEdit_Interval_ms_editingFinished()
{
    const int interval = ui->lEdit_Interval_ms->text().toInt(nullptr, 10);
    if (interval > 0 && loopSndTimer)
        loopSndTimer->setInterval(interval);
}

void mKestruneWidget::on_pBtnClearSndDisp_clicked()
{
    // A load still running ends with the text it put in.
    stopSendAreaLoad();
    ui->tEditSendText->clear();
}
