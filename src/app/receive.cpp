#include "mkestrunewidget.h"

#include "mkestruneform.h"
#include "peertext.h"
#include "rcvdisplay.h"
#include "readpass.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

void mKestruneWidget::udpDataReceived()
{
    // Under a flood the flow spaces passes that emptied the socket, so one
    // wake-up reads many datagrams instead of one each.
    if (!rcvFlow.udpPassMayStart())
        return;
    // Datagrams left over are announced again by the socket. Each is read
    // into a buffer that holds the largest, which spares asking its size,
    // and reading goes on until the socket has none: a read that finds
    // nothing costs one call, where asking first would cost one for every
    // datagram.
    const ReadBudget budget;
    QByteArray datagram(MaxDatagramSize, Qt::Uninitialized);
    QHostAddress lastSender;
    quint16 lastSenderPort = 0;
    QString source;
    for (int datagrams = 0; udpSocket; ++datagrams) {
        if (datagrams == MaxDatagramsPerPass || budget.spent())
            break;
        if (rcvFlow.readsHeld())
            return; // the kernel holds the rest until the area has caught up
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 got = udpSocket->readDatagram(datagram.data(), datagram.size(), &sender, &senderPort);
        if (got < 0) {
            rcvFlow.udpPassDrained();
            break; // none left, or a failure the socket reports again
        }
        if (source.isNull() || senderPort != lastSenderPort || sender != lastSender) {
            source = udpSourceText(sender, senderPort);
            lastSender = sender;
            lastSenderPort = senderPort;
        }
        showRcvChunk(QByteArrayView(datagram.constData(), got), source);
        countRcvBytes(got);
    }
}

void mKestruneWidget::tcpClientDataReceived()
{
    tcpClientReadPass.queue();
}

void mKestruneWidget::readTcpClient()
{
    const ReadBudget budget;
    while (tcpClientSocket && tcpClientSocket->bytesAvailable() > 0) {
        if (budget.spent()) {
            tcpClientReadPass.queue();
            break;
        }
        if (rcvFlow.readsHeld())
            return; // TCP holds the server back until the area has caught up
        const QByteArray chunk = tcpClientSocket->read(qMin(tcpClientSocket->bytesAvailable(), MaxTcpChunk));
        if (chunk.isEmpty())
            break;
        showRcvChunk(chunk, tcpServerText(ui->lEditIpAddr->text(), ui->lEditIpPort->text()));
        countRcvBytes(chunk.size());
    }
    // A server that has ended the connection has now been read to the end.
    if (tcpClientSocket && tcpClientSocket->bytesAvailable() == 0)
        tcpClientEnded();
}

void mKestruneWidget::tcpServerDataReceived(char *msg, int length, int socketDescriptorEx)
{
    const int index = socketDescriptorList.indexOf(socketDescriptorEx);
    const QString source = index >= 0 && index < ui->cBoxClients->count() ? ui->cBoxClients->itemText(index)
                                                                           : QString();
    showRcvChunk(QByteArrayView(msg, length), source);

    // Group chat: every chunk goes on to the clients, captured, paused or
    // shown alike; with echo on the sender gets it back as well.
    if (ui->cBox_chatMode->isChecked())
        emit sendDataToClient(msg, length, 0, ui->cBox_echoMode->isChecked() ? 0 : socketDescriptorEx);

    countRcvBytes(length);
}

void mKestruneWidget::showRcvChunk(QByteArrayView chunk, const QString &source)
{
    // A chunk is captured raw, before any display switch is read.
    if (ui->StartRcvFile->isChecked()) {
        captureRcvChunk(chunk);
        return;
    }
    if (ui->cBox_PauseShowRcv->isChecked())
        return;

    // The chunk is rendered now, by the switches as they stand, into text
    // that waits for the next frame.
    rcvArea.prepare();
    if (source != lastRcvSource) {
        lastRcvSource = source;
        if (rcvArea.hasText())
            rcvArea.insert(QStringLiteral("\n"));
        rcvArea.insert(rcvHeaderText(source));
    }
    if (ui->cBox_ShowRcvTime->isChecked())
        insertDateTimeInRcvDisp();
    if (!chunk.isEmpty()) {
        if (ui->cBox_RcvHexDisp->isChecked())
            rcvArea.insertData(rcvHexText(chunk), LineBreaks::HexGroups);
        else
            rcvArea.insertData(QString::fromUtf8(chunk), LineBreaks::AnyCharacter);
    }
    rcvFlow.chunkAdded();
}

void mKestruneWidget::resumeRcvReading()
{
    if (udpSocket)
        QTimer::singleShot(0, this, &mKestruneWidget::udpDataReceived);
    if (tcpClientSocket)
        tcpClientDataReceived();
}

void mKestruneWidget::showRcvCount(quint32 count)
{
    ui->lEdit_RcvCnt->setText(QString::number(count));
}

void mKestruneWidget::rcvEventLoopIdle()
{
    if (!rcvFlow.framePending())
        return;
    // Quiet: nothing more is waiting to be read on the link.
    const bool quiet = !(udpSocket && udpSocket->hasPendingDatagrams())
        && !(tcpClientSocket && (tcpClientReadPass.isQueued() || tcpClientSocket->bytesAvailable() > 0));
    rcvFlow.idle(quiet);
}

void mKestruneWidget::closeEvent(QCloseEvent *event)
{
    rcvArea.finish();
    QWidget::closeEvent(event);
}

void mKestruneWidget::countRcvBytes(qint64 length)
{
    rcvByteCnt += quint32(length);
    rcvFlow.counted(rcvByteCnt);
}

void mKestruneWidget::insertDateTimeInRcvDisp()
{
    rcvArea.appendLine(rcvStamp.now());
}

void mKestruneWidget::on_pBtnClearRcvDisp_clicked()
{
    // What was read before the click goes with the rest.
    rcvArea.replace(QString());
}
