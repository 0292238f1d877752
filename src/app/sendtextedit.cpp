#include "sendtextedit.h"

#include "paragraphs.h"

#include <QMimeData>
#include <QTextBlock>

void SendTextEdit::insertFromMimeData(const QMimeData *source)
{
    // The text replaces the selection and joins what stands before and
    // after it in its paragraph.
    const QTextCursor cursor = textCursor();
    const QTextBlock first = document()->findBlock(cursor.selectionStart());
    const QTextBlock last = document()->findBlock(cursor.selectionEnd());
    ParagraphMeter paragraphs(cursor.selectionStart() - first.position());
    paragraphs.add(source->text());
    const qsizetype after = last.position() + last.length() - 1 - cursor.selectionEnd();
    if (paragraphs.longest() > MaxParagraphChars || paragraphs.open() + after > MaxParagraphChars) {
        if (onRefused)
            onRefused();
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}
