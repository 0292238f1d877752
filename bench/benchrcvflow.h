#pragma once

// Receive-path scenarios at high message rates: paced UDP datagrams in each
// view beside a plain reader, lock-step chunks, and memory per byte shown.
void udpRateScenario();
void lockStepScenario();
void memoryShownScenario();
// Large writes at once until the area holds them, beside a window that
// inserts every read at once.
void areaFillScenario();
