#include "peer.h"

#include "kestruneprobe.h"
#include "mtcpserver.h"
#include "teststep.h"

#include <QNetworkDatagram>
#include <QTest>

#include <algorithm>

namespace testsupport {

QByteArray Peer::bytes(int i)
{
    while (udp.state() == QAbstractSocket::BoundState && udp.hasPendingDatagrams())
        datagrams.append(udp.receiveDatagram().data());
    if (sockets.empty())
        return datagrams.join();
    streams.resize(sockets.size());
    streams[size_t(i)] += sockets[size_t(i)]->readAll();
    return streams[size_t(i)];
}

QUdpSocket &Peer::sender(int i)
{
    if (i == 0) {
        if (udp.state() != QAbstractSocket::BoundState && !udp.bind(QHostAddress::LocalHost, 0))
            qFatal("cannot bind a UDP socket on 127.0.0.1");
        return udp;
    }
    while (senders.size() < size_t(i)) {
        senders.push_back(std::make_unique<QUdpSocket>());
        if (!senders.back()->bind(QHostAddress::LocalHost, 0))
            qFatal("cannot bind a UDP socket on 127.0.0.1");
    }
    return *senders[size_t(i - 1)];
}

void Peer::stopReading()
{
    for (const auto &socket : sockets)
        socket->setReadBufferSize(4096);
}

void Peer::addClient(const Window &window)
{
    const mTcpServer *server = window.serverLink();
    QVERIFY(server);
    const int before = KestruneProbe::clientLinkCount(*window.w);
    sockets.push_back(std::make_unique<QTcpSocket>());
    sockets.back()->connectToHost(QHostAddress::LocalHost, server->serverPort());
    QTRY_COMPARE_WITH_TIMEOUT(KestruneProbe::clientLinkCount(*window.w), before + 1, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(sockets.back()->state(), QAbstractSocket::ConnectedState, Timeout);
}

void Peer::take()
{
    QTRY_VERIFY_WITH_TIMEOUT(listener.hasPendingConnections(), Timeout);
    sockets.emplace_back(listener.nextPendingConnection());
    sockets.back()->setParent(nullptr);
}

const char *modeName(int mode)
{
    switch (mode) {
    case UdpLink:
        return "UDP";
    case TcpServerLink:
        return "server";
    default:
        return "client";
    }
}

void openLink(const Window &window, int mode, quint16 port)
{
    QVERIFY2(window.open(LinkMode(mode), port), modeName(mode));
    QVERIFY(window.sendButton()->isEnabled());
}

void openLink(const Window &window, Peer &peer, int mode, int clientCount)
{
    window.netType()->setCurrentIndex(mode);
    quint16 port = 0;
    if (mode == UdpLink) {
        if (peer.udp.state() != QAbstractSocket::BoundState) {
            QVERIFY(peer.udp.bind(QHostAddress::LocalHost, 0));
            // Datagrams are taken as they come, so none is lost to a full buffer.
            QObject::connect(&peer.udp, &QUdpSocket::readyRead, &peer.udp, [&peer] { peer.bytes(); });
        }
        window.udpIp()->setText(QStringLiteral("127.0.0.1"));
        window.udpPort()->setText(QString::number(peer.udp.localPort()));
    } else if (mode == TcpClientLink) {
        if (!peer.listener.isListening())
            QVERIFY(peer.listener.listen(QHostAddress::LocalHost, 0));
        port = peer.listener.serverPort();
    }
    STEP(openLink(window, mode, port));
    if (mode == TcpClientLink)
        STEP(peer.take());
    for (int i = 0; mode == TcpServerLink && i < clientCount; ++i)
        STEP(peer.addClient(window));
}

void closeLink(const Window &window)
{
    QVERIFY(window.netButton()->isChecked());
    window.toggleNet();
    QVERIFY(!window.netButton()->isChecked());
    QVERIFY(!window.udpLink());
    QVERIFY(!window.serverLink());
    QVERIFY(!window.clientLink());
}

void sendDatagramToWindow(const Window &window, const QByteArray &bytes)
{
    const quint32 before = window.received();
    QUdpSocket sender;
    QCOMPARE(sender.writeDatagram(bytes, QHostAddress::LocalHost, window.udpLink()->localPort()), qint64(bytes.size()));
    QTRY_COMPARE_WITH_TIMEOUT(window.received(), before + quint32(bytes.size()), Timeout);
    // The receive area shows what was read a frame later.
    QTRY_VERIFY_WITH_TIMEOUT(KestruneProbe::rcvShown(*window.w), Timeout);
}

QString clientListBreach(const Window &window)
{
    const int count = KestruneProbe::clientLinkCount(*window.w);
    const QList<int> &descriptors = KestruneProbe::socketDescriptorList(*window.w);
    const int items = window.clients()->count();
    if (count == 0) {
        if (items == 0 && descriptors.isEmpty())
            return {};
    } else if (items == count + 1 && descriptors.size() == count + 1
               && window.clients()->itemText(0) == QStringLiteral("全部连接") && descriptors.first() == 0) {
        QList<int> sorted = descriptors;
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end())
            return {};
    }
    return QStringLiteral("count %1, %2 items, %3 descriptors").arg(count).arg(items).arg(descriptors.size());
}

} // namespace testsupport
