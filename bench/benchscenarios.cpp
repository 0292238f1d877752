#include "benchscenarios.h"

#include "benchbiginput.h"
#include "benchcrowd.h"
#include "benchflood.h"
#include "benchrcvflow.h"
#include "benchscale.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "mtcpserver.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTcpSocket>
#include <QTextDocument>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <vector>

using namespace bench;

namespace {

constexpr int WriteSize = 4096;

QString boxNote(const BenchWindow &window)
{
    return window.boxTexts().isEmpty() ? QString()
                                       : QStringLiteral("; message boxes: ") + window.boxTexts().join(QStringLiteral(" | "));
}

// What one receive run through the window's TCP server measured.
struct ReceiveRun
{
    bool done = false;
    bool connected = false;
    qint64 received = 0;
    double seconds = 0;
    double firstMiB = 0;
    double lastMiB = 0;
    int updates = 0;
};

// A peer process sends `total` bytes of `source` in 4 KiB writes to the
// window's server. The clock starts when the window accepts the connection
// and stops when the receive counter shows `total`. The first and last MiB
// are timed where the counter crosses 1 MiB and total - 1 MiB, interpolated
// between the counter's updates, since one update may cover many writes.
ReceiveRun receiveFromPeer(BenchWindow &window, quint16 port, const QString &source, qint64 total, int timeoutMs)
{
    ReceiveRun run;
    QObject context;
    qint64 connectedNs = 0;
    qint64 previousNs = 0;
    qint64 previousCount = 0;
    qint64 firstNs = 0;
    qint64 lastStartNs = 0;
    qint64 endNs = 0;
    auto crossing = [&](qint64 threshold, qint64 now, qint64 count) {
        const double share = double(threshold - previousCount) / double(count - previousCount);
        return previousNs + qint64(double(now - previousNs) * share);
    };
    QObject::connect(window.server(), &QTcpServer::newConnection, &context, [&] {
        if (!connectedNs)
            previousNs = connectedNs = monotonicNs();
    });
    QObject::connect(window.child<QLineEdit>("lEdit_RcvCnt"), &QLineEdit::textChanged, &context,
                     [&](const QString &text) {
                         const qint64 now = monotonicNs();
                         const qint64 count = text.toLongLong();
                         if (!connectedNs || count <= previousCount)
                             return;
                         ++run.updates;
                         if (!firstNs && count >= MiB)
                             firstNs = crossing(MiB, now, count);
                         if (!lastStartNs && count >= total - MiB)
                             lastStartNs = crossing(total - MiB, now, count);
                         if (!endNs && count >= total)
                             endNs = now;
                         previousNs = now;
                         previousCount = count;
                     });

    auto peer = startPeer({QStringLiteral("tcp-send"), QString::number(port), source, QString::number(total),
                           QString::number(WriteSize)});
    run.done = waitUntil([&] { return endNs != 0; }, timeoutMs);
    run.connected = connectedNs != 0;
    run.received = window.rcvCount();
    if (run.connected) {
        const qint64 stop = run.done ? endNs : monotonicNs();
        run.seconds = double(stop - connectedNs) / 1e9;
        if (firstNs)
            run.firstMiB = double(firstNs - connectedNs) / 1e9;
        if (run.done)
            run.lastMiB = double(endNs - lastStartNs) / 1e9;
    }
    peer->process.waitForFinished(5000);
    peer->stop();
    return run;
}

void receiveScenario(const QString &label, const QString &source, qint64 total, bool hex, double targetMiBs,
                     int timeoutMs)
{
    BenchWindow window;
    if (hex) {
        window.clickBox("cBox_RcvHexDisp");
        if (!window.boxChecked("cBox_RcvHexDisp"))
            return failRow(label, QStringLiteral("hex display did not switch on"));
    }
    const quint16 port = window.openServer();
    if (!port)
        return failRow(label, QStringLiteral("server link did not open") + boxNote(window));

    const ReceiveRun run = receiveFromPeer(window, port, source, total, timeoutMs);
    QJsonObject result;
    if (!run.connected) {
        result = row(label, 0, -1, QStringLiteral("the peer never connected"));
        result.insert(QStringLiteral("status"), QStringLiteral("error"));
    } else if (!run.done) {
        result = row(label, run.received, run.seconds,
                     QStringLiteral("timeout after %1: %2 of %3 shown; first MiB %4")
                         .arg(seconds(run.seconds), mib(run.received), mib(total), seconds(run.firstMiB)));
        result.insert(QStringLiteral("status"), QStringLiteral("timeout"));
    } else {
        const double rate = double(total) / MiB / run.seconds;
        const double growth = run.firstMiB > 0 ? run.lastMiB / run.firstMiB : 0;
        result = row(label, total, run.seconds,
                     QStringLiteral("first MiB %1, last MiB %2 (%3× first); %4 counter updates; "
                                    "target ≥ %5 MiB/s: %6, last ≤ 1.5× first: %7")
                         .arg(seconds(run.firstMiB), seconds(run.lastMiB), QString::number(growth, 'f', 2))
                         .arg(run.updates)
                         .arg(targetMiBs)
                         .arg(ok(rate >= targetMiBs), ok(growth <= 1.5)));
    }
    const QPlainTextEdit *area = window.child<QPlainTextEdit>("ReceiveTextEdit");
    result.insert(QStringLiteral("notes"), result.value(QStringLiteral("notes")).toString()
                                               + QStringLiteral("; the area holds %1 characters in %2 lines")
                                                     .arg(area->document()->characterCount())
                                                     .arg(area->blockCount()));
    result.insert(QStringLiteral("notes"), result.value(QStringLiteral("notes")).toString() + boxNote(window));
    emitRow(result);
}

// A socat receiver takes what a sender (a peer of this program, or a second
// socat) sends to "{port}" and writes it to `out`. Returns the seconds from
// starting the sender to the receiver's exit, or -1 with the reason in `why`.
double socatReceive(const QStringList &senderArgs, bool senderIsSocat, const QString &out, int timeoutMs,
                    QString &why)
{
    const quint16 port = freeTcpPort();
    auto receiver = PeerProcess::socat({QStringLiteral("-u"),
                                QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port),
                                QStringLiteral("OPEN:%1,creat,trunc").arg(out)});
    if (!receiver) {
        why = QStringLiteral("socat not installed");
        return -1;
    }
    if (!waitForListener(port, 5000)) {
        why = QStringLiteral("socat did not listen");
        receiver->stop();
        return -1;
    }
    qint64 finishedNs = 0;
    QObject::connect(&receiver->process, &QProcess::finished, &receiver->process, [&] { finishedNs = monotonicNs(); });
    QStringList args = senderArgs;
    args.replaceInStrings(QStringLiteral("{port}"), QString::number(port));
    const qint64 startNs = monotonicNs();
    std::unique_ptr<PeerProcess> sender = senderIsSocat ? PeerProcess::socat(args) : startPeer(args);
    const bool done = waitUntil([&] { return finishedNs != 0; }, timeoutMs);
    if (sender)
        sender->stop();
    receiver->stop();
    if (!done) {
        why = QStringLiteral("socat timeout");
        return -1;
    }
    return double(finishedNs - startNs) / 1e9;
}

