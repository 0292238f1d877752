#include "hexcodec.h"
#include "mtcpserver.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

using namespace testsupport;

// A seeded soak: random user actions on the real window while hostile peers
// on 127.0.0.1 act at the same time. After every step the window's event
// loop must still turn, its client list must match its descriptor list and
// its counters may only have moved by what was sent or read. At the end of
// each seed the window talks to well-behaved peers, which must get exactly
// what it counted.
//
// KESTRUNE_SOAK_SECONDS sets the whole run's length (default 60; each seed
// has about 7.5 s), KESTRUNE_SOAK_SEED replays one seed. A failing seed
// prints its action log.
class tst_Soak final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void randomUse_data();
    void randomUse();

private:
    QTemporaryDir dir;
    QStringList log;
};

namespace {

constexpr double SecondsPerSeed = 7.5;

qint64 envNumber(const char *name, qint64 fallback)
{
    bool ok = false;
    const qint64 value = qEnvironmentVariable(name).toLongLong(&ok);
    return ok ? value : fallback;
}

QByteArray invalidUtf8(QRandomGenerator &rng, int size)
{
    static const char pieces[][4] = {"\xFF", "\xC3", "\xE2\x82", "\xF0\x9F", "\x80", "\xED\xA0\x80"};
    QByteArray bytes;
    while (bytes.size() < size) {
        if (rng.bounded(3) == 0)
            bytes += pieces[rng.bounded(int(std::size(pieces)))];
        else
            bytes += char('a' + rng.bounded(26));
    }
    return bytes.left(size);
}

// The peers that attack whichever link the window has open: a UDP socket
// that is also the window's UDP destination, a TCP server that the
// window's client link connects to, and a swarm of clients of the window's
// server. They act on a 5 ms timer, so they act in every event loop the
// window runs, its nested ones too.
class Hostiles final : public QObject
{
public:
    explicit Hostiles(quint32 seed)
        : rng(seed ^ 0x5eedu)
    {
        udp.bind(QHostAddress::LocalHost, 0);
        connect(&udp, &QUdpSocket::readyRead, this, [this] {
            while (udp.hasPendingDatagrams())
                udp.receiveDatagram();
        });
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection())
                adopt(socket, accepted);
        });
        connect(&tick, &QTimer::timeout, this, &Hostiles::act);
        tick.start(5);
    }

    ~Hostiles() override { stop(); }

    void stop()
    {
        tick.stop();
        for (auto *list : {&accepted, &swarm}) {
            for (QTcpSocket *socket : std::as_const(*list))
                delete socket;
            list->clear();
        }
    }

    quint16 udpPort() const { return udp.localPort(); }
    quint16 serverPort() const { return server.serverPort(); }

    // The window's open link that the peers attack; 0 when none.
    quint16 windowUdpPort = 0;
    quint16 windowServerPort = 0;
    // Bytes the peers handed to their sockets towards the window.
    qint64 handedToWindow = 0;
    int ticks = 0;

