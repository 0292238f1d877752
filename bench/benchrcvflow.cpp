#include "benchrcvflow.h"

#include "benchsupport.h"
#include "benchwindow.h"
#include "kestruneprobe.h"
#include "mtcpserver.h"

#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <vector>

using namespace bench;

namespace {

constexpr int DatagramSize = 100;
constexpr int RateSeconds = 3;

QString percent(double share)
{
    return QString::number(share * 100, 'f', share < 0.01 ? 3 : 1) + QLatin1Char('%');
}

struct View
{
    const char *name;
    bool hex;
    bool time;
    bool capture;
};

// One paced run: the peer sends each datagram to the window and to a plain
// reader (a blocking socket in a process of its own).
void pacedRun(BenchWindow &window, const View &view, int rate, const char *variant = "")
{
    const QString label = QStringLiteral("UDP %1 B at %2/s, %3%4").arg(DatagramSize).arg(rate).arg(view.name, QLatin1String(variant));
    auto plain = startPeer({QStringLiteral("udp-recv"), QStringLiteral("1000000000000"), QStringLiteral("60")});
    const quint16 plainPort = plain->port(10000);
    if (!plainPort)
        return failRow(label, QStringLiteral("plain reader did not start"));
    const quint16 windowPort = testsupport::udpLink(window.widget())->localPort();
    window.child<QPushButton>("pBtnResetCnt")->click();
    if (!view.capture)
        window.child<QPushButton>("pBtnClearRcvDisp")->click();

    const double cpuBefore = cpuSeconds();
    const qint64 startNs = monotonicNs();
    auto sender = startPeer({QStringLiteral("udp-paced"), QString::number(rate), QString::number(RateSeconds),
                             QString::number(DatagramSize), QString::number(windowPort),
                             QString::number(plainPort)});
    const bool sent = waitUntil([&] { return !sender->running(); }, 60000);
    const qint64 sentNs = monotonicNs();
    const double cpuSending = cpuSeconds() - cpuBefore;
    const QByteArray report = sender->finish(0);
    const qint64 total = peerValue(report, QStringLiteral("sent")).toLongLong();
    // What the kernel still holds is read; then the window is quiet.
    qint64 previous = -1;
    waitUntil(
        [&] {
            const qint64 now = window.rcvCount();
            const bool still = now == previous;
            previous = now;
            return now >= total * DatagramSize || still;
        },
        5000);
    const double wall = double(sentNs - startNs) / 1e9;
    const qint64 counted = window.rcvCount() / DatagramSize;
    const QByteArray plainReport = plain->finish(5000);
    const qint64 plainGot = peerValue(plainReport, QStringLiteral("datagrams")).toLongLong();

    const qint64 lost = total - counted;
    const qint64 plainLost = total - plainGot;
    const double lostShare = total ? double(lost) / double(total) : 0;
    const double share = cpuSending / wall;
    QString target;
    if (rate == 20000)
        target = QStringLiteral("; target no loss, CPU ≤ 50%: ") + ok(lost == 0 && share <= 0.5);
    else if (rate == 100000 && view.capture)
        target = QStringLiteral("; target lost ≤ plain reader's: ") + ok(lost <= plainLost);
    else if (rate == 100000)
        target = QStringLiteral("; target lost ≤ 1%, CPU ≤ 70%: ") + ok(lostShare <= 0.01 && share <= 0.7);
    QJsonObject result = row(label, counted * DatagramSize, wall,
                             QStringLiteral("sent %1, counted %2, lost %3 (%4); window CPU %5 of one core; "
                                            "plain reader lost %6 (%7)%8%9")
                                 .arg(total)
                                 .arg(counted)
                                 .arg(lost)
                                 .arg(percent(lostShare), percent(share))
                                 .arg(plainLost)
                                 .arg(percent(total ? double(plainLost) / double(total) : 0), target,
                                      sent ? QString() : QStringLiteral("; the sender did not end")));
    emitRow(result);
}

} // namespace

