#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QUdpSocket>

#include <functional>
#include <memory>
#include <vector>

// The receive path of the real window: chunks from real peers on 127.0.0.1
// shown, paused, captured or relayed, and the receive area saved.
class tst_Receive final : public QObject
{
    Q_OBJECT

private slots:
    void chunkProcedure_data();
    void chunkProcedure();
    void headerRules_data();
    void headerRules();
    void timestampsAndCursor();
    void emptyDatagram();
    void relay_data();
    void relay();
    void capture_data();
    void capture();
    void captureRefused_data();
    void captureRefused();
    void save_data();
    void save();
    void longLines_data();
    void longLines();
};

using namespace testsupport;

namespace {

enum Display { Shown, Paused, Captured };

const QString CaptureTitle = QStringLiteral("建立接收文件");
const QString SaveTitle = QStringLiteral("保存接收区内容到文本文件");
// Zero bytes and invalid UTF-8 are shown as decoded, in every link type.
const QByteArray Data("AB\0CD\xFF", 6);
const QString DataText =
    QStringLiteral("AB") + QChar(0) + QStringLiteral("CD") + QChar(QChar::ReplacementCharacter);
const QString DataHex = QStringLiteral("41 42 00 43 44 FF ");
// Stands for a timestamp line's text in expected area texts.
const QString Stamp = QStringLiteral("\u0001");

QString notice(const QString &path) { return QStringLiteral("接收数据保存到文件：\n") + path + QStringLiteral("\n"); }

// The area text equals expected, where each Stamp is a timestamp of today
// (or of yesterday, for a test that ran over midnight).
bool matches(const QString &text, const QString &expected)
{
    const QDate today = QDate::currentDate();
    const QString format = QStringLiteral("yyyy-M-d");
    const QString days = u'(' + today.toString(format) + u'|' + today.addDays(-1).toString(format) + u')';
    QStringList pieces = expected.split(Stamp);
    for (QString &piece : pieces)
        piece = QRegularExpression::escape(piece);
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(pieces.join(rcvStampPattern(days))));
    return pattern.match(text).hasMatch();
}

// Answers for the window's dialogs besides choose(); a ModalScript notes
// each one it answered as "title|name filters" or "title|text".
ModalStep press(QMessageBox::StandardButton button)
{
    return answer<QMessageBox>([button](QMessageBox *box) { box->button(button)->click(); });
}

const ModalStep cancel = answer<QDialog>([](QDialog *dialog) { dialog->reject(); });

// The real window with a link open on 127.0.0.1 and real peers at the far
// end: UDP senders, clients of the window's server, or the server that the
// window's client connects to.
class Rig final
{
public:
    explicit Rig(int mode)
        : mode(mode)
    {
    }
    Q_DISABLE_COPY_MOVE(Rig)

    template <typename T>
    T *child(const char *name)
    {
        return window.child<T>(name);
    }

