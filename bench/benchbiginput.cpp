#include "benchbiginput.h"

#include "benchsupport.h"
#include "benchwindow.h"
#include "hexcodec.h"
#include "paragraphs.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

using namespace bench;

namespace {

constexpr qint64 TargetGapMs = 250;
constexpr qint64 TargetLoadMs = 2000;
constexpr int TickMs = 5;
// The event loop runs this long after an action ends, for its repaints.
constexpr int SettleMs = 300;

struct Gap
{
    qint64 longestMs = 0;
    qint64 totalMs = 0;
    bool ended = true;
};

// Runs `action` from the event loop with a precise timer ticking beside it,
// then waits until `busy` is false and SettleMs more have passed. The
// longest gap between two ticks is how long the window did not answer.
Gap gapDuring(const std::function<void()> &action, const std::function<bool()> &busy = [] { return false; })
{
    Gap gap;
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(TickMs);
    QObject::connect(&tick, &QTimer::timeout, &tick,
                     [&] { gap.longestMs = std::max(gap.longestMs, sinceTick.restart()); });
    bool acted = false;
    QElapsedTimer total;
    sinceTick.start();
    tick.start();
    QTimer::singleShot(0, &tick, [&] {
        total.start();
        sinceTick.restart();
        action();
        acted = true;
    });
    gap.ended = waitUntil([&] { return acted && !busy(); }, 60000);
    gap.totalMs = total.elapsed();
    settle(SettleMs);
    gap.longestMs = std::max(gap.longestMs, sinceTick.elapsed());
    tick.stop();
    return gap;
}

QString gapNote(const Gap &gap)
{
    return QStringLiteral("longest gap %1 ms, target ≤ %2 ms: %3").arg(gap.longestMs).arg(TargetGapMs).arg(ok(gap.longestMs <= TargetGapMs));
}

// A shown QPlainTextEdit set up as the send area is, on its own, in the
// font the area draws its text in.
std::unique_ptr<QPlainTextEdit> bareArea(const QPlainTextEdit &like)
{
    auto area = std::make_unique<QPlainTextEdit>();
    area->setWordWrapMode(QTextOption::WrapAnywhere);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    area->setFont(like.document()->defaultFont());
    area->resize(like.size());
    area->show();
    QCoreApplication::processEvents();
    return area;
}

// Lines of 79 random letters and a line feed, `chars` characters in all.
QString generatedText(qsizetype chars)
{
    QRandomGenerator random(18);
    QString text(chars, Qt::Uninitialized);
    for (qsizetype i = 0; i < chars; ++i)
        text[i] = i % 80 == 79 ? QLatin1Char('\n') : QLatin1Char(char('a' + random.bounded(26)));
    return text;
}

// The last box the window put up since `before` boxes, as a note.
QString boxNote(const BenchWindow &window, qsizetype before)
{
    const QStringList &texts = window.boxTexts();
    return texts.size() > before ? QStringLiteral("; refused: %1").arg(texts.last().left(40)) : QString();
}

void loadRows(const QTemporaryDir &dir)
{
    const QString oneLine = dir.filePath(QStringLiteral("one-line.txt"));
    const QString longest = dir.filePath(QStringLiteral("longest-line.txt"));
    const QString lines = dir.filePath(QStringLiteral("lines.txt"));
    {
        QFile file(oneLine);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray("0123456789abcdef").repeated(1024 * 1024));
        QFile longestLine(longest);
        longestLine.open(QIODevice::WriteOnly);
        longestLine.write(QByteArray("0123456789abcdef").repeated(MaxParagraphChars / 16));
        QFile many(lines);
        many.open(QIODevice::WriteOnly);
        many.write(generatedText(16 * MiB).toLatin1());
    }
    const struct
    {
        QString path;
        const char *label;
    } files[] = {
        {oneLine, "载入数据: a 16 MiB file of one line"},
        {longest, "载入数据: one line of 256 Ki characters, the longest a line may be"},
        {lines, "载入数据: 16 MiB of 80-character lines"},
        {QStringLiteral("/dev/zero"), "载入数据: /dev/zero"},
        {QStringLiteral("/dev/urandom"), "载入数据: /dev/urandom"},
    };
    for (const auto &file : files) {
        BenchWindow window;
        QPlainTextEdit *area = window.child<QPlainTextEdit>("tEditSendText");
        const Gap gap = gapDuring([&] { window.loadSendArea(file.path); },
                                  [&] { return testsupport::sendAreaLoading(window.widget()); });
        QString notes = QStringLiteral("%1; loaded in %2 ms, target ≤ %3 ms: %4; %5 characters in the area%6")
                            .arg(gapNote(gap))
                            .arg(gap.totalMs)
                            .arg(TargetLoadMs)
                            .arg(ok(gap.ended && gap.totalMs <= TargetLoadMs))
                            .arg(area->document()->characterCount() - 1)
                            .arg(boxNote(window, 0));
        if (file.path == longest) {
            // The widget on its own, given the same line in one insertion.
            const QString text = area->toPlainText();
            auto bare = bareArea(*area);
            const Gap alone = gapDuring([&] { bare->insertPlainText(text); });
            notes += QStringLiteral("; a bare QPlainTextEdit inserting the same line: longest gap %1 ms").arg(alone.longestMs);
        }
        emitRow(row(QString::fromUtf8(file.label), 0, gap.longestMs / 1000.0, notes));
        if (file.path == lines) {
            // Undone and redone a step at a time; beside, the bare widget
            // undoing and redoing the same text inserted at once.
            const QString text = area->toPlainText();
            auto bare = bareArea(*area);
            bare->insertPlainText(text);
            for (const auto &[key, name] : {std::pair{QKeySequence::Undo, "Ctrl+Z"}, std::pair{QKeySequence::Redo, "Ctrl+Shift+Z"}}) {
                const Gap undo = gapDuring([&] { QTest::keySequence(area, key); });
                const Gap alone = gapDuring([&] { QTest::keySequence(bare.get(), key); });
                emitRow(row(QString::fromUtf8(file.label) + QStringLiteral(", then ") + QLatin1String(name), 0,
                            undo.longestMs / 1000.0,
                            gapNote(undo)
                                + QStringLiteral("; %1 characters after it; a bare QPlainTextEdit with the same text in one step: "
                                                 "longest gap %2 ms")
                                      .arg(area->document()->characterCount() - 1)
                                      .arg(alone.longestMs)));
            }
        }
        if (file.path == QLatin1String("/dev/urandom")) {
            // Its hex notation would be one line of tens of millions of
            // characters; then a few keys.
            const qsizetype boxes = window.boxTexts().size();
            const Gap hexOn = gapDuring([&] { window.clickBox("cBox_SndHexDisp"); });
            emitRow(row(QStringLiteral("载入数据: /dev/urandom, then 按十六进制发送 on"), 0, hexOn.longestMs / 1000.0,
                        gapNote(hexOn) + boxNote(window, boxes)));
            area->moveCursor(QTextCursor::End);
            const Gap keys = gapDuring([&] { QTest::keyClicks(area, QStringLiteral("abc")); });
            emitRow(row(QStringLiteral("载入数据: /dev/urandom, then three keys"), 0, keys.longestMs / 1000.0, gapNote(keys)));
        }
    }
}