void udpRateScenario()
{
    static const View views[] = {
        {"text view", false, false, false},
        {"hex view", true, false, false},
        {"hex view with timestamps", true, true, false},
        {"capture on", false, false, true},
    };
    static const int allRates[] = {1000, 5000, 10000, 20000, 50000, 100000};
    // KESTRUNE_BENCH_RATES and KESTRUNE_BENCH_VIEWS (view names) narrow the
    // runs, for a profiler.
    QList<int> rates;
    const QStringList chosenRates = qEnvironmentVariable("KESTRUNE_BENCH_RATES").split(u',', Qt::SkipEmptyParts);
    for (const int rate : allRates)
        if (chosenRates.isEmpty() || chosenRates.contains(QString::number(rate)))
            rates.append(rate);
    const QStringList chosenViews = qEnvironmentVariable("KESTRUNE_BENCH_VIEWS").split(u',', Qt::SkipEmptyParts);
    // Then, beside the 100 000/s rows, a window that puts every read into
    // the area at once.
    for (const bool perRead : {false, true}) {
        for (const View &view : views) {
            if ((!chosenViews.isEmpty() && !chosenViews.contains(QLatin1String(view.name)))
                || (perRead && (view.capture || !rates.contains(100000))))
                continue;
            BenchWindow window;
            QTemporaryDir dir;
            if (perRead)
                KestruneProbe::setRcvPendingCap(window.widget(), 1);
            if (!window.openUdp(9))
                return failRow(QStringLiteral("UDP rates"), QStringLiteral("UDP link did not open"));
            if (view.hex)
                window.clickBox("cBox_RcvHexDisp");
            if (view.time)
                window.clickBox("cBox_ShowRcvTime");
            if (view.capture && !window.startCapture(dir.filePath(QStringLiteral("capture.bin"))))
                return failRow(QStringLiteral("UDP rates"), QStringLiteral("capture did not switch on"));
            if (perRead)
                pacedRun(window, view, 100000, " (variant: one insertion per read)");
            else
                for (const int rate : rates)
                    pacedRun(window, view, rate);
        }
    }
}

