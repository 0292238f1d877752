// Received chunks far faster than the receive area is drawn: every chunk's
// text appears once and in order, exactly as one insertion per chunk would
// have put it; actions right after a burst act on all of it; the counter is
// exact once the link is quiet; the text waiting for the area stays within
// its cap.

#include "kestruneprobe.h"
#include "rcvdisplay.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringEncoder>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QUdpSocket>

using namespace testsupport;

namespace {

// Datagrams sent in one go, all waiting in the kernel's buffer until the
// window reads them: well inside the 256 that the smallest buffer holds.
constexpr int BurstSize = 200;

struct Chunk
{
    int sender = 0;
    QByteArray bytes;
};

// A burst from two senders: short pieces of text with line breaks, wide
// characters, characters beyond the basic plane, long runs without a break
// (which the line limit breaks) and a few empty datagrams.
std::vector<Chunk> burst(quint32 seed)
{
    static const QByteArray pieces[] = {"abc", "\n", "\r\n", "数据", "\xF0\x9F\x98\x80", "\t", "0123456789",
                                        QByteArray(90, 'x'), "\xE2\x80\xA8", "\r"};
    QRandomGenerator random(seed);
    std::vector<Chunk> chunks;
    for (int i = 0; i < BurstSize; ++i) {
        Chunk chunk;
        chunk.sender = random.bounded(8) == 0 ? 1 : 0;
        const int count = i + 1 == BurstSize ? 1 : random.bounded(6);
        for (int j = 0; j < count; ++j) {
            const int which = random.bounded(100);
            chunk.bytes += pieces[which < 60 ? 7 : which % 10];
        }
        chunks.push_back(chunk);
    }
    return chunks;
}

// The receive area's line breaking, unit by unit: a unit (a character, a
// surrogate pair, or in the hex view one "XX " group) that would take a line
// past the limit starts a new one, unless the line is still empty; the
// piece's own line breaks start one too. The piece starts after column
// characters of its line, and its last line ends with a break if it would
// pass the limit together with the trailing characters after the cursor.
QString withLineBreaks(const QString &piece, int column, int trailing, bool hex)
{
    QString out;
    qsizetype line = column;
    for (qsizetype i = 0, unit = 0; i < piece.size(); i += unit) {
        const QChar ch = piece.at(i);
        unit = hex ? 3 : ch.isHighSurrogate() ? 2 : 1;
        if (ch == u'\n' || ch == u'\r' || ch == QChar::ParagraphSeparator) {
            line = 0;
        } else {
            if (line > 0 && line + unit > MaxRcvLineLength) {
                out += u'\n';
                line = 0;
            }
            line += unit;
        }
        out += piece.mid(i, unit);
    }
    if (line > 0 && trailing > 0 && line + trailing > MaxRcvLineLength)
        out += u'\n';
    return out;
}

// The chunk-by-chunk procedure on an area of the test's own: header when the
// source changes, timestamp paragraph at the end, data at the cursor within
// the line limit.
class ReferenceArea
{
public:
    void receive(const QByteArray &bytes, const QString &source, bool hex, bool time)
    {
        if (source != lastSource) {
            lastSource = source;
            if (!area.document()->isEmpty())
                area.insertPlainText(QStringLiteral("\n"));
            area.insertPlainText(rcvHeader(source));
        }
        if (time) {
            // The comparison leaves the stamp's digits out.
            area.appendPlainText(rcvStamp(QDateTime::currentDateTime()));
        }
        if (bytes.isEmpty())
            return;
        const QString piece = hex ? rcvHexText(bytes) : QString::fromUtf8(bytes);
        const QTextCursor cursor = area.textCursor();
        const QTextBlock first = area.document()->findBlock(cursor.selectionStart());
        const QTextBlock last = area.document()->findBlock(cursor.selectionEnd());
        const int column = cursor.selectionStart() - first.position();
        const int trailing = last.position() + last.length() - 1 - cursor.selectionEnd();
        area.insertPlainText(withLineBreaks(piece, column, trailing, hex));
    }

