#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <memory>
#include <sys/socket.h>
#include <vector>

// Opening and closing every link type through the real window, the client
// list of the TCP server link, and peers that are Qt sockets or socat.
class tst_LinkControl final : public QObject
{
    Q_OBJECT

private slots:
    void selectorSetsViewAndCaptions_data();
    void selectorSetsViewAndCaptions();
    void opensAndCloses_data();
    void opensAndCloses();
    void readsPortTexts_data();
    void readsPortTexts();
    void refusesToOpen_data();
    void refusesToOpen();
    void udpDestinationFollowsFields_data();
    void udpDestinationFollowsFields();
    void udpLinkHearsDatagrams_data();
    void udpLinkHearsDatagrams();
    void clientListFollowsArrivalsAndDepartures();
    void serverCloseEndsClients();
    void serverCloseDeliversQueuedBytes();
    void serverCloseAbortsClientThatNeverReads_data();
    void serverCloseAbortsClientThatNeverReads();
    void closesTheLinkThatIsOpen_data();
    void closesTheLinkThatIsOpen();
    void serverEndsClientLink_data();
    void serverEndsClientLink();
    void windowDestroyedWithOpenLink_data();
    void windowDestroyedWithOpenLink();
    void socatClientJoinsAndLeaves();
    void socatServerSeesClientComeAndGo();
};

using namespace testsupport;

namespace {

const QString ConnectCaption = QStringLiteral(" 连接网络");
const QString DisconnectCaption = QStringLiteral(" 断开网络");
const QString AllClients = QStringLiteral("全部连接");

QString successText(int mode)
{
    switch (mode) {
    case UdpLink:
        return QStringLiteral("建立UDP连接成功");
    case TcpServerLink:
        return QStringLiteral("建立TCP服务器成功");
    default:
        return QStringLiteral("连接TCP服务器成功");
    }
}

// The descriptor of the server's own socket for a client of the window.
int serverDescriptorOf(const mKestruneWidget &w, const QTcpSocket &client)
{
    const mTcpServer *server = serverLink(w);
    if (!server)
        return 0;
    const auto sockets = server->findChildren<QTcpSocket *>();
    for (const QTcpSocket *socket : sockets) {
        if (socket->peerPort() == client.localPort() && socket->state() == QAbstractSocket::ConnectedState)
            return int(socket->socketDescriptor());
    }
    return 0;
}

// Opens a link of the given type on the loopback address and checks what
// the window says: UDP and the server on a port the system chooses (the UDP
// target fields left as they are), the client towards far.listener.
void openAndCheck(const Window &window, int mode, Peer &far, int clientCount = 0,
                  const QString &address = QStringLiteral("127.0.0.1"))
{
    window.netType()->setCurrentIndex(mode);
    window.ipAddr()->setText(address);
    QCOMPARE(window.ipAddr()->text(), address);
    if (mode == TcpClientLink && !far.listener.isListening())
        QVERIFY(far.listener.listen(QHostAddress::LocalHost, 0));
    window.ipPort()->setText(mode == TcpClientLink ? QString::number(far.listener.serverPort()) : QStringLiteral("0"));
    window.toggleNet();
    QVERIFY(window.netButton()->isChecked());
    QCOMPARE(window.state()->text(), successText(mode));
    if (mode == TcpClientLink)
        STEP(far.take());
    for (int i = 0; i < clientCount; ++i)
        STEP(far.addClient(window));
}

// The port that identifies the open link: bound, listened on, or the
// client's own port as the window shows it.
quint16 linkPort(const Window &window, int mode)
{
    switch (mode) {
    case UdpLink:
        return udpLink(*window.w)->localPort();
    case TcpServerLink:
        return serverLink(*window.w)->serverPort();
    default:
        return quint16(window.udpPort()->text().toUInt());
    }
}

void verifyOpen(const Window &window, int mode)
{
    QVERIFY(window.netButton()->isChecked());
    QCOMPARE(window.netButton()->text(), DisconnectCaption);
    QVERIFY(window.sendButton()->isEnabled());
    QCOMPARE(window.state()->text(), successText(mode));
    QCOMPARE(udpLink(*window.w) != nullptr, mode == UdpLink);
    QCOMPARE(serverLink(*window.w) != nullptr, mode == TcpServerLink);
    QCOMPARE(clientLink(*window.w) != nullptr, mode == TcpClientLink);
}

void verifyClosed(const Window &window)
{
    QVERIFY(!window.netButton()->isChecked());
    QCOMPARE(window.netButton()->text(), ConnectCaption);
    QVERIFY(!window.sendButton()->isEnabled());
    QCOMPARE(window.state()->text(), QString());
    QVERIFY(!udpLink(*window.w));
    QVERIFY(!serverLink(*window.w));
    QVERIFY(!clientLink(*window.w));
}

// The far end sees that the link is gone.
void verifyLinkEnded(int mode, Peer &far, quint16 port)
{
    switch (mode) {
    case UdpLink: {
        // The port is free again: a socket that shares nothing can take it.
        QUdpSocket probe;
        QVERIFY2(probe.bind(QHostAddress::Any, port, QAbstractSocket::DontShareAddress),
                 qPrintable(probe.errorString()));
        break;
    }
    case TcpServerLink: {
        for (const auto &client : far.sockets)
            QTRY_COMPARE_WITH_TIMEOUT(client->state(), QAbstractSocket::UnconnectedState, Timeout);
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(!probe.waitForConnected(Timeout));
        QCOMPARE(probe.error(), QAbstractSocket::ConnectionRefusedError);
        break;
    }
    default:
        QVERIFY(!far.sockets.empty());
        QTRY_COMPARE_WITH_TIMEOUT(far.socket()->state(), QAbstractSocket::UnconnectedState, Timeout);
        break;
    }
}

const char *const ViewWidgets[] = {
    "labelSpaceUdp", "lEditUdpIP", "labelUdp", "labelUdp1", "lEditUdpPort",
    "labelClients", "cBoxClients", "labelSpaceClients",
    "cBox_chatMode", "cBox_echoMode",
};

} // namespace