private:
    void adopt(QTcpSocket *socket, QList<QTcpSocket *> &list)
    {
        list.append(socket);
        socket->setParent(nullptr);
        if (rng.bounded(4) == 0) {
            // A peer that never reads: Qt stops taking bytes off the
            // connection once this little is buffered.
            socket->setReadBufferSize(1);
        } else {
            connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
        }
    }

    void write(QTcpSocket *socket, const QByteArray &bytes)
    {
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
        const qint64 written = socket->write(bytes);
        if (written > 0)
            handedToWindow += written;
    }

    QByteArray payload()
    {
        switch (rng.bounded(4)) {
        case 0:
            return invalidUtf8(rng, 1 + rng.bounded(512));
        case 1:
            return randomBytes(1 + rng.bounded(4096), rng.generate());
        case 2:
            return QByteArray("line of text\n").repeated(1 + rng.bounded(20));
        default:
            return QByteArray(1 + rng.bounded(64), 'x');
        }
    }

    void act()
    {
        ++ticks;
        if (windowUdpPort && rng.bounded(3) == 0)
            datagrams();
        if (windowServerPort)
            churn();
        for (QTcpSocket *socket : std::as_const(accepted)) {
            if (rng.bounded(8) == 0)
                write(socket, payload());
        }
        if (!accepted.isEmpty() && rng.bounded(200) == 0)
            drop(accepted, int(rng.bounded(accepted.size())));
    }

    void datagrams()
    {
        const int count = rng.bounded(10) == 0 ? 20 : 1; // now and then a burst
        for (int i = 0; i < count; ++i) {
            QByteArray datagram;
            switch (rng.bounded(6)) {
            case 0:
                break; // zero bytes
            case 1:
                if (rng.bounded(8) == 0)
                    datagram = randomBytes(65507, rng.generate()); // the largest over IPv4
                break;
            default:
                datagram = payload().left(1400);
                break;
            }
            const qint64 sent = udp.writeDatagram(datagram, QHostAddress::LocalHost, windowUdpPort);
            if (sent > 0)
                handedToWindow += sent;
        }
    }

    void churn()
    {
        if (swarm.size() < 200 && rng.bounded(3) == 0) {
            for (int i = 0, n = 1 + rng.bounded(5); i < n; ++i) {
                auto *socket = new QTcpSocket;
                socket->connectToHost(QHostAddress::LocalHost, windowServerPort);
                adopt(socket, swarm);
            }
        }
        // A client that is gone by the time the window takes it.
        if (rng.bounded(20) == 0 && sendAndReset(windowServerPort, "gone") != 0)
            handedToWindow += 4;
        if (swarm.isEmpty())
            return;
        const int i = int(rng.bounded(swarm.size()));
        QTcpSocket *socket = swarm.at(i);
        switch (rng.bounded(10)) {
        case 0:
            drop(swarm, i);
            break;
        case 1:
            // Half-open: this end stops sending but stays to read.
            if (socket->state() == QAbstractSocket::ConnectedState)
                ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
            break;
        case 2:
        case 3:
            write(socket, payload());
            break;
        case 4:
            // Now and then a flood.
            if (rng.bounded(10) == 0)
                write(socket, QByteArray("flood of text\n").repeated(16 * 1024));
            break;
        default:
            break;
        }
        // Sockets whose connection ended go.
        for (int j = swarm.size() - 1; j >= 0; --j) {
            if (swarm.at(j)->state() == QAbstractSocket::UnconnectedState)
                delete swarm.takeAt(j);
        }
    }

    // Ends a connection at random: reset, orderly close, or gone at once.
    void drop(QList<QTcpSocket *> &list, int i)
    {
        QTcpSocket *socket = list.takeAt(i);
        switch (rng.bounded(3)) {
        case 0:
            resetConnection(socket);
            break;
        case 1:
            socket->disconnectFromHost();
            break;
        default:
            break;
        }
        socket->deleteLater();
    }

    QRandomGenerator rng;
    QUdpSocket udp;
    QTcpServer server;
    QList<QTcpSocket *> accepted;
    QList<QTcpSocket *> swarm;
    QTimer tick;
};

// Texts a user may type or paste. Address texts are loopback or no address
// at all, so that nothing ever leaves the machine.
const char *const Addresses[] = {"127.0.0.1", "127.000.000.001", "", "...", "999.1.1.1", "127.0.0.1.1", "abc"};
const char *const Ports[] = {"0", "", "-1", "65536", "abc", "99999999999", "1"};
const char *const Intervals[] = {"1", "2", "5", "20", "0", "", "abc", "50"};

// One seed's run: the window, the peers, the files, and what the checks
// have to remember between steps.
class Run final
{
public:
    Run(quint32 seed, const QTemporaryDir &dir, QStringList &log)
        : rng(seed)
        , peers(seed)
        , dir(dir)
        , log(log)
    {
        // The window starts with the host's own address in both fields:
        // loopback from here on.
        window.ipAddr()->setText(QStringLiteral("127.0.0.1"));
        window.udpIp()->setText(QStringLiteral("127.0.0.1"));
        smallFile = writeFile(dir, QStringLiteral("small-%1.bin").arg(seed), randomBytes(3000, seed));
        textFile = writeFile(dir, QStringLiteral("text-%1.txt").arg(seed), "line one\r\nline two\n");
        badTextFile = writeFile(dir, QStringLiteral("bad-%1.txt").arg(seed), invalidUtf8(rng, 300));
        // A named pipe with nobody at its other end.
        fifo = dir.filePath(QStringLiteral("pipe-%1").arg(seed));
        if (::mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0)
            qFatal("cannot make the FIFO %s", qPrintable(fifo));
        dialogs.otherwise([this](QWidget *modal) { answer(modal); });
        stopper.setSingleShot(true);
        QObject::connect(&stopper, &QTimer::timeout, window.w, [this] {
            if (stopHow == 1 && window.netButton()->isChecked())
                toggleLink();
            else if (window.sourceBox()->isChecked())
                clickBox(window.sourceBox());
        });
    }

