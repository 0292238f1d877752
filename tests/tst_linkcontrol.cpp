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
    case Udp:
        return QStringLiteral("建立UDP连接成功");
    case Server:
        return QStringLiteral("建立TCP服务器成功");
    default:
        return QStringLiteral("连接TCP服务器成功");
    }
}

bool ipv6LoopbackAvailable()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHostIPv6, 0);
}

QString socatPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("socat"));
}

// Answers the next modal message box with its OK button and remembers what
// it showed. A single-shot timer looks for the box and, while there is
// none yet, looks again a little later; a box that never comes is the
// modal guard's to report.
class BoxAnswerer final : public QObject
{
public:
    BoxAnswerer()
    {
        clock.start();
        lookSoon();
    }

    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget *parent = nullptr;
    qint64 shownAfterMs = -1;

private:
    void lookSoon() { QTimer::singleShot(5, this, [this] { look(); }); }

    void look()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            lookSoon();
            return;
        }
        seen = true;
        shownAfterMs = clock.elapsed();
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        parent = box->parentWidget();
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    QElapsedTimer clock;
};

// A socat process of the test's own; killed, if still running, with the test.
class Socat final
{
public:
    explicit Socat(const QStringList &arguments)
    {
        process.start(socatPath(), arguments);
    }

    ~Socat()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(Timeout);
        }
    }

    // Waits until socat's diagnostics show a line matching the pattern.
    QRegularExpressionMatch waitForLog(const QRegularExpression &pattern)
    {
        QRegularExpressionMatch match;
        // The caller checks the match, so a timeout shows as no match.
        (void)QTest::qWaitFor([&] {
            log += QString::fromLocal8Bit(process.readAllStandardError());
            match = pattern.match(log);
            return match.hasMatch();
        }, Timeout);
        return match;
    }

    QProcess process;
    QString log;
};

// What sits at the far end of the links the tests open.
struct FarEnd
{
    QTcpServer listener;                                // a TCP client link connects here
    std::unique_ptr<QTcpSocket> accepted;               // its end of that connection
    std::vector<std::unique_ptr<QTcpSocket>> clients;   // clients of a TCP server link
};

QString clientText(const QTcpSocket &client)
{
    return QStringLiteral("127.0.0.1:") + QString::number(client.localPort());
}

// The descriptor of the server's own socket for a client of the window.
int serverDescriptorOf(const mKestruneWidget &w, const QTcpSocket &client)
{
    const mTcpServer *server = KestruneProbe::tcpServer(w);
    if (!server)
        return 0;
    const auto sockets = server->findChildren<QTcpSocket *>();
    for (const QTcpSocket *socket : sockets) {
        if (socket->peerPort() == client.localPort() && socket->state() == QAbstractSocket::ConnectedState)
            return int(socket->socketDescriptor());
    }
    return 0;
}