void tst_LinkControl::selectorSetsViewAndCaptions_data()
{
    // Before picking the link type under test the selector shows another
    // one (-1: none picked, the window as it starts). Visibility is listed
    // in the order of ViewWidgets, 1 for shown.
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("labelPort");
    QTest::addColumn<QString>("labelIp");
    QTest::addColumn<QString>("labelUdp");
    QTest::addColumn<QString>("labelUdp1");

    const QString udpRow = QStringLiteral("1111100000");
    const QString serverRow = QStringLiteral("0000011111");
    QTest::newRow("at start") << -1 << int(UdpLink) << udpRow << "本地端口" << "本地IP地址" << "目标IP地址" << "目标端口";
    QTest::newRow("UDP after client") << int(TcpClientLink) << int(UdpLink) << udpRow << "本地端口" << "本地IP地址" << "目标IP地址" << "目标端口";
    QTest::newRow("UDP after server") << int(TcpServerLink) << int(UdpLink) << udpRow << "本地端口" << "本地IP地址" << "目标IP地址" << "目标端口";
    // The server leaves the target row's captions as they were.
    QTest::newRow("server after UDP") << int(UdpLink) << int(TcpServerLink) << serverRow << "本地端口" << "本地IP地址" << "目标IP地址" << "目标端口";
    QTest::newRow("server after client") << int(TcpClientLink) << int(TcpServerLink) << serverRow << "本地端口" << "本地IP地址" << "本地IP地址" << "本地端口";
    QTest::newRow("client after UDP") << int(UdpLink) << int(TcpClientLink) << udpRow << "服务器端口" << "服务器IP地址" << "本地IP地址" << "本地端口";
    QTest::newRow("client after server") << int(TcpServerLink) << int(TcpClientLink) << udpRow << "服务器端口" << "服务器IP地址" << "本地IP地址" << "本地端口";
}

void tst_LinkControl::selectorSetsViewAndCaptions()
{
    QFETCH(int, before);
    QFETCH(int, mode);
    QFETCH(QString, shown);
    QFETCH(QString, labelPort);
    QFETCH(QString, labelIp);
    QFETCH(QString, labelUdp);
    QFETCH(QString, labelUdp1);

    Window window;
    window.ipAddr()->setText(QStringLiteral("127.0.0.1"));
    const QStringList fields = {window.ipAddr()->text(), window.ipPort()->text(), window.udpIp()->text(),
                                window.udpPort()->text()};
    if (before >= 0) {
        window.netType()->setCurrentIndex(before);
        window.netType()->setCurrentIndex(mode);
    }
    QCOMPARE(window.netType()->currentIndex(), mode);

    for (int i = 0; i < 10; ++i) {
        const QWidget *widget = window.child<QWidget>(ViewWidgets[i]);
        QVERIFY2(widget->isHidden() == (shown[i] == '0'), ViewWidgets[i]);
    }
    QCOMPARE(window.child<QLabel>("label_Port")->text(), labelPort);
    QCOMPARE(window.child<QLabel>("label_IP")->text(), labelIp);
    QCOMPARE(window.child<QLabel>("labelUdp")->text(), labelUdp);
    QCOMPARE(window.child<QLabel>("labelUdp1")->text(), labelUdp1);

    // Switching touches no field and opens nothing.
    const QStringList after = {window.ipAddr()->text(), window.ipPort()->text(), window.udpIp()->text(),
                               window.udpPort()->text()};
    QCOMPARE(after, fields);
    verifyClosed(window);
}

void tst_LinkControl::opensAndCloses_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("address");

    QTest::newRow("UDP") << int(UdpLink) << "127.0.0.1";
    QTest::newRow("TCP server") << int(TcpServerLink) << "127.0.0.1";
    QTest::newRow("TCP client") << int(TcpClientLink) << "127.0.0.1";
    // Every digit position of the address mask filled.
    QTest::newRow("TCP server, zero-padded address") << int(TcpServerLink) << "127.000.000.001";
    QTest::newRow("TCP client, zero-padded address") << int(TcpClientLink) << "127.000.000.001";
}

void tst_LinkControl::opensAndCloses()
{
    QFETCH(int, mode);
    QFETCH(QString, address);

    Window window;
    const QString targetPort = window.udpPort()->text();
    // Twice: a closed link leaves nothing behind that stops the next one.
    for (int round = 0; round < 2; ++round) {
        Peer far;
        STEP(openAndCheck(window, mode, far, mode == TcpServerLink ? 1 : 0, address));
        STEP(verifyOpen(window, mode));
        // The selector, the fields and the check boxes stay usable.
        QVERIFY(window.netType()->isEnabled());
        QVERIFY(window.ipAddr()->isEnabled() && window.ipPort()->isEnabled());
        QVERIFY(window.udpIp()->isEnabled() && window.udpPort()->isEnabled());

        QPointer<QObject> link;
        switch (mode) {
        case UdpLink:
            link = udpLink(*window.w);
            QCOMPARE(udpLink(*window.w)->state(), QAbstractSocket::BoundState);
            QVERIFY(linkPort(window, mode) != 0);
            QCOMPARE(window.udpPort()->text(), targetPort);
            break;
        case TcpServerLink:
            link = serverLink(*window.w);
            QVERIFY(serverLink(*window.w)->isListening());
            QCOMPARE(serverLink(*window.w)->serverAddress(), QHostAddress(QHostAddress::LocalHost));
            QCOMPARE(window.udpPort()->text(), targetPort);
            break;
        default:
            link = clientLink(*window.w);
            QCOMPARE(clientLink(*window.w)->state(), QAbstractSocket::ConnectedState);
            // The window shows its own end's port, the one the server sees.
            QCOMPARE(window.udpPort()->text(), QString::number(far.socket()->peerPort()));
            QCOMPARE(window.udpPort()->text(), QString::number(clientLink(*window.w)->localPort()));
            break;
        }
        const quint16 port = linkPort(window, mode);

        window.toggleNet();
        STEP(verifyClosed(window));
        STEP(verifyLinkEnded(mode, far, port));
        QTRY_VERIFY_WITH_TIMEOUT(link.isNull(), Timeout);
    }
}

