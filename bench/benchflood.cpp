#include "benchflood.h"

#include "benchsupport.h"
#include "benchwindow.h"
#include "mtcpserver.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <vector>

using namespace bench;

namespace {

constexpr int FloodMs = 3000;
constexpr int TickMs = 10;
constexpr qint64 TargetGapMs = 50;
constexpr int Rounds = 3;


struct GapRun
{
    bool ran = false;
    QString why;
    qint64 maxGapMs = 0;
    int ticks = 0;
    qint64 received = 0;
    QString sent;
};

// One flood of FloodMs against a fresh window, with a precise 10 ms timer
// ticking in the window's thread; the longest gap between two ticks is how
// long the window held the thread at a stretch.
GapRun floodOnce(LinkMode kind)
{
    GapRun run;
    BenchWindow window;
    std::unique_ptr<PeerProcess> peer;
    const QString ms = QString::number(FloodMs);
    if (kind == TcpClientLink) {
        peer = startPeer({QStringLiteral("tcp-serve-flood"), ms});
        const quint16 port = peer->port(10000);
        if (!port || !window.openClient(port)) {
            run.why = QStringLiteral("client link did not open");
            return run;
        }
    } else if (kind == TcpServerLink) {
        if (!window.openServer()) {
            run.why = QStringLiteral("server link did not open");
            return run;
        }
    } else if (!window.openUdp(freeTcpPort())) {
        run.why = QStringLiteral("UDP link did not open");
        return run;
    }

    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(TickMs);
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        run.maxGapMs = std::max(run.maxGapMs, sinceTick.restart());
        ++run.ticks;
    });
    sinceTick.start();
    tick.start();

    if (kind == TcpServerLink) {
        peer = startPeer({QStringLiteral("tcp-flood"), QString::number(window.server()->serverPort()), ms});
    } else if (kind == UdpLink) {
        peer = startPeer({QStringLiteral("udp-flood"),
                          QString::number(testsupport::udpLink(window.widget())->localPort()),
                          QStringLiteral("64"), ms});
    }
    const bool ended = waitUntil([&] { return !peer->running(); }, FloodMs + 20000);
    tick.stop();
    const QByteArray report = peer->finish(0);
    run.sent = kind == UdpLink ? peerValue(report, QStringLiteral("datagrams")) + QStringLiteral(" datagrams")
                                  : peerValue(report, QStringLiteral("bytes")) + QStringLiteral(" bytes");
    run.received = window.rcvCount();
    run.ran = ended;
    if (!ended)
        run.why = QStringLiteral("the flood did not end");
    return run;
}

} // namespace

void floodGapScenario()
{
    const struct
    {
        LinkMode kind;
        const char *label;
    } kinds[] = {
        {UdpLink, "longest event-loop gap, UDP flood of 64-byte datagrams"},
        {TcpServerLink, "longest event-loop gap, TCP server flooded by a client"},
        {TcpClientLink, "longest event-loop gap, TCP client flooded by its server"},
    };
    for (const auto &kind : kinds) {
        std::vector<qint64> gaps;
        QStringList each;
        QString why;
        for (int round = 0; round < Rounds && why.isEmpty(); ++round) {
            const GapRun run = floodOnce(kind.kind);
            if (!run.ran) {
                why = run.why;
                break;
            }
            gaps.push_back(run.maxGapMs);
            each.append(QStringLiteral("%1 ms (%2 ticks, %3 sent, %4 bytes read)")
                            .arg(run.maxGapMs)
                            .arg(run.ticks)
                            .arg(run.sent)
                            .arg(run.received));
        }
        QJsonObject result;
        result.insert(QStringLiteral("scenario"), QString::fromUtf8(kind.label));
        result.insert(QStringLiteral("bytes"), 0.0);
        if (!why.isEmpty()) {
            result.insert(QStringLiteral("status"), QStringLiteral("error"));
            result.insert(QStringLiteral("notes"), why);
            emitRow(result);
            continue;
        }
        const qint64 worst = *std::max_element(gaps.begin(), gaps.end());
        result.insert(QStringLiteral("seconds"), double(worst) / 1000.0);
        result.insert(QStringLiteral("notes"),
                      QStringLiteral("longest gap between %1 ms ticks over %2 floods of %3 ms: %4 ms worst; %5; "
                                     "target ≤ %6 ms: %7")
                          .arg(TickMs)
                          .arg(Rounds)
                          .arg(FloodMs)
                          .arg(worst)
                          .arg(each.join(QStringLiteral(", ")))
                          .arg(TargetGapMs)
                          .arg(worst <= TargetGapMs ? QStringLiteral("met") : QStringLiteral("MISSED")));
        emitRow(result);
    }
}