// Connects one more client to the window's server and waits until the
// window lists it.
void addClient(const Window &window, FarEnd &far)
{
    mTcpServer *server = KestruneProbe::tcpServer(*window.w);
    QVERIFY(server);
    const int before = KestruneProbe::clientLinkCount(*window.w);
    far.clients.push_back(std::make_unique<QTcpSocket>());
    far.clients.back()->connectToHost(QHostAddress::LocalHost, server->serverPort());
    QTRY_COMPARE_WITH_TIMEOUT(KestruneProbe::clientLinkCount(*window.w), before + 1, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(far.clients.back()->state(), QAbstractSocket::ConnectedState, Timeout);
}

// Opens a link of the given type on the loopback address: UDP and the
// server on a port the system chooses, the client towards far.listener.
void openLink(const Window &window, int mode, FarEnd &far, int clientCount = 0,
              const QString &address = QStringLiteral("127.0.0.1"))
{
    window.netType()->setCurrentIndex(mode);
    window.ipAddr()->setText(address);
    QCOMPARE(window.ipAddr()->text(), address);
    if (mode == Client) {
        if (!far.listener.isListening())
            QVERIFY(far.listener.listen(QHostAddress::LocalHost, 0));
        window.ipPort()->setText(QString::number(far.listener.serverPort()));
    } else {
        window.ipPort()->setText(QStringLiteral("0"));
    }
    window.toggleNet();
    QVERIFY(window.netButton()->isChecked());
    QCOMPARE(window.state()->text(), successText(mode));
    if (mode == Client) {
        QTRY_VERIFY_WITH_TIMEOUT(far.listener.hasPendingConnections(), Timeout);
        far.accepted.reset(far.listener.nextPendingConnection());
    }
    for (int i = 0; i < clientCount; ++i)
        STEP(addClient(window, far));
}

// The port that identifies the open link: bound, listened on, or the
// client's own port as the window shows it.
quint16 linkPort(const Window &window, int mode)
{
    switch (mode) {
    case Udp:
        return KestruneProbe::udpSocket(*window.w)->localPort();
    case Server:
        return KestruneProbe::tcpServer(*window.w)->serverPort();
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
    QCOMPARE(KestruneProbe::udpSocket(*window.w) != nullptr, mode == Udp);
    QCOMPARE(KestruneProbe::tcpServer(*window.w) != nullptr, mode == Server);
    QCOMPARE(KestruneProbe::tcpClientSocket(*window.w) != nullptr, mode == Client);
}

void verifyClosed(const Window &window)
{
    QVERIFY(!window.netButton()->isChecked());
    QCOMPARE(window.netButton()->text(), ConnectCaption);
    QVERIFY(!window.sendButton()->isEnabled());
    QCOMPARE(window.state()->text(), QString());
    QVERIFY(!KestruneProbe::udpSocket(*window.w));
    QVERIFY(!KestruneProbe::tcpServer(*window.w));
    QVERIFY(!KestruneProbe::tcpClientSocket(*window.w));
}

// The far end sees that the link is gone.
void verifyLinkEnded(int mode, FarEnd &far, quint16 port)
{
    switch (mode) {
    case Udp: {
        // The port is free again: a socket that shares nothing can take it.
        QUdpSocket probe;
        QVERIFY2(probe.bind(QHostAddress::Any, port, QAbstractSocket::DontShareAddress),
                 qPrintable(probe.errorString()));
        break;
    }
    case Server: {
        for (const auto &client : far.clients)
            QTRY_COMPARE_WITH_TIMEOUT(client->state(), QAbstractSocket::UnconnectedState, Timeout);
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(!probe.waitForConnected(Timeout));
        QCOMPARE(probe.error(), QAbstractSocket::ConnectionRefusedError);
        break;
    }
    default:
        QVERIFY(far.accepted);
        QTRY_COMPARE_WITH_TIMEOUT(far.accepted->state(), QAbstractSocket::UnconnectedState, Timeout);
        break;
    }
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress);
    return probe.localPort();
}

quint16 freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
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
    QTest::newRow("at start") << -1 << Udp << udpRow << "本地端口" << "本地IP地址" << "目标IP地址" << "目标端口";
    QTest::newRow("UDP after client") << Client << Udp << udpRow << "本地端口" << "本地IP地址" << "目标IP地址" << "目标端口";
    QTest::newRow("UDP after server") << Server << Udp << udpRow << "本地端口" << "本地IP地址" << "目标IP地址" << "目标端口";
    // The server leaves the target row's captions as they were.
    QTest::newRow("server after UDP") << Udp << Server << serverRow << "本地端口" << "本地IP地址" << "目标IP地址" << "目标端口";
    QTest::newRow("server after client") << Client << Server << serverRow << "本地端口" << "本地IP地址" << "本地IP地址" << "本地端口";
    QTest::newRow("client after UDP") << Udp << Client << udpRow << "服务器端口" << "服务器IP地址" << "本地IP地址" << "本地端口";
    QTest::newRow("client after server") << Server << Client << udpRow << "服务器端口" << "服务器IP地址" << "本地IP地址" << "本地端口";
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

    QTest::newRow("UDP") << Udp << "127.0.0.1";
    QTest::newRow("TCP server") << Server << "127.0.0.1";
    QTest::newRow("TCP client") << Client << "127.0.0.1";
    // Every digit position of the address mask filled.
    QTest::newRow("TCP server, zero-padded address") << Server << "127.000.000.001";
    QTest::newRow("TCP client, zero-padded address") << Client << "127.000.000.001";
}

