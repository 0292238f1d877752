#include "filesend.h"
#include "mtcpserver.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <unistd.h>

#include <memory>

using namespace testsupport;

// Every entry field and file choice of the window with hostile values: each
// meets the window's reaction for it (a box, an unchecked switch, a clear
// result) and nothing crashes or hangs. Real sockets on 127.0.0.1 only: no value in
// this table makes the window send to any other address.
class tst_BadInput final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void openingPorts_data();
    void openingPorts();
    void clientPorts_data();
    void clientPorts();
    void udpTargetPorts_data();
    void udpTargetPorts();
    void addresses_data();
    void addresses();
    void interval_data();
    void interval();
    void hexSendText_data();
    void hexSendText();
    void dataSourceFiles_data();
    void dataSourceFiles();
    void endlessDataSource();
    void loadTextFiles_data();
    void loadTextFiles();
    void captureFiles_data();
    void captureFiles();
    void saveFiles_data();
    void saveFiles();

private:
    QTemporaryDir dir;
};

namespace {

// A port text whose value the system chooses.
constexpr int Chosen = -1;
// The row's text holds a port P the test has the system choose: %1 is P,
// %2 is P - 65536 and %3 is P + 65536, each of which gives P in its low 16
// bits.
constexpr int Picked = -2;

const QString ServerFailed = QStringLiteral("尝试建立服务器失败! 请确认网络状态和端口。");
const QString AddressFailed = QStringLiteral("TCP服务器IP设置失败!");
const QString ConnectFailed = QStringLiteral("尝试连接服务器失败! 请确认服务器状态。");
const QString OpenFailed = QStringLiteral("打开文件失败。");
const QString SaveFailed = QStringLiteral("保存文件失败。");

// A row's port text for the picked port (see Picked).
QString portText(QString text, quint16 port)
{
    return text.replace(QLatin1String("%1"), QString::number(port))
        .replace(QLatin1String("%2"), QString::number(int(port) - 65536))
        .replace(QLatin1String("%3"), QString::number(int(port) + 65536));
}

// Presses the link button and waits for nothing: the opening finishes (or
// fails with its box) inside the click.
void clickNet(const Window &window)
{
    window.toggleNet();
}

// The next datagram that reaches the socket; empty if none came in time.
QByteArray nextDatagram(QUdpSocket &socket)
{
    if (!socket.hasPendingDatagrams())
        (void)socket.waitForReadyRead(Timeout);
    return socket.hasPendingDatagrams() ? socket.receiveDatagram().data() : QByteArray("(none)");
}

// The send goes only to a target the test may reach: no address, or
// loopback.
void sendIfSafe(const Window &window)
{
    const QHostAddress &target = KestruneProbe::udpTargetAddr(*window.w);
    QVERIFY2(target.isNull() || target.isLoopback(), qPrintable(target.toString()));
    window.send();
}

// What a file dialog does with the path: take it, or, for a directory,
// open it and stay up until cancelled.
enum class Choice { Taken, EntersDirectory, NotFound };

// Answers the window's file dialog with path: the dialog takes it, enters
// the directory and is then cancelled, or (an open dialog given a name of
// no file) warns with a box of its own and is then cancelled.
void answerDialog(ModalScript &script, const QString &path, Choice choice, QString *enteredDirectory = nullptr)
{
    script.then<QFileDialog>([path](QFileDialog *dialog) { pickFile(dialog, path); });
    if (choice == Choice::NotFound)
        script.then<QMessageBox>(okBox(nullptr));
    if (choice != Choice::Taken) {
        script.then<QFileDialog>([enteredDirectory](QFileDialog *dialog) {
            if (enteredDirectory)
                *enteredDirectory = dialog->directory().absolutePath();
            cancelDialog(dialog);
        });
    }
}

QString unreadable(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = writeFile(dir, name, bytes);
    QFile::setPermissions(path, QFileDevice::Permissions());
    return path;
}

// A file that nobody, the superuser included, may open for reading: a
// write-only kernel attribute. Only ever opened for reading here, which
// fails before anything happens. Empty when the system has none.
QString writeOnlyDeviceFile()
{
    for (const char *candidate : {"/sys/bus/cpu/uevent", "/sys/bus/platform/uevent", "/sys/bus/pci/uevent"}) {
        QFile file(QString::fromLatin1(candidate));
        if (file.exists() && !file.open(QIODevice::ReadOnly))
            return file.fileName();
    }
    return {};
}

} // namespace