// A send area of `chars` characters of 80-character lines, typed into,
// sent, switched to hex and back, looped and cleared.
void sendAreaRows(qsizetype chars, const QString &label)
{
    const quint16 port = freeTcpPort();
    auto sink = PeerProcess::socat({QStringLiteral("-u"), QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port),
                               QStringLiteral("OPEN:/dev/null")});
    BenchWindow window;
    if (!sink || !waitForListener(port, 5000) || !window.openClient(port))
        return failRow(label, QStringLiteral("no link to a socat sink"));
    QPlainTextEdit *area = window.child<QPlainTextEdit>("tEditSendText");
    area->setPlainText(generatedText(chars));
    area->moveCursor(QTextCursor::End);
    settle(SettleMs);

    auto emitGap = [&](const QString &what, const Gap &gap, const QString &more = QString()) {
        emitRow(row(label + what, 0, gap.longestMs / 1000.0, gapNote(gap) + more));
    };
    auto counter = [&] { return QStringLiteral("; counter %1 after it").arg(window.sndCount()); };
    auto typeOne = [&] { QTest::keyClick(area, Qt::Key_A); };
    Gap gap = gapDuring(typeOne);
    emitGap(QStringLiteral("typing a character"), gap);
    gap = gapDuring([&] { window.clickSend(); });
    emitGap(QStringLiteral("发送 once"), gap, counter());

    // Hex on puts the written form of every byte into one line; the same
    // line in a bare widget set up as the area then is, set and typed into,
    // shows what laying out one line of that length costs there.
    const QString hex = sendHexText(area->toPlainText().toLocal8Bit());
    const qsizetype boxes = window.boxTexts().size();
    gap = gapDuring([&] { window.clickBox("cBox_SndHexDisp"); });
    const bool hexOn = window.boxChecked("cBox_SndHexDisp");
    Gap bareSet;
    Gap bareKey;
    {
        auto bare = bareArea(*area);
        QFont font = bare->document()->defaultFont();
        font.setStyleStrategy(QFont::PreferNoShaping);
        bare->document()->setDefaultFont(font);
        bareSet = gapDuring([&] { bare->setPlainText(hex); });
        bare->moveCursor(QTextCursor::End);
        bareKey = gapDuring([&] { QTest::keyClick(bare.get(), Qt::Key_A); });
    }
    emitGap(QStringLiteral("按十六进制发送 on"), gap,
            QStringLiteral("; %1 characters of notation in one line%2; a bare QPlainTextEdit given the same line: "
                           "longest gap %3 ms, a key typed into it %4 ms")
                .arg(hex.size())
                .arg(boxNote(window, boxes))
                .arg(bareSet.longestMs)
                .arg(bareKey.longestMs));
    const QString mode = hexOn ? QStringLiteral(", hex on") : QString();
    if (hexOn) {
        gap = gapDuring(typeOne);
        emitGap(QStringLiteral("typing a character") + mode, gap);
        gap = gapDuring([&] { window.clickSend(); });
        emitGap(QStringLiteral("发送 once") + mode, gap, counter());
    }
    gap = gapDuring([&] { window.clickBox("cBoxLoopSnd"); });
    emitGap(QStringLiteral("数据源循环发送 on"), gap);
    // The first tick comes one interval after the loop starts.
    window.clickSend();
    const qint64 before = window.sndCount();
    gap = gapDuring([] {}, [&] { return window.sndCount() == before; });
    emitGap(QStringLiteral("a loop tick") + mode, gap, counter());
    gap = gapDuring([&] { window.clickBox("cBoxLoopSnd"); });
    emitGap(QStringLiteral("数据源循环发送 off"), gap);
    if (hexOn) {
        gap = gapDuring([&] { window.clickBox("cBox_SndHexDisp"); });
        emitGap(QStringLiteral("按十六进制发送 off"), gap,
                QStringLiteral("; %1 characters after it").arg(area->document()->characterCount() - 1));
    }
    gap = gapDuring([&] { QTest::mouseClick(window.child<QPushButton>("pBtnClearSndDisp"), Qt::LeftButton); });
    emitGap(QStringLiteral("清空显示"), gap);
    window.closeLink();
}

} // namespace