    void step(int index)
    {
        note = QString();
        const quint32 rcvBefore = window.received();
        const quint32 sndBefore = window.sent();
        resetHere = false;
        switch (rng.bounded(17)) {
        case 0:
            window.netType()->setCurrentIndex(rng.bounded(3));
            say(QStringLiteral("link type %1").arg(window.netType()->currentIndex()));
            break;
        case 1:
        case 2:
            toggleLink();
            break;
        case 3:
            typeIntoField();
            break;
        case 4:
            fillSendArea();
            break;
        case 5:
        case 6:
            toggleSwitch();
            break;
        case 7:
        case 8:
            sendOnce();
            break;
        case 9:
            toggleLoop();
            break;
        case 10:
            toggleSource();
            break;
        case 11:
            toggleCapture();
            break;
        case 12:
            plan(rng.bounded(5) == 0 ? fifo
                 : rng.bounded(3) ? dir.filePath(QStringLiteral("saved-%1.txt").arg(index)) : QString());
            say(QStringLiteral("save"));
            QTest::mouseClick(window.child<QPushButton>("pBtnSaveRcvData"), Qt::LeftButton);
            break;
        case 13: {
            const int which = rng.bounded(4);
            plan(which == 0 ? textFile : which == 1 ? badTextFile : which == 2 ? fifo : QString());
            say(QStringLiteral("load"));
            QTest::mouseClick(window.child<QPushButton>("pBtnLoadSndData"), Qt::LeftButton);
            break;
        }
        case 14: {
            const char *const buttons[] = {"pBtnClearRcvDisp", "pBtnClearSndDisp", "pBtnResetCnt"};
            const char *name = buttons[rng.bounded(3)];
            say(QLatin1String(name));
            resetHere = std::strcmp(name, "pBtnResetCnt") == 0;
            if (resetHere)
                accountReset(rcvBefore);
            QTest::mouseClick(window.child<QPushButton>(name), Qt::LeftButton);
            break;
        }
        case 15:
            if (window.clients()->count() > 0) {
                window.clients()->setCurrentIndex(rng.bounded(window.clients()->count()));
                say(QStringLiteral("client %1 of %2").arg(window.clients()->currentIndex()).arg(window.clients()->count()));
            }
            break;
        default:
            say(QStringLiteral("wait"));
            break;
        }
        log.append(QStringLiteral("%1: %2").arg(index).arg(note));
        if (loopOn && ++loopSteps > 12)
            toggleLoop();
        STEP(check(rcvBefore, sndBefore));
    }

    // The window talks to well-behaved peers; each gets exactly what the
    // window counted for it, and the window counts exactly what they sent.
    void finish()
    {
        peers.stop();
        if (window.netButton()->isChecked())
            window.toggleNet();
        for (const char *name : {"cBoxLoopSnd", "cBoxStartSndFile", "StartRcvFile", "cBox_PauseShowRcv",
                                 "cBox_SndHexDisp", "cBox_chatMode", "cBox_AntoClearSnd"}) {
            if (window.box(name)->isChecked())
                clickBox(window.box(name));
        }
        QVERIFY(!window.loopBox()->isChecked());
        QVERIFY(!window.sourceBox()->isChecked());
        window.ipAddr()->setText(QStringLiteral("127.0.0.1"));
        window.udpIp()->setText(QStringLiteral("127.0.0.1"));
        window.interval()->setText(QStringLiteral("1000"));
        for (const int mode : {UdpLink, TcpServerLink, TcpClientLink}) {
            QTest::mouseClick(window.child<QPushButton>("pBtnResetCnt"), Qt::LeftButton);
            Peer peer;
            STEP(openLink(window, peer, mode));
            window.sendArea()->setPlainText(QStringLiteral("end of the soak"));
            for (int i = 0; i < 3; ++i)
                window.send();
            QCOMPARE(window.sent(), 3u * 15u);
            QTRY_COMPARE_WITH_TIMEOUT(peer.bytes().size(), qsizetype(window.sent()), Timeout);
            if (mode == UdpLink)
                peer.udp.writeDatagram("tail", QHostAddress::LocalHost, udpLink(*window.w)->localPort());
            else
                peer.sockets[0]->write("tail");
            QTRY_COMPARE_WITH_TIMEOUT(window.received(), 4u, Timeout);
            STEP(closeLink(window));
        }
    }

private:
    void say(const QString &text) { note += text; }

