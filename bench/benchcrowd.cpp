#include "benchcrowd.h"

#include "benchsupport.h"
#include "benchwindow.h"
#include "mtcpserver.h"
#include "softlimit.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTcpSocket>

using namespace bench;

namespace {

constexpr int HoldMs = 3000;
constexpr double TargetCpuShare = 0.05;
constexpr qint64 TargetReturnMs = 1000;

void crowdOnce(int limit, int clients, int wave)
{
    const QString label = QStringLiteral("TCP server, %1 connections beyond a descriptor limit of %2%3")
                              .arg(clients)
                              .arg(limit)
                              .arg(wave < clients ? QStringLiteral(" (waves of %1)").arg(wave)
                                                  : QStringLiteral(" (at once)"));
    const testsupport::SoftLimit lowered{rlim_t(limit)};
    BenchWindow window;
    const quint16 port = window.openServer();
    if (!port) {
        failRow(label, QStringLiteral("server link did not open"));
        return;
    }
    auto crowd = startPeer({QStringLiteral("tcp-hold"), QString::number(port), QString::number(clients),
                            QString::number(wave), QStringLiteral("60")});
    mTcpServer *server = window.server();
    if (crowd->value("opened", 30000) != clients || !waitUntil([&] { return server->acceptingHeld(); }, 30000)) {
        failRow(label, QStringLiteral("the window never held its waiting clients"));
        return;
    }
    const int listed = window.child<QComboBox>("cBoxClients")->count() - 1;
    // Nothing of the harness wakes the window while it waits.
    window.stopAnswering();
    const double cpuBefore = cpuSeconds();
    const qint64 holdStart = monotonicNs();
    settle(HoldMs);
    const double share = (cpuSeconds() - cpuBefore) / (double(monotonicNs() - holdStart) / 1e9);
    window.answerAgain();

    // The crowd leaves. The window takes what waited and accepts again; a
    // client that comes now connects at once and is shown. (One that came
    // while the queue was still full would wait for TCP's retry, a second.)
    crowd->finish(0);
    const qint64 leftNs = monotonicNs();
    QComboBox *clientList = window.child<QComboBox>("cBoxClients");
    const bool drained = waitUntil(
        [&] { return !server->acceptingHeld() && clientList->count() == 0 && listenQueue(port) == 0; }, 30000);
    const qint64 drainedMs = (monotonicNs() - leftNs) / 1000000;
    const qint64 comeNs = monotonicNs();
    QTcpSocket good;
    QObject::connect(&good, &QTcpSocket::connected, &good, [&good] { good.write("hello"); });
    good.connectToHost(QHostAddress::LocalHost, port);
    const bool shown = waitUntil([&] { return window.notes().endsWith(QStringLiteral("】\nhello")); }, 30000);
    const qint64 shownMs = (monotonicNs() - comeNs) / 1000000;
    emitRow(row(label, 0, share * HoldMs / 1000.0,
                QStringLiteral("%1 clients taken, the rest waiting: window CPU %2 % over %3 ms, target ≤ %4 %: %5; "
                               "every waiting client taken %6 ms after the crowd left, target ≤ %7 ms: %8; "
                               "then a new client's hello shown in %9 ms")
                    .arg(listed)
                    .arg(share * 100, 0, 'f', 1)
                    .arg(HoldMs)
                    .arg(TargetCpuShare * 100, 0, 'f', 0)
                    .arg(ok(share <= TargetCpuShare))
                    .arg(drained ? QString::number(drainedMs) : QStringLiteral("never"))
                    .arg(TargetReturnMs)
                    .arg(ok(drained && drainedMs <= TargetReturnMs))
                    .arg(shown ? QString::number(shownMs) : QStringLiteral("never"))));
}

} // namespace

void crowdScenario()
{
    crowdOnce(256, 400, 40);
    crowdOnce(256, 400, 400);
    crowdOnce(1024, 1200, 40);
}
