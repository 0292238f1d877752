#include "paragraphs.h"
#include "testsupport.h"

#include <QMessageBox>
#include <QSignalSpy>

using namespace testsupport;

// Sending the send area once and in a loop through the real window, to real
// peers on 127.0.0.1, and the hex switch of the send area.
class tst_Send final : public QObject
{
    Q_OBJECT

private slots:
    void payloadArrivesExactly_data();
    void payloadArrivesExactly();
    void serverTargets_data();
    void serverTargets();
    void serverWithoutClients();
    void autoClear_data();
    void autoClear();
    void emptyAreaBox();
    void hexSwitch_data();
    void hexSwitch();
    void loopStates_data();
    void loopStates();
    void loopSendsTheAreaAnew();
    void intervalField_data();
    void intervalField();
    void refusedSends_data();
    void refusedSends();
    void noLinkNoSend_data();
    void noLinkNoSend();
    void loopOutlivesClosedLink();
};

namespace {

const QString SendCaption = QStringLiteral("发送");
const QString StopCaption = QStringLiteral("停止发送");

// Puts text into the send area: ASCII typed on the keyboard, the rest set.
void enterText(const Window &window, const QString &text)
{
    window.sendArea()->clear();
    for (const QChar ch : text) {
        if (ch.unicode() >= 0x7F || (!ch.isPrint() && ch != QLatin1Char('\n'))) {
            window.sendArea()->setPlainText(text);
            return;
        }
    }
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(window.sendArea(), Qt::Key_Return);
        QTest::keyClicks(window.sendArea(), lines.at(i));
    }
}

// Sends one byte as text; what arrives before it was sent before it.
void sendMarker(const Window &window)
{
    window.hexBox()->setChecked(false);
    window.sendArea()->setPlainText(QStringLiteral("#"));
    window.send();
}

void typeInterval(const Window &window, const QString &digits)
{
    window.interval()->clear();
    QTest::keyClicks(window.interval(), digits);
    QTest::keyClick(window.interval(), Qt::Key_Return);
}

// Arms the loop at 20 ms over the text and, if asked, starts it.
void armLoop(const Window &window, const QString &text, bool start)
{
    window.interval()->setText(QStringLiteral("20"));
    clickBox(window.loopBox());
    window.sendArea()->setPlainText(text);
    if (start)
        window.send();
}

} // namespace

void tst_Send::payloadArrivesExactly_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    struct Row
    {
        const char *name;
        bool hex;
        QString text;
        QByteArray bytes;
    };
    const Row rows[] = {
        {"text AB", false, QStringLiteral("AB"), "AB"},
        {"two lines", false, QStringLiteral("one\ntwo"), "one\ntwo"},
        {"UTF-8", false, QStringLiteral("中文 ä"), "\xe4\xb8\xad\xe6\x96\x87 \xc3\xa4"},
        {"1234 bytes", false, QString(1234, QLatin1Char('x')), QByteArray(1234, 'x')},
        {"hex zero inside", true, QStringLiteral("41 00 42"), QByteArray("A\0B", 3)},
        {"hex CR LF", true, QStringLiteral("41 42 0d 0a"), "AB\r\n"},
        {"hex high bytes", true, QStringLiteral("ff 80 0 E4"), QByteArray("\xff\x80\0\xe4", 4)},
        {"hex spaces only", true, QStringLiteral("   "), QByteArray()},
    };
    for (const int mode : {UdpLink, TcpServerLink, TcpClientLink}) {
        for (const Row &row : rows)
            QTest::addRow("%s, %s", modeName(mode), row.name) << mode << row.hex << row.text << row.bytes;
    }
}

void tst_Send::payloadArrivesExactly()
{
    QFETCH(int, mode);
    QFETCH(bool, hex);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    Window window;
    Peer peer;
    STEP(openLink(window, peer, mode));
    window.hexBox()->setChecked(hex);
    enterText(window, text);
    QCOMPARE(window.sendArea()->toPlainText(), text);

    window.send();
    QCOMPARE(window.sent(), quint32(bytes.size()));
    QCOMPARE(window.child<QLineEdit>("lEdit_SndCnt")->text(), QString::number(bytes.size()));
    STEP(sendMarker(window));
    QCOMPARE(window.sent(), quint32(bytes.size() + 1));

    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(), bytes + '#', Timeout);
    if (mode == UdpLink) {
        // Every send is one datagram; an empty payload sends none.
        QList<QByteArray> expected{QByteArray("#")};
        if (!bytes.isEmpty())
            expected.prepend(bytes);
        QCOMPARE(peer.datagrams, expected);
    }
}