constexpr int RoundCount = 5;

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

QString secondsList(const std::vector<double> &values)
{
    QStringList texts;
    for (double value : values)
        texts.append(QString::number(value, 'f', 3));
    return texts.join(QStringLiteral(", "));
}

// Runs socat's and the window's rounds in turn; both medians are reported.
struct Rounds
{
    std::vector<double> socat;
    std::vector<double> ours;
    QString socatWhy;
    bool socatExact = true;
    bool exact = true;
};

void captureScenario()
{
    const QString label = QStringLiteral("capture to file, 4 KiB writes");
    constexpr qint64 total = 256 * MiB;
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    const QByteArray sourceHash = writeRandomFile(source, total, 1);
    if (sourceHash.isEmpty())
        return failRow(label, QStringLiteral("could not write the source file in ") + dir.path());
    const QStringList senderArgs {QStringLiteral("tcp-send"), QStringLiteral("{port}"),
                                  QStringLiteral("file:") + source, QString::number(total), QString::number(WriteSize)};

    BenchWindow window;
    const quint16 port = window.openServer();
    if (!port)
        return failRow(label, QStringLiteral("server link did not open") + boxNote(window));
    QStringList args = senderArgs;
    args.replaceInStrings(QStringLiteral("{port}"), QString::number(port));

    Rounds rounds;
    bool timedOut = false;
    qint64 counted = 0;
    for (int round = 0; round < RoundCount && !timedOut; ++round) {
        // socat receives the same bytes from the same kind of sender.
        const QString socatOut = dir.filePath(QStringLiteral("socat.bin"));
        const double socatSeconds = socatReceive(senderArgs, false, socatOut, 60000, rounds.socatWhy);
        if (socatSeconds >= 0) {
            rounds.socat.push_back(socatSeconds);
            rounds.socatExact = rounds.socatExact && sha256OfFile(socatOut) == sourceHash;
        }
        QFile::remove(socatOut);

        const QString capture = dir.filePath(QStringLiteral("capture.bin"));
        if (!window.startCapture(capture))
            return failRow(label, QStringLiteral("capture did not switch on") + boxNote(window));
        // The moment the counter shows the total is taken where it changes.
        QObject context;
        qint64 countedNs = 0;
        QObject::connect(window.child<QLineEdit>("lEdit_RcvCnt"), &QLineEdit::textChanged, &context,
                         [&](const QString &text) {
                             if (!countedNs && text.toLongLong() >= total)
                                 countedNs = monotonicNs();
                         });
        const qint64 startNs = monotonicNs();
        auto peer = startPeer(args);
        timedOut = !waitUntil([&] { return countedNs != 0; }, 60000);
        counted = window.rcvCount();
        // Switching capture off closes the file, which writes what is
        // buffered; that time counts too, as socat's close does.
        const qint64 closeNs = monotonicNs();
        window.clickBox("StartRcvFile");
        const double secs = double(countedNs - startNs + monotonicNs() - closeNs) / 1e9;
        if (!timedOut)
            rounds.ours.push_back(secs);
        rounds.exact = rounds.exact && QFileInfo(capture).size() == total && sha256OfFile(capture) == sourceHash;
        QFile::remove(capture);
        peer->process.waitForFinished(5000);
        peer->stop();
    }

    const double ours = median(rounds.ours);
    const double socat = median(rounds.socat);
    QJsonObject result = row(label, total, ours, QString());
    QString notes;
    if (timedOut) {
        notes = QStringLiteral("timeout after 60 s: counter at %1; ").arg(counted);
        result.insert(QStringLiteral("status"), QStringLiteral("timeout"));
        result.insert(QStringLiteral("seconds"), 60.0);
        result.insert(QStringLiteral("bytes"), double(counted));
    }
    notes += QStringLiteral("median of %1 rounds (ours %2 s; socat %3 s); SHA-256 of every capture %4; "
                            "socat's copies %5")
                 .arg(RoundCount)
                 .arg(secondsList(rounds.ours), secondsList(rounds.socat),
                      rounds.exact ? QStringLiteral("match") : QStringLiteral("DIFFERS"),
                      rounds.socat.empty() ? rounds.socatWhy
                                           : (rounds.socatExact ? QStringLiteral("match") : QStringLiteral("DIFFER")));
    if (socat > 0 && !timedOut)
        notes += QStringLiteral("; target ≥ 0.9× socat: ") + ok(socat / ours >= 0.9);
    result.insert(QStringLiteral("notes"), notes + boxNote(window));
    if (socat > 0)
        result.insert(QStringLiteral("socat"), socat);
    emitRow(result);
}

