#pragma once

#include <QString>

namespace testsupport {

// Runs a block with another working directory and restores the old one.
class WorkingDirectory final
{
public:
    explicit WorkingDirectory(const QString &path);
    ~WorkingDirectory();
    Q_DISABLE_COPY_MOVE(WorkingDirectory)

private:
    QString m_previous;
};

} // namespace testsupport
