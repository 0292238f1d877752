#pragma once

#include "rcvdisplay.h"

#include <QString>
#include <QStringView>

#include <deque>

// Text that waits, oldest first, in the pieces it came in: a piece goes in
// without a copy (short ones join the last), and comes out whole where it
// fits, so text is copied at most once on its way and nothing is kept once
// taken.
class RcvTextQueue final
{
public:
    qsizetype size() const { return chars; }
    bool isEmpty() const { return chars == 0; }
    // The last character; the queue is not empty.
    QChar back() const { return pieces.back().back(); }
    void setBack(QChar ch) { pieces.back().back() = ch; }
    void append(QString text);
    // Up to about limit characters from the front, never splitting a
    // surrogate pair or a CR LF pair.
    QString take(qsizetype limit);
    // Characters of memory the pieces hold.
    qsizetype heldChars() const;

private:
    std::deque<QString> pieces;
    // Characters of the front piece already taken.
    qsizetype offset = 0;
    qsizetype chars = 0;
};

// Display text that has been read but is not in the receive area yet, kept
// free of widgets. Pieces are added exactly as the chunk-by-chunk procedure
// inserts them into the area, and the result is the same text: pieces meant
// for the cursor are joined into one text for the cursor, new paragraphs for
// the end of the area into one text for the end, and the cursor's column is
// tracked through both so that the line limit breaks where it would have.
//
// Two places are told apart. When the cursor stands at the end of the area,
// the two places are one and everything goes into the cursor's text. When
// it stands earlier, paragraphs appended at the end never touch the
// cursor's line, so the end's text is inserted after the cursor's.
class RcvPending final
{
public:
    // Starts collecting for an area whose cursor (without a selection) has
    // column characters before it on its line and trailing characters after
    // it; areaHasText tells whether the area holds any text at all.
    void begin(bool areaHasText, bool cursorAtEnd, int column, int trailing);
    // Forgets everything, collected or not yet taken.
    void reset();

    bool isActive() const { return active; }
    // Whether the area, with what is collected, holds any text.
    bool hasText() const { return areaHasText; }
    // Characters collected and not yet taken.
    qsizetype size() const { return cursorText.size() + endText.size(); }
    bool isEmpty() const { return size() == 0; }

    // Text at the cursor, as it is (headers and separators).
    void insert(QString text);
    // Received data at the cursor, broken so that no line grows past limit.
    void insertData(QStringView piece, LineBreaks rule, int limit = MaxRcvLineLength);
    // A new paragraph at the end of the area.
    void appendParagraph(QStringView text);

    // Takes up to about `limit` characters (never splitting a surrogate pair
    // or a CR LF pair) of the text for the cursor, then of the text for the
    // end; inserting the pieces one after another in the order taken gives
    // the whole. atCursor tells where the piece taken goes.
    QString take(qsizetype limit, bool &atCursor);
    // Characters of memory the collected text holds, taken or not.
    qsizetype heldChars() const { return cursorText.heldChars() + endText.heldChars(); }

private:
    void advanceColumn(QStringView text);

    bool active = false;
    bool areaHasText = false;
    bool cursorAtEnd = true;
    qsizetype column = 0;
    int trailing = 0;
    RcvTextQueue cursorText;
    RcvTextQueue endText;
};
