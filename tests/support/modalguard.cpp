#include "modalguard.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>

namespace testsupport {

QString modalNote(QWidget *modal)
{
    QString note = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        note += u'|' + box->text();
    else if (auto *files = qobject_cast<QFileDialog *>(modal))
        note += u'|' + files->nameFilters().join(u';');
    return note;
}

void dismissModal(QWidget *modal)
{
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}

void failModal(QWidget *modal, const char *what)
{
    const QString message = QStringLiteral("%1: \"%2\"").arg(QLatin1String(what), modalNote(modal));
    QTest::qFail(qPrintable(message), __FILE__, __LINE__);
    dismissModal(modal);
}

ModalGuard::ModalGuard(QObject *parent)
    : QObject(parent)
{
    timer.setInterval(100);
    connect(&timer, &QTimer::timeout, this, &ModalGuard::look);
    timer.start();
}

void ModalGuard::look()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        watched = nullptr;
        return;
    }
    if (modal != watched) {
        watched = modal;
        since.start();
        return;
    }
    if (since.hasExpired(UnansweredMs)) {
        watched = nullptr;
        failModal(modal, "a dialog was never answered");
    }
}

void installModalGuard()
{
    // The application object is still being built here.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            if (qobject_cast<QApplication *>(QCoreApplication::instance()))
                new ModalGuard(QCoreApplication::instance());
        },
        Qt::QueuedConnection);
}

} // namespace testsupport