void tst_LinkControl::readsPortTexts_data()
{
    // "%1" stands for a port that was free a moment ago; 0 as expected port
    // means any port the system chose.
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("systemChosen");

    QTest::newRow("UDP, letters") << int(UdpLink) << "abc" << 0 << true;
    QTest::newRow("UDP, empty") << int(UdpLink) << "" << 0 << true;
    QTest::newRow("UDP, free port") << int(UdpLink) << "%1" << 0 << false;
    QTest::newRow("UDP, beyond 16 bits") << int(UdpLink) << "%1" << 65536 << false;
    QTest::newRow("server, letters") << int(TcpServerLink) << "abc" << 0 << true;
    QTest::newRow("server, empty") << int(TcpServerLink) << "" << 0 << true;
    QTest::newRow("server, free port") << int(TcpServerLink) << "%1" << 0 << false;
    QTest::newRow("server, beyond 16 bits") << int(TcpServerLink) << "%1" << 65536 << false;
}

void tst_LinkControl::readsPortTexts()
{
    QFETCH(int, mode);
    QFETCH(QString, text);
    QFETCH(int, offset);
    QFETCH(bool, systemChosen);

    const quint16 free = mode == UdpLink ? freeUdpPort() : freeTcpPort();
    QVERIFY(free != 0);
    if (text.contains(QLatin1String("%1")))
        text = text.arg(int(free) + offset);

    Window window;
    window.netType()->setCurrentIndex(mode);
    window.ipAddr()->setText(QStringLiteral("127.0.0.1"));
    window.ipPort()->setText(text);
    window.toggleNet();
    STEP(verifyOpen(window, mode));
    if (systemChosen)
        QVERIFY(linkPort(window, mode) != 0);
    else
        QCOMPARE(linkPort(window, mode), free);
}

namespace {

enum Obstacle {
    UdpPortHeld,
    UdpPortHeldByWindow,
    ServerPortHeld,
    ServerPortHeldByWindow,
    OnlyMaskDots,
    NotAnAddress,
    NothingListens,
    ServerNeverAnswers,
};

} // namespace

void tst_LinkControl::refusesToOpen_data()
{
    // lEditUdpPort after the failure: "0" after a failed connection,
    // untouched (its start text) otherwise.
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("obstacle");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("udpPortAfter");

    const QString udpFailed = QStringLiteral("UDP绑定端口失败!");
    const QString serverFailed = QStringLiteral("尝试建立服务器失败! 请确认网络状态和端口。");
    const QString addressFailed = QStringLiteral("TCP服务器IP设置失败!");
    const QString connectFailed = QStringLiteral("尝试连接服务器失败! 请确认服务器状态。");

    QTest::newRow("UDP port held by a socket") << int(UdpLink) << int(UdpPortHeld) << udpFailed << "8081";
    QTest::newRow("UDP port held by another window") << int(UdpLink) << int(UdpPortHeldByWindow) << udpFailed << "8081";
    QTest::newRow("server port held by a server") << int(TcpServerLink) << int(ServerPortHeld) << serverFailed << "8081";
    QTest::newRow("server port held by another window") << int(TcpServerLink) << int(ServerPortHeldByWindow) << serverFailed << "8081";
    QTest::newRow("client address only the mask's dots") << int(TcpClientLink) << int(OnlyMaskDots) << addressFailed << "8081";
    QTest::newRow("client address out of range") << int(TcpClientLink) << int(NotAnAddress) << addressFailed << "8081";
    QTest::newRow("client refused") << int(TcpClientLink) << int(NothingListens) << connectFailed << "0";
    QTest::newRow("client never answered") << int(TcpClientLink) << int(ServerNeverAnswers) << connectFailed << "0";
}

