#pragma once

#include "window.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <memory>
#include <vector>

namespace testsupport {

// The far end of the window's link on 127.0.0.1: a UDP socket (and more
// senders for more sources), the server a TCP client link connects to and
// the connection it accepted, or the clients of a TCP server link.
struct Peer
{
    QUdpSocket udp;
    std::vector<std::unique_ptr<QUdpSocket>> senders;
    QTcpServer listener;
    // Clients of a server link, or the one connection the listener took.
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<QByteArray> streams;
    QList<QByteArray> datagrams;

    // Everything that arrived so far: the datagrams one after the other, or
    // the stream of connection i.
    QByteArray bytes(int i = 0);
    QTcpSocket *socket(int i = 0) const { return sockets.at(size_t(i)).get(); }
    // UDP sender i, bound on 127.0.0.1 at first use; sender 0 is udp.
    QUdpSocket &sender(int i);
    // Readers that stop taking bytes once a little is buffered.
    void stopReading();
    // Connects one more client to the window's server and waits until the
    // window has taken it.
    void addClient(const Window &window);
    // Takes the connection that reached the listener.
    void take();
};

// How the window names a peer on 127.0.0.1 in its client list and its
// receive headers: "127.0.0.1:" and the peer's port (a socket's own port).
inline QString clientText(quint16 port) { return QStringLiteral("127.0.0.1:") + QString::number(port); }
inline QString clientText(const QAbstractSocket &socket) { return clientText(socket.localPort()); }

// Bounded waits, generous enough for a loaded two-core machine and for a
// build with AddressSanitizer.
constexpr int Timeout = 30000;

const char *modeName(int mode);

// Opens a link of the window on the loopback address: UDP and the server on
// the given port (0: the system chooses), the client towards port.
void openLink(const Window &window, int mode, quint16 port);
// Opens a link of the given type on 127.0.0.1 towards the peer; a server
// link gets that many clients.
void openLink(const Window &window, Peer &peer, int mode, int clientCount = 1);
// Closes the open link; no link object stays.
void closeLink(const Window &window);

// A datagram from a socket of the test's own to the window's UDP link,
// once the window has counted and shown it.
void sendDatagramToWindow(const Window &window, const QByteArray &bytes);

// The client list's invariant: an entry for all clients first, then one per
// client link, each with its own descriptor. An empty text when it holds.
QString clientListBreach(const Window &window);

} // namespace testsupport