    QPlainTextEdit *area() { return window.rcvArea(); }
    QString text() { return area()->toPlainText(); }
    QString counter() { return child<QLineEdit>("lEdit_RcvCnt")->text(); }
    void set(const char *box, bool on) { child<QCheckBox>(box)->setChecked(on); }
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }

    void open(int peers = 1)
    {
        STEP(openLink(window, peer, mode, peers));
        for (int i = 0; i < peers && mode == UdpLink; ++i)
            peer.sender(i);
    }

    // A client link's source is named by the fields as typed, so its second
    // source is the same connection under another port number.
    quint16 typedPort(int i) { return i == 0 ? peer.listener.serverPort() : 1; }

    QString source(int i = 0)
    {
        return clientText(mode == UdpLink         ? peer.sender(i).localPort()
                          : mode == TcpServerLink ? peer.socket(i)->localPort()
                                                  : typedPort(i));
    }

    void send(const QByteArray &bytes, int i = 0)
    {
        switch (mode) {
        case UdpLink:
            // The window's socket is dual-stack: it hears this sender as
            // ::ffff:127.0.0.1 and must still name it 127.0.0.1.
            QCOMPARE(peer.sender(i).writeDatagram(bytes, QHostAddress::LocalHost, window.udpLink()->localPort()),
                     qint64(bytes.size()));
            break;
        case TcpServerLink:
            peer.socket(i)->write(bytes);
            break;
        default:
            child<QLineEdit>("lEditIpPort")->setText(QString::number(typedPort(i)));
            peer.socket()->write(bytes);
            break;
        }
    }

    // Sends and waits until the window has counted the bytes.
    void deliver(const QByteArray &bytes, int i = 0)
    {
        const quint32 before = window.received();
        STEP(send(bytes, i));
        QTRY_COMPARE_WITH_TIMEOUT(window.received(), before + quint32(bytes.size()), Timeout);
        QTRY_VERIFY_WITH_TIMEOUT(KestruneProbe::rcvShown(*window.w), Timeout);
    }

    // Starts capture into path; the notes of the dialogs shown.
    QStringList startCapture(const QString &path)
    {
        ModalScript answerer({choose(path)});
        child<QCheckBox>("StartRcvFile")->click();
        return answerer.seen;
    }

    Window window;
    Peer peer;
    const int mode;
};

} // namespace

void tst_Receive::chunkProcedure_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("capture");
    QTest::addColumn<bool>("pause");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<bool>("time");

    for (int mode : {UdpLink, TcpServerLink, TcpClientLink}) {
        const char *name = modeName(mode);
        QTest::addRow("%s, text", name) << mode << false << false << false << false;
        QTest::addRow("%s, text, time", name) << mode << false << false << false << true;
        QTest::addRow("%s, hex", name) << mode << false << false << true << false;
        QTest::addRow("%s, hex, time", name) << mode << false << false << true << true;
        QTest::addRow("%s, paused, hex, time", name) << mode << false << true << true << true;
        QTest::addRow("%s, captured", name) << mode << true << false << false << false;
        QTest::addRow("%s, captured, paused, hex, time", name) << mode << true << true << true << true;
    }
}

void tst_Receive::chunkProcedure()
{
    QFETCH(int, mode);
    QFETCH(bool, capture);
    QFETCH(bool, pause);
    QFETCH(bool, hex);
    QFETCH(bool, time);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("capture.bin"));
    Rig rig(mode);
    STEP(rig.open());
    rig.set("cBox_RcvHexDisp", hex);
    rig.set("cBox_ShowRcvTime", time);
    rig.set("cBox_PauseShowRcv", pause);
    if (capture)
        QCOMPARE(rig.startCapture(path), QStringList{CaptureTitle + QStringLiteral("|所有文件(*.*)")});

    STEP(rig.deliver(Data));
    QCOMPARE(rig.counter(), QStringLiteral("6"));
    if (capture) {
        QCOMPARE(rig.text(), notice(path));
        rig.child<QCheckBox>("StartRcvFile")->click();
        QCOMPARE(contents(path), Data);
    } else if (pause) {
        QCOMPARE(rig.text(), QString());
    } else {
        const QString expected = rcvHeader(rig.source()) + (time ? QStringLiteral("\n") + Stamp : QString())
                                 + (hex ? DataHex : DataText);
        QVERIFY2(matches(rig.text(), expected), qPrintable(rig.text()));
    }
    QCOMPARE(KestruneProbe::lastRcvSource(*rig.window.w), capture || pause ? QString() : rig.source());
}

void tst_Receive::headerRules_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("UDP") << int(UdpLink);
    QTest::newRow("server") << int(TcpServerLink);
    QTest::newRow("client") << int(TcpClientLink);
}