void tst_LinkControl::opensAndCloses()
{
    QFETCH(int, mode);
    QFETCH(QString, address);

    Window window;
    const QString targetPort = window.udpPort()->text();
    // Twice: a closed link leaves nothing behind that stops the next one.
    for (int round = 0; round < 2; ++round) {
        FarEnd far;
        STEP(openLink(window, mode, far, mode == Server ? 1 : 0, address));
        STEP(verifyOpen(window, mode));
        // The selector, the fields and the check boxes stay usable.
        QVERIFY(window.netType()->isEnabled());
        QVERIFY(window.ipAddr()->isEnabled() && window.ipPort()->isEnabled());
        QVERIFY(window.udpIp()->isEnabled() && window.udpPort()->isEnabled());

        QPointer<QObject> link;
        switch (mode) {
        case Udp:
            link = KestruneProbe::udpSocket(*window.w);
            QCOMPARE(KestruneProbe::udpSocket(*window.w)->state(), QAbstractSocket::BoundState);
            QVERIFY(linkPort(window, mode) != 0);
            QCOMPARE(window.udpPort()->text(), targetPort);
            break;
        case Server:
            link = KestruneProbe::tcpServer(*window.w);
            QVERIFY(KestruneProbe::tcpServer(*window.w)->isListening());
            QCOMPARE(KestruneProbe::tcpServer(*window.w)->serverAddress(), QHostAddress(QHostAddress::LocalHost));
            QCOMPARE(window.udpPort()->text(), targetPort);
            break;
        default:
            link = KestruneProbe::tcpClientSocket(*window.w);
            QCOMPARE(KestruneProbe::tcpClientSocket(*window.w)->state(), QAbstractSocket::ConnectedState);
            // The window shows its own end's port, the one the server sees.
            QCOMPARE(window.udpPort()->text(), QString::number(far.accepted->peerPort()));
            QCOMPARE(window.udpPort()->text(), QString::number(KestruneProbe::tcpClientSocket(*window.w)->localPort()));
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

    QTest::newRow("UDP, letters") << Udp << "abc" << 0 << true;
    QTest::newRow("UDP, empty") << Udp << "" << 0 << true;
    QTest::newRow("UDP, free port") << Udp << "%1" << 0 << false;
    QTest::newRow("UDP, beyond 16 bits") << Udp << "%1" << 65536 << false;
    QTest::newRow("server, letters") << Server << "abc" << 0 << true;
    QTest::newRow("server, empty") << Server << "" << 0 << true;
    QTest::newRow("server, free port") << Server << "%1" << 0 << false;
    QTest::newRow("server, beyond 16 bits") << Server << "%1" << 65536 << false;
}

void tst_LinkControl::readsPortTexts()
{
    QFETCH(int, mode);
    QFETCH(QString, text);
    QFETCH(int, offset);
    QFETCH(bool, systemChosen);

    const quint16 free = mode == Udp ? freeUdpPort() : freeTcpPort();
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

    QTest::newRow("UDP port held by a socket") << Udp << int(UdpPortHeld) << udpFailed << "8081";
    QTest::newRow("UDP port held by another window") << Udp << int(UdpPortHeldByWindow) << udpFailed << "8081";
    QTest::newRow("server port held by a server") << Server << int(ServerPortHeld) << serverFailed << "8081";
    QTest::newRow("server port held by another window") << Server << int(ServerPortHeldByWindow) << serverFailed << "8081";
    QTest::newRow("client address only the mask's dots") << Client << int(OnlyMaskDots) << addressFailed << "8081";
    QTest::newRow("client address out of range") << Client << int(NotAnAddress) << addressFailed << "8081";
    QTest::newRow("client refused") << Client << int(NothingListens) << connectFailed << "0";
    QTest::newRow("client never answered") << Client << int(ServerNeverAnswers) << connectFailed << "0";
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
    FarEnd otherFar;
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
        STEP(openLink(*other, mode, otherFar));
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
        BoxAnswerer answerer;
        window.toggleNet();
        QVERIFY2(answerer.seen, "no message box");
        QCOMPARE(answerer.title, QStringLiteral("错误"));
        QCOMPARE(answerer.text, message);
        QCOMPARE(answerer.icon, QMessageBox::Information);
        QCOMPARE(int(answerer.buttons), int(QMessageBox::Ok));
        QCOMPARE(answerer.parent, static_cast<QWidget *>(window.w.data()));
        // The attempt gives up by itself (after 2000 ms at the latest): the
        // box came. How long it took is the machine's, so it is only shown.
        qInfo("the box came after %lld ms", static_cast<long long>(answerer.shownAfterMs));
    }

    STEP(verifyClosed(window));
    QCOMPARE(window.udpPort()->text(), udpPortAfter);
    // No link object is left behind.
    QTRY_VERIFY_WITH_TIMEOUT(window.w->findChildren<QAbstractSocket *>().isEmpty(), Timeout);
    QVERIFY(window.w->findChildren<QTcpServer *>().isEmpty());

    // The button works again once the way is clear.
    FarEnd far;
    STEP(openLink(window, mode, far));
    STEP(verifyOpen(window, mode));
}

void tst_LinkControl::udpDestinationFollowsFields_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("open");

    QTest::newRow("UDP, closed") << Udp << false;
    QTest::newRow("UDP, open") << Udp << true;
    QTest::newRow("TCP server, open") << Server << true;
    QTest::newRow("TCP client, closed") << Client << false;
    QTest::newRow("TCP client, open") << Client << true;
}

