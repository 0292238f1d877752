#pragma once

#include <QHostAddress>
#include <QString>

// Names a peer as "address:port". A dual-stack socket reports IPv4 peers as
// IPv4-mapped IPv6 addresses ("::ffff:127.0.0.1"); those are shown in their
// dotted IPv4 form so the same peer always reads the same.
QString peerText(const QHostAddress &address, quint16 port);

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