void tst_BadInput::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
}

void tst_BadInput::openingPorts_data()
{
    // The port is the text read as a base-10 int, of which the low 16 bits
    // count: what is no number reads as 0, and 0 lets the system choose.
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");

    for (const int mode : {UdpLink, TcpServerLink}) {
        const char *name = modeName(mode);
        QTest::addRow("%s, empty", name) << mode << "" << Chosen;
        QTest::addRow("%s, 0", name) << mode << "0" << Chosen;
        QTest::addRow("%s, a free port", name) << mode << "%1" << Picked;
        QTest::addRow("%s, 65536", name) << mode << "65536" << Chosen;
        QTest::addRow("%s, abc", name) << mode << "abc" << Chosen;
        QTest::addRow("%s, negative", name) << mode << "%2" << Picked;
        QTest::addRow("%s, beyond 65535", name) << mode << "%3" << Picked;
        QTest::addRow("%s, beyond int", name) << mode << "99999999999" << Chosen;
    }
}

void tst_BadInput::openingPorts()
{
    QFETCH(int, mode);
    QFETCH(QString, text);
    QFETCH(int, port);
    if (port == Picked) {
        port = freePort(mode);
        QVERIFY(port != 0);
        text = portText(text, quint16(port));
    }

    Window window;
    window.netType()->setCurrentIndex(mode);
    window.ipAddr()->setText(QStringLiteral("127.0.0.1"));
    window.ipPort()->setText(text);
    ModalScript boxes;
    clickNet(window);
    QCOMPARE(boxes.unexpected, QStringList());
    QVERIFY(window.netButton()->isChecked());
    QCOMPARE(KestruneProbe::localPort(*window.w), text.toInt(nullptr, 10));

    const quint16 opened = mode == UdpLink ? udpLink(*window.w)->localPort()
                                       : serverLink(*window.w)->serverPort();
    if (port == Chosen)
        QVERIFY(opened != 0);
    else
        QCOMPARE(int(opened), port);

    // The link works on that port.
    if (mode == UdpLink) {
        STEP(sendDatagramToWindow(window, "port"));
    } else {
        Peer client;
        STEP(client.addClient(window));
    }
    STEP(closeLink(window));
}

void tst_BadInput::clientPorts_data()
{
    // A client link connects to 127.0.0.1 at the port the text gives; port
    // 0 is refused at once.
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("connects");

    QTest::newRow("empty") << "" << false;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("65536") << "65536" << false;
    QTest::newRow("abc") << "abc" << false;
    QTest::newRow("a free port") << "%1" << true;
    QTest::newRow("negative") << "%2" << true;
    QTest::newRow("beyond 65535") << "%3" << true;
}

void tst_BadInput::clientPorts()
{
    QFETCH(QString, text);
    QFETCH(bool, connects);
    Peer listener;
    if (connects) {
        QVERIFY(listener.listener.listen(QHostAddress::LocalHost, 0));
        text = portText(text, listener.listener.serverPort());
    }

    Window window;
    window.netType()->setCurrentIndex(TcpClientLink);
    window.ipAddr()->setText(QStringLiteral("127.0.0.1"));
    window.ipPort()->setText(text);
    ModalScript boxes;
    QString boxText;
    if (!connects)
        boxes.then<QMessageBox>(okBox(&boxText));
    clickNet(window);
    QVERIFY(boxes.finished());
    QCOMPARE(boxes.unexpected, QStringList());
    QCOMPARE(window.netButton()->isChecked(), connects);
    if (connects) {
        STEP(listener.take());
        QCOMPARE(window.udpPort()->text(), QString::number(listener.socket()->peerPort()));
    } else {
        QCOMPARE(boxText, ConnectFailed);
        QCOMPARE(window.udpPort()->text(), QStringLiteral("0"));
        QVERIFY(!clientLink(*window.w));
    }
}