    // Where the next file dialog is answered: a path, or cancelled.
    void plan(const QString &path) { planned = path; }

    void answer(QWidget *modal)
    {
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            say(QStringLiteral(" [box %1]").arg(box->text().left(40)));
            QAbstractButton *button = box->button(QMessageBox::Yes);
            if (!button)
                button = box->button(QMessageBox::Ok);
            if (button)
                button->click();
            else
                box->accept();
            return;
        }
        auto *files = qobject_cast<QFileDialog *>(modal);
        if (files && modal != lastFileDialog && !planned.isNull()) {
            lastFileDialog = modal;
            say(QStringLiteral(" [dialog %1: %2]").arg(files->windowTitle(), planned));
            pickFile(files, std::exchange(planned, QString()));
            return;
        }
        // Cancelled, or a dialog still up after its answer (a folder was
        // entered): the user gives up.
        say(QStringLiteral(" [%1 cancelled]").arg(modal->windowTitle()));
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    }

    void toggleLink()
    {
        if (!window.netButton()->isChecked()) {
            const int mode = window.netType()->currentIndex();
            const bool sane = rng.bounded(8) != 0;
            if (sane) {
                window.ipAddr()->setText(QStringLiteral("127.0.0.1"));
                window.ipPort()->setText(mode == TcpClientLink ? QString::number(peers.serverPort()) : QStringLiteral("0"));
                window.udpIp()->setText(QStringLiteral("127.0.0.1"));
                window.udpPort()->setText(QString::number(peers.udpPort()));
            }
            say(QStringLiteral("open %1 at %2:%3").arg(modeName(mode), window.ipAddr()->text(), window.ipPort()->text()));
        } else {
            say(QStringLiteral("close"));
        }
        window.toggleNet();
        const mKestruneWidget &w = *window.w;
        peers.windowUdpPort = udpLink(w) ? udpLink(w)->localPort() : 0;
        peers.windowServerPort = serverLink(w) ? serverLink(w)->serverPort() : 0;
    }

    void typeIntoField()
    {
        switch (rng.bounded(5)) {
        case 0:
            window.ipAddr()->setText(QLatin1String(Addresses[rng.bounded(int(std::size(Addresses)))]));
            say(QStringLiteral("address ") + window.ipAddr()->text());
            break;
        case 1:
            window.udpIp()->setText(QLatin1String(Addresses[rng.bounded(int(std::size(Addresses)))]));
            say(QStringLiteral("UDP target ") + window.udpIp()->text());
            break;
        case 2:
            window.ipPort()->clear();
            QTest::keyClicks(window.ipPort(), QLatin1String(Ports[rng.bounded(int(std::size(Ports)))]));
            say(QStringLiteral("port ") + window.ipPort()->text());
            break;
        case 3:
            window.udpPort()->clear();
            QTest::keyClicks(window.udpPort(), QLatin1String(Ports[rng.bounded(int(std::size(Ports)))]));
            say(QStringLiteral("UDP port ") + window.udpPort()->text());
            break;
        default:
            typeInterval();
            break;
        }
    }

    void typeInterval()
    {
        window.interval()->clear();
        QTest::keyClicks(window.interval(), QLatin1String(Intervals[rng.bounded(int(std::size(Intervals)))]));
        QTest::keyClick(window.interval(), Qt::Key_Return);
        say(QStringLiteral("interval ") + window.interval()->text());
    }

    void fillSendArea()
    {
        QString text;
        switch (rng.bounded(7)) {
        case 0:
            text = QStringLiteral("01 02 ff 7f 00");
            break;
        case 1:
            text = QStringLiteral("zz 1g 123 ff f 0x10 -1");
            break;
        case 2: {
            // 100 000 characters of words and lines.
            while (text.size() < 100000)
                text += QStringLiteral("word%1 ").arg(rng.bounded(1000)) + (rng.bounded(12) ? QString() : QStringLiteral("\n"));
            text.truncate(100000);
            break;
        }
        case 3:
            text = QString::fromUtf8(invalidUtf8(rng, 200));
            break;
        case 4:
            text = QStringLiteral("发送 text ") + QString::number(rng.generate());
            break;
        case 5:
            // One line of 100 000 characters without a space.
            text = QString(100000, QLatin1Char('x'));
            break;
        default:
            break; // empty
        }
        window.sendArea()->setPlainText(text);
        say(QStringLiteral("send area: %1 characters").arg(text.size()));
    }

    void toggleSwitch()
    {
        const char *const switches[] = {"cBox_ShowRcvTime", "cBox_RcvHexDisp", "cBox_PauseShowRcv", "cBox_chatMode",
                                        "cBox_echoMode", "cBox_AntoClearSnd", "cBox_SndHexDisp"};
        const char *name = switches[rng.bounded(int(std::size(switches)))];
        clickBox(window.box(name));
        say(QStringLiteral("%1 %2").arg(QLatin1String(name), window.box(name)->isChecked() ? "on" : "off"));
    }

    // A file send is stopped at a random moment by switching the source or
    // the link off, or left to end by itself when its file has an end.
    void armStopper()
    {
        if (!window.sourceBox()->isChecked())
            return;
        const bool endless = KestruneProbe::dataFileName(*window.w) == QLatin1String("/dev/zero");
        const int how = rng.bounded(endless ? 2 : 3);
        if (how == 2)
            return;
        stopHow = how;
        stopper.start(rng.bounded(60));
        say(how == 0 ? QStringLiteral(" (source off soon)") : QStringLiteral(" (link off soon)"));
    }

    void sendOnce()
    {
        say(QStringLiteral("send"));
        // Sends go to the link of the type the selector shows, if it is the
        // open one.
        const mKestruneWidget &w = *window.w;
        const int shown = window.netType()->currentIndex();
        const bool linkShown = (shown == UdpLink && udpLink(w))
            || (shown == TcpServerLink && serverLink(w)) || (shown == TcpClientLink && clientLink(w));
        const bool plain = window.sendButton()->isEnabled() && !window.sourceBox()->isChecked()
            && !window.loopBox()->isChecked() && !window.sendArea()->toPlainText().isEmpty() && linkShown;
        // A file send starts with the counters at zero.
        if (window.sendButton()->isEnabled() && window.sourceBox()->isChecked()) {
            resetHere = true;
            accountReset(window.received());
        }
        const quint32 before = window.sent();
        const QByteArray payload = expectedPayload();
        armStopper();
        window.send();
        QTRY_VERIFY_WITH_TIMEOUT(!fileSendRunning(*window.w), Timeout);
        // A send that ended by itself leaves nothing for the stopper to do.
        stopper.stop();
        if (plain) {
            // One click sends the area's bytes once and counts them, when
            // the link takes them: no datagram goes to a target field that
            // holds no address or port 0, nor one beyond the largest an
            // IPv4 datagram carries, and a client link takes bytes only
            // while connected.
            bool taken = true;
            if (shown == UdpLink)
                taken = !KestruneProbe::udpTargetAddr(w).isNull() && quint16(KestruneProbe::udpTargetPort(w)) != 0
                    && payload.size() <= 65507;
            else if (shown == TcpClientLink)
                taken = clientLink(w) && clientLink(w)->state() == QAbstractSocket::ConnectedState;
            QCOMPARE(window.sent() - before, taken ? quint32(payload.size()) : 0u);
        }
    }

    // The bytes a click sends: hex tokens, or the text in the local 8-bit
    // encoding.
    QByteArray expectedPayload() const
    {
        const QString text = window.sendArea()->toPlainText();
        return window.hexBox()->isChecked() ? parseSendHex(text) : text.toLocal8Bit();
    }

    void toggleLoop()
    {
        if (!window.loopBox()->isChecked())
            typeInterval();
        clickBox(window.loopBox());
        loopOn = window.loopBox()->isChecked();
        loopSteps = 0;
        say(QStringLiteral(" loop %1").arg(loopOn ? "on" : "off"));
    }

    void toggleSource()
    {
        if (!window.sourceBox()->isChecked()) {
            const QString choices[] = {smallFile, QStringLiteral("/dev/zero"), dir.filePath(QStringLiteral("missing")),
                                       dir.path(), fifo, QString()};
            plan(choices[rng.bounded(int(std::size(choices)))]);
        }
        clickBox(window.sourceBox());
        say(QStringLiteral("source %1").arg(window.sourceBox()->isChecked() ? "on" : "off"));
    }

    void toggleCapture()
    {
        const quint32 before = window.received();
        const bool wasOn = window.box("StartRcvFile")->isChecked();
        if (!wasOn) {
            const QString choices[] = {dir.filePath(QStringLiteral("capture-%1.bin").arg(rng.generate())),
                                       dir.filePath(QStringLiteral("no/such/capture")), fifo, QString()};
            plan(choices[rng.bounded(int(std::size(choices)))]);
        }
        clickBox(window.box("StartRcvFile"));
        if (!wasOn && window.box("StartRcvFile")->isChecked()) {
            // Capture starts with the counters at zero.
            resetHere = true;
            accountReset(before);
        }
        say(QStringLiteral("capture %1").arg(window.box("StartRcvFile")->isChecked() ? "on" : "off"));
    }

    void accountReset(quint32 received) { readBeforeResets += received; }

    void check(quint32 rcvBefore, quint32 sndBefore)
    {
        // The event loop turns: the peers' timer ticks on.
        const int ticks = peers.ticks;
        QVERIFY2(QTest::qWaitFor([&] { return peers.ticks >= ticks + 2; }, Timeout), "the event loop stopped");
        const QString breach = clientListBreach(window);
        QVERIFY2(breach.isEmpty(), qPrintable(breach));
        if (!resetHere) {
            QVERIFY2(window.received() >= rcvBefore, "the receive counter went back");
            QVERIFY2(window.sent() >= sndBefore, "the send counter went back");
        }
        // Nothing is counted as read that no peer sent.
        QVERIFY2(readBeforeResets + window.received() <= peers.handedToWindow,
                 qPrintable(QStringLiteral("read %1 of %2 sent").arg(readBeforeResets + window.received())
                                .arg(peers.handedToWindow)));
        QCOMPARE(window.child<QLineEdit>("lEdit_SndCnt")->text(), QString::number(window.sent()));
    }

    QRandomGenerator rng;
    Window window;
    Hostiles peers;
    ModalScript dialogs;
    const QTemporaryDir &dir;
    QStringList &log;
    QString smallFile;
    QString textFile;
    QString badTextFile;
    QString fifo;
    // Ends a running file send: 0 switches the source off, 1 the link.
    QTimer stopper;
    int stopHow = 0;
    QString planned;
    QPointer<QWidget> lastFileDialog;
    QString note;
    bool resetHere = false;
    bool loopOn = false;
    int loopSteps = 0;
    qint64 readBeforeResets = 0;
};

} // namespace