    QPlainTextEdit area;
    QString lastSource;
};

// Timestamps name the second they were read in; the comparison leaves their
// digits out, and keeps their length.
QString withoutTimes(QString text)
{
    static const QRegularExpression stamp(rcvStampPattern());
    for (QRegularExpressionMatchIterator it = stamp.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        text.replace(match.capturedStart() + 1, match.capturedLength() - 2, QString(match.capturedLength() - 2, u'T'));
    }
    return text;
}

// A window with an open UDP link and two senders on 127.0.0.1.
struct UdpRig
{
    UdpRig()
    {
        STEP(openLink(window, UdpLink, 0));
        port = window.udpLink()->localPort();
    }

    QString source(int sender) { return clientText(peer.sender(sender)); }

    // Sends the chunks back to back, without the event loop running between
    // them, and waits until the window has read them all.
    void send(const std::vector<Chunk> &chunks)
    {
        quint32 total = window.received();
        for (const Chunk &chunk : chunks) {
            QCOMPARE(peer.sender(chunk.sender).writeDatagram(chunk.bytes, QHostAddress::LocalHost, port),
                     qint64(chunk.bytes.size()));
            total += quint32(chunk.bytes.size());
        }
        QTRY_COMPARE_WITH_TIMEOUT(window.received(), total, Timeout);
    }

    void feed(ReferenceArea &reference, const std::vector<Chunk> &chunks, bool hex, bool time)
    {
        for (const Chunk &chunk : chunks)
            reference.receive(chunk.bytes, source(chunk.sender), hex, time);
    }

    void waitShown() const { QTRY_VERIFY_WITH_TIMEOUT(KestruneProbe::rcvShown(*window.w), Timeout); }

    Window window;
    // Two senders, sender(0) and sender(1).
    Peer peer;
    quint16 port = 0;
};

} // namespace

class tst_RcvFlow : public QObject
{
    Q_OBJECT

private slots:
    void burstAppearsInOrder_data();
    void burstAppearsInOrder();
    void actionAfterBurst_data();
    void actionAfterBurst();
    void counterExactWhenQuiet_data();
    void counterExactWhenQuiet();
    void capHoldsFlood_data();
    void capHoldsFlood();
    void backlogMatchesOneByOne_data();
    void backlogMatchesOneByOne();
    void saveWhileAreaChanges_data();
    void saveWhileAreaChanges();
};

void tst_RcvFlow::burstAppearsInOrder_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<bool>("time");
    // Where the cursor stands: -1 at the end, else that many characters
    // into the text already there; a selection of that many characters.
    QTest::addColumn<int>("cursorAt");
    QTest::addColumn<int>("selected");
    // The most characters the area keeps; 0: as the program has it.
    QTest::addColumn<int>("bound");

    QTest::newRow("text") << false << false << -1 << 0 << 0;
    QTest::newRow("hex") << true << false << -1 << 0 << 0;
    QTest::newRow("hex, time") << true << true << -1 << 0 << 0;
    QTest::newRow("text, time, cursor inside") << false << true << 5 << 0 << 0;
    QTest::newRow("hex, cursor inside") << true << false << 3 << 0 << 0;
    QTest::newRow("text, selection") << false << false << 2 << 4 << 0;
    QTest::newRow("text, time, bound") << false << true << -1 << 0 << 3000;
    QTest::newRow("hex, time, bound") << true << true << -1 << 0 << 2500;
}

