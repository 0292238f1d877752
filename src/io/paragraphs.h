#pragma once

#include "bounds.h"

#include <QStringView>
#include <QtGlobal>

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
