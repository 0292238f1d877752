#include "rcvdisplay.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

// The receive area's hex view and the line breaking that keeps its lines
// short, checked without a window.
class tst_RcvDisplay final : public QObject
{
    Q_OBJECT

private slots:
    void headerAndStamp_data();
    void headerAndStamp();
    void hexText_data();
    void hexText();
    void breakLongLines_data();
    void breakLongLines();
    void breaksOnlyWhereNeeded_data();
    void breaksOnlyWhereNeeded();
};

Q_DECLARE_METATYPE(LineBreaks)

namespace {

constexpr int Limit = 1024;

QString x(int n) { return QString(n, QLatin1Char('x')); }
// n hex groups of the byte 'x'.
QString g(int n) { return QStringLiteral("78 ").repeated(n); }
const QString Pair = QString::fromUtf8("\xF0\x9F\x98\x80"); // U+1F600, two UTF-16 units
const QString Nl = QStringLiteral("\n");

// Empty when result is piece with nothing but "\n" inserted.
QString insertionFault(const QString &piece, const QString &result)
{
    qsizetype i = 0;
    for (const QChar ch : result) {
        if (i < piece.size() && ch == piece[i])
            ++i;
        else if (ch != QLatin1Char('\n'))
            return QStringLiteral("unexpected character U+%1").arg(ch.unicode(), 4, 16, QLatin1Char('0'));
    }
    return i == piece.size() ? QString() : QStringLiteral("lost the piece from %1 on").arg(i);
}

// The lines of column, piece and trailing characters laid out together.
QStringList lines(int column, const QString &text, int trailing)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|[\r\n\u2029]"));
    return (QString(column, QLatin1Char('c')) + text + QString(trailing, QLatin1Char('t'))).split(breaks);
}

} // namespace

void tst_RcvDisplay::headerAndStamp_data()
{
    // A row names a source for a header, or a time for a timestamp line.
    QTest::addColumn<QString>("source");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("expected");

    QTest::newRow("header") << "127.0.0.1:8080" << QDateTime() << QStringLiteral("【数据来自127.0.0.1:8080】\n");
    QTest::newRow("header, no source") << "" << QDateTime() << QStringLiteral("【数据来自】\n");
    QTest::newRow("stamp, no leading zeros in the date")
        << QString() << QDateTime(QDate(2026, 3, 7), QTime(9, 5, 1)) << QStringLiteral("【2026-3-7 09:05:01】");
    QTest::newRow("stamp, last second of a year")
        << QString() << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999)) << QStringLiteral("【2026-12-31 23:59:59】");
}

void tst_RcvDisplay::headerAndStamp()
{
    QFETCH(QString, source);
    QFETCH(QDateTime, time);
    QFETCH(QString, expected);
    QCOMPARE(source.isNull() ? rcvStampText(time) : rcvHeaderText(source), expected);
}

void tst_RcvDisplay::hexText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("hex");

    QTest::newRow("none") << QByteArray() << QString();
    QTest::newRow("00 FF 41") << QByteArray("\x00\xFF\x41", 3) << QStringLiteral("00 FF 41 ");
    QTest::newRow("upper case, two digits") << QByteArray("\x0a\xa0\x7f\x80", 4) << QStringLiteral("0A A0 7F 80 ");
}

void tst_RcvDisplay::hexText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, hex);
    QCOMPARE(rcvHexText(bytes), hex);
}

