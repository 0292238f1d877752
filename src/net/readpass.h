#pragma once

#include <QtGlobal>

// Limits that keep the window responsive while a peer floods it. One pass of
// a read loop stops after MaxReadPassMs or MaxDatagramsPerPass datagrams and
// leaves the rest to a later pass, so input and painting get their turn.
inline constexpr qint64 MaxReadPassMs = 10;
inline constexpr int MaxDatagramsPerPass = 4096;

// The largest UDP payload (over IPv6; IPv4 allows 65 507 bytes).
inline constexpr qint64 MaxDatagramSize = 65527;

// What a UDP socket asks the kernel to buffer ahead of the window.
inline constexpr int UdpReceiveBufferSize = 4 * 1024 * 1024;

// A TCP chunk is what a socket has buffered, up to this many bytes: larger
// pieces would take too long to show at once.
inline constexpr qint64 MaxTcpChunk = 64 * 1024;

// What a TCP socket buffers ahead of the window; beyond it the peer is
// slowed down by TCP itself instead of filling memory.
inline constexpr qint64 TcpReadBufferSize = 512 * 1024;
