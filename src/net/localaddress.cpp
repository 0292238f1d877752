#include "localaddress.h"

QString chooseLocalIpv4Address(const QList<QHostAddress> &addresses)
{
    for (const QHostAddress &address : addresses) {
        if (address == QHostAddress(QHostAddress::LocalHost))
            continue;
        if (address.toIPv4Address() == 0)
            continue;
        return address.toString();
    }
    return QString();
}
