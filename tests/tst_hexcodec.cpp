#include "files.h"
#include "hexcodec.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

// The send area's hex notation: digits, tokens, whole texts and the written
// form, checked against hand-made tables and round trips of random bytes.
class tst_HexCodec final : public QObject
{
    Q_OBJECT

private slots:
    void runsInTestMode();
    void digitOfEveryCharacter();
    void tokenByte_data();
    void tokenByte();
    void parse_data();
    void parse();
    void writtenForm_data();
    void writtenForm();
    void roundTrip_data();
    void roundTrip();
    void oneBytePerToken();
};

using testsupport::randomBytes;

// Every test executable has QStandardPaths in test mode, from the start.
void tst_HexCodec::runsInTestMode()
{
    QVERIFY(QStandardPaths::isTestModeEnabled());
}

void tst_HexCodec::digitOfEveryCharacter()
{
    const QByteArray lower("0123456789abcdef");
    const QByteArray upper("0123456789ABCDEF");
    for (int c = 0; c < 256; ++c) {
        const char ch = char(c);
        const int expected = qMax(lower.indexOf(ch), upper.indexOf(ch));
        QCOMPARE(sendHexDigit(ch), expected);
    }
}

void tst_HexCodec::tokenByte_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<int>("byte");

    QTest::newRow("7") << "7" << 0x07;
    QTest::newRow("f") << "f" << 0x0F;
    QTest::newRow("F") << "F" << 0x0F;
    QTest::newRow("g") << "g" << 0xFF;
    QTest::newRow("41") << "41" << 0x41;
    QTest::newRow("e4") << "e4" << 0xE4;
    QTest::newRow("E4") << "E4" << 0xE4;
    QTest::newRow("ff") << "ff" << 0xFF;
    QTest::newRow("g1") << "g1" << 0xF1;
    QTest::newRow("1g") << "1g" << 0x0F;
    QTest::newRow("gg") << "gg" << 0xEF;
    QTest::newRow("zz") << "zz" << 0xEF;
    QTest::newRow("z") << "z" << 0xFF;
    QTest::newRow("z1") << "z1" << 0xF1;
    QTest::newRow("1z") << "1z" << 0x0F;
    QTest::newRow("123") << "123" << 0x00;
    QTest::newRow("0A0B") << "0A0B" << 0x00;
    QTest::newRow("41 LF 42") << "41\n42" << 0x00;
    QTest::newRow("tab") << "\t" << 0xFF;
    QTest::newRow("4 tab") << "4\t" << 0x3F;
    // Non-ASCII characters are no digits, Latin-1 ones included.
    QTest::newRow("中") << "中" << 0xFF;
    QTest::newRow("4中") << "4中" << 0x3F;
    QTest::newRow("中4") << "中4" << 0xF4;
    QTest::newRow("中中") << "中中" << 0xEF;
    QTest::newRow("é") << "é" << 0xFF;
    QTest::newRow("full-width 1") << "１" << 0xFF;
    QTest::newRow("ª (Latin-1 0xAA)") << "\u00aa" << 0xFF;
    // A character outside the BMP is two UTF-16 characters.
    QTest::newRow("emoji") << "😀" << 0xEF;
}

void tst_HexCodec::tokenByte()
{
    QFETCH(QString, token);
    QFETCH(int, byte);
    QCOMPARE(quint8(sendHexByte(token)), quint8(byte));
    QCOMPARE(parseSendHex(token), QByteArray(1, char(byte)));
}

