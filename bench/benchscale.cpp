#include "benchscale.h"

#include "benchfloor.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "kestruneprobe.h"
#include "mtcpserver.h"
#include "rcvdisplay.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

using namespace bench;

namespace {

constexpr int WriteSize = 64 * 1024;
constexpr qint64 SteadyRate = MiB;
constexpr int FillTimeoutMs = 300000;
constexpr int SaveTimeoutMs = 120000;
constexpr double GapTargetMs = 50;
// The receive area's size in the window as it opens at 500×430, offscreen.
constexpr QSize AreaSize(311, 225);
constexpr QSize GrownSize(1200, 900);

qint64 fromEnvironment(const char *name, qint64 fallback)
{
    bool fine = false;
    const qint64 value = qEnvironmentVariable(name).toLongLong(&fine);
    return fine && value > 0 ? value : fallback;
}

// A measured run's load: what the peer sends, and how.
struct Load
{
    bool hex = false;
    qint64 total = 0;
    // The peer's arguments, "{port}" standing for the port.
    QStringList peer;
    int timeoutMs = FillTimeoutMs;
};

Load sending(const char *source, qint64 total, bool hex)
{
    return {hex, total,
            {QStringLiteral("tcp-send"), QStringLiteral("{port}"), QLatin1String(source), QString::number(total),
             QString::number(WriteSize)}};
}

// "steady", "text", "hex" or "bound"; a load of 0 bytes for any other kind.
// KESTRUNE_BENCH_STEADY_SECONDS, KESTRUNE_BENCH_SCALE_MIB (text),
// KESTRUNE_BENCH_HEX_MIB and KESTRUNE_BENCH_BOUND_MIB make them smaller for
// a quick run, or larger.
Load loadNamed(const QString &kind)
{
    if (kind == QLatin1String("steady")) {
        const qint64 secs = fromEnvironment("KESTRUNE_BENCH_STEADY_SECONDS", 60);
        return {false, SteadyRate * secs,
                {QStringLiteral("tcp-paced"), QStringLiteral("{port}"), QString::number(SteadyRate),
                 QString::number(secs)},
                int(secs + 30) * 1000};
    }
    if (kind == QLatin1String("text"))
        return sending("text", fromEnvironment("KESTRUNE_BENCH_SCALE_MIB", 256) * MiB, false);
    if (kind == QLatin1String("hex"))
        return sending("random", fromEnvironment("KESTRUNE_BENCH_HEX_MIB", 64) * MiB, true);
    if (kind == QLatin1String("bound"))
        return sending("text", fromEnvironment("KESTRUNE_BENCH_BOUND_MIB", 96) * MiB, false);
    return {};
}

QJsonObject failure(const QString &why)
{
    return {{QStringLiteral("error"), why}};
}

void emitFigures(const QJsonObject &figures)
{
    std::printf("FIGURES %s\n", QJsonDocument(figures).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

// Starts the peer on the server's port and measures from the first
// connection until `done` holds: seconds, the longest event-loop gap, the
// CPU share, and RSS before, at the peak (VmHWM, reset before the peer
// starts) and after a short settle.
QJsonObject measure(QTcpServer *server, const Load &load, const std::function<bool()> &done)
{
    settle(200);
    QJsonObject figures;
    figures[u"beforeKiB"] = statusKiB("VmRSS");
    resetPeakRss();
    GapMeter gaps;
    qint64 startNs = 0;
    QObject context;
    QObject::connect(server, &QTcpServer::newConnection, &context, [&] {
        if (!startNs) {
            startNs = monotonicNs();
            gaps.start();
        }
    });
    QStringList args = load.peer;
    args.replaceInStrings(QStringLiteral("{port}"), QString::number(server->serverPort()));
    const double cpuBefore = cpuSeconds();
    const qint64 peerNs = monotonicNs();
    auto peer = startPeer(args);
    figures[u"done"] = waitUntil(done, load.timeoutMs);
    const qint64 endNs = monotonicNs();
    figures[u"cpuShare"] = (cpuSeconds() - cpuBefore) / (double(endNs - peerNs) / 1e9);
    figures[u"seconds"] = startNs ? double(endNs - startNs) / 1e9 : 0.0;
    figures[u"gapMs"] = startNs ? gaps.stopMs() : 0.0;
    peer->process.waitForFinished(5000);
    peer->stop();
    settle(1000);
    figures[u"peakKiB"] = statusKiB("VmHWM");
    figures[u"finalKiB"] = statusKiB("VmRSS");
    return figures;
}

// 保存数据 of the whole area, its dialog answered: the longest event-loop gap
// from the click until the file holds what the area showed at the click,
// and the RSS the save added. The area's text is encoded before, to know
// what the file must hold; only its size and hash are kept.
void saveWindowArea(BenchWindow &window, QJsonObject &figures)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("area.txt"));
    qint64 size = 0;
    QByteArray hash;
    {
        QStringEncoder encoder(QStringConverter::System);
        const QByteArray expected = encoder(window.child<QPlainTextEdit>("ReceiveTextEdit")->toPlainText());
        size = expected.size();
        hash = testsupport::sha256(expected);
    }
    settle(500);
    const qint64 beforeKiB = statusKiB("VmRSS");
    resetPeakRss();
    GapMeter gaps;
    gaps.start();
    const qint64 startNs = monotonicNs();
    window.saveRcvArea(path);
    const bool complete = waitUntil([&] { return QFileInfo(path).size() == size; }, SaveTimeoutMs);
    figures[u"saveSeconds"] = double(monotonicNs() - startNs) / 1e9;
    figures[u"saveGapMs"] = gaps.stopMs();
    figures[u"saveGrowthKiB"] = statusKiB("VmHWM") - beforeKiB;
    figures[u"saveBytes"] = double(size);
    if (!complete)
        figures[u"saveState"] = QStringLiteral("INCOMPLETE (%1 of %2 bytes)").arg(QFileInfo(path).size()).arg(size);
    else
        figures[u"saveState"] = sha256OfFile(path) == hash ? QStringLiteral("exact") : QStringLiteral("DIFFERS");
}

// The floor's save: the widget's text through a QTextStream in the system's
// encoding, as a plain program writes it.
void saveFloorArea(const QPlainTextEdit &area, QJsonObject &figures)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("area.txt")));
    settle(500);
    const qint64 beforeKiB = statusKiB("VmRSS");
    resetPeakRss();
    const qint64 startNs = monotonicNs();
    bool saved = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QTextStream out(&file);
    out.setEncoding(QStringConverter::System);
    out << area.toPlainText();
    out.flush();
    saved = saved && out.status() == QTextStream::Ok;
    file.close();
    figures[u"saveSeconds"] = double(monotonicNs() - startNs) / 1e9;
    figures[u"saveGrowthKiB"] = statusKiB("VmHWM") - beforeKiB;
    figures[u"saveState"] = saved ? QStringLiteral("written") : QStringLiteral("FAILED");
}