void tst_BadInput::udpTargetPorts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("reaches");   // the datagram reaches the socket of the picked port

    QTest::newRow("empty") << "" << false;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("65536") << "65536" << false;
    QTest::newRow("abc") << "abc" << false;
    QTest::newRow("a free port") << "%1" << true;
    QTest::newRow("negative") << "%2" << true;
    QTest::newRow("beyond 65535") << "%3" << true;
}

void tst_BadInput::udpTargetPorts()
{
    QFETCH(QString, text);
    QFETCH(bool, reaches);
    QUdpSocket highest;
    if (reaches) {
        QVERIFY(highest.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
        text = portText(text, highest.localPort());
    }
    Peer peer;
    Window window;
    STEP(openLink(window, peer, UdpLink));
    window.udpPort()->setText(text);
    QCOMPARE(KestruneProbe::udpTargetPort(*window.w), text.toInt(nullptr, 10));
    window.sendArea()->setPlainText(QStringLiteral("target"));
    // Port 0 is no destination: the click says so, and nothing is counted.
    QString boxText;
    ModalScript boxes;
    if (!reaches)
        boxes.then<QMessageBox>(okBox(&boxText));
    STEP(sendIfSafe(window));
    QVERIFY(boxes.finished());
    QCOMPARE(boxes.unexpected, QStringList());
    QCOMPARE(boxText, reaches ? QString() : QStringLiteral("目标端口无效! 数据未发送。"));
    QCOMPARE(window.sent(), reaches ? 6u : 0u);
    if (reaches)
        QCOMPARE(nextDatagram(highest), QByteArray("target"));

    // The link still sends once the port is a real one, and nothing went
    // to the peer before.
    window.udpPort()->setText(QString::number(peer.udp.localPort()));
    window.sendArea()->setPlainText(QStringLiteral("next"));
    STEP(sendIfSafe(window));
    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(), QByteArray("next"), Timeout);
    QCOMPARE(window.sent(), reaches ? 10u : 4u);
}

void tst_BadInput::addresses_data()
{
    // The address fields hold a mask of four dotted groups of up to three
    // digits: "1.2.3" reads back as "1.2.3.". Groups are decimal even with
    // leading zeros. Where the row opens a client link, the address is
    // loopback or no address at all.
    QTest::addColumn<int>("mode");         // Udp: the text is the target
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("box");      // the box that refuses the link
    QTest::addColumn<QString>("parsed");   // the address the window takes

    QTest::newRow("client, only dots") << int(TcpClientLink) << "..." << AddressFailed << "";
    QTest::newRow("client, 999.1.1.1") << int(TcpClientLink) << "999.1.1.1" << AddressFailed << "";
    QTest::newRow("client, 127.000.000.001") << int(TcpClientLink) << "127.000.000.001" << "" << "127.0.0.1";
    QTest::newRow("server, only dots") << int(TcpServerLink) << "..." << ServerFailed << "";
    QTest::newRow("server, 999.1.1.1") << int(TcpServerLink) << "999.1.1.1" << ServerFailed << "";
    QTest::newRow("server, 1.2.3") << int(TcpServerLink) << "1.2.3" << ServerFailed << "";
    QTest::newRow("server, 127.000.000.001") << int(TcpServerLink) << "127.000.000.001" << "" << "127.0.0.1";
    QTest::newRow("UDP target, only dots") << int(UdpLink) << "..." << "" << "";
    QTest::newRow("UDP target, 999.1.1.1") << int(UdpLink) << "999.1.1.1" << "" << "";
    QTest::newRow("UDP target, 1.2.3") << int(UdpLink) << "1.2.3" << "" << "";
    QTest::newRow("UDP target, 010.1.1.1") << int(UdpLink) << "010.1.1.1" << "" << "10.1.1.1";
    QTest::newRow("UDP target, 127.000.000.001") << int(UdpLink) << "127.000.000.001" << "" << "127.0.0.1";
}