QString lastLineWith(const QString &text, const QString &needle)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (line->contains(needle))
            return *line;
    }
    return {};
}

// Clicks the send button and waits for the file send to end. If it still
// runs after limitMs the data source is switched off, which must end it.
// True when that stop was needed.
bool sendWithLimit(BenchWindow &window, int limitMs)
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    bool fired = false;
    QObject::connect(&watchdog, &QTimer::timeout, &watchdog, [&] {
        fired = true;
        window.clickBox("cBoxStartSndFile");
    });
    watchdog.start(limitMs);
    window.clickSend();
    waitUntil([&] { return !testsupport::fileSendRunning(window.widget()); }, limitMs + 30000);
    watchdog.stop();
    return fired;
}

void tcpSendScenario()
{
    const QString label = QStringLiteral("file send over TCP");
    constexpr qint64 total = 256 * MiB;
    constexpr int sendLimitMs = 100000;
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    const QByteArray sourceHash = writeRandomFile(source, total, 2);
    if (sourceHash.isEmpty())
        return failRow(label, QStringLiteral("could not write the source file in ") + dir.path());

    BenchWindow window;
    Rounds rounds;
    bool stopped = false;
    QString lastNote;
    QStringList faults;
    for (int round = 0; round < RoundCount && !stopped; ++round) {
        const QString socatOut = dir.filePath(QStringLiteral("socat.bin"));
        const double socatSeconds = socatReceive(
            {QStringLiteral("-u"), QStringLiteral("OPEN:") + source, QStringLiteral("TCP:127.0.0.1:{port}")}, true,
            socatOut, 60000, rounds.socatWhy);
        if (socatSeconds >= 0) {
            rounds.socat.push_back(socatSeconds);
            rounds.socatExact = rounds.socatExact && sha256OfFile(socatOut) == sourceHash;
        }
        QFile::remove(socatOut);

        // The window sends to a socat reader that writes a file to check.
        const QString out = dir.filePath(QStringLiteral("received.bin"));
        const quint16 port = freeTcpPort();
        qint64 finishedNs = 0;
        auto reader = PeerProcess::socat({QStringLiteral("-u"),
                                  QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port),
                                  QStringLiteral("OPEN:%1,creat,trunc").arg(out)});
        if (!reader || !waitForListener(port, 5000))
            return failRow(label, QStringLiteral("socat reader did not start"));
        QObject::connect(&reader->process, &QProcess::finished, &reader->process, [&] { finishedNs = monotonicNs(); });
        if (!window.openClient(port))
            return failRow(label, QStringLiteral("client link did not open") + boxNote(window));
        // The data source stays on between rounds: every send starts again
        // at the beginning of the file.
        if (!window.boxChecked("cBoxStartSndFile") && !window.startSendFile(source))
            return failRow(label, QStringLiteral("file data source did not switch on") + boxNote(window));

        const qint64 startNs = monotonicNs();
        stopped = sendWithLimit(window, sendLimitMs);
        const double clickSeconds = double(monotonicNs() - startNs) / 1e9;
        const qint64 counted = window.sndCount();
        // What the socket still queues goes out before the link is closed,
        // so the reader sees all of the data and then its end.
        const bool drained = waitUntil(
            [&] { return !window.clientSocket() || window.clientSocket()->bytesToWrite() == 0; }, 30000);
        window.closeLink();
        const bool readerDone = waitUntil([&] { return finishedNs != 0; }, 30000);
        const double secs = double((readerDone ? finishedNs : monotonicNs()) - startNs) / 1e9;
        reader->stop();
        const qint64 arrived = QFileInfo(out).size();
        rounds.exact = rounds.exact && arrived == total && sha256OfFile(out) == sourceHash;
        QFile::remove(out);
        const QString notes = window.notes();
        if (!notes.contains(QStringLiteral("发送完成！")))
            faults.append(QStringLiteral("round %1: no 发送完成！ note").arg(round + 1));
        if (!drained)
            faults.append(QStringLiteral("round %1: queue not drained").arg(round + 1));
        if (stopped)
            faults.append(QStringLiteral("round %1: stopped after %2 s by switching the source off, %3 bytes arrived")
                              .arg(round + 1)
                              .arg(sendLimitMs / 1000)
                              .arg(arrived));
        lastNote = QStringLiteral("send ended after %1, counter %2, \"%3\"")
                       .arg(seconds(clickSeconds))
                       .arg(counted)
                       .arg(lastLineWith(notes, QStringLiteral("共发送数据")));
        if (!stopped)
            rounds.ours.push_back(secs);
    }

    const double ours = median(rounds.ours);
    const double socat = median(rounds.socat);
    QJsonObject result = row(label, total, ours, QString());
    if (stopped) {
        result.insert(QStringLiteral("status"), QStringLiteral("timeout"));
        result.insert(QStringLiteral("seconds"), sendLimitMs / 1000.0);
    }
    QString notes = QStringLiteral("median of %1 rounds (ours %2 s; socat %3 s), each until the reader's exit; "
                                   "last round: %4; reader's SHA-256 every round %5; socat's copies %6")
                        .arg(RoundCount)
                        .arg(secondsList(rounds.ours), secondsList(rounds.socat), lastNote,
                             rounds.exact ? QStringLiteral("match") : QStringLiteral("DIFFERS"),
                             rounds.socat.empty() ? rounds.socatWhy
                                                  : (rounds.socatExact ? QStringLiteral("match")
                                                                       : QStringLiteral("DIFFER")));
    if (!faults.isEmpty())
        notes += QStringLiteral("; ") + faults.join(QStringLiteral("; "));
    if (socat > 0 && !stopped)
        notes += QStringLiteral("; target ≥ 0.9× socat: ") + ok(socat / ours >= 0.9);
    result.insert(QStringLiteral("notes"), notes + boxNote(window));
    if (socat > 0)
        result.insert(QStringLiteral("socat"), socat);
    emitRow(result);
}

