#pragma once

#include <QPlainTextEdit>

#include <functional>

QT_BEGIN_NAMESPACE
class QTextCursor;
QT_END_NAMESPACE

// Characters of the paragraph that stand before and after what an insertion
// at the cursor replaces: the inserted text joins them.
struct ParagraphAround
{
    qsizetype before = 0;
    qsizetype after = 0;
};
ParagraphAround paragraphAround(const QTextCursor &cursor);

// The send area: a plain text edit that refuses a paste or a drop of more
// text than it takes in at once, or one which would make a paragraph longer
// than it lays out in time, and leaves its text as it was. It adds no signals or slots of its own, so it keeps
// the meta-object, and the class name, of a plain text edit.
class SendTextEdit final : public QPlainTextEdit
{
public:
    using QPlainTextEdit::QPlainTextEdit;
    Q_DISABLE_COPY_MOVE(SendTextEdit)

    // Tells the user why a paste or a drop was refused: a line too long,
    // else too much text.
    std::function<void(bool lineTooLong)> onRefused;

protected:
    void insertFromMimeData(const QMimeData *source) override;
};