void tst_Send::serverTargets_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("firstGets");
    QTest::addColumn<bool>("secondGets");

    QTest::newRow("all connections") << 0 << true << true;
    QTest::newRow("first client") << 1 << true << false;
    QTest::newRow("second client") << 2 << false << true;
}

void tst_Send::serverTargets()
{
    QFETCH(int, index);
    QFETCH(bool, firstGets);
    QFETCH(bool, secondGets);

    Window window;
    Peer peer;
    STEP(openLink(window, peer, TcpServerLink, 2));
    QCOMPARE(window.clients()->itemText(1), clientText(*peer.sockets[0]));
    QCOMPARE(window.clients()->itemText(2), clientText(*peer.sockets[1]));

    window.clients()->setCurrentIndex(index);
    window.sendArea()->setPlainText(QStringLiteral("AB"));
    window.send();
    QCOMPARE(window.sent(), 2u);
    window.clients()->setCurrentIndex(0);
    STEP(sendMarker(window));

    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(0), QByteArray(firstGets ? "AB#" : "#"), Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(1), QByteArray(secondGets ? "AB#" : "#"), Timeout);
}

void tst_Send::serverWithoutClients()
{
    Window window;
    Peer peer;
    STEP(openLink(window, peer, TcpServerLink, 0));
    QCOMPARE(window.clients()->currentIndex(), -1);
    window.sendArea()->setPlainText(QStringLiteral("AB"));
    window.send();
    QCOMPARE(window.sent(), 2u);

    // A client that came and went leaves no one listed again.
    STEP(peer.addClient(window));
    peer.sockets.back()->abort();
    QTRY_COMPARE_WITH_TIMEOUT(window.clients()->count(), 0, Timeout);
    window.send();
    QCOMPARE(window.sent(), 4u);

    // Nothing was kept back for the next client.
    STEP(peer.addClient(window));
    STEP(sendMarker(window));
    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(1), QByteArray("#"), Timeout);
}

void tst_Send::autoClear_data()
{
    QTest::addColumn<bool>("autoClear");
    QTest::newRow("on") << true;
    QTest::newRow("off") << false;
}

void tst_Send::autoClear()
{
    QFETCH(bool, autoClear);

    Window window;
    Peer peer;
    STEP(openLink(window, peer, UdpLink));
    window.child<QCheckBox>("cBox_AntoClearSnd")->setChecked(autoClear);
    window.sendArea()->setPlainText(QStringLiteral("AB"));
    window.send();
    QCOMPARE(window.sent(), 2u);
    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(), QByteArray("AB"), Timeout);
    QCOMPARE(window.sendArea()->toPlainText(), autoClear ? QString() : QStringLiteral("AB"));
}

void tst_Send::emptyAreaBox()
{
    Window window;
    Peer peer;
    STEP(openLink(window, peer, TcpClientLink));
    QMessageBox::StandardButtons buttons;
    QString text;
    QWidget *parent = nullptr;
    ModalScript script;
    script.then<QMessageBox>([&](QMessageBox *box) {
        buttons = box->standardButtons();
        text = box->text();
        parent = box->parentWidget();
        box->button(QMessageBox::Ok)->click();
    });
    window.send();
    QVERIFY(script.finished());
    QCOMPARE(script.titles, QStringList{QStringLiteral("提示")});
    QCOMPARE(text, QStringLiteral("发送区为空，请输入内容。"));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(parent, window.w.data());
    QCOMPARE(window.sent(), 0u);
    STEP(sendMarker(window));
    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(), QByteArray("#"), Timeout);
}

void tst_Send::hexSwitch_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("on");
    QTest::addColumn<bool>("byUser");
    QTest::addColumn<QString>("after");

    QTest::newRow("on: AB LF") << "AB\n" << true << true << "41 42 a ";
    QTest::newRow("on: UTF-8") << "中" << true << true << "e4 b8 ad ";
    QTest::newRow("on: empty") << "" << true << true << "";
    QTest::newRow("on by code") << "AB" << true << false << "AB";
    QTest::newRow("off: zero ends the text") << "41 00 42 " << false << true << "A";
    QTest::newRow("off: receive view") << "48 65 6C 6C 6F " << false << true << "Hello";
    QTest::newRow("off: control bytes") << "1 2 3" << false << true << "\x01\x02\x03";
    QTest::newRow("off: two lines") << "41\n42" << false << true << "";
    QTest::newRow("off: UTF-8") << "e4 b8 ad 41" << false << true << "中A";
    QTest::newRow("off: empty") << "" << false << true << "";
    QTest::newRow("off by code") << "41 42" << false << false << "41 42";
    // The notation is one paragraph, three characters a byte here: as long
    // as a paragraph may be, and one byte more, which is refused.
    const qsizetype most = MaxParagraphChars / 3;
    QTest::newRow("on: longest notation") << QString(most, QLatin1Char('x')) << true << true
                                          << QStringLiteral("78 ").repeated(most);
    QTest::newRow("on: too long") << QString(most + 1, QLatin1Char('x')) << true << true << "";
    QTest::newRow("off: a line too long") << QStringLiteral("1 ").repeated(MaxParagraphChars + 1) << false << true << "";
}

