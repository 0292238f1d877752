// Fuzzes the receive area's rendering: the hex view of any bytes and the
// line breaking of text and hex pieces. Breaking only ever adds line feeds,
// never splits a surrogate pair or a hex group, and keeps every line within
// the limit.

#include "rcvdisplay.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

QString withoutLineFeeds(QString text)
{
    return text.remove(QLatin1Char('\n'));
}

bool isLineBreak(QChar ch)
{
    return ch == QLatin1Char('\n') || ch == QLatin1Char('\r') || ch == QChar::ParagraphSeparator;
}

// Checks line lengths: the first line starts at column, the last one is
// followed by trailing characters unless the piece ended with a break.
void checkLines(const QString &result, int column, int limit, int groupLength)
{
    qsizetype lineLength = column;
    qsizetype sinceRunStart = 0;
    for (const QChar ch : result) {
        if (isLineBreak(ch)) {
            check(lineLength <= limit || sinceRunStart <= groupLength);
            lineLength = 0;
            sinceRunStart = 0;
            continue;
        }
        ++lineLength;
        ++sinceRunStart;
    }
    check(lineLength <= limit || sinceRunStart <= groupLength);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // The first bytes choose the geometry; the rest is the received chunk.
    const int limit = 3 + data[0] % 61;
    const int column = data[1] % 80;
    const int trailing = data[2] % 80;
    const QByteArrayView chunk(reinterpret_cast<const char *>(data + 3), qsizetype(size - 3));

    const QString hex = rcvHexText(chunk);
    check(hex.size() == chunk.size() * 3);
    for (qsizetype i = 0; i < chunk.size(); ++i) {
        const auto value = static_cast<unsigned char>(chunk[i]);
        check(hex.mid(i * 3, 3) == QStringLiteral("%1 ").arg(value, 2, 16, QLatin1Char('0')).toUpper());
    }

    const QString brokenHex = breakLongLines(hex, 0, trailing, LineBreaks::HexGroups, limit);
    check(withoutLineFeeds(brokenHex) == hex);
    for (const QString &line : brokenHex.split(QLatin1Char('\n')))
        check(line.size() % 3 == 0 && (line.size() <= limit || line.size() == 3));

    const QString text = QString::fromUtf8(chunk);
    const QString brokenText = breakLongLines(text, column, trailing, LineBreaks::AnyCharacter, limit);
    check(withoutLineFeeds(brokenText) == withoutLineFeeds(text));
    checkLines(brokenText, column, limit, 2);
    for (qsizetype i = 1; i < brokenText.size(); ++i) {
        if (brokenText[i] == QLatin1Char('\n'))
            check(!(brokenText[i - 1].isHighSurrogate() && i + 1 < brokenText.size()
                    && brokenText[i + 1].isLowSurrogate()));
    }
    if (text.size() + column <= limit && !text.contains(QLatin1Char('\n')) && trailing + text.size() + column <= limit)
        check(brokenText == text);
    return 0;
}
