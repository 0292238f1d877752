#pragma once

// Receive-path scenarios at high message rates: paced UDP datagrams in each
// view beside a plain reader, lock-step chunks, and memory per byte shown.
void udpRateScenario();
void lockStepScenario();
void memoryShownScenario();