void tst_Send::hexSwitch()
{
    QFETCH(QString, before);
    QFETCH(bool, on);
    QFETCH(bool, byUser);
    QFETCH(QString, after);

    Window window;
    window.hexBox()->setChecked(!on);
    window.sendArea()->setPlainText(before);
    // An empty `after` of a text that is not: the switch is refused, and
    // nothing changes.
    const bool refused = after.isEmpty() && before.size() > 100;
    QString told;
    ModalScript boxes;
    if (refused)
        boxes.then<QMessageBox>(okBox(&told));
    if (byUser)
        clickBox(window.hexBox());
    else
        window.hexBox()->setChecked(on);
    QVERIFY(boxes.finished());
    if (refused) {
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("错误")});
        QVERIFY2(told.contains(QString::number(MaxParagraphChars)), qPrintable(told));
        QCOMPARE(window.hexBox()->isChecked(), !on);
        QCOMPARE(window.sendArea()->toPlainText(), before);
        return;
    }
    QCOMPARE(window.hexBox()->isChecked(), on);
    QCOMPARE(window.sendArea()->toPlainText(), after);
    // Text switched on and off again comes back unchanged.
    if (on && byUser) {
        QVERIFY(window.sendArea()->textCursor().atEnd());
        clickBox(window.hexBox());
        QCOMPARE(window.sendArea()->toPlainText(), before);
    }
}

void tst_Send::loopStates_data()
{
    // Steps from the start state: "on"/"off" click the loop switch, "send"
    // clicks the send button over a filled area, "empty" over an empty one,
    // "ms:<text>" sets the interval field, "type:<digits>" types into it
    // and presses Return.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("boxes");

    QTest::newRow("off, on: armed") << "on" << "armed" << 1000 << 0;
    QTest::newRow("off, on over empty interval: off") << "ms: on" << "off" << 0 << 0;
    QTest::newRow("off, on over 0: off") << "ms:0 on" << "off" << 0 << 0;
    QTest::newRow("armed, send: running") << "ms:20 on send" << "running" << 20 << 0;
    QTest::newRow("armed, empty: armed") << "on empty" << "armed" << 1000 << 1;
    QTest::newRow("running, send: armed") << "on send send" << "armed" << 1000 << 0;
    QTest::newRow("running, empty: running") << "on send empty" << "running" << 1000 << 1;
    QTest::newRow("armed, off: off") << "on off" << "off" << 0 << 0;
    QTest::newRow("running, off: off") << "ms:20 on send off" << "off" << 0 << 0;
    QTest::newRow("armed, new interval") << "on type:12000" << "armed" << 12000 << 0;
    QTest::newRow("running, new interval") << "on send type:12000" << "running" << 12000 << 0;
    QTest::newRow("armed, short entry ignored") << "on type:250" << "armed" << 1000 << 0;
    QTest::newRow("short entry read when turned on") << "type:250 on" << "armed" << 250 << 0;
    QTest::newRow("off again, on again") << "on send off on" << "armed" << 1000 << 0;
    QTest::newRow("empty area starts no loop") << "on empty empty" << "armed" << 1000 << 2;
}