void tst_LinkControl::udpDestinationFollowsFields()
{
    QFETCH(int, mode);
    QFETCH(bool, open);

    Window window;
    const mKestruneWidget &w = *window.w;
    window.udpIp()->setText(QStringLiteral("127.0.0.1"));
    window.udpPort()->setText(QStringLiteral("7007"));
    FarEnd far;
    if (open)
        STEP(openLink(window, mode, far));
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

    if (bySocat && socatPath().isEmpty())
        QSKIP("socat is not installed");
    if (ipv6 && !ipv6LoopbackAvailable())
        QSKIP("no IPv6 loopback on this machine");

    // The UDP link is bound on every local address, both families.
    Window window;
    FarEnd far;
    STEP(openLink(window, Udp, far));
    const quint16 port = linkPort(window, Udp);
    QSignalSpy arrived(KestruneProbe::udpSocket(*window.w), &QUdpSocket::readyRead);

    QUdpSocket sender;
    std::unique_ptr<Socat> socat;
    if (bySocat) {
        const QString target = ipv6 ? QStringLiteral("UDP6-SENDTO:[::1]:%1") : QStringLiteral("UDP4-SENDTO:127.0.0.1:%1");
        socat = std::make_unique<Socat>(QStringList{QStringLiteral("-u"), QStringLiteral("STDIN"), target.arg(port)});
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
    FarEnd far;
    STEP(openLink(window, Server, far));
    QCOMPARE(window.clients()->count(), 0);

    // After every notice of the server, once the window has handled it.
    mTcpServer *server = KestruneProbe::tcpServer(w);
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

    STEP(addClient(window, far));
    QTcpSocket &first = *far.clients[0];
    const int d1 = serverDescriptorOf(w, first);
    QVERIFY(d1 > 0);
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(first)}));
    QCOMPARE(KestruneProbe::socketDescriptorList(w), QList<int>({0, d1}));
    QCOMPARE(KestruneProbe::clientLinkCount(w), 1);
    QCOMPARE(window.clients()->currentIndex(), 0);

    STEP(addClient(window, far));
    QTcpSocket &second = *far.clients[1];
    const int d2 = serverDescriptorOf(w, second);
    QVERIFY(d2 > 0 && d2 != d1);
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(first), clientText(second)}));
    QCOMPARE(KestruneProbe::socketDescriptorList(w), QList<int>({0, d1, d2}));
    QCOMPARE(KestruneProbe::clientLinkCount(w), 2);
    QCOMPARE(window.clients()->currentIndex(), 0);

    // A later arrival leaves the user's choice alone.
    window.clients()->setCurrentIndex(1);
    STEP(addClient(window, far));
    QTcpSocket &third = *far.clients[2];
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
    STEP(addClient(window, far));
    QTcpSocket &fourth = *far.clients[3];
    const int d4 = serverDescriptorOf(w, fourth);
    QVERIFY(d4 > 0);
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(fourth)}));
    QCOMPARE(KestruneProbe::socketDescriptorList(w), QList<int>({0, d4}));
    QCOMPARE(KestruneProbe::clientLinkCount(w), 1);
    QCOMPARE(window.clients()->currentIndex(), 0);

    QCOMPARE(notices, 4 + 3 + 1);
    QVERIFY2(breaches.isEmpty(), qPrintable(breaches.join(QStringLiteral("; "))));
    STEP(verifyOpen(window, Server));
}