void udpSendScenario()
{
    const QString label = QStringLiteral("file send over UDP");
    constexpr qint64 total = 4 * MiB;
    constexpr qint64 datagrams = total / 1024;
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    if (writeRandomFile(source, total, 3).isEmpty())
        return failRow(label, QStringLiteral("could not write the source file"));

    auto peer = startPeer({QStringLiteral("udp-recv"), QString::number(total), QStringLiteral("60")});
    const quint16 port = peer->port(10000);
    if (!port)
        return failRow(label, QStringLiteral("UDP peer did not start"));

    BenchWindow window;
    if (!window.openUdp(port))
        return failRow(label, QStringLiteral("UDP link did not open") + boxNote(window));
    if (!window.startSendFile(source))
        return failRow(label, QStringLiteral("file data source did not switch on") + boxNote(window));

    const double cpuBefore = cpuSeconds();
    const qint64 startNs = monotonicNs();
    const bool stopped = sendWithLimit(window, 40000);
    const double secs = double(monotonicNs() - startNs) / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;
    const qint64 counted = window.sndCount();

    const QByteArray report = peer->finish(10000);
    const double rate = double(counted / 1024) / secs;
    const double share = cpu / secs;

    QJsonObject result = row(label, counted, secs, QString());
    QString text;
    if (stopped) {
        text = QStringLiteral("timeout: stopped after 40 s by switching the source off; ");
        result.insert(QStringLiteral("status"), QStringLiteral("timeout"));
    }
    text += QStringLiteral("%1 datagrams/s (%2 of %3 sent by the counter); CPU %4 s = %5% of wall; "
                           "peer got %6 datagrams (%7 of 1024 bytes), %8 bytes; target ≈1000/s: %9, CPU < 30%: %10")
                .arg(QString::number(rate, 'f', 0))
                .arg(counted / 1024)
                .arg(datagrams)
                .arg(QString::number(cpu, 'f', 2), QString::number(share * 100, 'f', 1),
                     peerValue(report, QStringLiteral("datagrams")), peerValue(report, QStringLiteral("full")),
                     peerValue(report, QStringLiteral("bytes")))
                .arg(ok(rate >= 800 && rate <= 1100), ok(share < 0.30));
    result.insert(QStringLiteral("notes"), text + boxNote(window));
    emitRow(result);
}

