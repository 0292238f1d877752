#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace testsupport {

// How long a modal widget may stay up without an answer before the row
// fails. Answers come within milliseconds; only a forgotten dialog lasts.
constexpr int UnansweredMs = 10000;

// A note naming a modal widget for failure messages and test logs: the
// title, then a box's text or a file dialog's filters.
QString modalNote(QWidget *modal);
// Closes a modal widget that nobody should see.
void dismissModal(QWidget *modal);
// Fails the running test function with a message naming the modal widget,
// and closes it so that the test goes on instead of waiting on it.
void failModal(QWidget *modal, const char *what);

// Watches over every test: a modal widget that stays up unanswered for
// UnansweredMs fails the row it came up in and is closed.
class ModalGuard final : public QObject
{
public:
    explicit ModalGuard(QObject *parent);

private:
    void look();

    QTimer timer;
    QPointer<QWidget> watched;
    QElapsedTimer since;
};

// Starts a ModalGuard with the first event pass of the application; the
// window test executables call it when their application object is made
// (modalguardstartup.cpp).
void installModalGuard();

} // namespace testsupport