void tst_LinkControl::serverCloseEndsClients()
{
    Window window;
    const mKestruneWidget &w = *window.w;
    FarEnd far;
    STEP(openLink(window, Server, far, 2));
    const quint16 port = linkPort(window, Server);
    QSignalSpy firstGone(far.clients[0].get(), &QTcpSocket::disconnected);
    QSignalSpy secondGone(far.clients[1].get(), &QTcpSocket::disconnected);

    window.toggleNet();
    STEP(verifyClosed(window));
    QTRY_COMPARE_WITH_TIMEOUT(firstGone.size(), 1, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(secondGone.size(), 1, Timeout);
    QCOMPARE(window.clients()->count(), 0);
    QVERIFY(KestruneProbe::socketDescriptorList(w).isEmpty());
    QCOMPARE(KestruneProbe::clientLinkCount(w), 0);
    STEP(verifyLinkEnded(Server, far, port));

    // A new server starts with an empty list.
    FarEnd next;
    STEP(openLink(window, Server, next, 1));
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(*next.clients[0])}));
    QCOMPARE(KestruneProbe::socketDescriptorList(w), QList<int>({0, serverDescriptorOf(w, *next.clients[0])}));
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
    FarEnd far;
    STEP(openLink(window, Server, far, Clients));
    const quint16 port = linkPort(window, Server);
    std::vector<QByteArray> got(Clients);
    for (int i = 0; i < Clients; ++i) {
        QTcpSocket *client = far.clients[i].get();
        connect(client, &QTcpSocket::readyRead, client, [client, &got, i] { got[i] += client->readAll(); });
    }
    window.sendArea()->setPlainText(QString::fromLatin1(data));
    window.send();
    QCOMPARE(window.sent(), quint32(data.size()));
    QVERIFY(KestruneProbe::tcpServer(w)->largestPendingWrite() > 0);
    window.toggleNet();
    STEP(verifyClosed(window));
    QCOMPARE(window.clients()->count(), 0);
    QVERIFY(KestruneProbe::socketDescriptorList(w).isEmpty());

    // A new server on the same port opens at once and works.
    window.ipPort()->setText(QString::number(port));
    window.toggleNet();
    QVERIFY(window.netButton()->isChecked());
    QCOMPARE(linkPort(window, Server), port);
    FarEnd next;
    STEP(addClient(window, next));
    const QStringList newList{AllClients, clientText(*next.clients[0])};
    QCOMPARE(window.clientItems(), newList);

    for (int i = 0; i < Clients; ++i) {
        QTRY_COMPARE_WITH_TIMEOUT(far.clients[i]->state(), QAbstractSocket::UnconnectedState, Timeout);
        got[i] += far.clients[i]->readAll();
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
    FarEnd far;
    STEP(openLink(window, Server, far, 1));
    const quint16 port = linkPort(window, Server);
    QTcpSocket *stalled = far.clients[0].get();
    stalled->setReadBufferSize(4096);
    STEP(chooseSource(window, path));

    // Once the server holds more than it can hand over, the link is
    // switched off in the middle of the send.
    QTimer watch;
    watch.setInterval(5);
    bool switched = false;
    connect(&watch, &QTimer::timeout, this, [&] {
        const mTcpServer *server = KestruneProbe::tcpServer(*window.w);
        if (!switched && server && server->largestPendingWrite() > 512 * KiB) {
            switched = true;
            window.toggleNet();
        }
    });
    watch.start();
    window.send();
    watch.stop();
    QVERIFY(switched);
    STEP(verifyClosed(window));

    window.ipPort()->setText(QString::number(port));
    window.toggleNet();
    QVERIFY(window.netButton()->isChecked());
    FarEnd next;
    STEP(addClient(window, next));
    next.clients[0]->write("fresh");
    // Shown at the cursor, which stays above the file send's notes.
    const QString shown = QStringLiteral("【数据来自") + clientText(*next.clients[0]) + QStringLiteral("】\nfresh");
    QTRY_VERIFY_WITH_TIMEOUT(window.rcvArea()->toPlainText().contains(shown), Timeout);
    QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(*next.clients[0])}));

    if (windowCloses) {
        // Nothing waits for the old connection: it ends with the window.
        delete window.w.data();
        QTRY_COMPARE_WITH_TIMEOUT(next.clients[0]->state(), QAbstractSocket::UnconnectedState, Timeout);
    } else {
        // The old connection is aborted after the grace period; the new
        // one stays.
        QTRY_VERIFY_WITH_TIMEOUT(window.w->findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly).isEmpty(), Timeout);
        QCOMPARE(next.clients[0]->state(), QAbstractSocket::ConnectedState);
        QCOMPARE(window.clientItems(), QStringList({AllClients, clientText(*next.clients[0])}));
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

    QTest::newRow("UDP open, client shown") << Udp << Client;
    QTest::newRow("UDP open, server shown") << Udp << Server;
    QTest::newRow("server open, UDP shown") << Server << Udp;
    QTest::newRow("server open, client shown") << Server << Client;
    QTest::newRow("client open, UDP shown") << Client << Udp;
    QTest::newRow("client open, server shown") << Client << Server;
}

