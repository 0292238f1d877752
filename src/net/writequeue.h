#pragma once

#include <QtGlobal>

// The most a link lets pile up in its own queue for a peer that reads
// slowly, beyond what the system buffers. Above it a file send waits, a loop
// tick sends nothing, and the group-chat relay stops reading from the
// senders until the queue drains, so TCP holds them back instead of memory
// filling up.
inline constexpr qint64 MaxQueuedBytes = 1024 * 1024;
