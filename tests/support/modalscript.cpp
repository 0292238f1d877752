#include "modalscript.h"

#include "modalguard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <utility>

namespace testsupport {

ModalScript::ModalScript()
{
    lookSoon();
}

ModalScript::ModalScript(std::vector<ModalStep> steps)
    : steps(std::move(steps))
{
    lookSoon();
}

ModalScript &ModalScript::otherwise(std::function<void(QWidget *)> handler)
{
    fallback = std::move(handler);
    return *this;
}

void ModalScript::lookSoon()
{
    QTimer::singleShot(5, this, [this] { look(); });
}

void ModalScript::look()
{
    // Looking on first: an answer may run a nested event loop.
    lookSoon();
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal == acting)
        return;
    const bool again = modal == answered;
    if (!finished() && modal->metaObject()->inherits(steps[next].type)) {
        const ModalStep &step = steps[next++];
        answered = modal;
        titles.append(modal->windowTitle());
        seen.append(modalNote(modal));
        QPointer<QWidget> outer = std::exchange(acting, modal);
        step.action(modal);
        acting = outer;
        return;
    }
    if (fallback) {
        QPointer<QWidget> outer = std::exchange(acting, modal);
        answered = modal;
        fallback(modal);
        acting = outer;
        return;
    }
    const auto *box = qobject_cast<QMessageBox *>(modal);
    unexpected.append(box ? box->text() : modal->windowTitle());
    failModal(modal, again ? "a dialog stayed open after its answer" : "a dialog came up that no step expected");
}

void pickFile(QFileDialog *dialog, const QString &path)
{
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    if (!name) {
        QTest::qFail("the file dialog has no name field", __FILE__, __LINE__);
        dialog->reject();
        return;
    }
    name->setText(path);
    static_cast<QDialog *>(dialog)->accept();
}

void cancelDialog(QFileDialog *dialog)
{
    static_cast<QDialog *>(dialog)->reject();
}

ModalStep choose(const QString &path)
{
    return answer<QFileDialog>([path](QFileDialog *dialog) { pickFile(dialog, path); });
}

std::function<void(QMessageBox *)> okBox(QString *text)
{
    return [text](QMessageBox *box) {
        if (text)
            *text = box->text();
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else if (QAbstractButton *yes = box->button(QMessageBox::Yes))
            yes->click();
        else
            box->accept();
    };
}

} // namespace testsupport