void tst_BadInput::addresses()
{
    QFETCH(int, mode);
    QFETCH(QString, text);
    QFETCH(QString, box);
    QFETCH(QString, parsed);
    const QHostAddress expected = parsed.isEmpty() ? QHostAddress() : QHostAddress(parsed);

    Window window;
    ModalScript boxes;
    QString boxText;
    if (!box.isEmpty())
        boxes.then<QMessageBox>(okBox(&boxText));
    if (mode == UdpLink) {
        Peer peer;
        STEP(openLink(window, peer, UdpLink));
        window.udpIp()->setText(text);
        QCOMPARE(KestruneProbe::udpTargetAddr(*window.w), expected);
        window.sendArea()->setPlainText(QStringLiteral("to"));
        // No datagram leaves for an address that is not loopback; a field
        // that holds no address sends nothing, counts nothing and says so.
        if (expected.isNull())
            boxes.then<QMessageBox>(okBox(&boxText));
        if (expected.isNull() || expected.isLoopback()) {
            STEP(sendIfSafe(window));
            QVERIFY(boxes.finished());
            QCOMPARE(boxText, expected.isNull() ? QStringLiteral("目标IP地址无效! 数据未发送。") : QString());
            QCOMPARE(window.sent(), expected.isNull() ? 0u : 2u);
            if (expected.isLoopback())
                QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(), QByteArray("to"), Timeout);
        }
        QCOMPARE(boxes.unexpected, QStringList());
        return;
    }

    Peer listener;
    QVERIFY(listener.listener.listen(QHostAddress::LocalHost, 0));
    window.netType()->setCurrentIndex(mode);
    window.ipAddr()->setText(text);
    window.ipPort()->setText(QString::number(mode == TcpClientLink ? listener.listener.serverPort() : 0));
    QVERIFY(expected.isNull() || expected.isLoopback());
    clickNet(window);

    QCOMPARE(boxes.unexpected, QStringList());
    if (!box.isEmpty()) {
        QVERIFY2(boxes.finished(), "the link opened");
        QCOMPARE(boxes.titles.value(0), QStringLiteral("错误"));
        QCOMPARE(boxText, box);
        QVERIFY(!window.netButton()->isChecked());
        QVERIFY(!clientLink(*window.w));
        QVERIFY(!serverLink(*window.w));
        return;
    }
    QVERIFY(window.netButton()->isChecked());
    if (mode == TcpClientLink) {
        QCOMPARE(*KestruneProbe::tcpServerAddr(*window.w), expected);
        STEP(listener.take());
        return;
    }
    mTcpServer *server = serverLink(*window.w);
    QCOMPARE(server->serverAddress(), expected);
    QTcpSocket client;
    client.connectToHost(expected, server->serverPort());
    QTRY_COMPARE_WITH_TIMEOUT(KestruneProbe::clientLinkCount(*window.w), 1, Timeout);
    QCOMPARE(window.clients()->itemText(1), clientText(client));
}

void tst_BadInput::interval_data()
{
    // Typed as the user types under the mask "D9999" (first digit 1-9).
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("armed");   // the timer's interval, 0: the switch unchecks itself

    QTest::newRow("empty") << "" << 0;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("abc") << "abc" << 0;
    QTest::newRow("-5") << "-5" << 5;
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("99999") << "99999" << 99999;
    QTest::newRow("123456") << "123456" << 12345;
}