// Select all and copy in the area, then the top-level widget grown to
// 1200×900 until it is laid out and painted: the seconds of each.
void copyAndResize(QWidget &top, QPlainTextEdit &area, QJsonObject &figures)
{
    qint64 startNs = monotonicNs();
    area.selectAll();
    area.copy();
    QCoreApplication::processEvents();
    figures[u"copySeconds"] = double(monotonicNs() - startNs) / 1e9;
    startNs = monotonicNs();
    top.resize(GrownSize);
    const bool grown = QTest::qWaitFor([&] { return top.size() == GrownSize; }, 10000);
    QCoreApplication::processEvents();
    top.repaint();
    figures[u"resizeSeconds"] = double(monotonicNs() - startNs) / 1e9;
    figures[u"resized"] = grown;
}

void windowRun(const QString &kind)
{
    const Load load = loadNamed(kind);
    BenchWindow window;
    if (load.hex)
        window.clickBox("cBox_RcvHexDisp");
    if (load.hex && !window.boxChecked("cBox_RcvHexDisp"))
        return emitFigures(failure(QStringLiteral("hex display did not switch on")));
    if (!window.openServer())
        return emitFigures(failure(QStringLiteral("server link did not open")));
    const mKestruneWidget &widget = window.widget();
    QJsonObject figures = measure(window.server(), load, [&] {
        return KestruneProbe::rcvByteCnt(widget) == quint32(load.total) && KestruneProbe::rcvShown(widget);
    });
    QPlainTextEdit *area = window.child<QPlainTextEdit>("ReceiveTextEdit");
    figures[u"chars"] = area->document()->characterCount();
    const bool filled = figures.value(u"done").toBool() && (kind == QLatin1String("text") || load.hex);
    if (filled)
        saveWindowArea(window, figures);
    if (filled && !load.hex)
        copyAndResize(window.widget(), *area, figures);
    if (!window.boxTexts().isEmpty())
        figures[u"boxes"] = QStringLiteral("; message boxes: ") + window.boxTexts().join(QStringLiteral(" / "));
    emitFigures(figures);
}

