#pragma once

#include <QPlainTextEdit>

#include <functional>

// The send area: a plain text edit that refuses a paste or a drop which
// would make a paragraph longer than the area lays out in time, and leaves
// its text as it was. It adds no signals or slots of its own, so it keeps
// the meta-object, and the class name, of a plain text edit.
class SendTextEdit final : public QPlainTextEdit
{
public:
    using QPlainTextEdit::QPlainTextEdit;
    Q_DISABLE_COPY_MOVE(SendTextEdit)

    // Tells the user why a paste or a drop was refused.
    std::function<void()> onRefused;

protected:
    void insertFromMimeData(const QMimeData *source) override;
};