void tst_BadInput::interval()
{
    QFETCH(QString, typed);
    QFETCH(int, armed);

    Window window;
    QLineEdit *field = window.interval();
    field->clear();
    QTest::keyClicks(field, typed);
    QCheckBox *loop = window.box("cBoxLoopSnd");
    clickBox(loop);
    QCOMPARE(loop->isChecked(), armed > 0);
    QTimer *timer = loopTimer(*window.w);
    QCOMPARE(timer != nullptr, armed > 0);
    QVERIFY(!loopRunning(*window.w));
    QCOMPARE(window.sendButton()->text(), QStringLiteral("发送"));
    if (!timer)
        return;
    QCOMPARE(timer->interval(), armed);
    QVERIFY(!timer->isActive());

    // Emptying the field and pressing Enter leaves the interval alone: the
    // mask does not accept the empty field.
    field->clear();
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(timer->interval(), armed);
}

void tst_BadInput::hexSendText_data()
{
    // Only the space separates tokens; every token is one byte: two
    // characters give 16 * d1 + d2 (a non-digit counts -1), three or more
    // give 0.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("tab inside a token") << "41\t42 43" << QByteArray("\x00\x43", 2);
    QTest::newRow("tab alone") << "\t 41" << QByteArray("\xff\x41", 2);
    QTest::newRow("line breaks") << "41\n42 43\n" << QByteArray("\x00\x00", 2);
    QTest::newRow("non-ASCII") << QStringLiteral("中 é ü1 1ü") << QByteArray("\xff\xff\xf1\x0f", 4);
    QTest::newRow("surrogate pair") << QStringLiteral("😀 41") << QByteArray("\xef\x41", 2);
    // The send area's plain text turns a no-break space into a space.
    QTest::newRow("no-break space") << QStringLiteral("41\u00a042") << QByteArray("\x41\x42", 2);
    QTest::newRow("long token") << QString(5000, QLatin1Char('f')) << QByteArray(1, '\0');
    QTest::newRow("only spaces") << "     " << QByteArray();

    const QByteArray many = randomBytes(10000, 10);
    QString text;
    for (const char byte : many)
        text += QString::number(uchar(byte), 16) + QLatin1Char(' ');
    QTest::newRow("10 000 tokens") << text << many;
}

void tst_BadInput::hexSendText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    Peer peer;
    Window window;
    STEP(openLink(window, peer, UdpLink));
    // Checked by code, so the text is taken as it stands.
    window.box("cBox_SndHexDisp")->setChecked(true);
    window.sendArea()->setPlainText(text);
    ModalScript boxes;
    STEP(sendIfSafe(window));
    QCOMPARE(boxes.unexpected, QStringList());
    // One byte per token is counted, and exactly those bytes go out.
    QCOMPARE(window.sent(), quint32(bytes.size()));
    QCOMPARE(window.sendArea()->toPlainText(), QString(text).replace(QChar::Nbsp, QLatin1Char(' ')));

    // A marker in text mode follows; an empty payload sent nothing before it.
    window.box("cBox_SndHexDisp")->setChecked(false);
    window.sendArea()->setPlainText(QStringLiteral("#"));
    STEP(sendIfSafe(window));
    const QList<QByteArray> sent = bytes.isEmpty() ? QList<QByteArray>{"#"} : QList<QByteArray>{bytes, "#"};
    QTRY_COMPARE_WITH_TIMEOUT((peer.bytes(), peer.datagrams), sent, Timeout);
}

void tst_BadInput::dataSourceFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("on");

    QTest::newRow("typed name of no file") << "missing" << false;
    QTest::newRow("unreadable") << "unreadable" << false;
    QTest::newRow("write-only device file") << "write-only" << false;
    QTest::newRow("directory") << "directory" << false;
    QTest::newRow("empty") << "empty" << true;
}