void tst_LinkControl::refusesToOpen()
{
    QFETCH(int, mode);
    QFETCH(int, obstacle);
    QFETCH(QString, message);
    QFETCH(QString, udpPortAfter);

    Window window;
    window.netType()->setCurrentIndex(mode);
    window.ipAddr()->setText(QStringLiteral("127.0.0.1"));

    QUdpSocket heldUdp;
    QTcpServer listener;
    QTcpSocket queued;
    std::unique_ptr<Window> other;
    Peer otherFar;
    quint16 port = 0;
    switch (obstacle) {
    case UdpPortHeld:
        // Bound on all addresses and not shared, as the window binds.
        QVERIFY(heldUdp.bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress));
        port = heldUdp.localPort();
        break;
    case ServerPortHeld:
        QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
        port = listener.serverPort();
        break;
    case UdpPortHeldByWindow:
    case ServerPortHeldByWindow:
        other = std::make_unique<Window>();
        STEP(openAndCheck(*other, mode, otherFar));
        port = linkPort(*other, mode);
        break;
    case OnlyMaskDots:
        window.ipAddr()->clear();
        QCOMPARE(window.ipAddr()->text(), QStringLiteral("..."));
        port = freeTcpPort();
        break;
    case NotAnAddress:
        window.ipAddr()->setText(QStringLiteral("300.1.1.1"));
        port = freeTcpPort();
        break;
    case NothingListens:
        port = freeTcpPort();
        break;
    case ServerNeverAnswers:
        // A listener whose queue of unaccepted connections is full lets
        // further connection attempts go unanswered.
        listener.setListenBacklogSize(0);
        QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
        listener.pauseAccepting();
        queued.connectToHost(QHostAddress::LocalHost, listener.serverPort());
        QVERIFY(queued.waitForConnected(Timeout));
        port = listener.serverPort();
        break;
    }
    QVERIFY(port != 0);
    window.ipPort()->setText(QString::number(port));

    {
        QElapsedTimer clock;
        clock.start();
        qint64 shownAfterMs = -1;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QWidget *parent = nullptr;
        ModalScript script;
        script.then<QMessageBox>([&](QMessageBox *box) {
            shownAfterMs = clock.elapsed();
            icon = box->icon();
            buttons = box->standardButtons();
            parent = box->parentWidget();
            okBox(&text)(box);
        });
        window.toggleNet();
        QVERIFY2(script.finished(), "no message box");
        QCOMPARE(script.titles, QStringList{QStringLiteral("错误")});
        QCOMPARE(text, message);
        QCOMPARE(icon, QMessageBox::Information);
        QCOMPARE(int(buttons), int(QMessageBox::Ok));
        QCOMPARE(parent, static_cast<QWidget *>(window.w.data()));
        // The attempt gives up by itself (after 2000 ms at the latest): the
        // box came. How long it took is the machine's, so it is only shown.
        qInfo("the box came after %lld ms", static_cast<long long>(shownAfterMs));
    }

    STEP(verifyClosed(window));
    QCOMPARE(window.udpPort()->text(), udpPortAfter);
    // No link object is left behind.
    QTRY_VERIFY_WITH_TIMEOUT(window.w->findChildren<QAbstractSocket *>().isEmpty(), Timeout);
    QVERIFY(window.w->findChildren<QTcpServer *>().isEmpty());

    // The button works again once the way is clear.
    Peer far;
    STEP(openAndCheck(window, mode, far));
    STEP(verifyOpen(window, mode));
}

void tst_LinkControl::udpDestinationFollowsFields_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("open");

    QTest::newRow("UDP, closed") << int(UdpLink) << false;
    QTest::newRow("UDP, open") << int(UdpLink) << true;
    QTest::newRow("TCP server, open") << int(TcpServerLink) << true;
    QTest::newRow("TCP client, closed") << int(TcpClientLink) << false;
    QTest::newRow("TCP client, open") << int(TcpClientLink) << true;
}

void tst_LinkControl::udpDestinationFollowsFields()
{
    QFETCH(int, mode);
    QFETCH(bool, open);

    Window window;
    const mKestruneWidget &w = *window.w;
    window.udpIp()->setText(QStringLiteral("127.0.0.1"));
    window.udpPort()->setText(QStringLiteral("7007"));
    Peer far;
    if (open)
        STEP(openAndCheck(window, mode, far));
    else
        window.netType()->setCurrentIndex(mode);

    // A client link shows its own port in the field, which the destination
    // follows like any other change.
    const int shownPort = window.udpPort()->text().toInt();
    QCOMPARE(KestruneProbe::udpTargetPort(w), shownPort);
    QCOMPARE(KestruneProbe::udpTargetAddr(w), QHostAddress(QHostAddress::LocalHost));

    window.udpPort()->setText(QStringLiteral("9001"));
    QCOMPARE(KestruneProbe::udpTargetPort(w), 9001);
    window.udpPort()->setText(QStringLiteral("abc"));
    QCOMPARE(KestruneProbe::udpTargetPort(w), 0);
    window.udpPort()->clear();
    QTest::keyClicks(window.udpPort(), QStringLiteral("4321"));
    QCOMPARE(KestruneProbe::udpTargetPort(w), 4321);
    QTest::keyClick(window.udpPort(), Qt::Key_Backspace);
    QCOMPARE(KestruneProbe::udpTargetPort(w), 432);

    window.udpIp()->setText(QStringLiteral("127.0.0.9"));
    QCOMPARE(KestruneProbe::udpTargetAddr(w), QHostAddress(QStringLiteral("127.0.0.9")));
    window.udpIp()->setText(QStringLiteral("127.0.0.1"));
    QCOMPARE(KestruneProbe::udpTargetAddr(w), QHostAddress(QHostAddress::LocalHost));
    window.udpIp()->clear();
    QTest::keyClicks(window.udpIp(), QStringLiteral("127.0.0.5"));
    QCOMPARE(window.udpIp()->text(), QStringLiteral("127.0.0.5"));
    QCOMPARE(KestruneProbe::udpTargetAddr(w), QHostAddress(QStringLiteral("127.0.0.5")));
    // Every digit position filled: the groups read as decimal numbers.
    window.udpIp()->clear();
    QTest::keyClicks(window.udpIp(), QStringLiteral("127000000010"));
    QCOMPARE(window.udpIp()->text(), QStringLiteral("127.000.000.010"));
    QCOMPARE(KestruneProbe::udpTargetAddr(w), QHostAddress(QStringLiteral("127.0.0.10")));

    // The link itself is untouched by all of it.
    if (open)
        STEP(verifyOpen(window, mode));
    else
        STEP(verifyClosed(window));
}

