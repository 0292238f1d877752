#include "rcvflow.h"

#include "readpass.h"

#include <utility>

namespace {

constexpr qint64 NsPerMs = 1000 * 1000;

} // namespace

EventRcvTimer::EventRcvTimer(Qt::TimerType type, std::function<void()> fired)
{
    timer.setTimerType(type);
    QObject::connect(&timer, &QTimer::timeout, &timer, std::move(fired));
}

RcvFlow::RcvFlow(const RcvClock &clock, RcvTimer &frameTimer, RcvTimer &udpTimer, Hooks hooks)
    : clock(clock)
    , frameTimer(frameTimer)
    , udpTimer(udpTimer)
    , hooks(std::move(hooks))
{
}

bool RcvFlow::readsHeld()
{
    if (text.size() < cap)
        return false;
    readPaused = true;
    schedule();
    return true;
}

void RcvFlow::chunkAdded()
{
    // Full (a server's chunks cannot wait): the area takes text now.
    if (text.size() >= cap)
        flush(-1, cap - 1);
    schedule();
}

void RcvFlow::counted(quint32 count)
{
    total = count;
    schedule();
}

void RcvFlow::countReset()
{
    total = 0;
    shown = 0;
}

bool RcvFlow::udpPassMayStart()
{
    if (udpTimer.isActive())
        return false;
    const qint64 now = clock.nowNs();
    const qint64 since = now - udpLastPassNs;
    if (udpDrained && udpLastPassNs >= 0 && since < MinUdpPassGapNs) {
        udpTimer.start(int((MinUdpPassGapNs - since + NsPerMs - 1) / NsPerMs));
        return false;
    }
    udpLastPassNs = now;
    udpDrained = false;
    return true;
}

void RcvFlow::udpTimerFired()
{
    udpTimer.stop();
    hooks.readUdp();
}

void RcvFlow::idle(bool quiet)
{
    if (quiet && frameTimer.isActive())
        update(true);
}

void RcvFlow::schedule()
{
    if (!frameTimer.isActive())
        startFrames(backlog ? 0 : RcvFrameMs);
}

void RcvFlow::startFrames(int ms)
{
    frameInterval = ms;
    frameTimer.start(ms);
}

void RcvFlow::setPaintHeld(bool hold)
{
    if (hold == paintHeld)
        return;
    paintHeld = hold;
    if (!hold)
        lastPaintNs = clock.nowNs();
    hooks.holdPaint(hold);
}

void RcvFlow::update(bool quiet)
{
    const qint64 now = clock.nowNs();
    const qint64 frameNs = RcvFrameMs * NsPerMs;
    int next = -1; // the frame timer's next interval; -1: as the state says
    if (!text.isEmpty() && (!quiet || backlog || lastFlushNs < 0 || now - lastFlushNs >= frameNs)) {
        if (paintHeld && now - lastPaintNs >= frameNs) {
            // A backlog is painted once a frame: this pass inserts nothing,
            // and the next comes after the paint.
            setPaintHeld(false);
            next = 1;
        } else {
            if (backlog)
                setPaintHeld(true);
            flush(MaxRcvInsertMs);
        }
        // A backlog goes in on every event-loop pass until it is gone.
        backlog = !text.isEmpty();
        const int interval = next >= 0 ? next : backlog ? 0 : RcvFrameMs;
        if (interval != frameInterval)
            startFrames(interval);
    }
    if (!backlog)
        setPaintHeld(false);
    if (readPaused && text.size() < cap) {
        readPaused = false;
        hooks.resumeReading();
    }
    // The counter is exact whenever the link is quiet, and is redrawn at
    // most about every other frame while data keeps coming.
    if (shown != total && (quiet || lastCountNs < 0 || now - lastCountNs >= RcvCountIntervalMs * NsPerMs)) {
        shown = total;
        hooks.showCount(total);
        lastCountNs = now;
    }
    if (text.isEmpty() && shown == total && !readPaused) {
        frameTimer.stop();
        backlog = false;
        setPaintHeld(false);
    }
}

void RcvFlow::flush(qint64 budgetMs, qsizetype downTo)
{
    if (!text.isActive())
        return;
    const qint64 start = clock.nowNs();
    // In pieces of bounded size: one huge insertion would hold the window
    // longer than a socket's buffer covers.
    while (text.size() > downTo && (budgetMs < 0 || clock.nowNs() - start < budgetMs * NsPerMs)) {
        bool atCursor = true;
        const QString piece = text.take(paintHeld ? MaxRcvBacklogInsertChars : MaxRcvInsertChars, atCursor);
        hooks.insert(piece, atCursor);
    }
    if (text.isEmpty())
        text.reset();
    lastFlushNs = clock.nowNs();
}

void RcvFlow::drop()
{
    text.reset();
    if (readPaused)
        schedule(); // reading goes on on the next frame
}

void RcvFlow::finish()
{
    flush();
    update(true);
}

bool RcvFlow::settled(quint32 count) const
{
    return text.isEmpty() && shown == count && total == count && !readPaused && !frameTimer.isActive();
}
