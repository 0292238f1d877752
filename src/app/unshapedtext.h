#pragma once

#include <QObject>

QT_BEGIN_NAMESPACE
class QPlainTextEdit;
QT_END_NAMESPACE

// Lets a plain text edit draw its Latin text without shaping it for kerning
// and ligatures, while it is switched on. A long line is laid out whole on
// every change, and shaping is about a fifth of that time. Arabic text drawn
// this way loses its joined forms, so it suits text known to be ASCII, such
// as hex notation. The widget keeps its font; only its document's font
// carries the hint, and gets it again whenever the widget font changes,
// since the widget then hands its own font to the document.
class UnshapedText final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UnshapedText)

public:
    explicit UnshapedText(QPlainTextEdit *edit);

    void setOn(bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply();

    QPlainTextEdit *edit = nullptr;
    bool on = false;
};