void tst_BadInput::dataSourceFiles()
{
    QFETCH(QString, kind);
    QFETCH(bool, on);
    if (kind == QLatin1String("unreadable") && ::geteuid() == 0)
        QSKIP("permissions do not stop the superuser from reading");

    QString path;
    Choice choice = Choice::Taken;
    if (kind == QLatin1String("missing")) {
        path = dir.filePath(QStringLiteral("no such file.bin"));
    } else if (kind == QLatin1String("unreadable")) {
        path = unreadable(dir, QStringLiteral("unreadable.bin"), "secret");
    } else if (kind == QLatin1String("write-only")) {
        path = writeOnlyDeviceFile();
        if (path.isEmpty())
            QSKIP("this system has no write-only device file");
    } else if (kind == QLatin1String("directory")) {
        path = dir.filePath(QStringLiteral("folder"));
        choice = Choice::EntersDirectory;
    } else {
        path = writeFile(dir, QStringLiteral("empty.bin"), QByteArray());
    }

    Window window;
    Peer listener;
    QVERIFY(listener.listener.listen(QHostAddress::LocalHost, 0));
    STEP(openLink(window, TcpClientLink, listener.listener.serverPort()));
    STEP(listener.take());
    window.rcvArea()->setPlainText(QStringLiteral("received"));

    ModalScript script;
    QString entered;
    answerDialog(script, path, choice, &entered);
    QCheckBox *source = window.box("cBoxStartSndFile");
    clickBox(source);
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), Timeout);
    // A file that cannot be used unchecks the switch without a word.
    QCOMPARE(script.unexpected, QStringList());
    QCOMPARE(source->isChecked(), on);
    QCOMPARE(KestruneProbe::dataFile(*window.w) != nullptr, on);
    if (choice == Choice::EntersDirectory)
        QCOMPARE(entered, QDir(path).absolutePath());
    if (!on) {
        QCOMPARE(window.rcvArea()->toPlainText(), QStringLiteral("received"));
        return;
    }

    // An empty file sends nothing and reports 0 MB.
    window.send();
    QVERIFY(window.rcvArea()->toPlainText().endsWith(QStringLiteral("发送完成！\n共发送数据：0MB")));
    QCOMPARE(window.sent(), 0u);
    clickBox(source);
    window.sendArea()->setPlainText(QStringLiteral("#"));
    window.send();
    QByteArray got;
    QTRY_COMPARE_WITH_TIMEOUT((got += listener.socket()->readAll()), QByteArray("#"), Timeout);
}

void tst_BadInput::endlessDataSource()
{
    // /dev/zero never ends: the send runs until the source is switched off,
    // then ends at once and reports what it sent, all of which arrives.
    Window window;
    Peer listener;
    QVERIFY(listener.listener.listen(QHostAddress::LocalHost, 0));
    STEP(openLink(window, TcpClientLink, listener.listener.serverPort()));
    STEP(listener.take());
    qint64 received = 0;
    bool onlyZeros = true;
    connect(listener.socket(), &QTcpSocket::readyRead, this, [&] {
        const QByteArray piece = listener.socket()->readAll();
        received += piece.size();
        onlyZeros = onlyZeros && piece.count('\0') == piece.size();
    });
    ModalScript script;
    answerDialog(script, QStringLiteral("/dev/zero"), Choice::Taken);
    QCheckBox *source = window.box("cBoxStartSndFile");
    clickBox(source);
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), Timeout);
    QVERIFY(source->isChecked());

    quint32 atSwitch = 0;
    bool switched = false;
    QTimer watch;
    watch.setInterval(1);
    connect(&watch, &QTimer::timeout, this, [&] {
        if (!switched && received >= 4 * MiB) {
            switched = true;
            atSwitch = window.sent();
            clickBox(source);
        }
    });
    // Bounded even if the send never reaches 4 MiB.
    QTimer::singleShot(Timeout, &watch, [&] {
        if (!switched) {
            switched = true;
            clickBox(source);
        }
    });
    watch.start();
    QElapsedTimer clock;
    clock.start();
    window.send();
    QTRY_VERIFY_WITH_TIMEOUT(!fileSendRunning(*window.w), 2 * Timeout);
    watch.stop();
    const qint64 elapsed = clock.elapsed();
    const quint32 total = window.sent();
    QVERIFY2(switched, qPrintable(QStringLiteral("the send ended by itself after %1 bytes").arg(total)));
    QVERIFY2(atSwitch > 0, "the send did not reach 4 MiB before the time limit");
    QVERIFY2(total >= atSwitch && total < atSwitch + 256 * KiB, qPrintable(QString::number(total - atSwitch)));
    const QStringList lines = window.rcvArea()->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.last(), QStringLiteral("共发送数据：") + sendTotalText(total) + QStringLiteral("MB"));
    QCOMPARE(lines.at(lines.size() - 2), QStringLiteral("发送完成！"));
    QVERIFY(!KestruneProbe::dataFile(*window.w));
    QTRY_COMPARE_WITH_TIMEOUT(received, qint64(total), Timeout);
    QVERIFY(onlyZeros);
    qInfo("/dev/zero sent %u bytes in %lld ms until switched off", total, static_cast<long long>(elapsed));
}

