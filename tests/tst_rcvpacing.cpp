#include "rcvflow.h"
#include "readpass.h"

#include <QRandomGenerator>
#include <QTest>

// The receive flow on a clock and timers of the test's own, driven step by
// step: whatever comes in, once its timers have run nothing is owed.
class tst_RcvPacing final : public QObject
{
    Q_OBJECT

private slots:
    void nothingOwed_data();
    void nothingOwed();
    void quietChunkWithinAFrame();
    void udpPassesSpaced();
    void backlogHoldsOnlyWhatWaits_data();
    void backlogHoldsOnlyWhatWaits();
};

namespace {

struct Clock final : RcvClock
{
    qint64 ns = 1'000'000'000;
    qint64 nowNs() const override { return ns; }
    void advanceMs(qint64 ms) { ns += ms * 1'000'000; }
};

struct Timer final : RcvTimer
{
    bool active = false;
    int interval = 0;
    void start(int ms) override { active = true, interval = ms; }
    void stop() override { active = false; }
    bool isActive() const override { return active; }
};

// A flow whose area is a string; every insertion takes a millisecond.
struct Rig
{
    Clock clock;
    Timer frames;
    Timer udp;
    QString area;
    quint32 counter = 0;
    int resumed = 0;
    int udpReads = 0;
    bool paintHeld = false;
    qint64 longestUnpaintedMs = 0;
    qint64 heldSinceNs = 0;
    RcvFlow flow{clock, frames, udp,
                 {[this](const QString &piece, bool) { area += piece, clock.advanceMs(1); },
                  [this](quint32 count) { counter = count; }, [this] { ++resumed; },
                  [this](bool hold) {
                      if (!hold && paintHeld)
                          longestUnpaintedMs = qMax(longestUnpaintedMs, (clock.ns - heldSinceNs) / 1'000'000);
                      heldSinceNs = hold ? clock.ns : heldSinceNs;
                      paintHeld = hold;
                  },
                  [this] { ++udpReads; }}};

    void chunk(QStringView text, quint32 total)
    {
        if (!flow.pending().isActive())
            flow.pending().begin(!area.isEmpty(), true, 0, 0);
        flow.pending().insert(text.toString());
        flow.chunkAdded();
        flow.counted(total);
    }

    // The frame timer fires until it stops, a bounded number of times.
    void runFrames()
    {
        for (int i = 0; i < 100000 && frames.active; ++i) {
            clock.advanceMs(qMax(frames.interval, 1));
            flow.frameTimerFired();
        }
    }
};

} // namespace

void tst_RcvPacing::nothingOwed_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<qsizetype>("cap");

    for (int seed = 1; seed <= 6; ++seed)
        QTest::addRow("seed %d, cap %d", seed, seed % 2 ? 1000 : 100000) << seed << qsizetype(seed % 2 ? 1000 : 100000);
}

// Chunks, reads held at the cap, ticks, idle passes and counts in any order:
// at the end the area holds every chunk in order, the counter shows the
// total, reading has resumed after every pause, and painting is let go.
void tst_RcvPacing::nothingOwed()
{
    QFETCH(int, seed);
    QFETCH(qsizetype, cap);
    QRandomGenerator random{quint32(seed)};
    Rig rig;
    rig.flow.setCap(cap);
    QString expected;
    quint32 total = 0;
    int pauses = 0;
    for (int step = 0; step < 3000; ++step) {
        switch (random.bounded(6)) {
        case 0:
        case 1:
        case 2: {
            if (rig.flow.readsHeld()) {
                ++pauses;
                break;
            }
            const QString chunk(random.bounded(1, 3000), QChar(u'a' + step % 26));
            expected += chunk;
            total += quint32(chunk.size());
            rig.chunk(chunk, total);
            break;
        }
        case 3:
            if (rig.frames.active) {
                rig.clock.advanceMs(rig.frames.interval);
                rig.flow.frameTimerFired();
            }
            break;
        case 4:
            rig.flow.idle(random.bounded(2) == 0);
            break;
        default:
            rig.clock.advanceMs(random.bounded(40));
        }
    }
    rig.runFrames();
    QVERIFY(rig.flow.settled(total));
    QCOMPARE(rig.area, expected);
    QCOMPARE(rig.counter, total);
    QVERIFY(!rig.paintHeld);
    QVERIFY(pauses == 0 || rig.resumed > 0);
    // A backlog is painted at least once a frame, give or take the
    // insertion that was under way.
    QVERIFY2(rig.longestUnpaintedMs <= RcvFrameMs + MaxRcvInsertMs + 2, qPrintable(QString::number(rig.longestUnpaintedMs)));
}

