#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

QT_BEGIN_NAMESPACE
class QFileDialog;
class QMessageBox;
class QWidget;
QT_END_NAMESPACE

namespace testsupport {

// Modal dialogs are real and are answered from the event loop: a look runs
// every few milliseconds through a chain of single-shot timers, so it also
// runs inside the nested event loop of a dialog that an answer raised (a
// repeating timer would not fire again while its own slot is running).

// One scripted answer: the modal widget must be a `type`; `action` answers it.
struct ModalStep
{
    const QMetaObject *type;
    std::function<void(QWidget *)> action;
};

template <typename T>
ModalStep answer(std::function<void(T *)> action)
{
    return {&T::staticMetaObject, [action = std::move(action)](QWidget *modal) { action(static_cast<T *>(modal)); }};
}

// Answers the modal widgets that come up, one step per widget, in order,
// as long as it exists. A modal widget that no step expects, or one that
// is still up after its answer when the next step does not expect it
// again, fails the row at once with its title and is dismissed, unless a
// fallback handler takes it (otherwise()).
class ModalScript final : public QObject
{
public:
    ModalScript();
    explicit ModalScript(std::vector<ModalStep> steps);

    // The next modal widget must be a T; action answers it.
    template <typename T>
    ModalScript &then(std::function<void(T *)> action)
    {
        steps.push_back(answer<T>(std::move(action)));
        return *this;
    }

    // Modal widgets that no step expects go to handler instead of failing
    // the row; a widget still up after the handler saw it comes back to it.
    ModalScript &otherwise(std::function<void(QWidget *)> handler);

    bool finished() const { return next == steps.size(); }
    // Titles of the widgets the steps answered.
    QStringList titles;
    // Notes (modalNote) of the widgets the steps answered, in order.
    QStringList seen;
    // Texts (or titles) of the modal widgets that no step expected.
    QStringList unexpected;

private:
    void lookSoon();
    void look();

    std::vector<ModalStep> steps;
    std::size_t next = 0;
    QPointer<QWidget> answered;
    // An answer that waits in the event loop is still at work on its widget.
    QPointer<QWidget> acting;
    std::function<void(QWidget *)> fallback;
};

// Chooses a path in a file dialog as the user does: types it into the name
// field and accepts. selectFile() is no answer here: it leaves the field
// alone while the field has the focus, and the field takes the focus only
// once the dialog has been activated, which the platform does at a moment
// of its own. accept() reads the field synchronously, so typing first
// gives the same outcome every time.
void pickFile(QFileDialog *dialog, const QString &path);
void cancelDialog(QFileDialog *dialog);
// A step that picks path in a file dialog.
ModalStep choose(const QString &path);

// Presses OK (or Yes, or accepts) and remembers the box's text.
std::function<void(QMessageBox *)> okBox(QString *text);

} // namespace testsupport
