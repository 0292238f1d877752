#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// Picks the address the window offers at start: the first entry that is an
// IPv4 address other than 127.0.0.1 and 0.0.0.0, as dotted text; empty when
// none qualifies. Other 127.x.y.z addresses are taken like any other.
QString chooseLocalIpv4Address(const QList<QHostAddress> &addresses);
