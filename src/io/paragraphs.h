#pragma once

#include <QStringView>
#include <QtGlobal>

// The longest paragraph a text area may hold. A plain text edit lays out a
// paragraph whole on every change to it (a key typed, an insertion, a
// paint), so one line beyond this holds the window for longer than a user
// waits for a key: a bare edit takes a line of 256 Ki letters, or a key
// typed into it, in 62-124 ms, 512 Ki in 130-201 ms, 1 Mi in 480-675 ms
// (bench scenario "paragraph").
inline constexpr qsizetype MaxParagraphChars = 256 * 1024;

// The most characters one change to a text area may put in or take out at
// once: the window redoes a load of 16 Mi characters in lines in 412 ms and
// undoes it in 272 ms (bench scenario "biginput"), a quarter of that in a
// quarter of the time. A load goes into the undo history in steps of at
// most this, and a longer paste is refused.
inline constexpr qsizetype MaxEditChars = 4 * 1024 * 1024;

// Measures the paragraphs that text makes when it goes into a text
// document, piece by piece. A paragraph ends where an insertion starts a
// new block: at LF, CR, U+2029 and the two frame marks.
class ParagraphMeter final
{
public:
    // open: the characters already in the paragraph the text joins.
    explicit ParagraphMeter(qsizetype open = 0)
        : openChars(open)
    {
    }

    void add(QStringView text);
    // The longest paragraph so far, the open one included.
    qsizetype longest() const { return qMax(longestEnded, openChars); }
    // Characters of the paragraph that is still open.
    qsizetype open() const { return openChars; }

private:
    qsizetype longestEnded = 0;
    qsizetype openChars = 0;
};

// The longest paragraph of text on its own.
qsizetype longestParagraph(QStringView text);
