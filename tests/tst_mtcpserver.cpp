#include "declarations.h"
#include "loopback.h"
#include "mtcpserver.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMultiHash>
#include <QPointer>
#include <QSocketNotifier>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

// The server class on its own, with real QTcpSocket clients on the loopback
// addresses: arrivals, deliveries, departures and targeted writes, seen
// from both ends of every connection.
class tst_MTcpServer final : public QObject
{
    Q_OBJECT

private slots:
    void declaresTheContract_data();
    void declaresTheContract();
    void namesClients_data();
    void namesClients();
    void deliversChunks_data();
    void deliversChunks();
    void drainsEveryClientOnOneNotice_data();
    void drainsEveryClientOnOneNotice();
    void reportsDeparture_data();
    void reportsDeparture();
    void reusedDescriptorNamesOneClient();
    void sendsToTargets_data();
    void sendsToTargets();
    void sendsNothingWithoutClients_data();
    void sendsNothingWithoutClients();
    void deletionClosesClients_data();
    void deletionClosesClients();
};

namespace {

using testsupport::ipv6LoopbackAvailable;

// Bounded waits, generous enough for a loaded two-core machine.
constexpr int Timeout = 10000;

struct Notice
{
    QString text;
    int descriptor = 0;
};

struct Chunk
{
    QByteArray bytes;
    int descriptor = 0;
    bool zeroAfterLast = false;
};

// Everything the server tells its window, recorded as it is emitted.
struct ServerLog
{
    QList<Notice> arrivals;
    QList<Notice> departures;
    QList<Chunk> chunks;
    // Receiver of the connections, so they end with the log.
    QObject receiver;

    explicit ServerLog(mTcpServer &server)
    {
        QObject::connect(&server, &mTcpServer::addClientLink, &receiver,
                         [this](const QString &text, int descriptor) { arrivals.append({text, descriptor}); });
        QObject::connect(&server, &mTcpServer::removeClientLink, &receiver,
                         [this](const QString &text, int descriptor) { departures.append({text, descriptor}); });
        // The bytes are only guaranteed during the call: copy them here,
        // and look at the byte after the last one while it is still there.
        QObject::connect(&server, &mTcpServer::updateTcpServer, &receiver,
                         [this](char *msg, int length, int descriptor) {
                             chunks.append({QByteArray(msg, length), descriptor, msg[length] == 0});
                         });
    }

    QByteArray bytesFrom(int descriptor) const
    {
        QByteArray all;
        for (const Chunk &chunk : chunks) {
            if (chunk.descriptor == descriptor)
                all += chunk.bytes;
        }
        return all;
    }
};

bool connectClient(QTcpSocket &client, const QHostAddress &address, quint16 port, const ServerLog &log)
{
    const qsizetype before = log.arrivals.size();
    client.connectToHost(address, port);
    return QTest::qWaitFor([&] { return log.arrivals.size() > before; }, Timeout)
           && QTest::qWaitFor([&] { return client.state() == QAbstractSocket::ConnectedState; }, Timeout);
}

// The server's own end of a client's connection.
QTcpSocket *serverSideOf(mTcpServer &server, const QTcpSocket &client)
{
    const auto sockets = server.findChildren<QTcpSocket *>();
    for (QTcpSocket *socket : sockets) {
        if (socket->peerPort() == client.localPort() && socket->state() == QAbstractSocket::ConnectedState)
            return socket;
    }
    return nullptr;
}

// Reads from a client until a byte arrives that ends what was sent.
QByteArray readUpTo(QTcpSocket &client, char last)
{
    QByteArray got;
    // The caller compares what arrived, so a timeout shows as a mismatch.
    (void)QTest::qWaitFor([&] {
        got += client.readAll();
        return got.endsWith(last);
    }, Timeout);
    return got;
}

} // namespace

// The window connects to these by signature: the server's own signals and
// slots against their table.
void tst_MTcpServer::declaresTheContract_data()
{
    testsupport::addDeclarationRows(mTcpServer::staticMetaObject);
}

void tst_MTcpServer::declaresTheContract()
{
    QFETCH(QString, declared);
    QFETCH(QString, listed);
    QCOMPARE(declared, listed);
}

