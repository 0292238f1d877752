#pragma once

#include <QtGlobal>

QT_BEGIN_NAMESPACE
class QByteArray;
class QTcpSocket;
QT_END_NAMESPACE

// Loopback facts and tricks for the tests and the benchmark.
namespace testsupport {

// A UDP port that nothing binds right now (bound on every address, not
// shared, as the window binds), chosen by the system; 0 on failure.
quint16 freeUdpPort();
// A TCP port on 127.0.0.1 that nothing listens on right now; 0 on failure.
quint16 freeTcpPort();
// A free port for a link type's own socket: UDP for UdpLink, else TCP.
quint16 freePort(int mode);
// True when this machine has an IPv6 loopback to listen on.
bool ipv6LoopbackAvailable();
// Ends a connection with a reset instead of the usual close: with a zero
// linger time the kernel sends RST and drops what is still queued.
void resetConnection(QTcpSocket *socket);
// A plain client socket that connects to 127.0.0.1:port, sends bytes and
// resets, all before the caller's event loop runs again: the server there
// takes a connection that has already ended. Returns the client's own port
// once it sent the bytes, else 0.
quint16 sendAndReset(quint16 port, const QByteArray &bytes);

} // namespace testsupport
