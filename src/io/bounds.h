#pragma once

#include <QtGlobal>

// Every time and size that bounds the program's work, each with what it
// bounds and the `kestrune_bench` scenario that measures it. Change one
// only with that scenario's figures before and after.

// Reading a link.
// One read pass stops after this long or this many datagrams (floodgap, udprate).
inline constexpr qint64 MaxReadPassMs = 10;
inline constexpr int MaxDatagramsPerPass = 4096;
// The largest UDP payload (over IPv6; IPv4 allows 65 507): the read buffer.
inline constexpr qint64 MaxDatagramSize = 65527;
// The least time between the starts of two UDP read passes (udprate: CPU).
inline constexpr qint64 MinUdpPassGapNs = 1000 * 1000;
// What a UDP socket asks the kernel to buffer ahead of the window (udprate: loss).
inline constexpr int UdpReceiveBufferSize = 4 * 1024 * 1024;
// The largest TCP chunk shown at once (text, lockstep).
inline constexpr qint64 MaxTcpChunk = 64 * 1024;
// What a TCP socket reads ahead of the window; beyond it TCP slows the peer (memshown).
inline constexpr qint64 TcpReadBufferSize = 512 * 1024;

// Showing what was read.
// The receive area takes waiting text once a frame (lockstep, floodgap).
inline constexpr int RcvFrameMs = 25;
// One insertion's size, and its size while a backlog goes in unpainted (areafill, floodgap).
inline constexpr qsizetype MaxRcvInsertChars = 16 * 1024;
inline constexpr qsizetype MaxRcvBacklogInsertChars = 64 * 1024;
// The insertions of one frame stop after this long (floodgap).
inline constexpr qint64 MaxRcvInsertMs = 3;
// The receive counter is redrawn at most this often while data keeps coming (udprate: CPU).
inline constexpr qint64 RcvCountIntervalMs = 30;
// Text waiting for the area: 4 Mi characters, 8 MiB; at it reading waits (memshown, scale).
inline constexpr qsizetype MaxRcvPendingChars = 4 * 1024 * 1024;
// Short waiting pieces join up to this many characters (scale: 256 MiB of text).
inline constexpr qsizetype RcvJoinChars = 4096;
// The longest line received data builds; a text edit lays out a line whole on each insertion (areafill).
inline constexpr int MaxRcvLineLength = 1024;
// The receive area's bound, some 800 000 lines of 80, and what it keeps when it rolls over (scale).
inline constexpr qsizetype MaxRcvAreaChars = 64 * 1024 * 1024;
inline constexpr qsizetype RcvAreaRollKeptChars = 64 * 1024;
// 保存数据 writes about this many characters a pass, a few milliseconds (scale: saving).
inline constexpr qsizetype RcvSavePassChars = 256 * 1024;

// Sending.
// What a link lets pile up for a slow reader: above it a file send waits,
// a loop tick sends nothing and the relay stops reading (rss, tcpsend).
inline constexpr qint64 MaxQueuedBytes = 1024 * 1024;
// A file goes out in chunks of this many bytes, one datagram each over UDP (udpsend).
inline constexpr qint64 FileChunk = 1024;
// A TCP file send lets events run after this many chunks (tcpsend).
inline constexpr int FileChunksPerPass = 8;
// UDP file sends wait this long after each datagram (udpsend).
inline constexpr int FileDatagramGapMs = 1;
// A TCP file send held by a slow reader looks at the link's queue again this often (rss).
inline constexpr int FileQueueWaitMs = 1;
// The counter and the progress bar are redrawn at most this often during a send (tcpsend: CPU).
inline constexpr qint64 SendDisplayIntervalMs = 33;
// How long a closed TCP connection may take to write out its queue (no bench: a wait for the peer).
inline constexpr int ClosingGraceMs = 30 * 1000;

// Text areas.
// The longest paragraph a text area holds: a bare edit lays out 256 Ki in 62-124 ms (paragraph).
inline constexpr qsizetype MaxParagraphChars = 256 * 1024;
// The most characters one change puts in or takes out: redo of 16 Mi takes 412 ms (biginput).
inline constexpr qsizetype MaxEditChars = 4 * 1024 * 1024;
// A load into the send area stops here: an endless source ends, the area stays usable (biginput).
inline constexpr qint64 MaxLoadedBytes = 16 * 1024 * 1024;
// A load reads and inserts for about this long a pass, in these pieces (biginput).
inline constexpr qint64 LoadPassMs = 20;
inline constexpr qint64 LoadReadBytes = 256 * 1024;
inline constexpr qsizetype LoadInsertChars = 256 * 1024;
// A pipe with nothing in it yet is looked at again this much later (biginput).
inline constexpr int LoadPipeRetryMs = 10;

// Descriptors (crowd).
// Left free by the server for the window's own files and dialogs, with a
// margin for a desktop dialog that talks to D-Bus or a portal.
inline constexpr int ReservedDescriptors = 64;
// What a file dialog must find free: its threads' wake-up pipes abort the program without them.
inline constexpr int DialogDescriptors = 16;
// A server holding clients for lack of descriptors looks again this often.
inline constexpr int AcceptRetryMs = 200;
// Counting descriptors costs 0.25 ms a thousand: a burst reuses a count this long.
inline constexpr int DescriptorCountMs = 250;
// The most connections one pass accepts.
inline constexpr int MaxAcceptsPerPass = 32;
