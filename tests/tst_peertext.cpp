#include "peertext.h"

#include <QHostAddress>
#include <QTest>

// Client texts name a peer the same way whatever socket family saw it;
// port and address fields read the way the window's sockets take them.
class tst_PeerText final : public QObject
{
    Q_OBJECT

private slots:
    void namesPeer_data();
    void namesPeer();
    void namesSource_data();
    void namesSource();
    void readsPort_data();
    void readsPort();
    void readsFieldAddress_data();
    void readsFieldAddress();
};

void tst_PeerText::namesPeer_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("expected");

    QTest::newRow("IPv4 loopback") << "127.0.0.1" << 40123 << "127.0.0.1:40123";
    QTest::newRow("IPv4 private") << "192.168.1.20" << 8080 << "192.168.1.20:8080";
    QTest::newRow("IPv4-mapped loopback") << "::ffff:127.0.0.1" << 40123 << "127.0.0.1:40123";
    QTest::newRow("IPv4-mapped private") << "::ffff:10.0.0.7" << 1 << "10.0.0.7:1";
    QTest::newRow("IPv6 loopback") << "::1" << 40123 << "::1:40123";
    QTest::newRow("IPv6 link-local") << "fe80::1" << 65535 << "fe80::1:65535";
    QTest::newRow("IPv6 unique-local") << "fd00::2:3" << 5000 << "fd00::2:3:5000";
    QTest::newRow("port zero") << "127.0.0.1" << 0 << "127.0.0.1:0";
}

void tst_PeerText::namesPeer()
{
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QString, expected);

    const QHostAddress host(address);
    QVERIFY2(!host.isNull(), qPrintable(address));
    QCOMPARE(peerText(host, quint16(port)), expected);
}

void tst_PeerText::namesSource_data()
{
    // The link type, then the source's address and port as each link has them.
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("expected");

    QTest::newRow("UDP, mapped sender") << "udp" << "::ffff:127.0.0.1" << "5000" << "127.0.0.1:5000";
    QTest::newRow("server's client, IPv6") << "server" << "::1" << "40000" << "::1:40000";
    QTest::newRow("TCP client, as typed") << "client" << "192.168.001.010" << "08080" << "192.168.001.010:08080";
    QTest::newRow("TCP client, no port typed") << "client" << "127.0.0.1" << "" << "127.0.0.1:";
}

void tst_PeerText::namesSource()
{
    QFETCH(QString, link);
    QFETCH(QString, address);
    QFETCH(QString, port);
    QFETCH(QString, expected);

    if (link == QLatin1String("client"))
        QCOMPARE(tcpServerText(address, port), expected);
    else if (link == QLatin1String("udp"))
        QCOMPARE(udpSourceText(QHostAddress(address), port.toUShort()), expected);
    else
        QCOMPARE(serverClientText(QHostAddress(address), port.toUShort()), expected);
}

void tst_PeerText::readsPort_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("8080") << "8080" << 8080;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("digits then letters") << "80x" << 0;
    QTest::newRow("hex notation") << "0x50" << 0;
    QTest::newRow("leading zero") << "0080" << 80;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("largest port") << "65535" << 65535;
    QTest::newRow("one beyond 16 bits") << "65536" << 0;
    QTest::newRow("70000 keeps low 16 bits") << "70000" << 4464;
    QTest::newRow("131071") << "131071" << 65535;
    QTest::newRow("-1") << "-1" << 65535;
    QTest::newRow("beyond int") << "99999999999" << 0;
}

void tst_PeerText::readsPort()
{
    QFETCH(QString, text);
    QFETCH(int, expected);

    QCOMPARE(int(portFromText(text)), expected);
}

void tst_PeerText::readsFieldAddress_data()
{
    // An empty expected text: not an address.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "127.0.0.1" << "127.0.0.1";
    QTest::newRow("zero-padded groups") << "127.000.000.001" << "127.0.0.1";
    QTest::newRow("leading zeros are decimal") << "192.168.001.010" << "192.168.1.10";
    QTest::newRow("010 is ten") << "010.000.000.001" << "10.0.0.1";
    QTest::newRow("008 and 009 are not octal") << "008.009.000.001" << "8.9.0.1";
    QTest::newRow("all ones") << "255.255.255.255" << "255.255.255.255";
    QTest::newRow("zero") << "0.0.0.0" << "0.0.0.0";
    QTest::newRow("only the mask's dots") << "..." << "";
    QTest::newRow("last group missing") << "1.2.3." << "";
    QTest::newRow("group too large") << "300.1.1.1" << "";
    QTest::newRow("256") << "10.0.0.256" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("IPv6 text") << "::1" << "::1";
}

void tst_PeerText::readsFieldAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);

    // A previous value must not survive a text that is no address.
    QHostAddress address(QStringLiteral("10.9.8.7"));
    const bool ok = setFieldAddress(address, text);
    QCOMPARE(ok, !expected.isEmpty());
    if (ok)
        QCOMPARE(address, QHostAddress(expected));
    else
        QVERIFY2(address.isNull(), qPrintable(address.toString()));
}

QTEST_APPLESS_MAIN(tst_PeerText)
#include "tst_peertext.moc"
