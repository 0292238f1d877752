#include "peerprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace testsupport {

PeerProcess::PeerProcess(const QStringList &arguments)
{
    start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--peer")} + arguments,
          QProcess::ForwardedErrorChannel);
}

PeerProcess::~PeerProcess()
{
    stop();
}

std::unique_ptr<PeerProcess> PeerProcess::socat(const QStringList &arguments)
{
    const QString path = socatPath();
    if (path.isEmpty())
        return nullptr;
    std::unique_ptr<PeerProcess> peer(new PeerProcess);
    peer->start(path, arguments, QProcess::SeparateChannels);
    return peer;
}

QString PeerProcess::socatPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("socat"));
}

void PeerProcess::start(const QString &program, const QStringList &arguments,
                        QProcess::ProcessChannelMode channels)
{
    process.setProcessChannelMode(channels);
    process.setReadChannel(QProcess::StandardOutput);
    process.start(program, arguments);
}

quint16 PeerProcess::port(int timeoutMs)
{
    const qint64 found = value("port", timeoutMs);
    return found > 0 && found < 65536 ? quint16(found) : 0;
}

qint64 PeerProcess::value(const QByteArray &key, int timeoutMs)
{
    qint64 found = -1;
    (void)QTest::qWaitFor(
        [&] {
            output += process.readAllStandardOutput();
            // Only whole lines: the last one may still be on its way.
            const QList<QByteArray> lines = output.left(output.lastIndexOf('\n')).split('\n');
            for (const QByteArray &line : lines) {
                const QList<QByteArray> parts = line.split(' ');
                if (parts.size() == 2 && parts.first() == key) {
                    found = parts.last().toLongLong();
                    return true;
                }
            }
            return process.state() == QProcess::NotRunning && process.bytesAvailable() == 0;
        },
        timeoutMs);
    return found;
}

bool PeerProcess::waitForEnd(int timeoutMs)
{
    QSignalSpy ended(&process, &QProcess::finished);
    if (process.state() == QProcess::NotRunning)
        return true;
    return ended.wait(timeoutMs) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QByteArray PeerProcess::finish(int waitMs)
{
    if (running() && !process.waitForFinished(waitMs)) {
        process.terminate();
        if (!process.waitForFinished(5000))
            stop();
    }
    output += process.readAllStandardOutput();
    return output;
}

QRegularExpressionMatch PeerProcess::waitForLog(const QRegularExpression &pattern, int timeoutMs)
{
    QRegularExpressionMatch match;
    (void)QTest::qWaitFor(
        [&] {
            log += QString::fromLocal8Bit(process.readAllStandardError());
            match = pattern.match(log);
            return match.hasMatch();
        },
        timeoutMs);
    return match;
}

void PeerProcess::stop()
{
    if (!running())
        return;
    process.kill();
    process.waitForFinished(5000);
}

QString peerValue(const QByteArray &output, const QString &key)
{
    const QByteArray prefix = key.toLatin1() + ' ';
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith(prefix))
            return QString::fromLatin1(line.mid(prefix.size()).trimmed());
    }
    return {};
}

} // namespace testsupport