void tst_LinkControl::closesTheLinkThatIsOpen()
{
    QFETCH(int, openMode);
    QFETCH(int, shownMode);

    Window window;
    FarEnd far;
    STEP(openLink(window, openMode, far, openMode == Server ? 2 : 0));
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
    FarEnd next;
    STEP(openLink(window, shownMode, next));
    STEP(verifyOpen(window, shownMode));
}

void tst_LinkControl::windowDestroyedWithOpenLink_data()
{
    QTest::addColumn<int>("mode");

    QTest::newRow("UDP") << Udp;
    QTest::newRow("server with two clients") << Server;
    QTest::newRow("client") << Client;
}

void tst_LinkControl::windowDestroyedWithOpenLink()
{
    QFETCH(int, mode);

    FarEnd far;
    auto window = std::make_unique<Window>();
    STEP(openLink(*window, mode, far, mode == Server ? 2 : 0));
    const quint16 port = linkPort(*window, mode);
    // Data on its way in while the window goes.
    for (const auto &client : far.clients)
        client->write("bye");
    if (far.accepted)
        far.accepted->write("bye");

    window.reset();
    STEP(verifyLinkEnded(mode, far, port));
}

void tst_LinkControl::socatClientJoinsAndLeaves()
{
    if (socatPath().isEmpty())
        QSKIP("socat is not installed");

    Window window;
    const mKestruneWidget &w = *window.w;
    FarEnd far;
    STEP(openLink(window, Server, far));
    mTcpServer *server = KestruneProbe::tcpServer(w);
    QByteArray received;
    connect(server, &mTcpServer::updateTcpServer, window.w.data(),
            [&](char *msg, int length, int) { received.append(msg, length); });

    Socat socat({QStringLiteral("-u"), QStringLiteral("STDIN"),
                 QStringLiteral("TCP:127.0.0.1:%1").arg(server->serverPort())});
    QVERIFY(socat.process.waitForStarted(Timeout));
    socat.process.write("hello from socat\n");

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
    socat.process.closeWriteChannel();
    QTRY_COMPARE_WITH_TIMEOUT(socat.process.state(), QProcess::NotRunning, Timeout);
    QCOMPARE(socat.process.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(KestruneProbe::clientLinkCount(w), 0, Timeout);
    QCOMPARE(window.clients()->count(), 0);
    QVERIFY(KestruneProbe::socketDescriptorList(w).isEmpty());
    STEP(verifyOpen(window, Server));
}

void tst_LinkControl::socatServerSeesClientComeAndGo()
{
    if (socatPath().isEmpty())
        QSKIP("socat is not installed");

    // socat listens on a port of the system's choice and reports it.
    Socat socat({QStringLiteral("-d"), QStringLiteral("-d"), QStringLiteral("-u"),
                 QStringLiteral("TCP-LISTEN:0,bind=127.0.0.1"), QStringLiteral("STDOUT")});
    QVERIFY(socat.process.waitForStarted(Timeout));
    const QRegularExpressionMatch listening =
        socat.waitForLog(QRegularExpression(QStringLiteral("listening on AF=2 127\\.0\\.0\\.1:(\\d+)")));
    QVERIFY2(listening.hasMatch(), qPrintable(socat.log));

    Window window;
    window.netType()->setCurrentIndex(Client);
    window.ipAddr()->setText(QStringLiteral("127.0.0.1"));
    window.ipPort()->setText(listening.captured(1));
    window.toggleNet();
    STEP(verifyOpen(window, Client));

    // The port the window shows is the one socat saw the connection come from.
    const QRegularExpressionMatch accepted =
        socat.waitForLog(QRegularExpression(QStringLiteral("accepting connection from AF=2 127\\.0\\.0\\.1:(\\d+)")));
    QVERIFY2(accepted.hasMatch(), qPrintable(socat.log));
    QCOMPARE(window.udpPort()->text(), accepted.captured(1));

    // Closing the link ends the connection, and with it socat.
    window.toggleNet();
    STEP(verifyClosed(window));
    QTRY_COMPARE_WITH_TIMEOUT(socat.process.state(), QProcess::NotRunning, Timeout);
    QCOMPARE(socat.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(socat.process.exitCode(), 0);
}

QTEST_MAIN(tst_LinkControl)
#include "tst_linkcontrol.moc"
