#include "filesend.h"

#include <QTest>

#include <limits>

// The megabyte total of a file send's closing note and the scaling of the
// progress bar for files beyond the int range.
class tst_FileSend final : public QObject
{
    Q_OBJECT

private slots:
    void totalText_data();
    void totalText();
    void progressShift_data();
    void progressShift();
};

void tst_FileSend::totalText_data()
{
    QTest::addColumn<quint32>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << 0u << "0";
    QTest::newRow("1 byte") << 1u << "9.53674e-07";
    QTest::newRow("100") << 100u << "9.53674e-05";
    // General format turns to exponent form below 0.0001 MB.
    QTest::newRow("104") << 104u << "9.91821e-05";
    QTest::newRow("105") << 105u << "0.000100136";
    QTest::newRow("1023") << 1023u << "0.000975609";
    QTest::newRow("1.5 KiB") << 1536u << "0.00146484";
    QTest::newRow("104857") << 104857u << "0.0999994";
    QTest::newRow("1 MiB") << 1048576u << "1";
    QTest::newRow("1000 MiB") << 1048576000u << "1000";
    // 4294967295 / 1024 rounds to 4194304 in single precision.
    QTest::newRow("2^32 - 1") << 4294967295u << "4096";
}

void tst_FileSend::totalText()
{
    QFETCH(quint32, bytes);
    QFETCH(QString, text);
    QCOMPARE(sendTotalText(bytes), text);
}

void tst_FileSend::progressShift_data()
{
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("shift");

    constexpr qint64 GiB = qint64(1) << 30;
    QTest::newRow("0") << qint64(0) << 0;
    QTest::newRow("1") << qint64(1) << 0;
    QTest::newRow("2^31 - 1") << qint64(std::numeric_limits<int>::max()) << 0;
    QTest::newRow("2^31") << 2 * GiB << 1;
    QTest::newRow("4 GiB - 1") << 4 * GiB - 1 << 1;
    QTest::newRow("4 GiB") << 4 * GiB << 2;
    QTest::newRow("5 GiB") << 5 * GiB << 2;
    QTest::newRow("1 TiB") << 1024 * GiB << 10;
    QTest::newRow("largest") << std::numeric_limits<qint64>::max() << 32;
}

void tst_FileSend::progressShift()
{
    QFETCH(qint64, total);
    QFETCH(int, shift);
    QCOMPARE(::progressShift(total), shift);
    // The scaled total fits an int, and no smaller shift would do.
    QVERIFY((total >> shift) <= std::numeric_limits<int>::max());
    if (shift > 0)
        QVERIFY((total >> (shift - 1)) > std::numeric_limits<int>::max());
}

QTEST_GUILESS_MAIN(tst_FileSend)

#include "tst_filesend.moc"
