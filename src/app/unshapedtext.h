#pragma once

#include <QObject>

QT_BEGIN_NAMESPACE
class QPlainTextEdit;
QT_END_NAMESPACE

// Draws a plain text edit's Latin text without shaping it for kerning and
// ligatures. A long line is laid out whole on every change, and shaping is a
// fifth to a third of that time. The widget keeps the application font; only
// its document's font carries the hint, and gets it again whenever the widget
// font changes, since the widget then hands its own font to the document.
// Scripts that need shaping to be legible are still shaped.
class UnshapedText final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UnshapedText)

public:
    explicit UnshapedText(QPlainTextEdit *edit);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply();

    QPlainTextEdit *edit = nullptr;
};