void tst_Receive::headerRules()
{
    QFETCH(int, mode);

    Rig rig(mode);
    STEP(rig.open(2));
    const QString a = rig.source(0);
    const QString b = rig.source(1);

    STEP(rig.deliver("one", 0));
    QCOMPARE(rig.text(), rcvHeader(a) + "one");
    STEP(rig.deliver("two", 0));
    QCOMPARE(rig.text(), rcvHeader(a) + "onetwo");
    STEP(rig.deliver("three", 1));
    QCOMPARE(rig.text(), rcvHeader(a) + "onetwo\n" + rcvHeader(b) + "three");
    QCOMPARE(KestruneProbe::lastRcvSource(*rig.window.w), b);

    // Clearing keeps the counter and the last source.
    rig.click("pBtnClearRcvDisp");
    QCOMPARE(rig.text(), QString());
    QCOMPARE(rig.counter(), QStringLiteral("11"));
    STEP(rig.deliver("four", 1));
    QCOMPARE(rig.text(), QStringLiteral("four"));
    rig.click("pBtnClearRcvDisp");
    STEP(rig.deliver("five", 0));
    QCOMPARE(rig.text(), rcvHeader(a) + "five");
}

void tst_Receive::timestampsAndCursor()
{
    Rig rig(UdpLink);
    STEP(rig.open(2));
    const QString a = rig.source(0);
    const QString b = rig.source(1);
    rig.set("cBox_ShowRcvTime", true);

    STEP(rig.deliver("x", 0));
    STEP(rig.deliver("y", 0));
    STEP(rig.deliver("z", 1));
    const QString shown = rcvHeader(a) + "\n" + Stamp + "x\n" + Stamp + "y\n" + rcvHeader(b) + "\n" + Stamp + "z";
    QVERIFY2(matches(rig.text(), shown), qPrintable(rig.text()));

    // Header and data go to the cursor, the timestamp to the end.
    rig.area()->moveCursor(QTextCursor::Start);
    STEP(rig.deliver("w", 0));
    QVERIFY2(matches(rig.text(), "\n" + rcvHeader(a) + "w" + shown + "\n" + Stamp), qPrintable(rig.text()));
}

void tst_Receive::emptyDatagram()
{
    Rig rig(UdpLink);
    STEP(rig.open());
    const QString h = rcvHeader(rig.source());

    // A datagram without bytes still opens with a header and, when asked, a
    // timestamp; it adds nothing to the counter.
    STEP(rig.send(QByteArray()));
    QTRY_COMPARE_WITH_TIMEOUT(rig.text(), h, Timeout);
    QCOMPARE(rig.counter(), QStringLiteral("0"));
    rig.set("cBox_ShowRcvTime", true);
    STEP(rig.send(QByteArray()));
    QTRY_VERIFY_WITH_TIMEOUT(matches(rig.text(), h + "\n" + Stamp), Timeout);
    QCOMPARE(rig.counter(), QStringLiteral("0"));
    STEP(rig.deliver("z"));
    QVERIFY2(matches(rig.text(), h + "\n" + Stamp + "\n" + Stamp + "z"), qPrintable(rig.text()));
    QCOMPARE(rig.counter(), QStringLiteral("1"));
}

void tst_Receive::relay_data()
{
    QTest::addColumn<bool>("chat");
    QTest::addColumn<bool>("echo");
    QTest::addColumn<int>("display");
    QTest::addColumn<QString>("reached"); // per client, the sender first

    QTest::newRow("chat, echo") << true << true << int(Shown) << "111";
    QTest::newRow("chat, no echo") << true << false << int(Shown) << "011";
    QTest::newRow("no chat, echo") << false << true << int(Shown) << "000";
    QTest::newRow("no chat, no echo") << false << false << int(Shown) << "000";
    QTest::newRow("chat, echo, paused") << true << true << int(Paused) << "111";
    QTest::newRow("chat, no echo, captured") << true << false << int(Captured) << "011";
}