void floorRun(const QString &kind)
{
    const Load load = loadNamed(kind);
    FloorArea floor(load.hex, AreaSize);
    if (!floor.port())
        return emitFigures(failure(QStringLiteral("the floor did not listen")));
    QJsonObject figures = measure(floor.tcpServer(), load, [&] { return floor.bytesRead() == load.total; });
    floor.finish();
    figures[u"chars"] = floor.widget().document()->characterCount();
    const bool filled = figures.value(u"done").toBool() && (kind == QLatin1String("text") || load.hex);
    if (filled)
        saveFloorArea(floor.widget(), figures);
    if (filled && !load.hex)
        copyAndResize(floor.widget(), floor.widget(), figures);
    emitFigures(figures);
}

// Runs "scale-WHO-KIND" in a process of its own within limitMs and returns
// its figures, or {"error": why}.
QJsonObject runProcess(const QString &name, qint64 limitMs)
{
    std::fprintf(stderr, "kestrune_bench: %s (at most %lld s)\n", qPrintable(name), limitMs / 1000);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--run"), name});
    const bool finished = child.waitForFinished(int(limitMs));
    if (!finished) {
        child.kill();
        child.waitForFinished(5000);
    }
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        if (line.startsWith("FIGURES "))
            return QJsonDocument::fromJson(line.mid(8)).object();
    }
    if (!finished)
        return failure(QStringLiteral("%1 killed after %2 s").arg(name).arg(limitMs / 1000));
    if (child.exitStatus() == QProcess::CrashExit)
        return failure(QStringLiteral("%1 crashed").arg(name));
    return failure(QStringLiteral("%1 ended (exit %2) without figures").arg(name).arg(child.exitCode()));
}

double number(const QJsonObject &figures, QStringView key)
{
    return figures.value(key).toDouble();
}

QString kibInMiB(const QJsonObject &figures, QStringView key)
{
    return QString::number(number(figures, key) / 1024, 'f', 1) + QStringLiteral(" MiB");
}

QString ms(double value)
{
    return QString::number(value, 'f', 0) + QStringLiteral(" ms");
}

QString wholeMiB(qint64 bytes)
{
    return QString::number(bytes / MiB) + QStringLiteral(" MiB");
}

// Emits a row that says why a run has no figures or did not end; true then.
bool failedRow(const QString &label, qint64 total,
               std::initializer_list<std::pair<const char *, const QJsonObject *>> runs)
{
    for (const auto &[who, run] : runs) {
        if (run->contains(u"error")) {
            failRow(label, QLatin1String(who) + QStringLiteral(": ") + run->value(u"error").toString());
            return true;
        }
        if (!run->value(u"done").toBool()) {
            QJsonObject result = row(label, total, number(*run, u"seconds"),
                                     QStringLiteral("%1 did not show all %2 within its time")
                                         .arg(QLatin1String(who), wholeMiB(total)));
            result.insert(QStringLiteral("status"), QStringLiteral("timeout"));
            emitRow(result);
            return true;
        }
    }
    return false;
}

