#pragma once

#include <QString>

// The receive area at scale: a steady stream, the area filled with text and
// with hex as fast as a peer writes, saving it, selecting, copying and
// resizing it, and the memory once the area's bound is reached. Each row
// stands beside a floor: a bare read-only QPlainTextEdit fed the same
// display text from the same kind of peer.
//
// Every measured run is a process of its own ("--run scale-window-text",
// "--run scale-floor-hex", ...), so that each peak RSS is its own;
// scaleScenario() runs them in turn and prints the rows.
inline constexpr int ScaleBudgetSeconds = 1500;

// Runs the measured runs within the budget counted from startNs.
void scaleScenario(qint64 startNs);
// One measured run by its name; false for a name it does not know.
bool scaleRun(const QString &name);