void tst_Receive::relay()
{
    QFETCH(bool, chat);
    QFETCH(bool, echo);
    QFETCH(int, display);
    QFETCH(QString, reached);

    QTemporaryDir dir;
    Rig rig(TcpServerLink);
    STEP(rig.open(3));
    rig.set("cBox_chatMode", chat);
    rig.set("cBox_echoMode", echo);
    rig.set("cBox_PauseShowRcv", display == Paused);
    if (display == Captured)
        QCOMPARE(rig.startCapture(dir.filePath(QStringLiteral("c.bin"))).size(), 1);
    STEP(rig.deliver(Data, 0));

    // A marker to every client follows whatever the relay wrote.
    QByteArray marker("#");
    emit rig.window.w->sendDataToClient(marker.data(), 1, 0, 0);
    for (int i = 0; i < 3; ++i)
        QTRY_COMPARE_WITH_TIMEOUT(rig.peer.bytes(i), (reached[i] == u'1' ? Data : QByteArray()) + marker, Timeout);
}

void tst_Receive::capture_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<bool>("time");
    QTest::addColumn<bool>("pause");
    QTest::addColumn<bool>("dataSource");

    QTest::newRow("UDP") << int(UdpLink) << false << false << false << false;
    QTest::newRow("UDP, hex, time, pause") << int(UdpLink) << true << true << true << false;
    QTest::newRow("server, hex") << int(TcpServerLink) << true << false << false << false;
    QTest::newRow("client, time, pause") << int(TcpClientLink) << false << true << true << false;
    QTest::newRow("UDP, data source on too") << int(UdpLink) << false << false << false << true;
}

void tst_Receive::capture()
{
    QFETCH(int, mode);
    QFETCH(bool, hex);
    QFETCH(bool, time);
    QFETCH(bool, pause);
    QFETCH(bool, dataSource);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("capture.bin"));
    const QString sourcePath = dir.filePath(QStringLiteral("source.bin"));
    QVERIFY(writeFile(path, "an older and longer content"));
    QVERIFY(writeFile(sourcePath, "data source"));
    Rig rig(mode);
    STEP(rig.open());

    // Something received and something sent before capture starts.
    STEP(rig.deliver("hi"));
    rig.child<QLineEdit>("lEditUdpIP")->setText(QStringLiteral("127.0.0.1"));
    if (mode == UdpLink)
        rig.child<QLineEdit>("lEditUdpPort")->setText(QString::number(rig.peer.sender(0).localPort()));
    rig.child<QPlainTextEdit>("tEditSendText")->setPlainText(QStringLiteral("abc"));
    rig.click("pBtnSendData");
    QCOMPARE(rig.child<QLineEdit>("lEdit_SndCnt")->text(), QStringLiteral("3"));

    if (dataSource) {
        ModalScript answerer({choose(sourcePath)});
        rig.child<QCheckBox>("cBoxStartSndFile")->click();
        QVERIFY(KestruneProbe::dataFile(*rig.window.w) && KestruneProbe::dataFile(*rig.window.w)->isOpen());
    }
    rig.set("cBox_RcvHexDisp", hex);
    rig.set("cBox_ShowRcvTime", time);
    rig.set("cBox_PauseShowRcv", pause);
    QCOMPARE(rig.startCapture(path), QStringList{CaptureTitle + QStringLiteral("|所有文件(*.*)")});
    QVERIFY(rig.child<QCheckBox>("StartRcvFile")->isChecked());
    QCOMPARE(KestruneProbe::dataFile(*rig.window.w) && KestruneProbe::dataFile(*rig.window.w)->isOpen(), dataSource);
    QCOMPARE(rig.text(), notice(path));
    QCOMPARE(rig.counter(), QStringLiteral("0"));
    QCOMPARE(rig.child<QLineEdit>("lEdit_SndCnt")->text(), QStringLiteral("0"));

    STEP(rig.deliver("abc"));
    QCOMPARE(rig.text(), notice(path));
    if (dataSource) {
        // The data source going off and on again leaves capture's file alone.
        rig.child<QCheckBox>("cBoxStartSndFile")->click();
        QVERIFY(!KestruneProbe::dataFile(*rig.window.w));
        QVERIFY(KestruneProbe::rcvFile(*rig.window.w) && KestruneProbe::rcvFile(*rig.window.w)->isOpen());
        ModalScript answerer({choose(sourcePath)});
        rig.child<QCheckBox>("cBoxStartSndFile")->click();
    }
    const QString quiet = rig.text();
    STEP(rig.deliver(QByteArray("\x00\xFF", 2)));
    QCOMPARE(rig.counter(), QStringLiteral("5"));
    QCOMPARE(rig.text(), quiet);

    // Stopping empties the area and closes only capture's own file.
    rig.child<QCheckBox>("StartRcvFile")->click();
    QVERIFY(!rig.child<QCheckBox>("StartRcvFile")->isChecked());
    QCOMPARE(rig.text(), QString());
    QVERIFY(!KestruneProbe::rcvFile(*rig.window.w));
    QCOMPARE(contents(path), QByteArray("abc\x00\xFF", 5));
    if (dataSource) {
        QCOMPARE(KestruneProbe::dataFileName(*rig.window.w), sourcePath);
        QVERIFY(KestruneProbe::dataFile(*rig.window.w) && KestruneProbe::dataFile(*rig.window.w)->isOpen());
        QCOMPARE(contents(sourcePath), QByteArray("data source"));
    }

    // Later chunks are shown again, from the same source without a header.
    rig.set("cBox_RcvHexDisp", false);
    rig.set("cBox_ShowRcvTime", false);
    rig.set("cBox_PauseShowRcv", false);
    STEP(rig.deliver("after"));
    QCOMPARE(rig.text(), QStringLiteral("after"));
}

