#pragma once

#include "bounds.h"

#include <QtGlobal>

QT_BEGIN_NAMESPACE
class QObject;
class QTcpSocket;
QT_END_NAMESPACE

// Ends a TCP connection that the program no longer uses without losing
// what was already handed to it: the socket, whose receivers the caller
// has cut, goes to `keeper` (so it dies at once if the keeper does), writes
// out its queue and disconnects, and is deleted then, or aborted and
// deleted after graceMs when the peer stops reading. What the peer still
// sends meanwhile is read and dropped, so it is never held up.
void closeWhenWritten(QTcpSocket *socket, QObject *keeper, int graceMs);
