#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
class QAbstractButton;
class QCheckBox;
QT_END_NAMESPACE

// Measuring tools shared by the benchmark scenarios: clocks, memory and CPU
// readings, files, waiting in the event loop, driving the window's controls
// and starting peers.
namespace bench {

constexpr qint64 MiB = 1024 * 1024;

// CLOCK_MONOTONIC in nanoseconds: one clock for every process on the machine.
qint64 monotonicNs();

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 when unreadable.
qint64 statusKiB(const char *field);
// Resets the process's peak RSS (VmHWM) to its current RSS.
bool resetPeakRss();
// User plus system CPU time of this process, in seconds.
double cpuSeconds();

QByteArray sha256OfFile(const QString &path);
// Writes `size` pseudo-random bytes and returns their SHA-256.
QByteArray writeRandomFile(const QString &path, qint64 size, quint64 seed);

// Runs the event loop until `done` holds or `timeoutMs` pass; true if done.
// The loop sleeps in the poller between events, as the program's own does.
bool waitUntil(const std::function<bool()> &done, int timeoutMs);
// Runs the event loop for a while (settling before a memory reading).
void settle(int ms);

// Answers the next modal file dialog with `path` (selectFile, accept).
void answerFileDialog(const QString &path, int timeoutMs = 10000);
// A user's click: on a check box's indicator, on a button's middle.
void click(QCheckBox *box);
void click(QAbstractButton *button);

// A loopback port that nobody listens on right now.
quint16 freeLoopbackPort();
// True once something listens on 127.0.0.1:port (read from /proc/net/tcp).
bool waitForListener(quint16 port, int timeoutMs);

// This program started again as a peer ("--peer" plus args).
std::unique_ptr<QProcess> startPeer(const QStringList &args);
// Reads the "port N" line a listening peer prints first; 0 on failure.
quint16 readPeerPort(QProcess &peer, int timeoutMs);
// "key value" lines of a finished peer's output.
QString peerValue(const QByteArray &output, const QString &key);
// socat with these arguments, or nullptr when socat is not installed.
std::unique_ptr<QProcess> startSocat(const QStringList &args);
QString socatPath();
void stopProcess(QProcess *process);
// Lets a peer end within waitMs, then asks it to stop (SIGTERM: peers print
// their figures and exit); returns what it printed.
QByteArray finishPeer(QProcess *peer, int waitMs);

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
