#include "peertext.h"

#include <QStringList>

#include <algorithm>

QString peerText(const QHostAddress &address, quint16 port)
{
    QString host = address.toString();
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        bool mapped = false;
        const quint32 ipv4 = address.toIPv4Address(&mapped);
        if (mapped)
            host = QHostAddress(ipv4).toString();
    }
    return host + QLatin1Char(':') + QString::number(port);
}

QString tcpServerText(const QString &typedAddress, const QString &typedPort)
{
    return typedAddress + QLatin1Char(':') + typedPort;
}

bool setFieldAddress(QHostAddress &address, const QString &text)
{
    const QStringList groups = text.split(QLatin1Char('.'));
    const bool dottedDecimal = groups.size() == 4 && std::all_of(groups.begin(), groups.end(), [](const QString &group) {
        return !group.isEmpty() && std::all_of(group.begin(), group.end(), [](QChar ch) { return ch.isDigit(); });
    });
    if (!dottedDecimal)
        return address.setAddress(text);
    QStringList decimal;
    for (const QString &group : groups) {
        bool ok = false;
        const uint value = group.toUInt(&ok, 10);
        decimal.append(ok ? QString::number(value) : group);
    }
    return address.setAddress(decimal.join(QLatin1Char('.')));
}

int typedPortNumber(const QString &text)
{
    return text.toInt(nullptr, 10);
}

quint16 portFromText(const QString &text)
{
    return quint16(typedPortNumber(text));
}