void rssScenario()
{
    const QString label = QStringLiteral("peak RSS, 1 GiB file to a 1 MiB/s reader");
    constexpr qint64 total = 1024 * MiB;
    constexpr int runMs = 25000;
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("sparse.bin"));
    {
        QFile sparse(source);
        if (!sparse.open(QIODevice::WriteOnly) || !sparse.resize(total))
            return failRow(label, QStringLiteral("could not make the sparse file"));
    }

    auto reader = startPeer({QStringLiteral("slow-read"), QString::number(MiB), QStringLiteral("90")});
    const quint16 port = reader->port(10000);
    if (!port)
        return failRow(label, QStringLiteral("slow reader did not start"));

    BenchWindow window;
    if (!window.openClient(port))
        return failRow(label, QStringLiteral("client link did not open") + boxNote(window));
    if (!window.startSendFile(source))
        return failRow(label, QStringLiteral("file data source did not switch on") + boxNote(window));

    settle(1000);
    const qint64 idleKiB = statusKiB("VmRSS");
    const bool peakReset = resetPeakRss();
    qint64 sampledKiB = idleKiB;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &sampler,
                     [&] { sampledKiB = std::max(sampledKiB, statusKiB("VmRSS")); });
    sampler.start(50);

    const qint64 startNs = monotonicNs();
    const bool stopped = sendWithLimit(window, runMs);
    const double secs = double(monotonicNs() - startNs) / 1e9;
    sampler.stop();
    const qint64 peakKiB = peakReset ? statusKiB("VmHWM") : sampledKiB;
    const qint64 sent = window.sndCount();
    window.closeLink();
    const QByteArray report = reader->finish(0);

    const qint64 growthKiB = peakKiB - idleKiB;
    QJsonObject result = row(label, sent, secs, QString());
    result.insert(QStringLiteral("notes"),
                  QStringLiteral("ran %1, %2; idle RSS %3 MiB, peak %4 MiB (%5), +%6 MiB; sampled max %7 MiB; "
                                 "reader got %8 bytes; target ≤ +64 MiB: %9")
                          .arg(seconds(secs),
                               stopped ? QStringLiteral("then stopped by switching the data source off")
                                       : QStringLiteral("ended before the stop (send ended by itself)"),
                               QString::number(idleKiB / 1024.0, 'f', 1), QString::number(peakKiB / 1024.0, 'f', 1),
                               peakReset ? QStringLiteral("VmHWM after reset") : QStringLiteral("sampled"),
                               QString::number(growthKiB / 1024.0, 'f', 1),
                               QString::number(sampledKiB / 1024.0, 'f', 1), peerValue(report, QStringLiteral("read")))
                          .arg(ok(growthKiB <= 64 * 1024))
                      + boxNote(window));
    emitRow(result);
}

