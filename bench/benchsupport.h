#pragma once

#include "files.h"
#include "loopback.h"
#include "peerprocess.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

// Measuring tools shared by the benchmark scenarios: clocks, memory and CPU
// readings, waiting in the event loop, loopback ports and result rows. The
// window, its dialogs, peers and files come from the tests' support library.
namespace bench {

using testsupport::MiB;
using testsupport::freeTcpPort;
using testsupport::PeerProcess;
using testsupport::peerValue;
using testsupport::sha256OfFile;
using testsupport::writeRandomFile;

// CLOCK_MONOTONIC in nanoseconds: one clock for every process on the machine.
qint64 monotonicNs();

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 when unreadable.
qint64 statusKiB(const char *field);
// Resets the process's peak RSS (VmHWM) to its current RSS.
bool resetPeakRss();
// User plus system CPU time of this process, in seconds.
double cpuSeconds();

// Runs the event loop until `done` holds or `timeoutMs` pass; true if done.
// The loop sleeps in the poller between events, as the program's own does.
bool waitUntil(const std::function<bool()> &done, int timeoutMs);
// Runs the event loop for a while (settling before a memory reading).
void settle(int ms);

// The longest gap between the ticks of a 5 ms precise timer while it runs:
// the longest time the event loop was held.
class GapMeter final
{
    Q_DISABLE_COPY_MOVE(GapMeter)

public:
    GapMeter();
    void start();
    // Stops; the time since the last tick counts as a gap too.
    double stopMs();

private:
    void note();

    QTimer tick;
    qint64 lastNs = 0;
    qint64 longestNs = 0;
};

// The connections waiting to be accepted on 127.0.0.1:port (read from
// /proc/net/tcp); -1 when nothing listens there.
int listenQueue(quint16 port);
// True once something listens on 127.0.0.1:port.
bool waitForListener(quint16 port, int timeoutMs);

// This program started again as a peer ("--peer" plus args, peermodes.h).
std::unique_ptr<PeerProcess> startPeer(const QStringList &args);

// One result row, printed on stdout for the orchestrating process.
void emitRow(const QJsonObject &row);
// A row's fields; secs < 0 leaves the time out.
QJsonObject row(const QString &scenario, qint64 bytes, double secs, const QString &notes);
// Emits a row that says the scenario could not run, and why.
void failRow(const QString &scenario, const QString &why);
// "met" or "MISSED", for a target in a row's notes.
QString ok(bool met);

QString mib(qint64 bytes);
QString seconds(double s);

} // namespace bench