void tst_RcvFlow::burstAppearsInOrder()
{
    QFETCH(bool, hex);
    QFETCH(bool, time);
    QFETCH(int, cursorAt);
    QFETCH(int, selected);
    QFETCH(int, bound);

    UdpRig rig;
    STEP(void());
    if (bound > 0)
        KestruneProbe::setRcvAreaBound(*rig.window.w, bound);
    ReferenceArea reference;
    // An area with text in it and the cursor placed, in both.
    const std::vector<Chunk> first = {{0, "first line\nsecond"}};
    STEP(rig.send(first));
    STEP(rig.waitShown());
    rig.feed(reference, first, false, false);
    QCOMPARE(rig.window.rcvArea()->toPlainText(), reference.area.toPlainText());
    if (cursorAt >= 0) {
        for (QPlainTextEdit *area : {rig.window.rcvArea(), &reference.area}) {
            QTextCursor cursor(area->document());
            cursor.setPosition(cursorAt);
            cursor.setPosition(cursorAt + selected, QTextCursor::KeepAnchor);
            area->setTextCursor(cursor);
        }
    }
    if (hex)
        clickBox(rig.window.box("cBox_RcvHexDisp"));
    if (time)
        clickBox(rig.window.box("cBox_ShowRcvTime"));

    const std::vector<Chunk> chunks = burst(quint32(cursorAt + 7 * selected + 11 * hex + 13 * time));
    STEP(rig.send(chunks));
    STEP(rig.waitShown());
    rig.feed(reference, chunks, hex, time);
    // Beyond the bound, the newest whole lines, headers and stamps with them.
    const QString mismatch =
        scrollbackMismatch(withoutTimes(rig.window.rcvArea()->toPlainText()),
                           withoutTimes(reference.area.toPlainText()), bound > 0 ? bound : MaxRcvAreaChars);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    // A roll keeps the area without an undo history.
    QVERIFY(!rig.window.rcvArea()->document()->isUndoRedoEnabled());
}

void tst_RcvFlow::actionAfterBurst_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("save") << "save";
    QTest::newRow("clear") << "clear";
    QTest::newRow("pause") << "pause";
    QTest::newRow("hex switch") << "hex";
}

void tst_RcvFlow::actionAfterBurst()
{
    QFETCH(QString, action);

    UdpRig rig;
    STEP(void());
    ReferenceArea reference;
    const std::vector<Chunk> chunks = burst(3);
    STEP(rig.send(chunks));
    rig.feed(reference, chunks, false, false);

    // Right after the last chunk was read, before the area need show it.
    bool hex = false;
    if (action == QLatin1String("save")) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("saved.txt"));
        ModalScript script;
        script.then<QFileDialog>([&path](QFileDialog *dialog) { pickFile(dialog, path); });
        QTest::mouseClick(rig.window.child<QPushButton>("pBtnSaveRcvData"), Qt::LeftButton);
        QVERIFY(script.finished());
        QCOMPARE(script.unexpected, QStringList());
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLocal8Bit(saved.readAll()), reference.area.toPlainText());
    } else if (action == QLatin1String("clear")) {
        QTest::mouseClick(rig.window.child<QPushButton>("pBtnClearRcvDisp"), Qt::LeftButton);
        QCOMPARE(rig.window.rcvArea()->toPlainText(), QString());
        reference.area.clear();
    } else if (action == QLatin1String("pause")) {
        clickBox(rig.window.box("cBox_PauseShowRcv"));
        QCOMPARE(rig.window.rcvArea()->toPlainText(), reference.area.toPlainText());
    } else {
        clickBox(rig.window.box("cBox_RcvHexDisp"));
        QCOMPARE(rig.window.rcvArea()->toPlainText(), reference.area.toPlainText());
        hex = true;
    }

    // The chunks after the action follow the new state of things.
    const std::vector<Chunk> after = {{1, "after"}, {0, "last"}};
    STEP(rig.send(after));
    STEP(rig.waitShown());
    if (action != QLatin1String("pause"))
        rig.feed(reference, after, hex, false);
    QCOMPARE(rig.window.rcvArea()->toPlainText(), reference.area.toPlainText());
}

void tst_RcvFlow::counterExactWhenQuiet_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("capture");
    QTest::newRow("UDP") << int(UdpLink) << false;
    QTest::newRow("UDP, captured") << int(UdpLink) << true;
    QTest::newRow("server") << int(TcpServerLink) << false;
    QTest::newRow("client") << int(TcpClientLink) << false;
}

