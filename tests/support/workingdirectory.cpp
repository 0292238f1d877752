#include "workingdirectory.h"

#include <QDir>

namespace testsupport {

WorkingDirectory::WorkingDirectory(const QString &path)
    : m_previous(QDir::currentPath())
{
    QDir::setCurrent(path);
}

WorkingDirectory::~WorkingDirectory()
{
    QDir::setCurrent(m_previous);
}

} // namespace testsupport