void bigInputScenario()
{
    QTemporaryDir dir;
    loadRows(dir);
    sendAreaRows(3 * MiB, QStringLiteral("send area of 3 Mi characters: "));
    // The most text whose hex notation, three characters a byte, still
    // makes a paragraph the area takes.
    sendAreaRows(MaxParagraphChars / 3, QStringLiteral("send area of 85 Ki characters: "));
}

void paragraphScenario()
{
    // How long one paragraph may be for the widget to take it, and a key
    // typed into it, within the target: a bare QPlainTextEdit set up as the
    // send area, given one line of letters (shaped, as loaded text is drawn)
    // or of hex notation (unshaped, as the area draws it).
    BenchWindow window;
    const QPlainTextEdit *like = window.child<QPlainTextEdit>("tEditSendText");
    for (const bool hex : {false, true}) {
        for (const qsizetype chars : {qsizetype(128) * 1024, qsizetype(256) * 1024, qsizetype(512) * 1024,
                                      qsizetype(1024) * 1024, qsizetype(2048) * 1024}) {
            QString line = generatedText(chars + chars / 79 + 1).remove(QLatin1Char('\n')).left(chars);
            if (hex) {
                for (qsizetype i = 0; i < line.size(); ++i)
                    line[i] = i % 3 == 2 ? QLatin1Char(' ') : QLatin1Char("0123456789abcdef"[line.at(i).unicode() % 16]);
            }
            auto bare = bareArea(*like);
            if (hex) {
                QFont font = bare->document()->defaultFont();
                font.setStyleStrategy(QFont::PreferNoShaping);
                bare->document()->setDefaultFont(font);
            }
            const Gap insert = gapDuring([&] {
                QTextCursor cursor = bare->textCursor();
                cursor.beginEditBlock();
                cursor.insertText(line);
                cursor.endEditBlock();
            });
            bare->moveCursor(QTextCursor::End);
            const Gap keyAtEnd = gapDuring([&] { QTest::keyClick(bare.get(), Qt::Key_A); });
            bare->moveCursor(QTextCursor::Start);
            const Gap keyAtStart = gapDuring([&] { QTest::keyClick(bare.get(), Qt::Key_A); });
            const qint64 longest = std::max({insert.longestMs, keyAtEnd.longestMs, keyAtStart.longestMs});
            emitRow(row(QStringLiteral("bare QPlainTextEdit, one paragraph of %1 Ki characters, %2")
                            .arg(chars / 1024)
                            .arg(hex ? QStringLiteral("hex notation") : QStringLiteral("letters")),
                        0, longest / 1000.0,
                        QStringLiteral("longest gap %1 ms (insert %2, a key at the end %3, at the start %4), target ≤ %5 ms: %6")
                            .arg(longest)
                            .arg(insert.longestMs)
                            .arg(keyAtEnd.longestMs)
                            .arg(keyAtStart.longestMs)
                            .arg(TargetGapMs)
                            .arg(ok(longest <= TargetGapMs))));
        }
    }
}