// Start-up alone: the time from the launch (taken by the parent just before
// it started this process) until the window is exposed.
void launchScenario(qint64 startNs)
{
    const BenchWindow window;
    emitRow(row(QStringLiteral("launch"), 0, double(monotonicNs() - startNs) / 1e9, QString()));
}

void startupScenario(qint64 startNs)
{
    const auto window = std::make_unique<BenchWindow>();
    const double firstLaunch = double(monotonicNs() - startNs) / 1e9;

    // Two more fresh processes, for a median of three.
    std::vector<double> launches {firstLaunch};
    for (int i = 0; i < 2; ++i) {
        QProcess again;
        again.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const qint64 launchNs = monotonicNs();
        again.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--run"), QStringLiteral("launch"), QStringLiteral("--t0"), QString::number(launchNs)});
        if (!again.waitForFinished(30000))
            continue;
        for (const QByteArray &line : again.readAllStandardOutput().split('\n')) {
            if (line.startsWith("ROW "))
                launches.push_back(QJsonDocument::fromJson(line.mid(4)).object().value(QStringLiteral("seconds")).toDouble());
        }
    }
    std::vector<double> sorted = launches;
    std::sort(sorted.begin(), sorted.end());
    QStringList each;
    for (double s : launches)
        each.append(QString::number(s, 'f', 3));

    settle(1000);
    const qint64 idleKiB = statusKiB("VmRSS");
    emitRow(row(QStringLiteral("start-up to window shown (median of %1)").arg(launches.size()), 0,
                sorted.at(sorted.size() / 2),
                QStringLiteral("launches %1 s; idle RSS after start-up %2 MiB")
                    .arg(each.join(QStringLiteral(", ")), QString::number(idleKiB / 1024.0, 'f', 1))));

    const QString label = QStringLiteral("receive, text view, 64 MiB (memory)");
    constexpr qint64 total = 64 * MiB;
    const quint16 port = window->openServer();
    if (!port)
        return failRow(label, QStringLiteral("server link did not open") + boxNote(*window));
    const ReceiveRun run = receiveFromPeer(*window, port, QStringLiteral("text"), total, 150000);
    settle(500);
    const qint64 afterKiB = statusKiB("VmRSS");
    const qint64 peakKiB = statusKiB("VmHWM");
    QJsonObject result = row(label, run.done ? total : run.received, run.seconds, QString());
    QString text;
    if (!run.done) {
        text = QStringLiteral("timeout at %1 shown; ").arg(mib(run.received));
        result.insert(QStringLiteral("status"), QStringLiteral("timeout"));
    }
    text += QStringLiteral("RSS idle %1 MiB → %2 MiB after 64 MiB shown (+%3 MiB, peak %4 MiB); "
                           "first MiB %5, last MiB %6; %7 lines in the area")
                .arg(QString::number(idleKiB / 1024.0, 'f', 1), QString::number(afterKiB / 1024.0, 'f', 1),
                     QString::number((afterKiB - idleKiB) / 1024.0, 'f', 1), QString::number(peakKiB / 1024.0, 'f', 1),
                     seconds(run.firstMiB), seconds(run.lastMiB))
                .arg(window->child<QPlainTextEdit>("ReceiveTextEdit")->blockCount());
    result.insert(QStringLiteral("notes"), text + boxNote(*window));
    emitRow(result);
}

} // namespace

