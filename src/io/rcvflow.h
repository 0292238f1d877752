#pragma once

#include "rcvpending.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <functional>

// A clock in nanoseconds that never jumps.
class RcvClock
{
public:
    virtual ~RcvClock() = default;
    virtual qint64 nowNs() const = 0;
};

// A timer the flow starts and stops: once started it fires every interval
// until it is stopped or started again; whoever owns it calls the flow back
// when it fires.
class RcvTimer
{
public:
    virtual ~RcvTimer() = default;
    virtual void start(int ms) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// The clock and timer of a running program: the monotonic clock, and a
// QTimer of the event loop, certain to fire.
class SteadyRcvClock final : public RcvClock
{
public:
    SteadyRcvClock() { clock.start(); }
    qint64 nowNs() const override { return clock.nsecsElapsed(); }

private:
    QElapsedTimer clock;
};

class EventRcvTimer final : public RcvTimer
{
public:
    EventRcvTimer(Qt::TimerType type, std::function<void()> fired);
    void start(int ms) override { timer.start(ms); }
    void stop() override { timer.stop(); }
    bool isActive() const override { return timer.isActive(); }

private:
    QTimer timer;
};

// How received data goes from the link into the receive area: the pacing of
// reading, showing and counting, free of widgets. Chunks are rendered into
// the pending text (pending()) as they are read; the area takes that text
// once a frame, in insertions of bounded time. While more waits than one
// frame's insertion takes (a backlog), insertions go on in every pass of the
// event loop and the area is painted only once a frame. Reading pauses while
// the pending text is at its cap and resumes once it is below. The counter is
// shown at most every RcvCountIntervalMs while data keeps coming, and exactly
// once the link is quiet. UDP read passes that found the socket empty are
// spaced MinUdpPassGap apart.
//
// Everything the flow owes (text waiting, a count not shown, reading not
// resumed) keeps its frame timer running until it is paid; an idle event
// loop may pay it sooner (idle()), never instead.
class RcvFlow final
{
    Q_DISABLE_COPY_MOVE(RcvFlow)

public:
    struct Hooks
    {
        // Puts a piece of pending text into the area: at the cursor the
        // text was rendered for, or at the end of the area.
        std::function<void(const QString &piece, bool atCursor)> insert;
        std::function<void(quint32 count)> showCount;
        // Reading that paused at the cap may go on.
        std::function<void()> resumeReading;
        // Holds the area's painting back (true) or lets it paint (false).
        std::function<void(bool hold)> holdPaint;
        // A UDP read pass that was put off is due.
        std::function<void()> readUdp;
    };

    RcvFlow(const RcvClock &clock, RcvTimer &frameTimer, RcvTimer &udpTimer, Hooks hooks);

    RcvPending &pending() { return text; }
    const RcvPending &pending() const { return text; }
    // Only the test suite and the benchmark lower it.
    void setCap(qsizetype chars) { cap = chars; }

    // True, and reading paused, while the pending text is at its cap; the
    // reader then stops and is resumed later.
    bool readsHeld();
    // A chunk has been rendered into the pending text.
    void chunkAdded();
    // The received-bytes counter now stands at total.
    void counted(quint32 total);
    // The counter was reset to 0 and shows it.
    void countReset();
    quint32 countShown() const { return shown; }

    // Whether a UDP read pass may start now; when it is too soon after the
    // last one, a timer brings the pass later.
    bool udpPassMayStart();
    // The pass that started found the socket empty.
    void udpPassDrained() { udpDrained = true; }

    // The frame timer and the UDP timer fired.
    void frameTimerFired() { update(false); }
    void udpTimerFired();
    // The event loop is about to wait; quiet: nothing is left to read.
    void idle(bool quiet);

    // Puts pending text into the area until at most downTo characters wait
    // or budgetMs have passed (negative: no limit).
    void flush(qint64 budgetMs = -1, qsizetype downTo = 0);
    // Forgets the pending text (the area was cleared or replaced).
    void drop();
    // Shows everything now: the window is closing.
    void finish();

    // Nothing is owed: no text waits, the counter shows total, reading is
    // not paused, and no frame is due.
    bool settled(quint32 total) const;
    // Work is owed and its frame is due.
    bool framePending() const { return frameTimer.isActive(); }

private:
    void update(bool quiet);
    void schedule();
    void startFrames(int ms);
    void setPaintHeld(bool hold);

    const RcvClock &clock;
    RcvTimer &frameTimer;
    RcvTimer &udpTimer;
    Hooks hooks;

    RcvPending text;
    qsizetype cap = MaxRcvPendingChars;
    bool backlog = false;
    bool readPaused = false;
    bool paintHeld = false;
    int frameInterval = -1;
    // Clock readings; -1: never.
    qint64 lastFlushNs = -1;
    qint64 lastPaintNs = -1;
    qint64 lastCountNs = -1;
    quint32 total = 0;
    quint32 shown = 0;
    qint64 udpLastPassNs = -1;
    bool udpDrained = false;
};