void tst_BadInput::loadTextFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("box");      // "打开文件失败。"
    QTest::addColumn<QString>("after"); // the send area, which held "keep"

    QTest::newRow("typed name of no file") << "missing" << true << "keep";
    QTest::newRow("unreadable") << "unreadable" << true << "keep";
    QTest::newRow("write-only device file") << "write-only" << true << "keep";
    QTest::newRow("directory") << "directory" << true << "keep";
    QTest::newRow("empty") << "empty" << false << "keep";
    QTest::newRow("endless zeros") << "/dev/zero" << false << "keep";
}

void tst_BadInput::loadTextFiles()
{
    QFETCH(QString, kind);
    QFETCH(bool, box);
    QFETCH(QString, after);
    if (kind == QLatin1String("unreadable") && ::geteuid() == 0)
        QSKIP("permissions do not stop the superuser from reading");

    QString path = kind;
    Choice choice = Choice::Taken;
    if (kind == QLatin1String("missing")) {
        path = dir.filePath(QStringLiteral("no such file.txt"));
        choice = Choice::NotFound;
    } else if (kind == QLatin1String("unreadable")) {
        path = unreadable(dir, QStringLiteral("unreadable.txt"), "secret\n");
    } else if (kind == QLatin1String("write-only")) {
        path = writeOnlyDeviceFile();
        if (path.isEmpty())
            QSKIP("this system has no write-only device file");
    } else if (kind == QLatin1String("directory")) {
        path = dir.filePath(QStringLiteral("folder"));
        choice = Choice::EntersDirectory;
    } else if (kind == QLatin1String("empty")) {
        path = writeFile(dir, QStringLiteral("empty.txt"), QByteArray());
    }

    Window window;
    window.sendArea()->setPlainText(QStringLiteral("keep"));
    ModalScript script;
    answerDialog(script, path, choice);
    QString text;
    if (box)
        script.then<QMessageBox>(okBox(&text));
    // A cancelled dialog leaves an empty name, which Qt warns about.
    if (choice != Choice::Taken)
        QTest::ignoreMessage(QtWarningMsg, "QFSFileEngine::open: No file name specified");
    QTest::mouseClick(window.child<QPushButton>("pBtnLoadSndData"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), Timeout);
    QCOMPARE(script.unexpected, QStringList());
    QTRY_VERIFY_WITH_TIMEOUT(!sendAreaLoading(*window.w), Timeout);
    if (box) {
        QCOMPARE(script.titles.last(), QStringLiteral("错误"));
        QCOMPARE(text, OpenFailed);
    }
    QCOMPARE(window.sendArea()->toPlainText(), after);
}

void tst_BadInput::captureFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("on");

    QTest::newRow("in a missing folder") << "missing folder" << false;
    QTest::newRow("directory") << "directory" << false;
    QTest::newRow("unwritable") << "unwritable" << false;
    QTest::newRow("full device") << "/dev/full" << true;
}

