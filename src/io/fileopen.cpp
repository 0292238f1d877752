#include "fileopen.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int openNonBlocking(const QByteArray &path, int flags)
{
    int fd = -1;
    do
        fd = ::open(path.constData(), flags | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Whether a pipe opened for reading has something to give: data, or a
// writer that may still send some. tee() looks into the pipe without
// taking anything out of it; with nothing there it ends at once (0) when
// no writer is left, and would wait (EAGAIN) while one is.
bool pipeCanBeRead(int fd)
{
    int probe[2];
    if (::pipe2(probe, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    ssize_t n = -1;
    do
        n = ::tee(fd, probe[1], 1, SPLICE_F_NONBLOCK);
    while (n < 0 && errno == EINTR);
    const bool readable = n > 0 || (n < 0 && errno == EAGAIN);
    ::close(probe[0]);
    ::close(probe[1]);
    return readable;
}

} // namespace

bool openAtOnce(QFile &file, QIODevice::OpenMode mode)
{
    const QByteArray path = QFile::encodeName(file.fileName());
    struct stat info = {};
    if (path.isEmpty() || ::stat(path.constData(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))
        return file.open(mode);

    const bool reading = mode.testFlag(QIODevice::ReadOnly);
    const bool writing = mode.testFlag(QIODevice::WriteOnly);
    const int access = reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
    // A pipe opened for writing with no reader fails here (ENXIO) instead
    // of waiting for one.
    const int fd = openNonBlocking(path, access);
    if (fd < 0)
        return false;
    // Looked at again on the open file: the name may have changed meanwhile.
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)
        || (S_ISFIFO(info.st_mode) && access == O_RDONLY && !pipeCanBeRead(fd))) {
        ::close(fd);
        return false;
    }
    // Reads and writes wait as they do on any file the window opens.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    // The file closes the descriptor when it is closed.
    return file.open(fd, writing ? mode | QIODevice::Unbuffered : mode, QFileDevice::AutoCloseHandle);
}