void tst_RcvPacing::quietChunkWithinAFrame()
{
    Rig rig;
    rig.chunk(u"one", 3);
    // The frame is due; a quiet event loop shows the first chunk at once.
    QVERIFY(rig.frames.active);
    QCOMPARE(rig.frames.interval, RcvFrameMs);
    rig.flow.idle(true);
    QCOMPARE(rig.area, QStringLiteral("one"));
    QCOMPARE(rig.counter, 3u);
    QVERIFY(rig.flow.settled(3));

    // The next one within the frame waits for the frame timer, not for an
    // idle loop.
    rig.chunk(u"two", 6);
    rig.flow.idle(true);
    QCOMPARE(rig.area, QStringLiteral("one"));
    rig.runFrames();
    QCOMPARE(rig.area, QStringLiteral("onetwo"));
    QVERIFY(rig.flow.settled(6));
}

void tst_RcvPacing::udpPassesSpaced()
{
    Rig rig;
    QVERIFY(rig.flow.udpPassMayStart());
    // A pass that read something is followed at once.
    QVERIFY(rig.flow.udpPassMayStart());
    rig.flow.udpPassDrained();
    // One that emptied the socket only after the gap, brought by the timer.
    QVERIFY(!rig.flow.udpPassMayStart());
    QVERIFY(rig.udp.active);
    QCOMPARE(rig.udp.interval, int(MinUdpPassGapNs / 1'000'000));
    QVERIFY(!rig.flow.udpPassMayStart());
    rig.clock.advanceMs(rig.udp.interval);
    rig.flow.udpTimerFired();
    QVERIFY(!rig.udp.active);
    QCOMPARE(rig.udpReads, 1);
    QVERIFY(rig.flow.udpPassMayStart());
}

void tst_RcvPacing::backlogHoldsOnlyWhatWaits_data()
{
    QTest::addColumn<bool>("cursorAtEnd");
    QTest::newRow("cursor at the end") << true;
    QTest::newRow("cursor earlier, paragraphs for the end") << false;
}

// A backlog that lasts ten times the cap, with text coming in faster than
// it is taken until the cap is reached: what the pending text holds stays
// near what waits, and what comes out is what went in.
void tst_RcvPacing::backlogHoldsOnlyWhatWaits()
{
    QFETCH(bool, cursorAtEnd);
    constexpr qsizetype Cap = 256 * 1024;
    constexpr qsizetype Take = 16 * 1024;
    RcvPending pending;
    pending.begin(true, cursorAtEnd, 0, 0);
    const QString line = QString(79, u'p');
    QString in;
    QString out;
    qsizetype mostWaiting = 0;
    qsizetype mostHeld = 0;
    bool atCursor = false;
    while (in.size() < 10 * Cap) {
        const int lines = pending.size() < Cap ? 2 * Take / 80 : 1;
        for (int i = 0; i < lines; ++i) {
            if (cursorAtEnd)
                pending.insert(line + QLatin1Char('\n'));
            else
                pending.appendParagraph(line);
            in += cursorAtEnd ? line + QLatin1Char('\n') : QLatin1Char('\n') + line;
        }
        out += pending.take(Take, atCursor);
        mostWaiting = qMax(mostWaiting, pending.size());
        mostHeld = qMax(mostHeld, pending.heldChars());
    }
    QVERIFY2(mostHeld <= 2 * mostWaiting + Take,
             qPrintable(QStringLiteral("held %1 characters for at most %2 waiting").arg(mostHeld).arg(mostWaiting)));
    while (!pending.isEmpty())
        out += pending.take(Take, atCursor);
    QCOMPARE(out, in);
}

QTEST_GUILESS_MAIN(tst_RcvPacing)

#include "tst_rcvpacing.moc"
