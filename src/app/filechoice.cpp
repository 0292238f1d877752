#include "mkestrunewidget.h"

#include "descriptors.h"

#include <QFileDialog>

// Capture and the data source both ask for their file this way.
QString mKestruneWidget::chooseAnyFile(const QString &title)
{
    if (!roomForFileDialog())
        return QString();
    // A list view that takes a typed new name as well as an existing file.
    QFileDialog fileDialog(this, QString(), QString(), QString());
    fileDialog.setViewMode(QFileDialog::List);
    fileDialog.setFileMode(QFileDialog::AnyFile);
    fileDialog.setWindowTitle(title);
    fileDialog.setNameFilter(tr("所有文件(*.*)"));
    if (fileDialog.exec() != QDialog::Accepted || fileDialog.selectedFiles().isEmpty())
        return QString();
    return fileDialog.selectedFiles().constFirst();
}

bool mKestruneWidget::roomForFileDialog()
{
    return freeDescriptors() >= DialogDescriptors;
}
