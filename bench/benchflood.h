#pragma once

// The longest event-loop gap while a peer process floods the window: UDP
// datagrams, a client of the window's server, the server of its client link.
void floodGapScenario();
