#include "loadedtext.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTest>

// The text a load makes of a file's bytes, checked against a plain reading
// of the same bytes line by line, whatever pieces the bytes come in.
class tst_LoadedText final : public QObject
{
    Q_OBJECT

private slots:
    void text_data();
    void text();
};

namespace {

// Line by line through QIODevice::readLine, a CR LF line end made LF, each
// line's text up to its first zero byte.
QString readLineByLine(const QByteArray &bytes, qint64 cap)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QString text;
    qint64 loaded = 0;
    while (loaded < cap) {
        QByteArray line = buffer.readLine(cap - loaded + 1);
        if (line.isEmpty())
            break;
        if (line.endsWith("\r\n"))
            line.replace(line.size() - 2, 2, "\n");
        loaded += line.size();
        text += QString::fromUtf8(line.constData());
    }
    return text;
}

QString load(const QByteArray &bytes, qint64 cap, const QList<int> &pieces)
{
    LoadedText loaded(cap);
    QString text;
    qsizetype at = 0;
    for (int i = 0; at < bytes.size(); ++i) {
        const qsizetype size = qMin<qsizetype>(pieces.at(i % pieces.size()), bytes.size() - at);
        loaded.feed(QByteArrayView(bytes).sliced(at, size));
        at += size;
        text += loaded.takeText();
    }
    loaded.finish();
    return text + loaded.takeText();
}

} // namespace

void tst_LoadedText::text_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("cap");
    QTest::addColumn<QString>("expected"); // empty: as read line by line

    const qint64 big = 1000;
    QTest::newRow("CR LF") << QByteArray("ab\r\ncd\r\n") << big << "ab\ncd\n";
    QTest::newRow("lone CR stays") << QByteArray("x\ry\n\r") << big << "x\ry\n\r";
    QTest::newRow("zero drops the rest of its line") << QByteArray("a\0b\rc\nd\n", 8) << big << "ad\n";
    QTest::newRow("character cut by a zero")
        << QByteArray("\xe4\0\n\xb8\xad\n", 6) << big << "\ufffd\ufffd\ufffd\n";
    QTest::newRow("cap inside a line") << QByteArray("12345\r\n789\n") << qint64(4) << "1234";
    QTest::newRow("cap between CR and LF") << QByteArray("12345\r\n789\n") << qint64(6) << "12345\r";
    QTest::newRow("cap counts a CR LF as one") << QByteArray("ab\r\ncd\r\n") << qint64(6) << "ab\ncd\r";
    QTest::newRow("zeros only") << QByteArray(5000, '\0') << big << "";

    // Random bytes rich in line ends, zeros and pieces of characters.
    QRandomGenerator random(18);
    const char alphabet[] = {'a', '\n', '\r', '\0', '\xe4', '\xb8', '\xad', '\xff', 'z'};
    for (int row = 0; row < 24; ++row) {
        QByteArray bytes(random.bounded(1, 3000), Qt::Uninitialized);
        for (char &byte : bytes)
            byte = alphabet[random.bounded(int(sizeof alphabet))];
        QTest::addRow("random %d", row) << bytes << qint64(row % 3 ? random.bounded(1, 4000) : big) << QString();
    }
}

void tst_LoadedText::text()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, cap);
    QFETCH(QString, expected);

    const QString lineByLine = readLineByLine(bytes, cap);
    if (!expected.isEmpty() || bytes.count('\0') == bytes.size())
        QCOMPARE(lineByLine, expected);
    // Whole, byte by byte, and in pieces that split CR LF pairs and
    // characters anywhere.
    for (const QList<int> &pieces : {QList<int>{int(bytes.size()) + 1}, QList<int>{1}, QList<int>{2, 7, 1, 64, 3}})
        QCOMPARE(load(bytes, cap, pieces), lineByLine);
}

QTEST_GUILESS_MAIN(tst_LoadedText)

#include "tst_loadedtext.moc"
