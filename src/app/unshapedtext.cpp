#include "unshapedtext.h"

#include <QEvent>
#include <QFont>
#include <QPlainTextEdit>

UnshapedText::UnshapedText(QPlainTextEdit *edit)
    : QObject(edit), edit(edit)
{
    edit->installEventFilter(this);
}

void UnshapedText::setOn(bool unshaped)
{
    if (unshaped == on)
        return;
    on = unshaped;
    apply();
}

bool UnshapedText::eventFilter(QObject *watched, QEvent *event)
{
    // The edit sets its document's font after the filters have seen the
    // change, so the hint goes back on once the event is done.
    if (on && watched == edit && event->type() == QEvent::FontChange)
        QMetaObject::invokeMethod(this, &UnshapedText::apply, Qt::QueuedConnection);
    return false;
}

void UnshapedText::apply()
{
    QFont font = edit->font();
    if (on)
        font.setStyleStrategy(QFont::PreferNoShaping);
    edit->document()->setDefaultFont(font);
}