void tst_LinkControl::udpLinkHearsDatagrams_data()
{
    QTest::addColumn<bool>("bySocat");
    QTest::addColumn<bool>("ipv6");

    QTest::newRow("Qt sender, 127.0.0.1") << false << false;
    QTest::newRow("Qt sender, ::1") << false << true;
    QTest::newRow("socat sender, 127.0.0.1") << true << false;
    QTest::newRow("socat sender, ::1") << true << true;
}

void tst_LinkControl::udpLinkHearsDatagrams()
{
    QFETCH(bool, bySocat);
    QFETCH(bool, ipv6);

    if (bySocat && PeerProcess::socatPath().isEmpty())
        QSKIP("socat is not installed");
    if (ipv6 && !ipv6LoopbackAvailable())
        QSKIP("no IPv6 loopback on this machine");

    // The UDP link is bound on every local address, both families.
    Window window;
    Peer far;
    STEP(openAndCheck(window, UdpLink, far));
    const quint16 port = linkPort(window, UdpLink);
    QSignalSpy arrived(udpLink(*window.w), &QUdpSocket::readyRead);

    QUdpSocket sender;
    std::unique_ptr<PeerProcess> socat;
    if (bySocat) {
        const QString target = ipv6 ? QStringLiteral("UDP6-SENDTO:[::1]:%1") : QStringLiteral("UDP4-SENDTO:127.0.0.1:%1");
        socat = PeerProcess::socat({QStringLiteral("-u"), QStringLiteral("STDIN"), target.arg(port)});
        QVERIFY(socat);
        QVERIFY(socat->process.waitForStarted(Timeout));
        socat->process.write("ping");
        socat->process.closeWriteChannel();
    } else {
        const QHostAddress to(ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost);
        QCOMPARE(sender.writeDatagram("ping", 4, to, port), qint64(4));
    }
    QTRY_VERIFY_WITH_TIMEOUT(arrived.size() >= 1, Timeout);
    if (socat) {
        QTRY_COMPARE_WITH_TIMEOUT(socat->process.state(), QProcess::NotRunning, Timeout);
        QCOMPARE(socat->process.exitCode(), 0);
    }
}

void tst_LinkControl::clientListFollowsArrivalsAndDepartures()
{
    Window window;
    const mKestruneWidget &w = *window.w;
    Peer far;
    STEP(openAndCheck(window, TcpServerLink, far));
    QCOMPARE(window.clients()->count(), 0);

    // After every notice of the server, once the window has handled it.
    mTcpServer *server = serverLink(w);
    QStringList breaches;
    int notices = 0;
    const auto check = [&] {
        ++notices;
        const QString breach = clientListBreach(window);
        if (!breach.isEmpty())
            breaches.append(breach);
    };
    connect(server, &mTcpServer::addClientLink, window.w.data(), check);
    connect(server, &mTcpServer::removeClientLink, window.w.data(), check);

    STEP(far.addClient(window));
    QTcpSocket &first = *far.sockets[0];
    const int d1 = serverDescriptorOf(w, first);
    QVERIFY(d1 > 0);
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(first)}));
    QCOMPARE(KestruneProbe::socketDescriptorList(w), QList<int>({0, d1}));
    QCOMPARE(KestruneProbe::clientLinkCount(w), 1);
    QCOMPARE(window.clients()->currentIndex(), 0);

    STEP(far.addClient(window));
    QTcpSocket &second = *far.sockets[1];
    const int d2 = serverDescriptorOf(w, second);
    QVERIFY(d2 > 0 && d2 != d1);
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(first), clientText(second)}));
    QCOMPARE(KestruneProbe::socketDescriptorList(w), QList<int>({0, d1, d2}));
    QCOMPARE(KestruneProbe::clientLinkCount(w), 2);
    QCOMPARE(window.clients()->currentIndex(), 0);

    // A later arrival leaves the user's choice alone.
    window.clients()->setCurrentIndex(1);
    STEP(far.addClient(window));
    QTcpSocket &third = *far.sockets[2];
    const int d3 = serverDescriptorOf(w, third);
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(first), clientText(second), clientText(third)}));
    QCOMPARE(KestruneProbe::socketDescriptorList(w), QList<int>({0, d1, d2, d3}));
    QCOMPARE(window.clients()->currentIndex(), 1);

    // A departure notice whose descriptor is not -1 is not the server's.
    emit server->removeClientLink(clientText(first), d1);
    QCOMPARE(window.clientItems().size(), 4);
    QCOMPARE(KestruneProbe::clientLinkCount(w), 3);

    // The second client leaves; the first keeps position 1.
    second.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(KestruneProbe::clientLinkCount(w), 2, Timeout);
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(first), clientText(third)}));
    QCOMPARE(KestruneProbe::socketDescriptorList(w), QList<int>({0, d1, d3}));
    QCOMPARE(window.clients()->currentText(), clientText(first));

    first.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(KestruneProbe::clientLinkCount(w), 1, Timeout);
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(third)}));
    QCOMPARE(KestruneProbe::socketDescriptorList(w), QList<int>({0, d3}));

    // The last departure empties everything, "全部连接" included.
    third.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(KestruneProbe::clientLinkCount(w), 0, Timeout);
    QCOMPARE(window.clients()->count(), 0);
    QVERIFY(KestruneProbe::socketDescriptorList(w).isEmpty());
    QCOMPARE(window.clients()->currentIndex(), -1);

    // The next arrival starts the list again, with "全部连接" selected.
    STEP(far.addClient(window));
    QTcpSocket &fourth = *far.sockets[3];
    const int d4 = serverDescriptorOf(w, fourth);
    QVERIFY(d4 > 0);
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(fourth)}));
    QCOMPARE(KestruneProbe::socketDescriptorList(w), QList<int>({0, d4}));
    QCOMPARE(KestruneProbe::clientLinkCount(w), 1);
    QCOMPARE(window.clients()->currentIndex(), 0);

    QCOMPARE(notices, 4 + 3 + 1);
    QVERIFY2(breaches.isEmpty(), qPrintable(breaches.join(QStringLiteral("; "))));
    STEP(verifyOpen(window, TcpServerLink));
}