void tst_Send::loopStates()
{
    QFETCH(QString, steps);
    QFETCH(QString, state);
    QFETCH(int, interval);
    QFETCH(int, boxes);

    Window window;
    Peer peer;
    STEP(openLink(window, peer, UdpLink));
    int shown = 0;
    for (const QString &step : steps.split(QLatin1Char(' '))) {
        if (step == QLatin1String("on") || step == QLatin1String("off")) {
            clickBox(window.loopBox());
        } else if (step == QLatin1String("send")) {
            window.sendArea()->setPlainText(QStringLiteral("x"));
            window.send();
        } else if (step == QLatin1String("empty")) {
            window.sendArea()->clear();
            ModalScript answer;
            answer.then<QMessageBox>([](QMessageBox *box) { box->accept(); });
            window.send();
            shown += answer.finished() ? 1 : 0;
        } else if (step.startsWith(QLatin1String("ms:"))) {
            window.interval()->setText(step.mid(3));
        } else if (step.startsWith(QLatin1String("type:"))) {
            typeInterval(window, step.mid(5));
        }
    }

    QCOMPARE(shown, boxes);
    const bool off = state == QLatin1String("off");
    const bool running = state == QLatin1String("running");
    QCOMPARE(window.loopBox()->isChecked(), !off);
    QCOMPARE(window.loopTimer() != nullptr, !off);
    QCOMPARE(loopRunning(*window.w), running);
    QCOMPARE(window.sendButton()->text(), running ? StopCaption : SendCaption);
    if (!off) {
        QCOMPARE(window.loopTimer()->isActive(), running);
        QVERIFY(!window.loopTimer()->isSingleShot());
        QCOMPARE(window.loopTimer()->interval(), interval);
    }
}

void tst_Send::loopSendsTheAreaAnew()
{
    Window window;
    Peer peer;
    STEP(openLink(window, peer, UdpLink));
    window.child<QCheckBox>("cBox_AntoClearSnd")->setChecked(true);
    STEP(armLoop(window, QStringLiteral("tick"), true));
    // Nothing goes out at the click itself.
    QCOMPARE(window.sent(), 0u);

    // Each tick sends what the area holds then, and clears nothing.
    auto last = [&peer] {
        peer.bytes();
        return peer.datagrams.isEmpty() ? QByteArray() : peer.datagrams.constLast();
    };
    QTRY_VERIFY_WITH_TIMEOUT(last() == "tick" && peer.datagrams.size() >= 3, Timeout);
    window.sendArea()->setPlainText(QStringLiteral("tock!"));
    QTRY_COMPARE_WITH_TIMEOUT(last(), QByteArray("tock!"), Timeout);
    QCOMPARE(window.sendArea()->toPlainText(), QStringLiteral("tock!"));

    // Unchecking the switch ends the loop; the next click sends once.
    clickBox(window.loopBox());
    QVERIFY(!window.loopTimer());
    QVERIFY(!loopRunning(*window.w));
    QCOMPARE(window.sendButton()->text(), SendCaption);
    QVERIFY(window.sendButton()->isEnabled());
    const quint32 before = window.sent();
    window.send();
    QCOMPARE(window.sent(), before + 5);
    QCOMPARE(window.sendArea()->toPlainText(), QString());

    QTRY_COMPARE_WITH_TIMEOUT(quint32(peer.bytes().size()), window.sent(), Timeout);
    const qsizetype ticks = peer.datagrams.indexOf("tock!");
    for (qsizetype i = 0; i < peer.datagrams.size(); ++i)
        QCOMPARE(peer.datagrams.at(i), QByteArray(i < ticks ? "tick" : "tock!"));
}

void tst_Send::intervalField_data()
{
    // The timer starts armed at 20 ms, or running when "running" is set.
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("finished");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("nextOn");

    QTest::newRow("five digits") << "12000" << false << true << 12000 << 12000;
    QTest::newRow("five digits, running") << "12000" << true << true << 12000 << 12000;
    QTest::newRow("largest") << "99999" << false << true << 99999 << 99999;
    QTest::newRow("three digits") << "250" << false << false << 20 << 250;
    QTest::newRow("three digits, running") << "250" << true << false << 20 << 250;
    // The first position takes no 0: the field holds " 0123", read as 123.
    QTest::newRow("leading zero") << "01234" << false << false << 20 << 123;
}

void tst_Send::intervalField()
{
    QFETCH(QString, typed);
    QFETCH(bool, running);
    QFETCH(bool, finished);
    QFETCH(int, interval);
    QFETCH(int, nextOn);

    Window window;
    Peer peer;
    STEP(openLink(window, peer, UdpLink));
    STEP(armLoop(window, QStringLiteral("x"), running));

    QSignalSpy finishedSpy(window.interval(), &QLineEdit::editingFinished);
    typeInterval(window, typed);
    QCOMPARE(finishedSpy.count(), finished ? 1 : 0);
    QCOMPARE(window.loopTimer()->interval(), interval);
    QCOMPARE(window.loopTimer()->isActive(), running);
    // An accepted entry restarts a running countdown.
    if (running && finished)
        QVERIFY(window.loopTimer()->remainingTime() > interval - 5000);

    // With the switch off the field waits for the next switch-on.
    clickBox(window.loopBox());
    QVERIFY(!window.loopTimer());
    typeInterval(window, typed);
    clickBox(window.loopBox());
    QVERIFY(window.loopTimer());
    QCOMPARE(window.loopTimer()->interval(), nextOn);
}