const QList<BenchScenario> &benchScenarios()
{
    static const QList<BenchScenario> scenarios {
        {"text", "receive 16 MiB of 80-character lines in the text view", 120},
        {"hex", "receive 8 MiB in the hex view", 200},
        {"capture", "capture 256 MiB to a file, beside socat", 480},
        {"tcpsend", "send a 256 MiB file over TCP, beside socat", 480},
        {"udpsend", "send a 4 MiB file over UDP: datagrams/s and CPU share", 90},
        {"rss", "peak RSS sending a 1 GiB file to a 1 MiB/s reader", 120},
        {"startup", "start-up time, idle RSS, RSS after 64 MiB in the text view", 300},
        {"floodgap", "longest event-loop gap under a UDP, TCP server and TCP client flood", 120},
        {"udprate", "100-byte UDP datagrams at 1k to 100k/s in each view, beside a plain reader", 400},
        {"lockstep", "256-byte chunks, the next sent when the counter shows the last", 120},
        {"memshown", "RSS per byte shown, text and hex, 32 MiB", 600},
        {"areafill", "16 MiB hex and 32 MiB text written at once, until the area holds them", 600},
        {"paragraph", "one paragraph of 128 Ki to 2 Mi characters in a bare QPlainTextEdit: longest gaps", 300},
        {"biginput", "big files loaded, refused, undone; send areas of 3 Mi and 85 Ki characters: longest event-loop gaps", 300},
        {"crowd", "TCP server with more clients than descriptors: CPU while they wait, a new client after they leave", 180},
        {"scale", "the receive area at scale beside a bare QPlainTextEdit: steady 1 MiB/s, 256 MiB of text, 64 MiB in hex, "
                  "saving, select all + copy, resizing, memory at the area's bound",
         ScaleBudgetSeconds},
    };
    return scenarios;
}

int runBenchScenario(const QString &name, qint64 startNs)
{
    if (name == QLatin1String("text"))
        receiveScenario(QStringLiteral("receive, text view, 4 KiB writes"), QStringLiteral("text"), 16 * MiB, false,
                        10, 90000);
    else if (name == QLatin1String("hex"))
        receiveScenario(QStringLiteral("receive, hex view, 4 KiB writes"), QStringLiteral("random"), 8 * MiB, true,
                        4, 170000);
    else if (name == QLatin1String("capture"))
        captureScenario();
    else if (name == QLatin1String("tcpsend"))
        tcpSendScenario();
    else if (name == QLatin1String("udpsend"))
        udpSendScenario();
    else if (name == QLatin1String("rss"))
        rssScenario();
    else if (name == QLatin1String("startup"))
        startupScenario(startNs);
    else if (name == QLatin1String("floodgap"))
        floodGapScenario();
    else if (name == QLatin1String("udprate"))
        udpRateScenario();
    else if (name == QLatin1String("lockstep"))
        lockStepScenario();
    else if (name == QLatin1String("memshown"))
        memoryShownScenario();
    else if (name == QLatin1String("areafill"))
        areaFillScenario();
    else if (name == QLatin1String("paragraph"))
        paragraphScenario();
    else if (name == QLatin1String("biginput"))
        bigInputScenario();
    else if (name == QLatin1String("crowd"))
        crowdScenario();
    else if (name == QLatin1String("launch"))
        launchScenario(startNs);
    else if (name == QLatin1String("scale"))
        scaleScenario(startNs);
    else if (name.startsWith(QLatin1String("scale-")))
        return scaleRun(name) ? 0 : 2;
    else
        return 2;
    return 0;
}