void tst_LinkControl::serverCloseEndsClients()
{
    Window window;
    const mKestruneWidget &w = *window.w;
    Peer far;
    STEP(openAndCheck(window, TcpServerLink, far, 2));
    const quint16 port = linkPort(window, TcpServerLink);
    QSignalSpy firstGone(far.sockets[0].get(), &QTcpSocket::disconnected);
    QSignalSpy secondGone(far.sockets[1].get(), &QTcpSocket::disconnected);

    window.toggleNet();
    STEP(verifyClosed(window));
    QTRY_COMPARE_WITH_TIMEOUT(firstGone.size(), 1, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(secondGone.size(), 1, Timeout);
    QCOMPARE(window.clients()->count(), 0);
    QVERIFY(KestruneProbe::socketDescriptorList(w).isEmpty());
    QCOMPARE(KestruneProbe::clientLinkCount(w), 0);
    STEP(verifyLinkEnded(TcpServerLink, far, port));

    // A new server starts with an empty list.
    Peer next;
    STEP(openAndCheck(window, TcpServerLink, next, 1));
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(*next.sockets[0])}));
    QCOMPARE(KestruneProbe::socketDescriptorList(w), QList<int>({0, serverDescriptorOf(w, *next.sockets[0])}));
    QCOMPARE(KestruneProbe::clientLinkCount(w), 1);
}

// Switching a server link off right after a large send still gives every
// client all of it; the port is free at once for a new server, and nothing
// the old clients do reaches the new list.
void tst_LinkControl::serverCloseDeliversQueuedBytes()
{
    constexpr int Clients = 3;
    // 4 MiB of numbered lines, handed to every client in one click: all of
    // it is still queued in the window when the link goes off.
    QByteArray data;
    for (int line = 0; data.size() < 4 * MiB; ++line)
        data += QByteArray::number(line).rightJustified(63, '.') + '\n';

    Window window;
    const mKestruneWidget &w = *window.w;
    Peer far;
    STEP(openAndCheck(window, TcpServerLink, far, Clients));
    const quint16 port = linkPort(window, TcpServerLink);
    std::vector<QByteArray> got(Clients);
    for (int i = 0; i < Clients; ++i) {
        QTcpSocket *client = far.sockets[i].get();
        connect(client, &QTcpSocket::readyRead, client, [client, &got, i] { got[i] += client->readAll(); });
    }
    window.sendArea()->setPlainText(QString::fromLatin1(data));
    window.send();
    QCOMPARE(window.sent(), quint32(data.size()));
    QVERIFY(serverLink(w)->largestPendingWrite() > 0);
    window.toggleNet();
    STEP(verifyClosed(window));
    QCOMPARE(window.clients()->count(), 0);
    QVERIFY(KestruneProbe::socketDescriptorList(w).isEmpty());

    // A new server on the same port opens at once and works.
    window.ipPort()->setText(QString::number(port));
    window.toggleNet();
    QVERIFY(window.netButton()->isChecked());
    QCOMPARE(linkPort(window, TcpServerLink), port);
    Peer next;
    STEP(next.addClient(window));
    const QStringList newList{AllClients, clientText(*next.sockets[0])};
    QCOMPARE(window.clientItems(), newList);

    for (int i = 0; i < Clients; ++i) {
        QTRY_COMPARE_WITH_TIMEOUT(far.sockets[i]->state(), QAbstractSocket::UnconnectedState, Timeout);
        got[i] += far.sockets[i]->readAll();
        QCOMPARE(got[i].size(), data.size());
        QCOMPARE(sha256(got[i]), sha256(data));
    }
    // The old clients are gone from the window too, and said nothing.
    QTRY_VERIFY_WITH_TIMEOUT(w.findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly).isEmpty(), Timeout);
    QCOMPARE(window.clientItems(), newList);
    QCOMPARE(KestruneProbe::clientLinkCount(w), 1);
}

void tst_LinkControl::serverCloseAbortsClientThatNeverReads_data()
{
    QTest::addColumn<bool>("windowCloses"); // else the grace period runs out

    QTest::newRow("grace period ends") << false;
    QTest::newRow("window closes first") << true;
}

