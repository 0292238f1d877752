#pragma once

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <memory>

namespace testsupport {

// A peer process of the caller's own: this program started again in one of
// the modes of peermodes.h, or socat. Its error output goes to ours; what
// it prints is kept. Killed, if still running, with its holder.
class PeerProcess final
{
public:
    // This program with "--peer" and the arguments.
    explicit PeerProcess(const QStringList &arguments);
    ~PeerProcess();
    Q_DISABLE_COPY_MOVE(PeerProcess)

    // socat with the arguments, its diagnostics kept for waitForLog();
    // nullptr when socat is not installed.
    static std::unique_ptr<PeerProcess> socat(const QStringList &arguments);
    // Where socat is; empty when it is not installed.
    static QString socatPath();

    // The "port N" line a listening peer prints first; 0 if none came in time.
    quint16 port(int timeoutMs);
    // The value of a "key value" line the peer printed, waiting in the event
    // loop until it comes or the peer ends; -1 if none came.
    qint64 value(const QByteArray &key, int timeoutMs = 30000);
    // Runs the event loop until the peer has ended by itself; true if it
    // did so in time with exit code 0.
    bool waitForEnd(int timeoutMs = 30000);
    // Lets the peer end within waitMs, then asks it to stop (SIGTERM: peers
    // print their figures and exit); returns all it printed.
    QByteArray finish(int waitMs);
    // Waits until the diagnostics of a socat peer show a line matching the
    // pattern; the caller checks the match, so a timeout shows as no match.
    QRegularExpressionMatch waitForLog(const QRegularExpression &pattern, int timeoutMs);
    // Kills the peer if it still runs.
    void stop();
    bool running() const { return process.state() != QProcess::NotRunning; }

    QProcess process;
    // What a socat peer said on its error output so far.
    QString log;

private:
    PeerProcess() = default;
    void start(const QString &program, const QStringList &arguments, QProcess::ProcessChannelMode channels);

    QByteArray output;
};

// The value of a "key value" line in a peer's output; empty if none.
QString peerValue(const QByteArray &output, const QString &key);

} // namespace testsupport
