#include "rcvarea.h"

#include "rcvflow.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

void RcvArea::prepare(RcvFlow &flow)
{
    RcvPending &pending = flow.pending();
    if (pending.isActive() && !cursorMoved())
        return;
    // The cursor was moved since the text waiting was rendered: that text
    // goes where the cursor stood, and collecting starts again.
    flow.flush();
    const QTextCursor cursor = area->textCursor();
    if (cursor.hasSelection())
        return;
    const int column = cursor.positionInBlock();
    pending.begin(!area->document()->isEmpty(), cursor.atEnd(), column, cursor.block().length() - 1 - column);
    pendingCursor = cursor;
}

bool RcvArea::cursorMoved() const
{
    const QTextCursor cursor = area->textCursor();
    return cursor.position() != pendingCursor.position() || cursor.anchor() != pendingCursor.anchor();
}

bool RcvArea::hasText(const RcvFlow &flow) const
{
    return flow.pending().isActive() ? flow.pending().hasText() : !area->document()->isEmpty();
}

void RcvArea::insert(RcvFlow &flow, const QString &text)
{
    if (flow.pending().isActive())
        flow.pending().insert(text);
    else
        area->insertPlainText(text);
}

void RcvArea::insertData(RcvFlow &flow, const QString &piece, LineBreaks rule)
{
    if (flow.pending().isActive()) {
        flow.pending().insertData(piece, rule);
        return;
    }
    const QTextCursor cursor = area->textCursor();
    const QTextDocument *document = area->document();
    const QTextBlock first = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    const int column = cursor.selectionStart() - first.position();
    const int trailing = last.position() + last.length() - 1 - cursor.selectionEnd();
    area->insertPlainText(breakLongLines(piece, column, trailing, rule));
}

void RcvArea::appendLine(RcvFlow &flow, const QString &text)
{
    if (flow.pending().isActive())
        flow.pending().appendParagraph(text);
    else
        area->appendPlainText(text);
}

void RcvArea::put(const QString &piece, bool atCursor)
{
    if (atCursor && paintHeld) {
        // The area's cursor, where it stands here, moves past the piece as
        // well; the area scrolls to it once, when it paints again.
        pendingCursor.insertText(piece);
        return;
    }
    if (!atCursor) {
        QTextCursor end(area->document());
        end.movePosition(QTextCursor::End);
        end.insertText(piece);
    } else if (cursorMoved()) {
        pendingCursor.insertText(piece);
    } else {
        // Both cursors stand here, and both move past the piece.
        area->insertPlainText(piece);
    }
}

void RcvArea::holdPaint(bool hold)
{
    paintHeld = hold;
    if (!hold && !cursorMoved())
        area->ensureCursorVisible();
    area->setUpdatesEnabled(!hold);
}