void areaFillScenario()
{
    constexpr int TickMs = 5;
    const struct
    {
        const char *view;
        bool hex;
        qint64 total;
        double targetMiBs;
    } runs[] = {
        {"hex view", true, 16 * MiB, 20},
        {"text view", false, 32 * MiB, 30},
    };
    // KESTRUNE_BENCH_VIEWS narrows the runs to the views it names.
    const QStringList chosenViews = qEnvironmentVariable("KESTRUNE_BENCH_VIEWS").split(u',', Qt::SkipEmptyParts);
    for (const auto &run : runs) {
        if (!chosenViews.isEmpty() && !chosenViews.contains(QLatin1String(run.view)))
            continue;
        for (const bool perRead : {false, true}) {
            const QString label = QStringLiteral("%1 MiB written at once, %2, until the area holds it%3")
                                      .arg(run.total / MiB)
                                      .arg(QLatin1String(run.view),
                                           perRead ? QStringLiteral(" (variant: one insertion per read)") : QString());
            BenchWindow window;
            if (perRead)
                KestruneProbe::setRcvPendingCap(window.widget(), 1);
            if (run.hex)
                window.clickBox("cBox_RcvHexDisp");
            const quint16 port = window.openServer();
            if (!port)
                return failRow(label, QStringLiteral("server link did not open"));
            const QTextDocument *document = window.child<QPlainTextEdit>("ReceiveTextEdit")->document();
            // Samples of the area's size, and the longest gap between ticks.
            std::vector<std::pair<qint64, int>> samples;
            qint64 startNs = 0;
            qint64 lastTickNs = 0;
            qint64 longestGapNs = 0;
            QObject context;
            QObject::connect(window.server(), &QTcpServer::newConnection, &context, [&] {
                if (!startNs)
                    lastTickNs = startNs = monotonicNs();
            });
            QTimer tick;
            tick.setTimerType(Qt::PreciseTimer);
            QObject::connect(&tick, &QTimer::timeout, &context, [&] {
                const qint64 now = monotonicNs();
                if (!startNs)
                    return;
                longestGapNs = std::max(longestGapNs, now - lastTickNs);
                lastTickNs = now;
                samples.emplace_back(now, document->characterCount());
            });
            tick.start(TickMs);
            const double cpuBefore = cpuSeconds();
            auto peer = startPeer({QStringLiteral("tcp-send"), QString::number(port),
                                   run.hex ? QStringLiteral("random") : QStringLiteral("text"),
                                   QString::number(run.total), QString::number(MiB)});
            const bool done = waitUntil(
                [&] {
                    return KestruneProbe::rcvByteCnt(window.widget()) == quint32(run.total)
                        && KestruneProbe::rcvShown(window.widget());
                },
                120000);
            const qint64 endNs = monotonicNs();
            tick.stop();
            const double cpu = cpuSeconds() - cpuBefore;
            peer->stop();
            const double secs = double(endNs - startNs) / 1e9;
            const int finalChars = document->characterCount();
            qint64 halfNs = endNs;
            for (const auto &[ns, chars] : samples) {
                if (chars >= finalChars / 2) {
                    halfNs = ns;
                    break;
                }
            }
            const double first = double(halfNs - startNs) / 1e9;
            const double second = double(endNs - halfNs) / 1e9;
            const double rate = double(run.total) / MiB / secs;
            QJsonObject result = row(label, run.total, secs,
                                     QStringLiteral("%1 MiB/s; first half of the area %2, second %3 (%4×); longest "
                                                    "event-loop gap %5 ms; window CPU %6 s; targets ≥ %7 MiB/s: %8, "
                                                    "second half ≤ 1.5× first: %9, gap ≤ 50 ms: %10%11")
                                         .arg(QString::number(rate, 'f', 1), seconds(first), seconds(second),
                                              QString::number(first > 0 ? second / first : 0, 'f', 2))
                                         .arg(longestGapNs / 1000000)
                                         .arg(QString::number(cpu, 'f', 2))
                                         .arg(run.targetMiBs)
                                         .arg(ok(done && rate >= run.targetMiBs), ok(second <= 1.5 * first),
                                              ok(longestGapNs <= 50'000'000),
                                              done ? QString() : QStringLiteral("; timeout")));
            if (!done)
                result.insert(QStringLiteral("status"), QStringLiteral("timeout"));
            emitRow(result);
        }
    }
}

void lockStepScenario()
{
    const QString label = QStringLiteral("lock-step 256-byte chunks, text view");
    constexpr int Chunks = 2000;
    BenchWindow window;
    const quint16 port = window.openServer();
    if (!port)
        return failRow(label, QStringLiteral("server link did not open"));
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, port);
    if (!waitUntil([&] { return KestruneProbe::clientLinkCount(window.widget()) == 1; }, 10000))
        return failRow(label, QStringLiteral("the peer did not connect"));

    // The peer sends the next chunk as soon as the counter shows the last.
    const QByteArray chunk = QByteArray(255, 'k') + '\n';
    std::vector<qint64> sentNs(Chunks + 1, 0);
    int sentCount = 0;
    int visibleCount = 0;
    qint64 worstVisibleNs = 0;
    auto sendNext = [&] {
        sentNs[sentCount++] = monotonicNs();
        peer.write(chunk);
    };
    QObject context;
    QLineEdit *counter = window.child<QLineEdit>("lEdit_RcvCnt");
    QObject::connect(counter, &QLineEdit::textChanged, &context, [&](const QString &text) {
        if (text.toLongLong() == qint64(sentCount) * chunk.size() && sentCount < Chunks)
            sendNext();
    });
    // A chunk is visible once the area holds everything read before it.
    const QTextDocument *document = window.child<QPlainTextEdit>("ReceiveTextEdit")->document();
    QObject::connect(document, &QTextDocument::contentsChanged, &context, [&] {
        if (KestruneProbe::rcvPendingChars(window.widget()) != 0)
            return;
        const int read = int(window.rcvCount() / chunk.size());
        const qint64 now = monotonicNs();
        for (; visibleCount < read; ++visibleCount)
            worstVisibleNs = std::max(worstVisibleNs, now - sentNs[visibleCount]);
    });
    const double cpuBefore = cpuSeconds();
    const qint64 startNs = monotonicNs();
    sendNext();
    const bool done = waitUntil([&] { return window.rcvCount() == qint64(Chunks) * chunk.size(); }, 60000);
    const qint64 endNs = monotonicNs();
    waitUntil([&] { return visibleCount == Chunks; }, 5000);
    const double secs = double(endNs - startNs) / 1e9;
    const double perChunkMs = secs * 1000 / Chunks;
    QJsonObject result = row(label, window.rcvCount(), secs,
                             QStringLiteral("%1 ms per chunk (%2 chunks), CPU %3 of one core; longest from send "
                                            "to visible %4 ms (%5 visible); targets ≤ 0.55 ms: %6, ≤ 50 ms: %7%8")
                                 .arg(QString::number(perChunkMs, 'f', 3))
                                 .arg(Chunks)
                                 .arg(percent((cpuSeconds() - cpuBefore) / secs))
                                 .arg(QString::number(double(worstVisibleNs) / 1e6, 'f', 1))
                                 .arg(visibleCount)
                                 .arg(ok(perChunkMs <= 0.55), ok(visibleCount == Chunks && worstVisibleNs <= 50'000'000),
                                      done ? QString() : QStringLiteral("; timeout")));
    emitRow(result);
}