void tst_Send::refusedSends_data()
{
    QTest::addColumn<QString>("target"); // the target IP field
    QTest::addColumn<int>("size");       // of the text sent
    QTest::addColumn<bool>("loop");      // sent by loop ticks, else a click

    // IPv4 carries at most 65 507 bytes in one datagram.
    QTest::newRow("65 508 bytes, click") << "127.0.0.1" << 65508 << false;
    QTest::newRow("65 508 bytes, loop") << "127.0.0.1" << 65508 << true;
    QTest::newRow("target of no address, loop") << "1..." << 2 << true;
}

// A datagram the system refuses, or a target field that holds no address,
// sends nothing and counts nothing: a click says why, a loop tick skips.
void tst_Send::refusedSends()
{
    QFETCH(QString, target);
    QFETCH(int, size);
    QFETCH(bool, loop);

    Window window;
    Peer peer;
    STEP(openLink(window, peer, UdpLink));
    window.udpIp()->setText(target);
    QString told;
    ModalScript boxes;
    if (!loop)
        boxes.then<QMessageBox>(okBox(&told));
    if (loop) {
        STEP(armLoop(window, QString(size, QLatin1Char('x')), true));
        QSignalSpy ticks(window.loopTimer(), &QTimer::timeout);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 3, Timeout);
        clickBox(window.loopBox());
    } else {
        window.sendArea()->setPlainText(QString(size, QLatin1Char('x')));
        window.send();
    }
    QVERIFY(boxes.finished());
    QCOMPARE(told, loop ? QString() : QStringLiteral("数据超出一个UDP数据报的最大长度! 数据未发送。"));
    QCOMPARE(window.sent(), 0u);
    // The link goes on: what follows arrives first.
    window.udpIp()->setText(QStringLiteral("127.0.0.1"));
    STEP(sendMarker(window));
    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(), QByteArray("#"), Timeout);
}

void tst_Send::noLinkNoSend_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("opened");

    for (const int mode : {UdpLink, TcpServerLink, TcpClientLink}) {
        QTest::addRow("%s, never opened", modeName(mode)) << mode << false;
        QTest::addRow("%s, closed", modeName(mode)) << mode << true;
    }
}

void tst_Send::noLinkNoSend()
{
    QFETCH(int, mode);
    QFETCH(bool, opened);

    Window window;
    Peer peer;
    window.child<QComboBox>("cBoxNetType")->setCurrentIndex(mode);
    if (opened) {
        STEP(openLink(window, peer, mode));
        window.toggleNet();
        QVERIFY(!window.sendButton()->isEnabled());
    }
    // Turning the loop switch off enables the send button without a link.
    clickBox(window.loopBox());
    clickBox(window.loopBox());
    QVERIFY(window.sendButton()->isEnabled());
    window.sendArea()->setPlainText(QStringLiteral("AB"));
    window.send();
    QCOMPARE(window.sent(), 0u);
    QCOMPARE(window.child<QLineEdit>("lEdit_SndCnt")->text(), QStringLiteral("0"));
}

void tst_Send::loopOutlivesClosedLink()
{
    Window window;
    Peer peer;
    STEP(openLink(window, peer, UdpLink));
    STEP(armLoop(window, QStringLiteral("AB"), true));
    QTRY_VERIFY_WITH_TIMEOUT(!peer.bytes().isEmpty(), Timeout);

    window.toggleNet();
    QVERIFY(!udpLink(*window.w));
    const quint32 atClose = window.sent();
    QSignalSpy ticks(window.loopTimer(), &QTimer::timeout);
    QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 3, Timeout);
    QCOMPARE(window.sent(), atClose);
    QVERIFY(loopRunning(*window.w));
    QCOMPARE(window.sendButton()->text(), StopCaption);

    // Open again: the running loop sends on the new link.
    STEP(openLink(window, peer, UdpLink));
    QTRY_VERIFY_WITH_TIMEOUT(window.sent() > atClose, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(quint32(peer.bytes().size()), window.sent(), Timeout);
}

QTEST_MAIN(tst_Send)

#include "tst_send.moc"