void steadyRow(const QJsonObject &window, const QJsonObject &floor)
{
    const Load load = loadNamed(QStringLiteral("steady"));
    const QString label = QStringLiteral("steady 1 MiB/s of text for %1 s").arg(load.total / SteadyRate);
    if (failedRow(label, load.total, {{"window", &window}, {"floor", &floor}}))
        return;
    auto perByte = [&](const QJsonObject &run) {
        return (number(run, u"finalKiB") - number(run, u"beforeKiB")) * 1024 / double(load.total);
    };
    auto figures = [&](const QJsonObject &run) {
        return QStringLiteral("%1 bytes of RSS per byte shown, longest gap %2, CPU %3%")
            .arg(QString::number(perByte(run), 'f', 2), ms(number(run, u"gapMs")),
                 QString::number(number(run, u"cpuShare") * 100, 'f', 1));
    };
    const double ratio = perByte(floor) > 0 ? perByte(window) / perByte(floor) : 0;
    emitRow(row(label, load.total, number(window, u"seconds"),
                QStringLiteral("window: %1; floor: %2; RSS per byte %3× the floor's; target gap ≤ 50 ms: %4")
                        .arg(figures(window), figures(floor), QString::number(ratio, 'f', 2),
                             ok(number(window, u"gapMs") <= GapTargetMs))
                    + window.value(u"boxes").toString()));
}

void fillRow(const QString &kind, const QJsonObject &window, const QJsonObject &floor)
{
    const Load load = loadNamed(kind);
    const QString label = load.hex ? QStringLiteral("%1 of random bytes, hex view").arg(wholeMiB(load.total))
                                   : QStringLiteral("%1 of text as fast as the peer writes").arg(wholeMiB(load.total));
    if (failedRow(label, load.total, {{"window", &window}, {"floor", &floor}}))
        return;
    auto rate = [&](const QJsonObject &run) { return double(load.total) / MiB / number(run, u"seconds"); };
    auto figures = [&](const QJsonObject &run) {
        return QStringLiteral("%1 MiB/s, peak RSS %2, final %3, longest gap %4, %5 characters shown")
            .arg(QString::number(rate(run), 'f', 1), kibInMiB(run, u"peakKiB"), kibInMiB(run, u"finalKiB"),
                 ms(number(run, u"gapMs")))
            .arg(qint64(number(run, u"chars")));
    };
    const double ratio = rate(window) / rate(floor);
    const double least = load.hex ? 0.8 : 0.9;
    emitRow(row(label, load.total, number(window, u"seconds"),
                QStringLiteral("window: %1; floor: %2; window rate %3× the floor's; targets rate ≥ %4× floor: %5, "
                               "peak ≤ 1.1× final: %6, gap ≤ 50 ms: %7%8")
                    .arg(figures(window), figures(floor), QString::number(ratio, 'f', 2))
                    .arg(least)
                    .arg(ok(ratio >= least), ok(number(window, u"peakKiB") <= 1.1 * number(window, u"finalKiB")),
                         ok(number(window, u"gapMs") <= GapTargetMs), window.value(u"boxes").toString())));
}

void saveRow(const QString &kind, const QJsonObject &window, const QJsonObject &floor)
{
    const QString label = QStringLiteral("保存数据 of the full %1 area").arg(kind);
    if (failedRow(label, loadNamed(kind).total, {{"window", &window}, {"floor", &floor}}))
        return;
    if (!window.contains(u"saveState") || !floor.contains(u"saveState"))
        return failRow(label, QStringLiteral("no save ran"));
    const double growth = number(window, u"saveGrowthKiB");
    emitRow(row(label, qint64(number(window, u"saveBytes")), number(window, u"saveSeconds"),
                QStringLiteral("window: file %1 after %2, longest gap %3, RSS +%4 during the save; floor "
                               "(toPlainText() through a QTextStream): %5 in %6, RSS +%7; targets gap ≤ 250 ms: %8, "
                               "RSS growth ≤ the floor's: %9")
                    .arg(window.value(u"saveState").toString(), seconds(number(window, u"saveSeconds")),
                         ms(number(window, u"saveGapMs")), kibInMiB(window, u"saveGrowthKiB"),
                         floor.value(u"saveState").toString(), seconds(number(floor, u"saveSeconds")),
                         kibInMiB(floor, u"saveGrowthKiB"), ok(number(window, u"saveGapMs") <= 250))
                    .arg(ok(growth <= number(floor, u"saveGrowthKiB")))
                    + window.value(u"boxes").toString()));
}