void memoryShownScenario()
{
    constexpr qint64 Shown = 32 * MiB;
    constexpr int Burst = 100;
    for (const bool hex : {false, true}) {
        const QString label = QStringLiteral("RSS per byte shown, %1 view, 32 MiB in 100-byte datagrams")
                                  .arg(hex ? QStringLiteral("hex") : QStringLiteral("text"));
        BenchWindow window;
        if (!window.openUdp(9))
            return failRow(label, QStringLiteral("UDP link did not open"));
        if (hex)
            window.clickBox("cBox_RcvHexDisp");
        const quint16 port = testsupport::udpLink(window.widget())->localPort();
        QUdpSocket sender;
        // Lines of text, 99 characters and a line feed; random bytes for hex.
        QByteArray line(DatagramSize, 'm');
        line.back() = '\n';
        QRandomGenerator random(5);
        settle(200);
        const qint64 before = statusKiB("VmRSS");
        const qint64 startNs = monotonicNs();
        qint64 sent = 0;
        bool fine = true;
        while (fine && sent < Shown) {
            for (int i = 0; i < Burst && sent < Shown; ++i, sent += DatagramSize) {
                if (hex)
                    random.fillRange(reinterpret_cast<quint32 *>(line.data()), DatagramSize / 4);
                sender.writeDatagram(line, QHostAddress::LocalHost, port);
            }
            fine = waitUntil([&] { return window.rcvCount() >= sent; }, 5000);
        }
        waitUntil([&] { return KestruneProbe::rcvShown(window.widget()); }, 30000);
        const double secs = double(monotonicNs() - startNs) / 1e9;
        settle(500);
        const qint64 after = statusKiB("VmRSS");
        const double perByte = double(after - before) * 1024 / double(window.rcvCount());
        const QTextDocument *document = window.child<QPlainTextEdit>("ReceiveTextEdit")->document();
        emitRow(row(label, window.rcvCount(), secs,
                    QStringLiteral("%1 bytes of RSS per byte shown (RSS %2 → %3 MiB; %4 characters in %5 "
                                   "lines)%6%7")
                        .arg(QString::number(perByte, 'f', 2))
                        .arg(before / 1024)
                        .arg(after / 1024)
                        .arg(document->characterCount())
                        .arg(document->blockCount())
                        .arg(hex ? QString() : QStringLiteral("; target ≤ 2.5: ") + ok(perByte <= 2.5),
                             fine ? QString() : QStringLiteral("; datagrams were lost"))));
    }
}
