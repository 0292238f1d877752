#include "paragraphs.h"

namespace {

bool endsParagraph(QChar ch)
{
    switch (ch.unicode()) {
    case u'\n':
    case u'\r':
    case QChar::ParagraphSeparator:
    case 0xfdd0: // the frame marks a text document keeps as block ends
    case 0xfdd1:
        return true;
    default:
        return false;
    }
}

} // namespace

void ParagraphMeter::add(QStringView text)
{
    for (const QChar ch : text) {
        if (endsParagraph(ch)) {
            longestEnded = qMax(longestEnded, openChars);
            openChars = 0;
        } else {
            ++openChars;
        }
    }
}

qsizetype longestParagraph(QStringView text)
{
    ParagraphMeter meter;
    meter.add(text);
    return meter.longest();
}
