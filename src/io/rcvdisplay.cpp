#include "rcvdisplay.h"

namespace {

bool startsNewLine(QChar ch)
{
    return ch == QLatin1Char('\n') || ch == QLatin1Char('\r') || ch == QChar::ParagraphSeparator;
}

constexpr qsizetype HexGroupLength = 3;

// The last point at or before cut where run [start, end) may be broken, or
// start when there is none.
qsizetype breakPoint(QStringView piece, qsizetype start, qsizetype cut, LineBreaks rule)
{
    if (rule == LineBreaks::HexGroups)
        return start + (cut - start) / HexGroupLength * HexGroupLength;
    if (cut > start && piece[cut - 1].isHighSurrogate() && piece[cut].isLowSurrogate())
        return cut - 1;
    return cut;
}

qsizetype firstUnitLength(QStringView piece, qsizetype start, qsizetype end, LineBreaks rule)
{
    if (rule == LineBreaks::HexGroups)
        return qMin(HexGroupLength, end - start);
    if (start + 1 < end && piece[start].isHighSurrogate() && piece[start + 1].isLowSurrogate())
        return 2;
    return 1;
}

} // namespace

QString rcvHexText(QByteArrayView bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text(bytes.size() * HexGroupLength, Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        *out++ = QLatin1Char(digits[value >> 4]);
        *out++ = QLatin1Char(digits[value & 0x0F]);
        *out++ = QLatin1Char(' ');
    }
    return text;
}

QString rcvHeaderText(const QString &source)
{
    return QStringLiteral("【数据来自") + source + QStringLiteral("】\n");
}

QString rcvStampText(const QDateTime &time)
{
    const QDate date = time.date();
    return QStringLiteral("【") + QString::number(date.year()) + QLatin1Char('-') + QString::number(date.month())
        + QLatin1Char('-') + QString::number(date.day()) + QLatin1Char(' ') + time.time().toString(Qt::TextDate)
        + QStringLiteral("】");
}

const QString &RcvStamp::now()
{
    const QDateTime time = QDateTime::currentDateTime();
    const qint64 current = time.toSecsSinceEpoch();
    if (current != second) {
        text = rcvStampText(time);
        second = current;
    }
    return text;
}

QString breakLongLines(QStringView piece, int column, int trailing, LineBreaks rule, int limit)
{
    QString result;
    if (piece.isEmpty())
        return result;
    result.reserve(piece.size() + piece.size() / qMax(1, limit) + 2);
    qsizetype lineLength = column;
    qsizetype position = 0;
    while (position < piece.size()) {
        qsizetype end = position;
        while (end < piece.size() && !startsNewLine(piece[end]))
            ++end;

        // The run [position, end) holds no line break of its own; groups
        // are counted from its start.
        const qsizetype runStart = position;
        while (position < end) {
            const qsizetype room = limit - lineLength;
            if (end - position <= room) {
                result.append(piece.mid(position, end - position));
                lineLength += end - position;
                position = end;
                break;
            }
            qsizetype cut = room > 0 ? breakPoint(piece, runStart, position + room, rule) : position;
            if (cut <= position) {
                if (lineLength > 0) {
                    result.append(QLatin1Char('\n'));
                    lineLength = 0;
                    continue;
                }
                // A unit longer than the limit still has to go somewhere.
                cut = position + firstUnitLength(piece, position, end, rule);
            }
            result.append(piece.mid(position, cut - position));
            result.append(QLatin1Char('\n'));
            lineLength = 0;
            position = cut;
        }

        if (position < piece.size()) {
            result.append(piece[position]);
            ++position;
            lineLength = 0;
        }
    }
    // What followed the insertion point joins the last line; break before it
    // when the two together would be too long.
    if (trailing > 0 && lineLength > 0 && lineLength + trailing > limit)
        result.append(QLatin1Char('\n'));
    return result;
}