void copyResizeRow(const QJsonObject &window, const QJsonObject &floor)
{
    const QString label = QStringLiteral("select all + copy / resize 500×430 → 1200×900 of a full text area");
    if (failedRow(label, loadNamed(QStringLiteral("text")).total, {{"window", &window}, {"floor", &floor}}))
        return;
    if (!window.contains(u"copySeconds") || !floor.contains(u"copySeconds"))
        return failRow(label, QStringLiteral("no copy ran"));
    auto figures = [](const QJsonObject &run) {
        return QStringLiteral("select all + copy %1, resize %2%3")
            .arg(seconds(number(run, u"copySeconds")), seconds(number(run, u"resizeSeconds")),
                 run.value(u"resized").toBool() ? QString() : QStringLiteral(" (size never reached)"));
    };
    const double longest = std::max(number(window, u"copySeconds"), number(window, u"resizeSeconds"));
    emitRow(row(label, 0, longest,
                QStringLiteral("window: %1; floor: %2; target each ≤ 5 s: %3")
                    .arg(figures(window), figures(floor), ok(longest <= 5 && window.value(u"resized").toBool()))));
}

void boundRow(const QJsonObject &window)
{
    const Load load = loadNamed(QStringLiteral("bound"));
    const QString label = QStringLiteral("memory once the bound is reached, %1 of text").arg(wholeMiB(load.total));
    if (failedRow(label, load.total, {{"window", &window}}))
        return;
    const qint64 chars = qint64(number(window, u"chars"));
    // The area's character count holds one more than its text: the last
    // paragraph's end.
    const bool bounded = load.total > MaxRcvAreaChars && chars - 1 <= MaxRcvAreaChars;
    emitRow(row(label, load.total, number(window, u"seconds"),
                QStringLiteral("final RSS %1 (peak %2), the area holds %3 characters; target RSS ≤ 512 MiB with "
                               "the area at most %4 characters%5: %6")
                    .arg(kibInMiB(window, u"finalKiB"), kibInMiB(window, u"peakKiB"))
                    .arg(chars)
                    .arg(MaxRcvAreaChars)
                    .arg(load.total > MaxRcvAreaChars ? QString()
                                                 : QStringLiteral(" (the stream is shorter than the bound)"),
                         ok(bounded && number(window, u"finalKiB") <= 512 * 1024))
                    + window.value(u"boxes").toString()));
}

} // namespace

bool scaleRun(const QString &name)
{
    // scale-WHO-KIND
    const QStringList parts = name.split(QLatin1Char('-'));
    if (parts.size() != 3 || loadNamed(parts.at(2)).total == 0)
        return false;
    if (parts.at(1) == QLatin1String("window"))
        windowRun(parts.at(2));
    else if (parts.at(1) == QLatin1String("floor"))
        floorRun(parts.at(2));
    else
        return false;
    return true;
}

void scaleScenario(qint64 startNs)
{
    // Each run gets what is left of the budget, less a margin for the rows.
    auto run = [startNs](const char *name) {
        const qint64 leftMs = ScaleBudgetSeconds * 1000LL - (monotonicNs() - startNs) / 1000000 - 10000;
        return runProcess(QLatin1String(name), std::max<qint64>(leftMs, 1000));
    };
    const QJsonObject steadyWindow = run("scale-window-steady");
    const QJsonObject steadyFloor = run("scale-floor-steady");
    const QJsonObject textWindow = run("scale-window-text");
    const QJsonObject textFloor = run("scale-floor-text");
    const QJsonObject hexWindow = run("scale-window-hex");
    const QJsonObject hexFloor = run("scale-floor-hex");
    const QJsonObject boundWindow = run("scale-window-bound");
    steadyRow(steadyWindow, steadyFloor);
    fillRow(QStringLiteral("text"), textWindow, textFloor);
    fillRow(QStringLiteral("hex"), hexWindow, hexFloor);
    saveRow(QStringLiteral("text"), textWindow, textFloor);
    saveRow(QStringLiteral("hex"), hexWindow, hexFloor);
    copyResizeRow(textWindow, textFloor);
    boundRow(boundWindow);
}
