#include "sendtextedit.h"

#include "paragraphs.h"

#include <QMimeData>
#include <QTextBlock>

void SendTextEdit::insertFromMimeData(const QMimeData *source)
{
    const QString text = source->text();
    bool lineTooLong = false;
    if (text.size() <= MaxEditChars) {
        // The text replaces the selection and joins what stands before and
        // after it in its paragraph.
        const QTextCursor cursor = textCursor();
        const QTextBlock first = document()->findBlock(cursor.selectionStart());
        const QTextBlock last = document()->findBlock(cursor.selectionEnd());
        ParagraphMeter paragraphs(cursor.selectionStart() - first.position());
        paragraphs.add(text);
        const qsizetype after = last.position() + last.length() - 1 - cursor.selectionEnd();
        lineTooLong = paragraphs.longest() > MaxParagraphChars || paragraphs.open() + after > MaxParagraphChars;
    }
    if (text.size() > MaxEditChars || lineTooLong) {
        if (onRefused)
            onRefused(lineTooLong);
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}
