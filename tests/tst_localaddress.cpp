#include "localaddress.h"

#include <QHostAddress>
#include <QList>
#include <QTest>

// The address offered at start is the first IPv4 entry that is neither
// 127.0.0.1 nor 0.0.0.0, in the order the host reports its addresses.
class tst_LocalAddress final : public QObject
{
    Q_OBJECT

private slots:
    void choosesFirstUsableIpv4_data();
    void choosesFirstUsableIpv4();
};

static QList<QHostAddress> addresses(const QStringList &texts)
{
    QList<QHostAddress> list;
    for (const QString &text : texts)
        list.append(QHostAddress(text));
    return list;
}

void tst_LocalAddress::choosesFirstUsableIpv4_data()
{
    QTest::addColumn<QStringList>("hostAddresses");
    QTest::addColumn<QString>("expected");

    QTest::newRow("only 127.0.0.1") << QStringList{"127.0.0.1"} << QString();
    QTest::newRow("loopback then two private") << QStringList{"127.0.0.1", "10.1.2.3", "10.9.9.9"} << QString("10.1.2.3");
    QTest::newRow("IPv6 only") << QStringList{"::1", "fe80::1"} << QString();
    QTest::newRow("0.0.0.0 skipped") << QStringList{"0.0.0.0", "10.0.0.7"} << QString("10.0.0.7");
    QTest::newRow("other loopback address taken") << QStringList{"127.0.0.2"} << QString("127.0.0.2");
    QTest::newRow("no addresses") << QStringList{} << QString();
    QTest::newRow("IPv6 before IPv4") << QStringList{"::1", "fe80::1", "127.0.0.1", "192.168.4.20"} << QString("192.168.4.20");
    QTest::newRow("unique-local IPv6 before IPv4") << QStringList{"fd00::2", "172.16.5.6"} << QString("172.16.5.6");
}

void tst_LocalAddress::choosesFirstUsableIpv4()
{
    QFETCH(QStringList, hostAddresses);
    QFETCH(QString, expected);

    QCOMPARE(chooseLocalIpv4Address(addresses(hostAddresses)), expected);
}

QTEST_APPLESS_MAIN(tst_LocalAddress)
#include "tst_localaddress.moc"