void tst_MTcpServer::namesClients_data()
{
    QTest::addColumn<QHostAddress>("listenOn");
    QTest::addColumn<QHostAddress>("connectTo");
    QTest::addColumn<QString>("host");

    QTest::newRow("IPv4 loopback") << QHostAddress(QHostAddress::LocalHost)
                                   << QHostAddress(QHostAddress::LocalHost) << "127.0.0.1";
    // A dual-stack server sees an IPv4 client as ::ffff:127.0.0.1; the
    // client is still named by its IPv4 address.
    QTest::newRow("any address, IPv4 client") << QHostAddress(QHostAddress::Any)
                                              << QHostAddress(QHostAddress::LocalHost) << "127.0.0.1";
    QTest::newRow("IPv6 loopback") << QHostAddress(QHostAddress::LocalHostIPv6)
                                   << QHostAddress(QHostAddress::LocalHostIPv6) << "::1";
    QTest::newRow("any address, IPv6 client") << QHostAddress(QHostAddress::Any)
                                              << QHostAddress(QHostAddress::LocalHostIPv6) << "::1";
}

void tst_MTcpServer::namesClients()
{
    QFETCH(QHostAddress, listenOn);
    QFETCH(QHostAddress, connectTo);
    QFETCH(QString, host);

    if (connectTo.protocol() == QAbstractSocket::IPv6Protocol && !ipv6LoopbackAvailable())
        QSKIP("no IPv6 loopback on this machine");

    mTcpServer server;
    ServerLog log(server);
    QVERIFY(server.listen(listenOn, 0));

    QTcpSocket first;
    QTcpSocket second;
    QVERIFY(connectClient(first, connectTo, server.serverPort(), log));
    QVERIFY(connectClient(second, connectTo, server.serverPort(), log));

    // Two arrivals, in order of acceptance, each named "address:port" by the
    // client's own port, each with the descriptor of its server-side socket.
    QCOMPARE(log.arrivals.size(), 2);
    const QString firstText = host + ':' + QString::number(first.localPort());
    const QString secondText = host + ':' + QString::number(second.localPort());
    QCOMPARE(log.arrivals[0].text, firstText);
    QCOMPARE(log.arrivals[1].text, secondText);
    QTcpSocket *firstEnd = serverSideOf(server, first);
    QTcpSocket *secondEnd = serverSideOf(server, second);
    QVERIFY(firstEnd && secondEnd);
    QCOMPARE(log.arrivals[0].descriptor, int(firstEnd->socketDescriptor()));
    QCOMPARE(log.arrivals[1].descriptor, int(secondEnd->socketDescriptor()));
    QVERIFY(log.arrivals[0].descriptor > 0);
    QVERIFY(log.arrivals[0].descriptor != log.arrivals[1].descriptor);
    QVERIFY(log.departures.isEmpty());

    // Departures name each client exactly as its arrival did.
    first.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(log.departures.size(), 1, Timeout);
    second.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(log.departures.size(), 2, Timeout);
    QCOMPARE(log.departures[0].text, firstText);
    QCOMPARE(log.departures[1].text, secondText);
}

