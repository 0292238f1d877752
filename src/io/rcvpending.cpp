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
void appendInsertion(RcvTextQueue &target, QString text)
{
    if (!target.isEmpty() && target.back() == QLatin1Char('\r') && !text.isEmpty()
        && text.front() == QLatin1Char('\n'))
        target.setBack(QChar::ParagraphSeparator);
    target.append(std::move(text));
}

// Whether text may be cut before position: not inside a surrogate pair, and
// not between the CR and LF of one line break.
bool mayCut(const QString &text, qsizetype position)
{
    return position <= 0 || position >= text.size()
        || !((text[position - 1].isHighSurrogate() && text[position].isLowSurrogate())
             || (text[position - 1] == QLatin1Char('\r') && text[position] == QLatin1Char('\n')));
}

} // namespace

void RcvTextQueue::append(QString text)
{
    if (text.isEmpty())
        return;
    chars += text.size();
    if (!pieces.empty() && pieces.back().size() + text.size() <= RcvJoinChars)
        pieces.back().append(text);
    else
        pieces.push_back(std::move(text));
}

QString RcvTextQueue::take(qsizetype limit)
{
    limit = qMax<qsizetype>(limit, 2);
    QString piece;
    // A whole piece that fits, alone, leaves without a copy.
    if (!pieces.empty() && offset == 0 && pieces.front().size() <= limit
        && (pieces.size() == 1 || pieces.front().size() + pieces[1].size() > limit)) {
        piece = std::move(pieces.front());
        pieces.pop_front();
        chars -= piece.size();
        return piece;
    }
    while (!pieces.empty() && piece.size() < limit) {
        const QString &front = pieces.front();
        qsizetype end = qMin(front.size(), offset + limit - piece.size());
        if (!mayCut(front, end))
            --end;
        if (end <= offset)
            break; // a pair that starts at the limit waits for the next piece
        piece.append(QStringView(front).mid(offset, end - offset));
        chars -= end - offset;
        offset = end;
        if (offset == front.size()) {
            pieces.pop_front();
            offset = 0;
        }
    }
    return piece;
}

qsizetype RcvTextQueue::heldChars() const
{
    qsizetype held = 0;
    for (const QString &piece : pieces)
        held += piece.capacity();
    return held;
}

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

void RcvPending::insert(QString text)
{
    if (text.isEmpty())
        return;
    advanceColumn(text);
    appendInsertion(cursorText, std::move(text));
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
    RcvTextQueue &target = cursorAtEnd ? cursorText : endText;
    if (areaHasText)
        appendInsertion(target, QStringLiteral("\n"));
    target.append(text.toString());
    if (cursorAtEnd)
        column = text.size();
    // An empty paragraph in an empty area leaves the area empty.
    areaHasText = areaHasText || !text.isEmpty();
}

QString RcvPending::take(qsizetype limit, bool &atCursor)
{
    atCursor = !cursorText.isEmpty();
    return (atCursor ? cursorText : endText).take(limit);
}
