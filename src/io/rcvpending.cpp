#include "rcvpending.h"

namespace {

// The characters at which the area's document starts a new paragraph when
// text is inserted (the last two are its frame marks).
bool endsParagraph(QChar ch)
{
    return ch == QLatin1Char('\n') || ch == QLatin1Char('\r') || ch == QChar::ParagraphSeparator
        || ch == QChar(0xFDD0) || ch == QChar(0xFDD1);
}

// Appends text as its own insertion would add it: a CR that ends what came
// before and an LF that starts text make two paragraphs, not one CR LF, so
// the CR becomes the paragraph separator it stands for.
void appendInsertion(QString &target, QStringView text)
{
    if (!target.isEmpty() && target.back() == QLatin1Char('\r') && !text.isEmpty()
        && text.front() == QLatin1Char('\n'))
        target.back() = QChar::ParagraphSeparator;
    target.append(text);
}

} // namespace

void RcvPending::begin(bool hasText, bool atEnd, int cursorColumn, int trailingChars)
{
    reset();
    active = true;
    areaHasText = hasText;
    cursorAtEnd = atEnd;
    column = cursorColumn;
    trailing = atEnd ? 0 : trailingChars;
}

void RcvPending::reset()
{
    *this = RcvPending();
}

void RcvPending::advanceColumn(QStringView text)
{
    for (qsizetype i = text.size(); i > 0; --i) {
        if (endsParagraph(text[i - 1])) {
            column = text.size() - i;
            return;
        }
    }
    column += text.size();
}

void RcvPending::insert(QStringView text)
{
    if (text.isEmpty())
        return;
    appendInsertion(cursorText, text);
    advanceColumn(text);
    areaHasText = true;
}

void RcvPending::insertData(QStringView piece, LineBreaks rule, int limit)
{
    if (piece.isEmpty())
        return;
    insert(breakLongLines(piece, int(column), trailing, rule, limit));
}

void RcvPending::appendParagraph(QStringView text)
{
    // A paragraph appended to an area with text starts on a new line.
    QString &target = cursorAtEnd ? cursorText : endText;
    if (areaHasText)
        appendInsertion(target, u"\n");
    target.append(text);
    if (cursorAtEnd)
        column = text.size();
    // An empty paragraph in an empty area leaves the area empty.
    areaHasText = areaHasText || !text.isEmpty();
}

QString RcvPending::take(qsizetype limit, bool &atCursor)
{
    atCursor = !cursorText.isEmpty();
    QString &text = atCursor ? cursorText : endText;
    qsizetype end = qMin(text.size(), qMax<qsizetype>(limit, 2));
    if (end == text.size())
        return std::exchange(text, QString());
    // A pair inserted in two pieces would not be the same text: CR then LF
    // makes two paragraphs where CR LF makes one.
    if ((text[end - 1].isHighSurrogate() && text[end].isLowSurrogate())
        || (text[end - 1] == QLatin1Char('\r') && text[end] == QLatin1Char('\n')))
        --end;
    QString piece = text.first(end);
    // The front of the string goes without moving the rest; later appends
    // use the room it leaves, so a backlog that lasts holds no more than
    // what waits.
    text.remove(0, end);
    return piece;
}
