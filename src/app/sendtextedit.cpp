#include "sendtextedit.h"

#include "paragraphs.h"

#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

ParagraphAround paragraphAround(const QTextCursor &cursor)
{
    // The text replaces the selection, as a typed key does.
    const QTextDocument *document = cursor.document();
    const QTextBlock first = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    return {cursor.selectionStart() - first.position(), last.position() + last.length() - 1 - cursor.selectionEnd()};
}

void SendTextEdit::insertFromMimeData(const QMimeData *source)
{
    const QString text = source->text();
    bool lineTooLong = false;
    if (text.size() <= MaxEditChars) {
        const ParagraphAround around = paragraphAround(textCursor());
        ParagraphMeter paragraphs(around.before);
        paragraphs.add(text);
        lineTooLong = paragraphs.longest() > MaxParagraphChars || paragraphs.open() + around.after > MaxParagraphChars;
    }
    if (text.size() > MaxEditChars || lineTooLong) {
        if (onRefused)
            onRefused(lineTooLong);
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}
