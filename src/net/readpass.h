#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

#include <functional>

QT_BEGIN_NAMESPACE
class QObject;
QT_END_NAMESPACE

// Limits that keep the window responsive while a peer floods it. One pass of
// a read loop stops after MaxReadPassMs or MaxDatagramsPerPass datagrams and
// leaves the rest to a later pass, so input and painting get their turn.
inline constexpr qint64 MaxReadPassMs = 10;
inline constexpr int MaxDatagramsPerPass = 4096;

// The largest UDP payload (over IPv6; IPv4 allows 65 507 bytes).
inline constexpr qint64 MaxDatagramSize = 65527;

// The least time from the start of one UDP read pass to the next.
inline constexpr qint64 MinUdpPassGapNs = 1000 * 1000;

// What a UDP socket asks the kernel to buffer ahead of the window.
inline constexpr int UdpReceiveBufferSize = 4 * 1024 * 1024;

// A TCP chunk is what a socket has buffered, up to this many bytes: larger
// pieces would take too long to show at once.
inline constexpr qint64 MaxTcpChunk = 64 * 1024;

// What a TCP socket buffers ahead of the window; beyond it the peer is
// slowed down by TCP itself instead of filling memory.
inline constexpr qint64 TcpReadBufferSize = 512 * 1024;

// The time one read pass may take, counted from its start.
class ReadBudget final
{
public:
    ReadBudget() { clock.start(); }
    bool spent() const { return clock.hasExpired(MaxReadPassMs); }

private:
    QElapsedTimer clock;
};

// Reading in passes of their own: a readyRead notice only queues a pass
// behind the events already waiting, and at most one pass is queued at a
// time. Until it runs, a flooding peer fills its socket's bounded buffer and
// is then held back by TCP, so it cannot keep the event loop to itself. A
// pass that runs out of budget queues the next for the rest.
class ReadPass final
{
    Q_DISABLE_COPY_MOVE(ReadPass)

public:
    // read runs each pass; context ends the passes still queued when it goes.
    ReadPass(QObject *context, std::function<void()> read);

    void queue();
    bool isQueued() const { return queued; }

private:
    QObject *context = nullptr;
    std::function<void()> read;
    bool queued = false;
};
