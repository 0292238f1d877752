#include "mkestrunewidget.h"

#include "linkmode.h"
#include "mkestruneform.h"
#include "mtcpserver.h"
#include "peertext.h"
#include "readpass.h"
#include "tcpclose.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpSocket>
#include <QUdpSocket>

#include <utility>

void mKestruneWidget::applyLinkView(LinkMode linkMode)
{
    const bool targetRow = linkMode != TcpServerLink;
    const bool serverRows = linkMode == TcpServerLink;
    ui->labelSpaceUdp->setVisible(targetRow);
    ui->lEditUdpIP->setVisible(targetRow);
    ui->labelUdp->setVisible(targetRow);
    ui->labelUdp1->setVisible(targetRow);
    ui->lEditUdpPort->setVisible(targetRow);
    ui->labelClients->setVisible(serverRows);
    ui->cBoxClients->setVisible(serverRows);
    ui->labelSpaceClients->setVisible(serverRows);
    ui->cBox_chatMode->setVisible(serverRows);
    ui->cBox_echoMode->setVisible(serverRows);
}

void mKestruneWidget::on_cBoxNetType_currentIndexChanged(int index)
{
    applyLinkView(LinkMode(index));
    switch (index) {
    case UdpLink:
        ui->label_Port->setText(tr("本地端口"));
        ui->label_IP->setText(tr("本地IP地址"));
        ui->labelUdp->setText(tr("目标IP地址"));
        ui->labelUdp1->setText(tr("目标端口"));
        break;
    case TcpServerLink:
        ui->label_Port->setText(tr("本地端口"));
        ui->label_IP->setText(tr("本地IP地址"));
        break;
    case TcpClientLink:
        ui->label_Port->setText(tr("服务器端口"));
        ui->label_IP->setText(tr("服务器IP地址"));
        ui->labelUdp->setText(tr("本地IP地址"));
        ui->labelUdp1->setText(tr("本地端口"));
        break;
    default:
        break;
    }
}

void mKestruneWidget::on_pBtnNetCnnt_clicked(bool checked)
{
    if (!checked) {
        closeLink();
        return;
    }

    switch (ui->cBoxNetType->currentIndex()) {
    case UdpLink:
        if (!openUdpLink())
            return;
        break;
    case TcpServerLink:
        setFieldAddress(localHostAddr, ui->lEditIpAddr->text());
        localPort = typedPortNumber(ui->lEditIpPort->text());
        if (!slotTryCreateTcpServer()) {
            refuseLink(tr("尝试建立服务器失败! 请确认网络状态和端口。"));
            return;
        }
        ui->CurState->setText(tr("建立TCP服务器成功"));
        break;
    case TcpClientLink:
        if (!openTcpClientLink())
            return;
        break;
    default:
        ui->pBtnNetCnnt->setChecked(false);
        return;
    }

    ui->pBtnNetCnnt->setText(tr(" 断开网络"));
    ui->pBtnSendData->setEnabled(true);
}

void mKestruneWidget::closeLink()
{
    // What the link delivered is shown and counted before it closes.
    rcvFlow.finish();
    releaseLinks();
    ui->pBtnNetCnnt->setText(tr(" 连接网络"));
    ui->pBtnSendData->setEnabled(false);
    ui->CurState->setText(QString());
}

void mKestruneWidget::tcpClientEnded()
{
    // The server ended the connection. What it sent before is read, shown
    // and counted first; then the link closes as a click would close it.
    if (!tcpClientSocket || tcpClientSocket->state() != QAbstractSocket::UnconnectedState)
        return;
    if (tcpClientSocket->bytesAvailable() > 0) {
        tcpClientReadPass.queue();
        return;
    }
    ui->pBtnNetCnnt->setChecked(false);
    closeLink();
}

bool mKestruneWidget::openUdpLink()
{
    udpSocket = new QUdpSocket(this);
    connect(udpSocket, &QUdpSocket::readyRead, this, &mKestruneWidget::udpDataReceived);
    setFieldAddress(localHostAddr, ui->lEditIpAddr->text());
    localPort = typedPortNumber(ui->lEditIpPort->text());
    setFieldAddress(udpTargetAddr, ui->lEditUdpIP->text());
    udpTargetPort = typedPortNumber(ui->lEditUdpPort->text());
    if (!udpSocket->bind(quint16(localPort))) {
        // An unbound socket is no link: drop it, so nothing can send on it.
        delete udpSocket;
        udpSocket = nullptr;
        refuseLink(tr("UDP绑定端口失败!"));
        return false;
    }
    // A larger kernel buffer rides out short stalls of the window at high
    // datagram rates; the system may grant less.
    udpSocket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, UdpReceiveBufferSize);
    ui->CurState->setText(tr("建立UDP连接成功"));
    return true;
}

