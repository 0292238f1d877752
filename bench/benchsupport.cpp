#include "benchsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QJsonDocument>
#include <QLineEdit>
#include <QRandomGenerator64>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

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

QByteArray sha256OfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

QByteArray writeRandomFile(const QString &path, qint64 size, quint64 seed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    QRandomGenerator64 random(seed);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray block(MiB, Qt::Uninitialized);
    for (qint64 written = 0; written < size;) {
        const qint64 piece = qMin<qint64>(MiB, size - written);
        random.fillRange(reinterpret_cast<quint64 *>(block.data()), MiB / 8);
        if (file.write(block.constData(), piece) != piece)
            return {};
        hash.addData(QByteArrayView(block.constData(), piece));
        written += piece;
    }
    return file.flush() ? hash.result().toHex() : QByteArray();
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

void answerFileDialog(const QString &path, int timeoutMs)
{
    auto *poll = new QTimer(qApp);
    const qint64 deadline = monotonicNs() + qint64(timeoutMs) * 1000000;
    auto answered = std::make_shared<bool>(false);
    QObject::connect(poll, &QTimer::timeout, qApp, [poll, path, deadline, answered] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (dialog && monotonicNs() < deadline) {
            // selectFile leaves the name field alone while it has the focus,
            // so the full path is also typed into it, as a user would.
            dialog->selectFile(path);
            if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                name->setText(path);
            static_cast<QDialog *>(dialog)->accept(); // public in QDialog
            *answered = true;
            return; // checked again on the next tick: gone, or answered again
        }
        if (dialog)
            dialog->reject(); // never leave a dialog that blocks the run
        else if (!*answered && monotonicNs() < deadline)
            return;
        poll->stop();
        poll->deleteLater();
    });
    poll->start(10);
}

void click(QCheckBox *box)
{
    // The middle of a stretched check box may lie beside its label; the
    // indicator is always a hit.
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, indicator.center());
}

void click(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool waitForListener(quint16 port, int timeoutMs)
{
    // Connecting to find out would take the one connection socat accepts.
    const QByteArray local = "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    const qint64 deadline = monotonicNs() + qint64(timeoutMs) * 1000000;
    while (monotonicNs() < deadline) {
        QFile table(QStringLiteral("/proc/net/tcp"));
        if (table.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : table.readAll().split('\n')) {
                const QList<QByteArray> fields = line.simplified().split(' ');
                if (fields.size() > 3 && fields.at(1) == local && fields.at(3) == "0A")
                    return true;
            }
        }
        settle(10);
    }
    return false;
}

std::unique_ptr<QProcess> startPeer(const QStringList &args)
{
    auto peer = std::make_unique<QProcess>();
    peer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    peer->setReadChannel(QProcess::StandardOutput);
    peer->start(QCoreApplication::applicationFilePath(), QStringList {QStringLiteral("--peer")} + args);
    return peer;
}

quint16 readPeerPort(QProcess &peer, int timeoutMs)
{
    if (!peer.waitForStarted(timeoutMs))
        return 0;
    const qint64 deadline = monotonicNs() + qint64(timeoutMs) * 1000000;
    while (!peer.canReadLine()) {
        if (monotonicNs() > deadline || !peer.waitForReadyRead(100)) {
            if (peer.state() != QProcess::Running || monotonicNs() > deadline)
                return 0;
        }
    }
    const QByteArray line = peer.readLine().trimmed();
    return line.startsWith("port ") ? quint16(line.mid(5).toUInt()) : 0;
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

QString socatPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("socat"));
}

std::unique_ptr<QProcess> startSocat(const QStringList &args)
{
    const QString path = socatPath();
    if (path.isEmpty())
        return nullptr;
    auto socat = std::make_unique<QProcess>();
    socat->setProcessChannelMode(QProcess::ForwardedChannels);
    socat->start(path, args);
    return socat;
}

void stopProcess(QProcess *process)
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->kill();
    process->waitForFinished(5000);
}

QByteArray finishPeer(QProcess *peer, int waitMs)
{
    if (peer->state() != QProcess::NotRunning && !peer->waitForFinished(waitMs)) {
        peer->terminate();
        if (!peer->waitForFinished(5000))
            stopProcess(peer);
    }
    return peer->readAllStandardOutput();
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
