#pragma once

// Descriptors the server leaves free for the window's own work. A file
// dialog takes 7 at its peak under X11 (its threads' wake-up pipes and a
// file watcher among them); a capture file, a load, a data source and a
// save one each. A desktop's own dialog that talks to D-Bus or a portal
// takes more, hence the margin.
inline constexpr int ReservedDescriptors = 64;

// What a file dialog must find free to open at all: without a descriptor
// for its threads' wake-up pipes the event dispatcher aborts the program.
inline constexpr int DialogDescriptors = 16;

// Raises the soft limit on open descriptors to the hard limit, as servers
// do: every wait in this program is a poll(), so no descriptor number is
// too high for it.
void raiseDescriptorLimit();

// How many more descriptors the process may open now: the soft limit less
// those open. 0 when not even the one needed to count them is free.
int freeDescriptors();

// How often a server that holds its waiting clients for lack of
// descriptors looks again, besides whenever one of its clients leaves.
inline constexpr int AcceptRetryMs = 200;

// Counting the open descriptors costs about 0.25 ms a thousand, so a server
// taking a burst of clients reuses a count this long while it is far from
// the reserve.
inline constexpr int DescriptorCountMs = 250;

// The most connections one pass takes before the window's other work gets
// its turn; the rest are taken on the next pass.
inline constexpr int MaxAcceptsPerPass = 32;