// A client that never reads keeps its old connection only for the grace
// period, or until the window closes; meanwhile a new server link on the
// same port serves others.
void tst_LinkControl::serverCloseAbortsClientThatNeverReads()
{
    QFETCH(bool, windowCloses);
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("big.bin"), randomBytes(64 * MiB, 13));

    Window window;
    KestruneProbe::setClosingGrace(*window.w, windowCloses ? 10 * Timeout : 2000);
    Peer far;
    STEP(openAndCheck(window, TcpServerLink, far, 1));
    const quint16 port = linkPort(window, TcpServerLink);
    QTcpSocket *stalled = far.sockets[0].get();
    stalled->setReadBufferSize(4096);
    STEP(chooseSource(window, path));

    // Once the server holds more than it can hand over, the link is
    // switched off in the middle of the send.
    QTimer watch;
    watch.setInterval(5);
    bool switched = false;
    connect(&watch, &QTimer::timeout, this, [&] {
        const mTcpServer *server = serverLink(*window.w);
        if (!switched && server && server->largestPendingWrite() > 512 * KiB) {
            switched = true;
            window.toggleNet();
        }
    });
    watch.start();
    window.send();
    QTRY_VERIFY_WITH_TIMEOUT(!fileSendRunning(*window.w), Timeout);
    watch.stop();
    QVERIFY(switched);
    STEP(verifyClosed(window));

    window.ipPort()->setText(QString::number(port));
    window.toggleNet();
    QVERIFY(window.netButton()->isChecked());
    Peer next;
    STEP(next.addClient(window));
    next.sockets[0]->write("fresh");
    // Shown at the cursor, which stays above the file send's notes.
    const QString shown = rcvHeader(clientText(*next.sockets[0])) + QStringLiteral("fresh");
    QTRY_VERIFY_WITH_TIMEOUT(window.rcvArea()->toPlainText().contains(shown), Timeout);
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(*next.sockets[0])}));

    if (windowCloses) {
        // Nothing waits for the old connection: it ends with the window.
        delete window.w.data();
        QTRY_COMPARE_WITH_TIMEOUT(next.sockets[0]->state(), QAbstractSocket::UnconnectedState, Timeout);
    } else {
        // The old connection is aborted after the grace period; the new
        // one stays.
        QTRY_VERIFY_WITH_TIMEOUT(window.w->findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly).isEmpty(), Timeout);
        QCOMPARE(next.sockets[0]->state(), QAbstractSocket::ConnectedState);
        QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(*next.sockets[0])}));
    }
    // The client sees the end once it reads again, without the rest of the
    // file.
    stalled->setReadBufferSize(0);
    qint64 got = 0;
    QTRY_COMPARE_WITH_TIMEOUT((got += stalled->readAll().size(), stalled->state()), QAbstractSocket::UnconnectedState,
                              Timeout);
    QVERIFY2(got < 64 * MiB, qPrintable(QString::number(got)));
}

void tst_LinkControl::closesTheLinkThatIsOpen_data()
{
    QTest::addColumn<int>("openMode");
    QTest::addColumn<int>("shownMode");

    QTest::newRow("UDP open, client shown") << int(UdpLink) << int(TcpClientLink);
    QTest::newRow("UDP open, server shown") << int(UdpLink) << int(TcpServerLink);
    QTest::newRow("server open, UDP shown") << int(TcpServerLink) << int(UdpLink);
    QTest::newRow("server open, client shown") << int(TcpServerLink) << int(TcpClientLink);
    QTest::newRow("client open, UDP shown") << int(TcpClientLink) << int(UdpLink);
    QTest::newRow("client open, server shown") << int(TcpClientLink) << int(TcpServerLink);
}

void tst_LinkControl::closesTheLinkThatIsOpen()
{
    QFETCH(int, openMode);
    QFETCH(int, shownMode);

    Window window;
    Peer far;
    STEP(openAndCheck(window, openMode, far, openMode == TcpServerLink ? 2 : 0));
    const quint16 port = linkPort(window, openMode);

    // Changing the link type changes only the view: the link stays open.
    window.netType()->setCurrentIndex(shownMode);
    STEP(verifyOpen(window, openMode));

    window.toggleNet();
    STEP(verifyClosed(window));
    STEP(verifyLinkEnded(openMode, far, port));
    QTRY_VERIFY_WITH_TIMEOUT(window.w->findChildren<QAbstractSocket *>().isEmpty(), Timeout);
    QVERIFY(window.w->findChildren<QTcpServer *>().isEmpty());
    QCOMPARE(window.clients()->count(), 0);

    // The type now shown opens as usual.
    Peer next;
    STEP(openAndCheck(window, shownMode, next));
    STEP(verifyOpen(window, shownMode));
}

void tst_LinkControl::serverEndsClientLink_data()
{
    QTest::addColumn<int>("bytes");  // sent by the server before it ends
    QTest::addColumn<bool>("reset"); // else a clean close

    QTest::newRow("closes") << 0 << false;
    QTest::newRow("closes after a line") << 5 << false;
    // More than the socket buffers and the receive area takes in one go.
    QTest::newRow("closes after 2 MiB") << int(2 * MiB) << false;
    QTest::newRow("resets") << 0 << true;
}

// A server that ends the connection closes the client link as a click on
// the link button would, once everything it sent is shown and counted;
// loop sending goes on as after a user's close, reaching nobody.
void tst_LinkControl::serverEndsClientLink()
{
    QFETCH(int, bytes);
    QFETCH(bool, reset);

    Window window;
    Peer far;
    STEP(openAndCheck(window, TcpClientLink, far));
    window.interval()->setText(QStringLiteral("20"));
    clickBox(window.loopBox());
    window.sendArea()->setPlainText(QStringLiteral("ab"));
    window.send();
    QTRY_VERIFY_WITH_TIMEOUT(far.bytes().size() >= 2, Timeout);
    far.socket()->write(QByteArray(bytes, 'z'));
    if (reset) {
        far.socket()->abort();
    } else {
        // The end comes after all it wrote, and the server goes on reading:
        // a close with the loop's bytes unread would reset the connection.
        QTRY_COMPARE_WITH_TIMEOUT(far.socket()->bytesToWrite(), 0, Timeout);
        QCOMPARE(::shutdown(int(far.socket()->socketDescriptor()), SHUT_WR), 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!window.netButton()->isChecked(), Timeout);
    STEP(verifyClosed(window));
    QCOMPARE(window.received(), quint32(bytes));
    QVERIFY(KestruneProbe::rcvShown(*window.w));
    QCOMPARE(window.rcvArea()->toPlainText().count(QLatin1Char('z')), bytes);

    QVERIFY(loopRunning(*window.w));
    QCOMPARE(window.sendButton()->text(), QStringLiteral("停止发送"));
    const quint32 atClose = window.sent();
    QSignalSpy ticks(window.loopTimer(), &QTimer::timeout);
    QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 2, Timeout);
    QCOMPARE(window.sent(), atClose);
}

