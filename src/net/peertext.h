#pragma once

#include <QHostAddress>
#include <QString>

// Names a peer as "address:port". A dual-stack socket reports IPv4 peers as
// IPv4-mapped IPv6 addresses ("::ffff:127.0.0.1"); those are shown in their
// dotted IPv4 form so the same peer always reads the same.
QString peerText(const QHostAddress &address, quint16 port);

// The texts that name where received data came from, one per link type.
// Each is shown in the header above received data, and is an identity
// there: a header is written again whenever the text changes. The text of
// a server's client is an identity beyond that: the client selector lists
// it, and a client that leaves is found by it. Only the TCP client's text
// is display alone, taken from the fields as typed.
// A datagram's sender.
inline QString udpSourceText(const QHostAddress &sender, quint16 port) { return peerText(sender, port); }
// A client as the server accepted it.
inline QString serverClientText(const QHostAddress &client, quint16 port) { return peerText(client, port); }
// The server a TCP client link reaches, named by the address and port
// fields as typed, not by the socket.
QString tcpServerText(const QString &typedAddress, const QString &typedPort);

// Parses an address typed into a masked address field. Dotted groups with
// leading zeros ("192.168.001.010") are decimal, as the user means them,
// not octal as inet_aton-style parsing would read them. Returns whether
// the text is an address; address is then set, else cleared.
bool setFieldAddress(QHostAddress &address, const QString &text);

// The number typed into a port field: base-10 text, 0 when it is not a
// number that fits an int. The window keeps it as typed.
int typedPortNumber(const QString &text);

// The port a typed number names: only its low 16 bits (70000 is 4464,
// -1 is 65535).
quint16 portFromText(const QString &text);