bool mKestruneWidget::openTcpClientLink()
{
    if (!setFieldAddress(*tcpServerAddr, ui->lEditIpAddr->text())) {
        refuseLink(tr("TCP服务器IP设置失败!"));
        return false;
    }
    tcpClientSocket = new QTcpSocket(this);
    tcpClientSocket->setReadBufferSize(TcpReadBufferSize);
    connect(tcpClientSocket, &QTcpSocket::readyRead, this, &mKestruneWidget::tcpClientDataReceived);
    tcpClientSocket->connectToHost(*tcpServerAddr, portFromText(ui->lEditIpPort->text()),
                                   QIODevice::ReadWrite);
    if (!tcpClientSocket->waitForConnected(2000)) {
        tcpClientSocket->disconnect(this);
        tcpClientSocket->abort();
        tcpClientSocket->deleteLater();
        tcpClientSocket = nullptr;
        ui->lEditUdpPort->setText(QStringLiteral("0"));
        refuseLink(tr("尝试连接服务器失败! 请确认服务器状态。"));
        return false;
    }
    connect(tcpClientSocket, &QTcpSocket::disconnected, this, &mKestruneWidget::tcpClientEnded);
    ui->lEditUdpPort->setText(QString::number(tcpClientSocket->localPort()));
    ui->CurState->setText(tr("连接TCP服务器成功"));
    return true;
}

void mKestruneWidget::refuseLink(const QString &message)
{
    ui->pBtnNetCnnt->setChecked(false);
    QMessageBox::information(this, tr("错误"), message);
}

void mKestruneWidget::releaseLinks()
{
    // Whatever link is actually open is closed, whichever type the selector
    // shows now. Signals are cut first so a closed link reports nothing.
    if (udpSocket) {
        udpSocket->disconnect(this);
        udpSocket->close();
        udpSocket->deleteLater();
        udpSocket = nullptr;
    }
    if (tcpServer)
        slotDeleteTcpServer();
    if (tcpClientSocket) {
        // Bytes still queued are written before the connection closes; the
        // socket goes once it has, or after a grace period when the server
        // stops reading.
        QTcpSocket *socket = std::exchange(tcpClientSocket, nullptr);
        socket->disconnect(this);
        closeWhenWritten(socket, this, closingGraceMs);
    }
}

bool mKestruneWidget::slotTryCreateTcpServer()
{
    // A field that holds no address is no place to listen: Qt would take it
    // for every address of the machine.
    if (localHostAddr.isNull())
        return false;
    tcpServer = new mTcpServer(this);
    if (!tcpServer->listen(localHostAddr, quint16(localPort))) {
        // A server that does not listen is no link.
        delete tcpServer;
        tcpServer = nullptr;
        return false;
    }
    connect(tcpServer, &mTcpServer::updateTcpServer, this, &mKestruneWidget::tcpServerDataReceived);
    connect(this, &mKestruneWidget::sendDataToClient, tcpServer, &mTcpServer::sendDataToClient);
    connect(tcpServer, &mTcpServer::addClientLink, this, &mKestruneWidget::addClientLink);
    connect(tcpServer, &mTcpServer::removeClientLink, this, &mKestruneWidget::removeClientLink);
    return true;
}

void mKestruneWidget::slotDeleteTcpServer()
{
    if (!tcpServer)
        return;
    QObject::disconnect(tcpServer, nullptr, nullptr, nullptr);
    // The port is free at once; each client still gets what was queued for
    // it, and none of them reports anything more.
    tcpServer->close();
    tcpServer->closeClients(this, closingGraceMs);
    delete tcpServer;
    tcpServer = nullptr;
    // No departure was reported: the list starts empty for the next server.
    clearClientList();
}

bool mKestruneWidget::linkExists(LinkMode linkMode) const
{
    switch (linkMode) {
    case UdpLink:
        return udpSocket != nullptr;
    case TcpServerLink:
        return tcpServer != nullptr;
    case TcpClientLink:
        return tcpClientSocket != nullptr;
    }
    return false;
}

qint64 mKestruneWidget::queuedBytes(LinkMode linkMode) const
{
    if (linkMode == TcpServerLink && tcpServer)
        return tcpServer->largestPendingWrite();
    if (linkMode == TcpClientLink && tcpClientSocket)
        return tcpClientSocket->bytesToWrite();
    return 0;
}

void mKestruneWidget::on_lEditUdpPort_textChanged(QString text)
{
    udpTargetPort = typedPortNumber(text);
}

void mKestruneWidget::on_lEditUdpIP_textChanged(QString text)
{
    setFieldAddress(udpTargetAddr, text);
}