void tst_LinkControl::windowDestroyedWithOpenLink_data()
{
    QTest::addColumn<int>("mode");

    QTest::newRow("UDP") << int(UdpLink);
    QTest::newRow("server with two clients") << int(TcpServerLink);
    QTest::newRow("client") << int(TcpClientLink);
}

void tst_LinkControl::windowDestroyedWithOpenLink()
{
    QFETCH(int, mode);

    Peer far;
    auto window = std::make_unique<Window>();
    STEP(openAndCheck(*window, mode, far, mode == TcpServerLink ? 2 : 0));
    const quint16 port = linkPort(*window, mode);
    // Data on its way in while the window goes.
    for (const auto &socket : far.sockets)
        socket->write("bye");

    window.reset();
    STEP(verifyLinkEnded(mode, far, port));
}

void tst_LinkControl::socatClientJoinsAndLeaves()
{
    if (PeerProcess::socatPath().isEmpty())
        QSKIP("socat is not installed");

    Window window;
    const mKestruneWidget &w = *window.w;
    Peer far;
    STEP(openAndCheck(window, TcpServerLink, far));
    mTcpServer *server = serverLink(w);
    QByteArray received;
    connect(server, &mTcpServer::updateTcpServer, window.w.data(),
            [&](char *msg, int length, int) { received.append(msg, length); });

    const auto socat = PeerProcess::socat({QStringLiteral("-u"), QStringLiteral("STDIN"),
                 QStringLiteral("TCP:127.0.0.1:%1").arg(server->serverPort())});
    QVERIFY(socat);
    QVERIFY(socat);
    QVERIFY(socat->process.waitForStarted(Timeout));
    socat->process.write("hello from socat\n");

    QTRY_COMPARE_WITH_TIMEOUT(KestruneProbe::clientLinkCount(w), 1, Timeout);
    QCOMPARE(window.clients()->count(), 2);
    QCOMPARE(window.clients()->itemText(0), AllClients);
    const QRegularExpressionMatch named =
        QRegularExpression(QStringLiteral("^127\\.0\\.0\\.1:(\\d+)$")).match(window.clients()->itemText(1));
    QVERIFY2(named.hasMatch(), qPrintable(window.clients()->itemText(1)));
    const QList<int> &descriptors = KestruneProbe::socketDescriptorList(w);
    QCOMPARE(descriptors.size(), 2);
    QCOMPARE(descriptors[0], 0);
    const auto sockets = server->findChildren<QTcpSocket *>();
    QCOMPARE(sockets.size(), 1);
    QCOMPARE(descriptors[1], int(sockets.first()->socketDescriptor()));
    QCOMPARE(named.captured(1).toInt(), int(sockets.first()->peerPort()));
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("hello from socat\n"), Timeout);

    // socat ends its connection when its input ends.
    socat->process.closeWriteChannel();
    QTRY_COMPARE_WITH_TIMEOUT(socat->process.state(), QProcess::NotRunning, Timeout);
    QCOMPARE(socat->process.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(KestruneProbe::clientLinkCount(w), 0, Timeout);
    QCOMPARE(window.clients()->count(), 0);
    QVERIFY(KestruneProbe::socketDescriptorList(w).isEmpty());
    STEP(verifyOpen(window, TcpServerLink));
}

void tst_LinkControl::socatServerSeesClientComeAndGo()
{
    if (PeerProcess::socatPath().isEmpty())
        QSKIP("socat is not installed");

    // socat listens on a port of the system's choice and reports it.
    const auto socat = PeerProcess::socat({QStringLiteral("-d"), QStringLiteral("-d"), QStringLiteral("-u"),
                 QStringLiteral("TCP-LISTEN:0,bind=127.0.0.1"), QStringLiteral("STDOUT")});
    QVERIFY(socat);
    QVERIFY(socat);
    QVERIFY(socat->process.waitForStarted(Timeout));
    const QRegularExpressionMatch listening =
        socat->waitForLog(QRegularExpression(QStringLiteral("listening on AF=2 127\\.0\\.0\\.1:(\\d+)")), Timeout);
    QVERIFY2(listening.hasMatch(), qPrintable(socat->log));

    Window window;
    window.netType()->setCurrentIndex(TcpClientLink);
    window.ipAddr()->setText(QStringLiteral("127.0.0.1"));
    window.ipPort()->setText(listening.captured(1));
    window.toggleNet();
    STEP(verifyOpen(window, TcpClientLink));

    // The port the window shows is the one socat saw the connection come from.
    const QRegularExpressionMatch accepted =
        socat->waitForLog(QRegularExpression(QStringLiteral("accepting connection from AF=2 127\\.0\\.0\\.1:(\\d+)")), Timeout);
    QVERIFY2(accepted.hasMatch(), qPrintable(socat->log));
    QCOMPARE(window.udpPort()->text(), accepted.captured(1));

    // Closing the link ends the connection, and with it socat.
    window.toggleNet();
    STEP(verifyClosed(window));
    QTRY_COMPARE_WITH_TIMEOUT(socat->process.state(), QProcess::NotRunning, Timeout);
    QCOMPARE(socat->process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(socat->process.exitCode(), 0);
}

QTEST_MAIN(tst_LinkControl)
#include "tst_linkcontrol.moc"