void tst_BadInput::captureFiles()
{
    QFETCH(QString, kind);
    QFETCH(bool, on);
    if (kind == QLatin1String("unwritable") && ::geteuid() == 0)
        QSKIP("permissions do not stop the superuser from writing");

    QString path = kind;
    Choice choice = Choice::Taken;
    if (kind == QLatin1String("missing folder")) {
        path = dir.filePath(QStringLiteral("no such folder/capture.bin"));
    } else if (kind == QLatin1String("directory")) {
        path = dir.filePath(QStringLiteral("folder"));
        choice = Choice::EntersDirectory;
    } else if (kind == QLatin1String("unwritable")) {
        path = unreadable(dir, QStringLiteral("unwritable.bin"), "old");
    }

    Window window;
    STEP(openLink(window, UdpLink, 0));
    STEP(sendDatagramToWindow(window, "before"));
    const QString shown = window.rcvArea()->toPlainText();

    ModalScript script;
    answerDialog(script, path, choice);
    QCheckBox *capture = window.box("StartRcvFile");
    clickBox(capture);
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), Timeout);
    QCOMPARE(script.unexpected, QStringList());
    QCOMPARE(capture->isChecked(), on);
    QCOMPARE(KestruneProbe::rcvFile(*window.w) != nullptr, on);
    if (!on) {
        QCOMPARE(window.rcvArea()->toPlainText(), shown);
        return;
    }

    // A write that fails loses its chunk without a word and ends capture,
    // as a file that cannot be opened does; the chunk is still counted.
    QCOMPARE(window.received(), 0u);
    int sent = 0;
    while (capture->isChecked() && sent < 64)
        STEP(sendDatagramToWindow(window, QByteArray(1024, char(sent++))));
    QVERIFY(!capture->isChecked());
    QVERIFY(!KestruneProbe::rcvFile(*window.w));
    QCOMPARE(window.received(), quint32(sent) * 1024u);
    QCOMPARE(script.unexpected, QStringList());
    STEP(sendDatagramToWindow(window, "after"));
    QVERIFY(window.rcvArea()->toPlainText().endsWith(QStringLiteral("after")));
}

void tst_BadInput::saveFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("box");   // "保存文件失败。"

    QTest::newRow("in a missing folder") << "missing folder" << true;
    QTest::newRow("directory") << "directory" << false;
    QTest::newRow("unwritable") << "unwritable" << true;
    QTest::newRow("full device") << "/dev/full" << true;
}

void tst_BadInput::saveFiles()
{
    QFETCH(QString, kind);
    QFETCH(bool, box);
    if (kind == QLatin1String("unwritable") && ::geteuid() == 0)
        QSKIP("permissions do not stop the superuser from writing");

    QString path = kind;
    Choice choice = Choice::Taken;
    bool exists = false;
    if (kind == QLatin1String("missing folder")) {
        path = dir.filePath(QStringLiteral("no such folder/saved.txt"));
    } else if (kind == QLatin1String("directory")) {
        path = dir.filePath(QStringLiteral("folder"));
        choice = Choice::EntersDirectory;
    } else if (kind == QLatin1String("unwritable")) {
        path = unreadable(dir, QStringLiteral("unwritable.txt"), "old");
        exists = true;
    } else {
        exists = true;
    }

    Window window;
    window.rcvArea()->setPlainText(QString(64 * KiB, QLatin1Char('s')));
    ModalScript script;
    answerDialog(script, path, choice);
    // The save dialog asks before it replaces a file that exists.
    if (exists)
        script.then<QMessageBox>(okBox(nullptr));
    QString text;
    if (box)
        script.then<QMessageBox>(okBox(&text));
    QTest::mouseClick(window.child<QPushButton>("pBtnSaveRcvData"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), Timeout);
    QCOMPARE(script.unexpected, QStringList());
    if (box) {
        QCOMPARE(script.titles.last(), QStringLiteral("错误"));
        QCOMPARE(text, SaveFailed);
    }
    // The receive area is untouched.
    QCOMPARE(window.rcvArea()->toPlainText().size(), 64 * KiB);
}

QTEST_MAIN(tst_BadInput)

#include "tst_badinput.moc"
