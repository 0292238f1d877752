#include "benchsupport.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace bench {

qint64 monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

bool resetPeakRss()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start();
    deadline.start(timeoutMs);
    loop.exec();
    return done();
}

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

GapMeter::GapMeter()
{
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, &tick, [this] { note(); });
}

void GapMeter::start()
{
    lastNs = monotonicNs();
    longestNs = 0;
    tick.start(5);
}

double GapMeter::stopMs()
{
    note();
    tick.stop();
    return double(longestNs) / 1e6;
}

void GapMeter::note()
{
    const qint64 now = monotonicNs();
    longestNs = std::max(longestNs, now - lastNs);
    lastNs = now;
}

int listenQueue(quint16 port)
{
    // Connecting to find out would take the one connection socat accepts.
    const QByteArray local = "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // A listening socket's receive queue is its accept queue.
        if (fields.size() > 4 && fields.at(1) == local && fields.at(3) == "0A")
            return fields.at(4).split(':').value(1).toInt(nullptr, 16);
    }
    return -1;
}

bool waitForListener(quint16 port, int timeoutMs)
{
    return waitUntil([port] { return listenQueue(port) >= 0; }, timeoutMs);
}

std::unique_ptr<PeerProcess> startPeer(const QStringList &args)
{
    return std::make_unique<PeerProcess>(args);
}

QString ok(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("MISSED");
}

QJsonObject row(const QString &scenario, qint64 bytes, double secs, const QString &notes)
{
    QJsonObject result;
    result.insert(QStringLiteral("scenario"), scenario);
    result.insert(QStringLiteral("bytes"), double(bytes));
    if (secs >= 0)
        result.insert(QStringLiteral("seconds"), secs);
    result.insert(QStringLiteral("notes"), notes);
    return result;
}

void failRow(const QString &scenario, const QString &why)
{
    QJsonObject result = row(scenario, 0, -1, why);
    result.insert(QStringLiteral("status"), QStringLiteral("error"));
    emitRow(result);
}

void emitRow(const QJsonObject &row)
{
    std::printf("ROW %s\n", QJsonDocument(row).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

QString mib(qint64 bytes)
{
    return QString::number(double(bytes) / MiB, 'f', 1) + QStringLiteral(" MiB");
}

QString seconds(double s)
{
    return QString::number(s, 'f', s < 10 ? 3 : 1) + QStringLiteral(" s");
}

} // namespace bench
