#pragma once

// The window as a TCP server under a lowered descriptor limit while a peer
// holds more connections than the limit allows: its CPU while the rest wait,
// and how soon a client that comes after the crowd has left is shown.
void crowdScenario();
