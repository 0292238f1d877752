#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// How the receive area renders bytes, kept free of widgets.

// The longest line that received data may build in the receive area. A text
// edit lays out a whole paragraph again on every insertion, so an endless
// line would make each chunk slower than the last.
inline constexpr int MaxRcvLineLength = 1024;

// The most characters the receive area keeps (some 800 000 lines of 80):
// about 4 bytes of memory each in the text view, and select all or a resize
// of a full area take a second or two. Beyond it the area rolls over and
// starts again with its newest whole lines, at most RcvAreaRollKeptChars
// (or half the bound, if that is less): screens of context, put back in a
// few milliseconds. Capture to a file keeps everything.
inline constexpr qsizetype MaxRcvAreaChars = 64 * 1024 * 1024;
inline constexpr qsizetype RcvAreaRollKeptChars = 64 * 1024;

// Where a data piece may be broken to keep its lines short.
enum class LineBreaks {
    AnyCharacter, // text view: anywhere but inside a surrogate pair
    HexGroups,    // hex view: only between the piece's 3-character groups
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