void tst_RcvDisplay::breakLongLines_data()
{
    QTest::addColumn<QString>("piece");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("trailing");
    QTest::addColumn<LineBreaks>("rule");
    QTest::addColumn<QString>("expected");

    const auto text = LineBreaks::AnyCharacter;
    const auto hex = LineBreaks::HexGroups;
    QTest::newRow("empty") << QString() << 500 << 500 << text << QString();
    QTest::newRow("short") << "hello" << 0 << 0 << text << "hello";
    QTest::newRow("exactly 1024") << x(1024) << 0 << 0 << text << x(1024);
    QTest::newRow("1025") << x(1025) << 0 << 0 << text << x(1024) + Nl + x(1);
    QTest::newRow("3000") << x(3000) << 0 << 0 << text << x(1024) + Nl + x(1024) + Nl + x(952);
    QTest::newRow("fills a line of 1000") << x(24) << 1000 << 0 << text << x(24);
    QTest::newRow("one past a line of 1000") << x(25) << 1000 << 0 << text << x(24) + Nl + x(1);
    QTest::newRow("line already full") << "ab" << 1024 << 0 << text << "\nab";
    QTest::newRow("own LF restarts") << x(1000) + "\n" + x(1024) << 24 << 0 << text << x(1000) + "\n" + x(1024);
    QTest::newRow("own CR restarts") << x(1024) + "\r" + x(1024) << 0 << 0 << text << x(1024) + "\r" + x(1024);
    QTest::newRow("own CRLF restarts") << x(1024) + "\r\n" + x(1024) << 0 << 0 << text << x(1024) + "\r\n" + x(1024);
    QTest::newRow("own U+2029 restarts") << x(1024) + QChar(0x2029) + x(1024) << 0 << 0 << text
                                         << x(1024) + QChar(0x2029) + x(1024);
    QTest::newRow("break after own LF") << "\n" + x(1025) << 1000 << 0 << text << "\n" + x(1024) + Nl + x(1);
    QTest::newRow("pair ends at 1024") << x(1022) + Pair << 0 << 0 << text << x(1022) + Pair;
    QTest::newRow("pair would straddle") << x(1023) + Pair << 0 << 0 << text << x(1023) + Nl + Pair;
    QTest::newRow("pair after 1023") << Pair << 1023 << 0 << text << Nl + Pair;
    QTest::newRow("trailing fits") << x(10) << 0 << 1014 << text << x(10);
    QTest::newRow("trailing one too many") << x(10) << 0 << 1015 << text << x(10) + Nl;
    QTest::newRow("column and trailing") << x(10) << 500 << 600 << text << x(10) + Nl;
    QTest::newRow("trailing after own LF") << x(5) + "\n" + x(5) << 1020 << 1019 << text
                                           << x(4) + Nl + x(1) + "\n" + x(5);
    QTest::newRow("hex 341 groups") << g(341) << 0 << 0 << hex << g(341);
    QTest::newRow("hex 342 groups") << g(342) << 0 << 0 << hex << g(341) + Nl + g(1);
    QTest::newRow("hex 1000 groups") << g(1000) << 0 << 0 << hex << g(341) + Nl + g(341) + Nl + g(318);
    QTest::newRow("hex group would straddle") << g(2) << 1020 << 0 << hex << g(1) + Nl + g(1);
    QTest::newRow("hex group ends at 1024") << g(1) << 1021 << 0 << hex << g(1);
    QTest::newRow("hex no room for a group") << g(1) << 1022 << 0 << hex << Nl + g(1);
    QTest::newRow("hex trailing fits") << g(1) << 0 << 1021 << hex << g(1);
    QTest::newRow("hex trailing one too many") << g(1) << 0 << 1022 << hex << g(1) + Nl;
}

void tst_RcvDisplay::breakLongLines()
{
    QFETCH(QString, piece);
    QFETCH(int, column);
    QFETCH(int, trailing);
    QFETCH(LineBreaks, rule);
    QFETCH(QString, expected);

    QCOMPARE(MaxRcvLineLength, Limit);
    QCOMPARE(::breakLongLines(piece, column, trailing, rule), expected);
}

void tst_RcvDisplay::breaksOnlyWhereNeeded_data()
{
    QTest::addColumn<LineBreaks>("rule");
    QTest::addColumn<quint32>("seed");

    for (quint32 seed = 1; seed <= 4; ++seed) {
        QTest::addRow("text %u", seed) << LineBreaks::AnyCharacter << seed;
        QTest::addRow("hex %u", seed) << LineBreaks::HexGroups << seed;
    }
}

// Pieces of random make-up at random places: the result is the piece with
// "\n" inserted, every line fits, no pair or hex group is cut, and a piece
// whose lines all fit comes back unchanged.
void tst_RcvDisplay::breaksOnlyWhereNeeded()
{
    QFETCH(LineBreaks, rule);
    QFETCH(quint32, seed);

    QRandomGenerator random(seed);
    const QStringList textUnits = {QStringLiteral("x"), QStringLiteral("\u00e9"), Pair, QStringLiteral("\n"),
                                   QStringLiteral("\r"), QStringLiteral("\r\n"), QString(QChar(0x2029))};
    for (int round = 0; round < 100; ++round) {
        QString piece;
        const int units = random.bounded(3000);
        // Line breaks are rare, so that long runs come about.
        for (int i = 0; i < units; ++i)
            piece += rule == LineBreaks::HexGroups ? g(1)
                     : random.bounded(40) == 0    ? textUnits[random.bounded(3, textUnits.size())]
                                                  : textUnits[random.bounded(3)];
        const int column = random.bounded(Limit + 1);
        const int trailing = random.bounded(Limit + 1);
        const QString result = ::breakLongLines(piece, column, trailing, rule);
        const QString context =
            QStringLiteral("round %1, column %2, trailing %3").arg(round).arg(column).arg(trailing);

        const QString fault = insertionFault(piece, result);
        QVERIFY2(fault.isEmpty(), qPrintable(context + QStringLiteral(": ") + fault));
        const QStringList laidOut = lines(column, result, trailing);
        for (const QString &line : laidOut)
            QVERIFY2(line.size() <= Limit,
                     qPrintable(context + QStringLiteral(": a line of ") + QString::number(line.size())));
        for (qsizetype i = 0; i + 1 < result.size(); ++i)
            QVERIFY2(!result[i].isHighSurrogate() || result[i + 1].isLowSurrogate(), qPrintable(context));
        if (rule == LineBreaks::HexGroups) {
            for (const QString &line : result.split(Nl))
                QVERIFY2(line.size() % 3 == 0, qPrintable(context));
        }
        const QStringList original = lines(column, piece, trailing);
        if (std::all_of(original.begin(), original.end(), [](const QString &line) { return line.size() <= Limit; }))
            QCOMPARE(result, piece);
    }
}

QTEST_APPLESS_MAIN(tst_RcvDisplay)
#include "tst_rcvdisplay.moc"