void tst_RcvFlow::counterExactWhenQuiet()
{
    QFETCH(int, mode);
    QFETCH(bool, capture);

    Window window;
    Peer peer;
    STEP(openLink(window, peer, mode));
    QTemporaryDir dir;
    if (capture)
        STEP(startCapture(window, dir.filePath(QStringLiteral("capture.bin"))));
    QLineEdit *counter = window.child<QLineEdit>("lEdit_RcvCnt");

    // Several bursts, each many chunks sent back to back; after each, once
    // nothing more arrives, the field shows the exact count.
    qint64 total = 0;
    for (int round = 1; round <= 3; ++round) {
        for (int i = 0; i < BurstSize / 2; ++i) {
            const QByteArray bytes(1 + (i * 37 + round) % 97, char('a' + i % 26));
            if (mode == UdpLink)
                QCOMPARE(peer.udp.writeDatagram(bytes, QHostAddress::LocalHost, udpLink(*window.w)->localPort()),
                         qint64(bytes.size()));
            else
                QCOMPARE(peer.sockets.front()->write(bytes), qint64(bytes.size()));
            total += bytes.size();
        }
        QTRY_COMPARE_WITH_TIMEOUT(counter->text(), QString::number(total), Timeout);
        QCOMPARE(qint64(window.received()), total);
    }
}

void tst_RcvFlow::capHoldsFlood_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("client") << int(TcpClientLink);
    QTest::newRow("server") << int(TcpServerLink);
}

void tst_RcvFlow::capHoldsFlood()
{
    QFETCH(int, mode);
    constexpr qint64 Total = 2 * MiB;
    // A low cap, so that the flood reaches it many times over.
    constexpr qsizetype Cap = 64 * KiB;
    // What one chunk adds beyond the cap: a TCP chunk of at most 64 KiB in
    // hex, and a header.
    constexpr qsizetype Bound = Cap + 3 * 64 * KiB + 64;

    Window window;
    Peer peer;
    STEP(openLink(window, peer, mode));
    KestruneProbe::setRcvPendingCap(*window.w, Cap);
    clickBox(window.box("cBox_RcvHexDisp"));

    const QByteArray data = randomBytes(Total, 11);
    QTcpSocket *socket = peer.sockets.front().get();
    qint64 written = 0;
    qsizetype most = 0;
    // The peer writes whenever its queue runs low; each pass of the wait
    // looks at what waits for the area.
    const bool done = QTest::qWaitFor(
        [&] {
            most = std::max(most, KestruneProbe::rcvPendingChars(*window.w));
            if (written < Total && socket->bytesToWrite() < 256 * KiB)
                written += socket->write(data.mid(written, 256 * KiB));
            return window.received() == quint32(Total) && KestruneProbe::rcvShown(*window.w);
        },
        Timeout);
    QVERIFY2(done, qPrintable(QStringLiteral("%1 of %2 bytes read").arg(window.received()).arg(Total)));
    QVERIFY2(most <= Bound, qPrintable(QStringLiteral("%1 characters waited").arg(most)));

    // Every byte is shown, once, in order, after the one header.
    QString shown = window.rcvArea()->toPlainText();
    shown.remove(0, shown.indexOf(QLatin1Char('\n')) + 1);
    shown.remove(QLatin1Char('\n'));
    QCOMPARE(shown.size(), qsizetype(3 * Total));
    QVERIFY(shown == rcvHexText(data));
}

void tst_RcvFlow::backlogMatchesOneByOne_data()
{
    QTest::addColumn<bool>("hex");
    QTest::newRow("text") << false;
    QTest::newRow("hex") << true;
}

