#pragma once

#include <QString>
#include <QStringList>

// The benchmark scenarios. Each runs in a process of its own (a fresh window,
// fresh memory figures) and prints its rows with bench::emitRow.
struct BenchScenario
{
    const char *name;
    const char *summary;
    // The orchestrator kills a scenario's process after this long.
    int budgetSeconds;
};

const QList<BenchScenario> &benchScenarios();

// Runs one scenario inside a QApplication; `startNs` is the monotonic time at
// which the orchestrator started this process. Returns the exit code.
int runBenchScenario(const QString &name, qint64 startNs);
