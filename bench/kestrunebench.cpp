// kestrune_bench: speed and memory figures of the real window, driven
// headless through its controls and fed by real peers over 127.0.0.1.
//
//   kestrune_bench [SCENARIO...]   run the named scenarios (all by default)
//                                  and print one markdown table
//   kestrune_bench --list          name the scenarios
//
// Every scenario runs in a fresh process of this program ("--run NAME"),
// so each window starts with fresh memory figures, and a scenario that hangs
// is killed after its budget and reported as a timeout. Peers run as further
// processes ("--peer ...", the modes of tests/support/peermodes.h), never in
// the measured window's event loop.

#include "benchscenarios.h"
#include "benchsupport.h"
#include "peermodes.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

QStringList arguments(int argc, char *argv[])
{
    QStringList list;
    for (int i = 1; i < argc; ++i)
        list.append(QString::fromLocal8Bit(argv[i]));
    return list;
}

int runScenarioProcess(int argc, char *argv[], const QStringList &args)
{
    // --run NAME [--t0 NS]
    const QString name = args.value(1);
    const qint64 startNs = args.value(2) == QLatin1String("--t0") ? args.value(3).toLongLong() : bench::monotonicNs();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // File dialogs must keep their state in a test location, never in the
    // user's settings.
    if (!QStandardPaths::isTestModeEnabled()) {
        bench::failRow(name, QStringLiteral("QStandardPaths test mode is off"));
        return 1;
    }
    return runBenchScenario(name, startNs);
}

// The 1-minute load average.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll().split(' ').value(0));
}

QString cell(const QJsonObject &row, const char *key, int decimals)
{
    const QJsonValue value = row.value(QLatin1String(key));
    return value.isDouble() ? QString::number(value.toDouble(), 'f', decimals) : QStringLiteral("—");
}

QString tableRow(const QJsonObject &row)
{
    const double bytes = row.value(QStringLiteral("bytes")).toDouble();
    const QJsonValue secs = row.value(QStringLiteral("seconds"));
    const QJsonValue socat = row.value(QStringLiteral("socat"));
    const QString status = row.value(QStringLiteral("status")).toString();

    QString bytesText = QStringLiteral("—");
    if (bytes > 0)
        bytesText = QString::number(qint64(bytes));
    QString rate = QStringLiteral("—");
    if (bytes > 0 && secs.isDouble() && secs.toDouble() > 0)
        rate = QString::number(bytes / bench::MiB / secs.toDouble(), 'f', 2);
    QString ratio = QStringLiteral("—");
    if (socat.isDouble() && secs.isDouble() && secs.toDouble() > 0 && status.isEmpty())
        ratio = QString::number(socat.toDouble() / secs.toDouble(), 'f', 2);
    QString notes = row.value(QStringLiteral("notes")).toString();
    if (!status.isEmpty())
        notes = status.toUpper() + QStringLiteral(": ") + notes;
    notes.replace(QLatin1Char('|'), QLatin1Char('/'));
    const QString seconds = status == QLatin1String("error") ? QStringLiteral("—") : cell(row, "seconds", 3);
    return QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 |")
        .arg(row.value(QStringLiteral("scenario")).toString(), bytesText, seconds, rate, cell(row, "socat", 3), ratio,
             notes);
}

int orchestrate(const QStringList &args)
{
    QList<BenchScenario> chosen;
    for (const QString &name : args) {
        const auto &all = benchScenarios();
        const auto found = std::find_if(all.begin(), all.end(), [&](const BenchScenario &s) {
            return name == QLatin1String(s.name);
        });
        if (found == all.end()) {
            std::fprintf(stderr, "unknown scenario: %s (try --list)\n", qPrintable(name));
            return 2;
        }
        chosen.append(*found);
    }
    if (chosen.isEmpty())
        chosen = benchScenarios();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    const QString loadBefore = loadAverage();
    QStringList lines;
    bool allRan = true;
    for (const BenchScenario &scenario : std::as_const(chosen)) {
        std::fprintf(stderr, "kestrune_bench: %s (%s, at most %d s)\n", scenario.name, scenario.summary,
                     scenario.budgetSeconds);
        // The scenario's temporary files live under a directory of this
        // process, so they go even when the scenario is killed.
        QTemporaryDir scratch;
        QProcessEnvironment scenarioEnvironment = environment;
        if (scratch.isValid())
            scenarioEnvironment.insert(QStringLiteral("TMPDIR"), scratch.path());
        QProcess child;
        child.setProcessEnvironment(scenarioEnvironment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const qint64 startNs = bench::monotonicNs();
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--run"), QString::fromLatin1(scenario.name), QStringLiteral("--t0"),
                     QString::number(startNs)});
        const bool finished = child.waitForFinished(scenario.budgetSeconds * 1000);
        if (!finished) {
            child.kill();
            child.waitForFinished(5000);
        }
        int rows = 0;
        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            if (!line.startsWith("ROW "))
                continue;
            const QJsonObject row = QJsonDocument::fromJson(line.mid(4)).object();
            lines.append(tableRow(row));
            ++rows;
            if (!row.value(QStringLiteral("status")).toString().isEmpty())
                allRan = false;
        }
        if (!finished || rows == 0) {
            allRan = false;
            QJsonObject row;
            row.insert(QStringLiteral("scenario"), QString::fromLatin1(scenario.name));
            row.insert(QStringLiteral("status"), finished ? QStringLiteral("error") : QStringLiteral("timeout"));
            row.insert(QStringLiteral("notes"),
                       finished ? QStringLiteral("scenario process ended (exit %1) without a result").arg(child.exitCode())
                                : QStringLiteral("killed after %1 s").arg(scenario.budgetSeconds));
            lines.append(tableRow(row));
        }
    }

    // Other work on the machine slows every figure: the load is shown.
    std::printf("\nkestrune_bench: Qt %s, %s, %d cores, load average %s before, %s after\n\n", qVersion(),
                qPrintable(QSysInfo::prettyProductName()), QThread::idealThreadCount(), qPrintable(loadBefore),
                qPrintable(loadAverage()));
    std::printf("| scenario | bytes | seconds | MiB/s | socat s | ratio | notes |\n");
    std::printf("| --- | ---: | ---: | ---: | ---: | ---: | --- |\n");
    for (const QString &line : std::as_const(lines))
        std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
    return allRan ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    const QStringList args = arguments(argc, argv);
    if (args.value(0) == QLatin1String("--peer"))
        return testsupport::runPeerMode(args.mid(1));
    if (args.value(0) == QLatin1String("--run"))
        return runScenarioProcess(argc, argv, args);

    QCoreApplication app(argc, argv);
    if (args.value(0) == QLatin1String("--list") || args.value(0) == QLatin1String("--help")) {
        for (const BenchScenario &scenario : benchScenarios())
            std::printf("%-8s %s\n", scenario.name, scenario.summary);
        return 0;
    }
    return orchestrate(args);
}