// Megabytes written at once build a backlog, which goes into the area over
// many passes with painting held between frames: the area ends up as one
// insertion per chunk would have left it.
void tst_RcvFlow::backlogMatchesOneByOne()
{
    QFETCH(bool, hex);
    Window window;
    Peer peer;
    STEP(openLink(window, peer, TcpServerLink));
    if (hex)
        clickBox(window.box("cBox_RcvHexDisp"));
    // Lines of ASCII text: how the bytes fall into chunks changes nothing.
    const QByteArray data = QByteArray("a line of received text, numbered as it goes\n").repeated(48 * 1024);
    bool paintHeld = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &watch, [&] { paintHeld = paintHeld || !window.rcvArea()->updatesEnabled(); });
    watch.start(1);
    peer.sockets.front()->write(data);
    QTRY_VERIFY_WITH_TIMEOUT(window.received() == quint32(data.size()) && KestruneProbe::rcvShown(*window.w), Timeout);
    QVERIFY(window.rcvArea()->updatesEnabled());
    QVERIFY(paintHeld);
    ReferenceArea reference;
    reference.receive(data, window.clientItems().value(1), hex, false);
    QCOMPARE(window.rcvArea()->toPlainText(), reference.area.toPlainText());
}

void tst_RcvFlow::saveWhileAreaChanges_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("data arrives") << "data arrives";
    QTest::newRow("data arrives at the cursor, inside") << "cursor inside";
    QTest::newRow("area cleared") << "cleared";
    QTest::newRow("bound lowered, data arrives") << "bound lowered";
    QTest::newRow("window closed") << "closed";
}

// 保存数据 writes the area's text as it stood at the click, in passes,
// whatever happens to the area meanwhile.
void tst_RcvFlow::saveWhileAreaChanges()
{
    QFETCH(QString, action);
    UdpRig rig;
    STEP(void());
    QPlainTextEdit *area = rig.window.rcvArea();
    // Enough lines for many passes; wide characters, and a line separator
    // and a non-breaking space, which plain text turns into a line feed and
    // a space.
    area->setPlainText(QStringLiteral("保存 line\u2028its second part\u00A0end\n").repeated(160 * 1024));
    area->moveCursor(QTextCursor::End);
    const QString atClick = area->toPlainText();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("area.txt"));
    ModalScript script({choose(path)});
    QTest::mouseClick(rig.window.child<QPushButton>("pBtnSaveRcvData"), Qt::LeftButton);
    QVERIFY(script.finished());
    QVERIFY(KestruneProbe::rcvSaving(*rig.window.w));
    QProgressBar *bar = rig.window.child<QProgressBar>("SndProgressBar");
    QVERIFY(bar->isVisible());

    const std::vector<Chunk> chunks = {{0, "after the click\n"}, {1, "数据"}};
    const QString arriving = u'\n' + rcvHeader(rig.source(0)) + QStringLiteral("after the click\n\n")
        + rcvHeader(rig.source(1)) + QStringLiteral("数据");
    QString after = atClick;
    if (action == QLatin1String("cursor inside")) {
        QTextCursor cursor = area->textCursor();
        cursor.setPosition(20);
        area->setTextCursor(cursor);
        after.insert(20, arriving);
    } else {
        after += arriving;
    }
    if (action == QLatin1String("cleared")) {
        QTest::mouseClick(rig.window.child<QPushButton>("pBtnClearRcvDisp"), Qt::LeftButton);
        after.clear();
    } else if (action == QLatin1String("closed")) {
        rig.window.w->close();
        after = atClick;
    } else {
        if (action == QLatin1String("bound lowered"))
            KestruneProbe::setRcvAreaBound(*rig.window.w, 1000);
        STEP(rig.send(chunks));
        STEP(rig.waitShown());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!KestruneProbe::rcvSaving(*rig.window.w), Timeout);
    QCOMPARE(script.unexpected, QStringList());
    QVERIFY(contents(path) == QStringEncoder(QStringConverter::System).encode(atClick));
    QVERIFY(!bar->isVisible());
    // Lines the bound lets go leave once the save has read them.
    const QString mismatch =
        scrollbackMismatch(area->toPlainText(), after, action == QLatin1String("bound lowered") ? 1000 : MaxRcvAreaChars);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

QTEST_MAIN(tst_RcvFlow)
#include "tst_rcvflow.moc"