void tst_MTcpServer::deliversChunks_data()
{
    QTest::addColumn<QByteArray>("payload");

    QTest::newRow("hello") << QByteArray("hello");
    QTest::newRow("one byte") << QByteArray("\x7f");
    QTest::newRow("zero bytes inside") << QByteArray("a\0b\0\0c", 6);
    QByteArray large(256 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char('A' + i % 23);
    QTest::newRow("256 KiB") << large;
}

void tst_MTcpServer::deliversChunks()
{
    QFETCH(QByteArray, payload);

    mTcpServer server;
    ServerLog log(server);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket first;
    QTcpSocket second;
    QVERIFY(connectClient(first, QHostAddress::LocalHost, server.serverPort(), log));
    QVERIFY(connectClient(second, QHostAddress::LocalHost, server.serverPort(), log));
    const int firstDescriptor = log.arrivals[0].descriptor;
    const int secondDescriptor = log.arrivals[1].descriptor;

    // The second client sends first: each chunk names its own sender.
    second.write(payload);
    QTRY_COMPARE_WITH_TIMEOUT(log.bytesFrom(secondDescriptor).size(), payload.size(), Timeout);
    first.write(payload);
    QTRY_COMPARE_WITH_TIMEOUT(log.bytesFrom(firstDescriptor).size(), payload.size(), Timeout);

    QCOMPARE(log.bytesFrom(firstDescriptor), payload);
    QCOMPARE(log.bytesFrom(secondDescriptor), payload);
    for (const Chunk &chunk : std::as_const(log.chunks)) {
        QVERIFY(chunk.bytes.size() >= 1);
        QVERIFY2(chunk.zeroAfterLast, "no zero byte after the last received byte");
        QVERIFY(chunk.descriptor == firstDescriptor || chunk.descriptor == secondDescriptor);
    }
    // All of the second client's bytes came before any of the first's.
    QCOMPARE(log.chunks.first().descriptor, secondDescriptor);
    QCOMPARE(log.chunks.last().descriptor, firstDescriptor);
}

void tst_MTcpServer::drainsEveryClientOnOneNotice_data()
{
    QTest::addColumn<int>("notifying");

    QTest::newRow("notice from the first client") << 0;
    QTest::newRow("notice from the second client") << 1;
}

void tst_MTcpServer::drainsEveryClientOnOneNotice()
{
    QFETCH(int, notifying);
    const int silent = 1 - notifying;

    mTcpServer server;
    ServerLog log(server);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket clients[2];
    for (QTcpSocket &client : clients)
        QVERIFY(connectClient(client, QHostAddress::LocalHost, server.serverPort(), log));
    QTcpSocket *silentEnd = serverSideOf(server, clients[silent]);
    QVERIFY(silentEnd);

    // Let the server-side socket of one client take in its bytes without
    // announcing them: they wait in its buffer, and no notice of its own
    // will ever come for them.
    silentEnd->blockSignals(true);
    clients[silent].write("waiting");
    QTRY_COMPARE_WITH_TIMEOUT(silentEnd->bytesAvailable(), qint64(7), Timeout);
    silentEnd->blockSignals(false);
    QVERIFY(log.chunks.isEmpty());

    // The other client's data makes one notice, which delivers both, in the
    // order in which the clients were accepted.
    clients[notifying].write("fresh");
    QTRY_COMPARE_WITH_TIMEOUT(log.bytesFrom(log.arrivals[notifying].descriptor), QByteArray("fresh"), Timeout);
    QCOMPARE(log.bytesFrom(log.arrivals[silent].descriptor), QByteArray("waiting"));
    QCOMPARE(log.chunks.size(), 2);
    QCOMPARE(log.chunks[0].descriptor, log.arrivals[0].descriptor);
    QCOMPARE(log.chunks[1].descriptor, log.arrivals[1].descriptor);
    QVERIFY(log.chunks[0].zeroAfterLast && log.chunks[1].zeroAfterLast);
}

void tst_MTcpServer::reportsDeparture_data()
{
    QTest::addColumn<int>("leaver");
    QTest::addColumn<bool>("abort");

    QTest::newRow("first closes") << 0 << false;
    QTest::newRow("second closes") << 1 << false;
    QTest::newRow("first resets") << 0 << true;
    QTest::newRow("second resets") << 1 << true;
}

void tst_MTcpServer::reportsDeparture()
{
    QFETCH(int, leaver);
    QFETCH(bool, abort);
    const int stayer = 1 - leaver;

    mTcpServer server;
    ServerLog log(server);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket clients[2];
    for (QTcpSocket &client : clients)
        QVERIFY(connectClient(client, QHostAddress::LocalHost, server.serverPort(), log));
    QPointer<QTcpSocket> leaverEnd = serverSideOf(server, clients[leaver]);
    QPointer<QTcpSocket> stayerEnd = serverSideOf(server, clients[stayer]);
    QVERIFY(leaverEnd && stayerEnd);

    if (abort) {
        // A zero linger time makes the close a reset instead of a goodbye.
        const linger resetOnClose{1, 0};
        QCOMPARE(::setsockopt(int(clients[leaver].socketDescriptor()), SOL_SOCKET, SO_LINGER,
                              &resetOnClose, sizeof resetOnClose), 0);
        clients[leaver].abort();
    } else {
        clients[leaver].disconnectFromHost();
    }
    QTRY_COMPARE_WITH_TIMEOUT(log.departures.size(), 1, Timeout);
    QCOMPARE(log.departures[0].text, log.arrivals[leaver].text);
    QCOMPARE(log.departures[0].descriptor, -1);
    // The ended connection's socket goes away by itself; the other stays.
    QTRY_VERIFY_WITH_TIMEOUT(leaverEnd.isNull(), Timeout);
    QVERIFY(stayerEnd);

    // The departed client is out of the list: writing to all reaches only
    // the one that stays, and its own later departure names it, not the
    // first leaver again.
    QByteArray hello("hi");
    server.sendDataToClient(hello.data(), int(hello.size()), 0, 0);
    QCOMPARE(readUpTo(clients[stayer], 'i'), QByteArray("hi"));
    clients[stayer].disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(log.departures.size(), 2, Timeout);
    QCOMPARE(log.departures[1].text, log.arrivals[stayer].text);
    QCOMPARE(log.departures[1].descriptor, -1);
    QTRY_VERIFY_WITH_TIMEOUT(server.findChildren<QTcpSocket *>().isEmpty(), Timeout);
}

// A client leaves with bytes still to deliver and the next connection gets
// its descriptor number: every chunk and arrival still names one client.
void tst_MTcpServer::reusedDescriptorNamesOneClient()
{
    mTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    // Descriptor to listed client texts, kept as the notices come.
    QMultiHash<int, QString> listed;
    QStringList faults;
    QObject receiver;
    QObject::connect(&server, &mTcpServer::addClientLink, &receiver, [&](const QString &text, int descriptor) {
        if (listed.contains(descriptor))
            faults.append(QStringLiteral("%1 arrived while %2 is listed under %3").arg(text, listed.value(descriptor)).arg(descriptor));
        listed.insert(descriptor, text);
    });
    QObject::connect(&server, &mTcpServer::removeClientLink, &receiver,
                     [&](const QString &text, int) { listed.remove(listed.key(text), text); });
    qint64 delivered = 0;
    QObject::connect(&server, &mTcpServer::updateTcpServer, &receiver, [&](char *, int length, int descriptor) {
        delivered += length;
        if (listed.count(descriptor) != 1)
            faults.append(QStringLiteral("a chunk from %1 with %2 listed under it").arg(descriptor).arg(listed.count(descriptor)));
    });

    // Plain sockets, made before the server's ends exist, so that the only
    // number to free is the first client's at the server.
    const int first = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int second = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QVERIFY(first >= 0 && second >= 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(server.serverPort());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto *to = reinterpret_cast<const sockaddr *>(&address);
    QCOMPARE(::connect(first, to, sizeof address), 0);
    QCOMPARE(::send(first, "a", 1, MSG_NOSIGNAL), ssize_t(1));
    QTRY_COMPARE_WITH_TIMEOUT(delivered, qint64(1), Timeout);
    // The first client says goodbye. The second one arrives meanwhile, and
    // the server hears of it in the same pass of its event loop as of the
    // goodbye, right after it: the number the goodbye frees is the one the
    // new connection gets.
    QTcpSocket *firstEnd = server.findChild<QTcpSocket *>();
    auto *acceptNotice = server.findChild<QSocketNotifier *>();
    QVERIFY(firstEnd && acceptNotice);
    bool arrived = false;
    QObject::connect(firstEnd, &QTcpSocket::disconnected, &receiver, [&] {
        arrived = ::connect(second, to, sizeof address) == 0 && ::send(second, "b", 1, MSG_NOSIGNAL) == 1;
        QEvent notice(QEvent::SockAct);
        QCoreApplication::sendEvent(acceptNotice, &notice);
    });
    QCOMPARE(::shutdown(first, SHUT_WR), 0);
    QTRY_VERIFY_WITH_TIMEOUT(arrived, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(delivered, qint64(2), Timeout);
    QTRY_VERIFY_WITH_TIMEOUT(listed.size() == 1, Timeout);
    ::close(first);
    ::close(second);
    QCOMPARE(faults, QStringList());
}

void tst_MTcpServer::sendsToTargets_data()
{
    // Clients are numbered 1 to 3 in order of arrival; in the descriptor
    // columns 0 is 0, 1..3 the descriptor of that client, 7 a descriptor
    // that no client has, and -1 is -1.
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("excluded");
    QTest::addColumn<QString>("receivers");

    QTest::newRow("(0, 0) all") << 0 << 0 << "123";
    QTest::newRow("(d1, 0) first only") << 1 << 0 << "1";
    QTest::newRow("(d2, 0) second only") << 2 << 0 << "2";
    QTest::newRow("(d3, 0) last only") << 3 << 0 << "3";
    QTest::newRow("(0, d1) all but first") << 0 << 1 << "23";
    QTest::newRow("(0, d2) all but second") << 0 << 2 << "13";
    QTest::newRow("(0, d3) all but last") << 0 << 3 << "12";
    QTest::newRow("(unknown, 0) nobody") << 7 << 0 << "";
    QTest::newRow("(-1, 0) nobody") << -1 << 0 << "";
    QTest::newRow("(0, unknown) all") << 0 << 7 << "123";
    QTest::newRow("(d2, d2) target wins") << 2 << 2 << "2";
    QTest::newRow("(d2, d1) exclusion not looked at") << 2 << 1 << "2";
    QTest::newRow("(unknown, d1) nobody") << 7 << 1 << "";
}

void tst_MTcpServer::sendsToTargets()
{
    QFETCH(int, target);
    QFETCH(int, excluded);
    QFETCH(QString, receivers);

    mTcpServer server;
    ServerLog log(server);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket clients[3];
    for (QTcpSocket &client : clients)
        QVERIFY(connectClient(client, QHostAddress::LocalHost, server.serverPort(), log));

    int unknown = 1000;
    for (const Notice &arrival : std::as_const(log.arrivals))
        unknown = std::max(unknown, arrival.descriptor + 1000);
    const auto descriptorOf = [&](int code) {
        if (code >= 1 && code <= 3)
            return log.arrivals[code - 1].descriptor;
        return code == 7 ? unknown : code;
    };

    // The bytes hold zeros, so only their length says where they end; the
    // buffer is overwritten as soon as the call returns.
    const QByteArray payload("ab\0cd", 5);
    QByteArray buffer = payload;
    server.sendDataToClient(buffer.data(), int(buffer.size()), descriptorOf(target), descriptorOf(excluded));
    buffer.fill('X');

    // A marker to everybody afterwards shows what each client got before it.
    QByteArray marker("#");
    server.sendDataToClient(marker.data(), 1, 0, 0);
    for (int i = 0; i < 3; ++i) {
        const bool selected = receivers.contains(QChar('1' + i));
        const QByteArray expected = selected ? payload + '#' : QByteArray("#");
        QCOMPARE(readUpTo(clients[i], '#'), expected);
    }
    QVERIFY(log.chunks.isEmpty());
}

void tst_MTcpServer::sendsNothingWithoutClients_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("excluded");
    QTest::addColumn<bool>("afterDeparture");

    QTest::newRow("(0, 0) never a client") << 0 << 0 << false;
    QTest::newRow("(5, 0) never a client") << 5 << 0 << false;
    QTest::newRow("(0, 5) never a client") << 0 << 5 << false;
    QTest::newRow("(0, 0) the only client left") << 0 << 0 << true;
    QTest::newRow("(0, 5) the only client left") << 0 << 5 << true;
}

void tst_MTcpServer::sendsNothingWithoutClients()
{
    QFETCH(int, target);
    QFETCH(int, excluded);
    QFETCH(bool, afterDeparture);

    mTcpServer server;
    ServerLog log(server);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    if (afterDeparture) {
        QTcpSocket gone;
        QVERIFY(connectClient(gone, QHostAddress::LocalHost, server.serverPort(), log));
        gone.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(log.departures.size(), 1, Timeout);
        QTRY_VERIFY_WITH_TIMEOUT(server.findChildren<QTcpSocket *>().isEmpty(), Timeout);
    }

    QByteArray data("lost");
    server.sendDataToClient(data.data(), int(data.size()), target, excluded);

    // Nothing was kept for clients that come later.
    QTcpSocket late;
    QVERIFY(connectClient(late, QHostAddress::LocalHost, server.serverPort(), log));
    QByteArray marker("#");
    server.sendDataToClient(marker.data(), 1, 0, 0);
    QCOMPARE(readUpTo(late, '#'), QByteArray("#"));
}

void tst_MTcpServer::deletionClosesClients_data()
{
    QTest::addColumn<bool>("closeFirst");

    QTest::newRow("deleted while listening") << false;
    QTest::newRow("closed, then deleted") << true;
}

void tst_MTcpServer::deletionClosesClients()
{
    QFETCH(bool, closeFirst);

    auto server = std::make_unique<mTcpServer>();
    ServerLog log(*server);
    QVERIFY(server->listen(QHostAddress::LocalHost, 0));
    const quint16 port = server->serverPort();
    QTcpSocket clients[2];
    for (QTcpSocket &client : clients)
        QVERIFY(connectClient(client, QHostAddress::LocalHost, port, log));
    QSignalSpy firstGone(&clients[0], &QTcpSocket::disconnected);
    QSignalSpy secondGone(&clients[1], &QTcpSocket::disconnected);
    std::vector<QPointer<QTcpSocket>> ends;
    for (QTcpSocket &client : clients)
        ends.emplace_back(serverSideOf(*server, client));
    QVERIFY(ends[0] && ends[1]);

    if (closeFirst)
        server->close();
    server.reset();

    // The client sockets died with the server, and nobody was told of a
    // departure.
    QVERIFY(ends[0].isNull() && ends[1].isNull());
    QVERIFY(log.departures.isEmpty());
    // Both peers see their connection end.
    QTRY_COMPARE_WITH_TIMEOUT(firstGone.size(), 1, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(secondGone.size(), 1, Timeout);
    QVERIFY(log.departures.isEmpty());
}

QTEST_GUILESS_MAIN(tst_MTcpServer)
#include "tst_mtcpserver.moc"
