#include "rcvarea.h"

#include "rcvflow.h"
#include "rcvsave.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
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
    if (flow.pending().isActive()) {
        flow.pending().insert(text);
        return;
    }
    changing(area->textCursor().selectionStart());
    area->insertPlainText(text);
    trim();
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
    changing(cursor.selectionStart());
    area->insertPlainText(breakLongLines(piece, column, trailing, rule));
    trim();
}

void RcvArea::appendLine(RcvFlow &flow, const QString &text)
{
    if (flow.pending().isActive()) {
        flow.pending().appendParagraph(text);
        return;
    }
    area->appendPlainText(text);
    trim();
}

void RcvArea::put(const QString &piece, bool atCursor)
{
    if (!atCursor) {
        QTextCursor end(area->document());
        end.movePosition(QTextCursor::End);
        end.insertText(piece);
    } else if (paintHeld || cursorMoved()) {
        // Held: the area's cursor, where it stands here, moves past the
        // piece as well; the area scrolls to it once, when it paints again.
        changing(pendingCursor.position());
        pendingCursor.insertText(piece);
    } else {
        // Both cursors stand here, and both move past the piece.
        changing(pendingCursor.position());
        area->insertPlainText(piece);
    }
    trim();
}

void RcvArea::holdPaint(bool hold)
{
    paintHeld = hold;
    if (!hold && !cursorMoved())
        area->ensureCursorVisible();
    area->setUpdatesEnabled(!hold);
}

void RcvArea::replace(RcvFlow &flow, const QString &text)
{
    flow.drop();
    finishSave();
    if (text.isEmpty())
        area->clear();
    else
        area->setPlainText(text);
}

RcvSave *RcvArea::save(std::unique_ptr<QFile> file, QObject *parent)
{
    finishSave();
    running = new RcvSave(std::move(file), area->document(), parent);
    // Lines held back while the save read them leave once it has ended.
    QObject::connect(running, &RcvSave::finished, area, [this] {
        running = nullptr;
        trim();
    });
    return running;
}

void RcvArea::finishSave()
{
    if (running)
        running->finishNow();
}

void RcvArea::setBound(qsizetype chars)
{
    bound = chars;
    trim();
}

void RcvArea::changing(int position)
{
    if (running && position < running->end())
        running->finishNow();
}

void RcvArea::trim()
{
    // A running save reads the area as it stood; the area catches up once
    // the save has ended.
    if (running)
        return;
    QTextDocument *document = area->document();
    const qsizetype excess = qsizetype(document->characterCount()) - 1 - bound;
    if (excess <= 0)
        return;
    // Whole lines go, up to and with the one that holds the last character
    // too many; the last line, which text may still join, always stays.
    QTextBlock first = document->findBlock(int(excess - 1)).next();
    if (!first.isValid())
        first = document->lastBlock();
    if (first == document->firstBlock())
        return;
    // A reader who scrolled back keeps the lines in view where they are.
    QScrollBar *bar = area->verticalScrollBar();
    const int value = bar->value();
    const bool following = value == bar->maximum();
    const int linesGone = first.firstLineNumber();
    // A cursor set by position, not moved line by line: moving over lines
    // would lay each of them out first.
    QTextCursor gone(document);
    gone.setPosition(first.position(), QTextCursor::KeepAnchor);
    gone.removeSelectedText();
    if (!following)
        bar->setValue(qMax(0, value - linesGone));
}