void tst_Receive::captureRefused_data()
{
    QTest::addColumn<bool>("cancelled");
    QTest::newRow("dialog cancelled") << true;
    QTest::newRow("directory missing") << false;
}

void tst_Receive::captureRefused()
{
    QFETCH(bool, cancelled);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/capture.bin"));
    Rig rig(UdpLink);
    STEP(rig.open());
    STEP(rig.deliver("one"));
    const QString before = rig.text();

    ModalScript answerer({cancelled ? cancel : choose(path)});
    rig.child<QCheckBox>("StartRcvFile")->click();
    QCOMPARE(answerer.seen, QStringList{CaptureTitle + QStringLiteral("|所有文件(*.*)")}); // and no message
    QVERIFY(!rig.child<QCheckBox>("StartRcvFile")->isChecked());
    QVERIFY(!KestruneProbe::rcvFile(*rig.window.w) || !KestruneProbe::rcvFile(*rig.window.w)->isOpen());
    QCOMPARE(rig.text(), before);
    QCOMPARE(rig.counter(), QStringLiteral("3"));
    STEP(rig.deliver("two"));
    QCOMPARE(rig.text(), before + "two");
}

void tst_Receive::save_data()
{
    QTest::addColumn<QString>("name"); // in a fresh directory; empty: cancelled
    QTest::addColumn<bool>("exists");  // its overwriting is confirmed first
    QTest::addColumn<bool>("fails");

    QTest::newRow("saved") << "area.txt" << false << false;
    QTest::newRow("cancelled") << QString() << false << false;
    QTest::newRow("directory missing") << "missing/area.txt" << false << true;
    QTest::newRow("parent is a file") << "file/area.txt" << false << true;
    QTest::newRow("device full") << "/dev/full" << true << true;
}