void tst_Soak::initTestCase()
{
    QVERIFY(dir.isValid());
}

void tst_Soak::cleanup()
{
    if (QTest::currentTestFailed()) {
        qInfo("action log of the failing seed (replay with KESTRUNE_SOAK_SEED):");
        for (const QString &line : std::as_const(log))
            qInfo("  %s", qPrintable(line));
    }
    log.clear();
}

void tst_Soak::randomUse_data()
{
    QTest::addColumn<quint32>("seed");
    const qint64 replay = envNumber("KESTRUNE_SOAK_SEED", 0);
    if (replay > 0) {
        QTest::addRow("seed %lld", replay) << quint32(replay);
        return;
    }
    const qint64 seconds = envNumber("KESTRUNE_SOAK_SECONDS", 60);
    const int seeds = std::max(1, int(double(seconds) / SecondsPerSeed));
    for (int seed = 1; seed <= seeds; ++seed)
        QTest::addRow("seed %d", seed) << quint32(seed);
}

void tst_Soak::randomUse()
{
    QFETCH(quint32, seed);
    Run run(seed, dir, log);
    QElapsedTimer clock;
    clock.start();
    // Bounded by time and by count.
    for (int step = 0; step < 5000 && clock.elapsed() < qint64(SecondsPerSeed * 1000); ++step)
        STEP(run.step(step));
    log.append(QStringLiteral("finish"));
    STEP(run.finish());
    qInfo("seed %u: %lld actions", seed, static_cast<long long>(log.size() - 1));
}

QTEST_MAIN(tst_Soak)
#include "tst_soak.moc"