void tst_HexCodec::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("spaces only") << "     " << QByteArray();
    QTest::newRow("runs of spaces") << "  41   42 " << QByteArray("AB");
    QTest::newRow("written form") << "48 65 6c 6c 6f " << QByteArray("Hello");
    QTest::newRow("receive view") << "48 65 6C 6C 6F " << QByteArray("Hello");
    QTest::newRow("1 2 3") << "1 2 3" << QByteArray("\x01\x02\x03");
    QTest::newRow("zero inside") << "41 00 42" << QByteArray("A\0B", 3);
    QTest::newRow("CR LF") << "41 42 0d 0a" << QByteArray("AB\r\n");
    QTest::newRow("two lines") << "41\n42" << QByteArray(1, '\0');
    QTest::newRow("two lines, spaced") << "41 \n 42" << QByteArray("A\xff" "B");
    QTest::newRow("tab is no separator") << "41\t42 43" << QByteArray("\0C", 2);
    QTest::newRow("no-break space") << "41\u00a042" << QByteArray(1, '\0');
    QTest::newRow("ideographic space") << "4\u30001" << QByteArray(1, '\0');
    QTest::newRow("non-ASCII tokens") << "中 4中 中4" << QByteArray("\xff\x3f\xf4");
}

void tst_HexCodec::parse()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(sendPayload(text, true), bytes);
    // With hex sending off the same text goes out as it stands (UTF-8 here).
    QCOMPARE(sendPayload(text, false), text.toUtf8());
}

void tst_HexCodec::writtenForm_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("none") << QByteArray() << "";
    QTest::newRow("0x00") << QByteArray(1, '\0') << "0 ";
    QTest::newRow("0x0A") << QByteArray("\n") << "a ";
    QTest::newRow("0x10") << QByteArray("\x10") << "10 ";
    QTest::newRow("0x41") << QByteArray("A") << "41 ";
    QTest::newRow("0xE4") << QByteArray("\xe4") << "e4 ";
    QTest::newRow("0xFF") << QByteArray("\xff") << "ff ";
    QTest::newRow("AB LF") << QByteArray("AB\n") << "41 42 a ";
    QTest::newRow("CR LF") << QByteArray("\r\n") << "d a ";
}

void tst_HexCodec::writtenForm()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(sendHexText(bytes), text);
}

void tst_HexCodec::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QByteArray everyValue;
    for (int c = 0; c < 256; ++c)
        everyValue.append(char(c));
    QTest::newRow("every value") << everyValue;
    for (const qsizetype length : {0, 1, 2, 17, 1000, 10000})
        QTest::addRow("random %lld", qlonglong(length)) << randomBytes(length, 0x5eed + quint32(length));
}

void tst_HexCodec::roundTrip()
{
    QFETCH(QByteArray, bytes);

    const QString text = sendHexText(bytes);
    QCOMPARE(parseSendHex(text), bytes);

    // One line of lower-case tokens without leading zeros, each followed by
    // exactly one space.
    static const QRegularExpression form(QStringLiteral("^(?:(?:0|[1-9a-f][0-9a-f]?) )*$"));
    QVERIFY2(form.match(text).hasMatch(), qPrintable(text.left(200)));
    QCOMPARE(text.count(QLatin1Char(' ')), bytes.size());

    // The receive view's notation: two upper-case digits per byte.
    const QString upper = QString::fromLatin1(bytes.toHex(' ').toUpper()) + QLatin1Char(' ');
    QCOMPARE(parseSendHex(upper), bytes);
}

void tst_HexCodec::oneBytePerToken()
{
    // Random texts of spaces, digits, letters, line breaks, tabs and
    // non-ASCII characters: one byte per run of non-spaces.
    const QString alphabet = QStringLiteral("    0123456789abcdefABCDEFxz\n\t中é");
    QRandomGenerator generator(20240501);
    for (int round = 0; round < 500; ++round) {
        QString text;
        const int length = int(generator.bounded(40));
        for (int i = 0; i < length; ++i)
            text.append(alphabet.at(int(generator.bounded(int(alphabet.size())))));
        const qsizetype tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
        QCOMPARE(parseSendHex(text).size(), tokens);
    }
}

QTEST_GUILESS_MAIN(tst_HexCodec)

#include "tst_hexcodec.moc"