void tst_Receive::save()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QFETCH(bool, fails);

    if (exists && !QFile::exists(name))
        QSKIP("no such device here");
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("file")), "a file"));
    const QString path = name.isEmpty() ? QString() : QDir(dir.path()).absoluteFilePath(name);
    Rig rig(UdpLink);
    STEP(rig.open());
    STEP(rig.deliver("second"));
    const QString shown = rcvHeader(rig.source()) + "second"; // two lines
    QCOMPARE(rig.text(), shown);

    std::vector<ModalStep> answers{path.isEmpty() ? cancel : choose(path)};
    if (exists)
        answers.push_back(press(QMessageBox::Yes));
    answers.push_back(press(QMessageBox::Ok));
    ModalScript answerer(answers);
    rig.click("pBtnSaveRcvData");

    QStringList expected{SaveTitle + QStringLiteral("|文本文件(*.txt)")};
    if (exists && answerer.seen.size() > 1 && answerer.seen[1].startsWith(SaveTitle))
        expected << answerer.seen[1];
    if (fails)
        expected << QStringLiteral("错误|保存文件失败。");
    QTRY_COMPARE_WITH_TIMEOUT(answerer.seen, expected, Timeout);
    QCOMPARE(rig.text(), shown);
    if (path.isEmpty())
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"file"});
    if (!path.isEmpty() && !fails) {
        const QByteArray saved = contents(path);
        QCOMPARE(saved, shown.toLocal8Bit());
        QCOMPARE(saved.count('\n'), 1);
        QVERIFY(!saved.contains('\r') && !saved.endsWith('\n') && !saved.startsWith("\xEF\xBB\xBF"));
    }
}

void tst_Receive::longLines_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QList<int>>("chunks");
    QTest::addColumn<QList<int>>("lines"); // lengths of the data's lines

    QTest::newRow("text 1024") << int(UdpLink) << false << QList<int>{1024} << QList<int>{1024};
    QTest::newRow("text 1025") << int(UdpLink) << false << QList<int>{1025} << QList<int>{1024, 1};
    QTest::newRow("text 1000+24+1") << int(UdpLink) << false << QList<int>{1000, 24, 1} << QList<int>{1024, 1};
    QTest::newRow("text 3000") << int(UdpLink) << false << QList<int>{3000} << QList<int>{1024, 1024, 952};
    QTest::newRow("hex 341") << int(UdpLink) << true << QList<int>{341} << QList<int>{1023};
    QTest::newRow("hex 342") << int(UdpLink) << true << QList<int>{342} << QList<int>{1023, 3};
    QTest::newRow("hex 340+2") << int(UdpLink) << true << QList<int>{340, 2} << QList<int>{1023, 3};
    QTest::newRow("server text 3000") << int(TcpServerLink) << false << QList<int>{3000} << QList<int>{1024, 1024, 952};
    QTest::newRow("client hex 3000") << int(TcpClientLink) << true << QList<int>{3000}
                                     << QList<int>{1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 816};
}

// However the bytes are split into chunks, the data's lines fill up to the
// limit, and taking out the line breaks gives back what was sent.
void tst_Receive::longLines()
{
    QFETCH(int, mode);
    QFETCH(bool, hex);
    QFETCH(QList<int>, chunks);
    QFETCH(QList<int>, lines);

    Rig rig(mode);
    STEP(rig.open());
    rig.set("cBox_RcvHexDisp", hex);
    QByteArray sent;
    for (int size : chunks) {
        const QByteArray chunk(size, 'x');
        STEP(rig.deliver(chunk));
        sent += chunk;
    }

    const QTextDocument *document = rig.area()->document();
    QCOMPARE(document->firstBlock().text() + u'\n', rcvHeader(rig.source()));
    QList<int> shown;
    QString data;
    for (QTextBlock block = document->firstBlock().next(); block.isValid(); block = block.next()) {
        shown << block.text().size();
        data += block.text();
    }
    QCOMPARE(shown, lines);
    QCOMPARE(data, hex ? QStringLiteral("78 ").repeated(sent.size()) : QString::fromLatin1(sent));
}

QTEST_MAIN(tst_Receive)
#include "tst_receive.moc"
