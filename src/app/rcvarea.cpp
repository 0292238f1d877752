#include "rcvarea.h"

#include "rcvflow.h"
#include "rcvsave.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

void RcvArea::attach(QPlainTextEdit *widget)
{
    area = widget;
    // Nobody can undo in the read-only area; its history would only hold a
    // copy of everything received.
    area->setUndoRedoEnabled(false);
}

void RcvArea::prepare()
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

bool RcvArea::hasText() const
{
    return flow.pending().isActive() ? flow.pending().hasText() : !area->document()->isEmpty();
}

void RcvArea::insert(const QString &text)
{
    if (flow.pending().isActive()) {
        flow.pending().insert(text);
        return;
    }
    changing(area->textCursor().selectionStart());
    area->insertPlainText(text);
    trim();
}

void RcvArea::insertData(const QString &piece, LineBreaks rule)
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

void RcvArea::appendLine(const QString &text)
{
    if (flow.pending().isActive()) {
        flow.pending().appendParagraph(text);
        return;
    }
    area->appendPlainText(text);
    trim();
}

void RcvArea::appendNote(const QString &text)
{
    flow.flush();
    area->appendPlainText(text);
    trim();
}

void RcvArea::flush()
{
    flow.flush();
}

void RcvArea::finish()
{
    flow.finish();
    finishSave();
}

void RcvArea::moveCursorToEnd()
{
    flow.flush();
    area->moveCursor(QTextCursor::End);
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

void RcvArea::replace(const QString &text)
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
    flow.flush();
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
    const int length = document->characterCount() - 1;
    if (length <= bound)
        return;
    // The area rolls over as a log does: it starts again with its newest
    // whole lines. Taking lines off the top one by one would leave the
    // document's text store to be compacted later, in one piece that takes
    // longer the more the area holds (half a second for a full area); a
    // new store costs a few tens of milliseconds.
    const int kept = int(qMin<qsizetype>(RcvAreaRollKeptChars, bound / 2));
    QTextBlock first = document->findBlock(length - kept);
    if (first.position() < length - kept)
        first = first.next();
    if (!first.isValid())
        first = document->lastBlock();
    const int cut = first.position();
    if (cut == 0)
        return;
    // The cursors keep their places in the lines that stay; one in the
    // lines that go goes to the start.
    const auto after = [cut](int position) { return qMax(0, position - cut); };
    const QTextCursor shown = area->textCursor();
    const int shownAnchor = after(shown.anchor());
    const int shownPosition = after(shown.position());
    const int pendingAnchor = after(pendingCursor.anchor());
    const int pendingPosition = after(pendingCursor.position());
    QTextCursor tail(document);
    tail.setPosition(cut);
    tail.setPosition(length, QTextCursor::KeepAnchor);
    // Raw text, paragraph separators included: inserted again it makes the
    // same lines.
    const QString text = tail.selectedText();
    document->clear();
    QTextCursor(document).insertText(text);
    QTextCursor restored(document);
    restored.setPosition(shownAnchor);
    restored.setPosition(shownPosition, QTextCursor::KeepAnchor);
    area->setTextCursor(restored);
    pendingCursor = QTextCursor(document);
    pendingCursor.setPosition(pendingAnchor);
    pendingCursor.setPosition(pendingPosition, QTextCursor::KeepAnchor);
}
