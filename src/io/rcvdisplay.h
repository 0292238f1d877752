#pragma once

#include "bounds.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringView>

// How the receive area renders bytes, kept free of widgets.

// Where a data piece may be broken to keep its lines short.
enum class LineBreaks {
    AnyCharacter, // text view: anywhere but inside a surrogate pair
    HexGroups,    // hex view: only between the piece's 3-character groups
};

// The header above a chunk whose source differs from the last one's:
// "【数据来自" source "】" and a line feed.
QString rcvHeaderText(const QString &source);

// The timestamp line "【2026-3-7 09:05:01】": the date's numbers without
// leading zeros, the time as hours, minutes and seconds of two digits.
QString rcvStampText(const QDateTime &time);

// The timestamp line of the current second, made again only when the second
// changes: a flood of chunks would otherwise spend much of its time
// formatting the clock.
class RcvStamp final
{
public:
    const QString &now();

private:
    qint64 second = -1;
    QString text;
};

// The hex view of bytes: two upper-case digits and one space per byte.
QString rcvHexText(QByteArrayView bytes);

// Inserts "\n" into piece where needed so that, inserted at a point with
// column characters before it on its line and trailing characters after it,
// no line of the result grows past limit. Line breaks already in the piece
// ("\n", "\r", "\r\n", U+2029) start a new count. Lines that stay within the
// limit are left exactly as they are.
QString breakLongLines(QStringView piece, int column, int trailing, LineBreaks rule,
                       int limit = MaxRcvLineLength);
