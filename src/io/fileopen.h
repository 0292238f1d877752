#pragma once

#include <QFile>
#include <QIODevice>

// Opens file (its name already set) in mode without ever waiting on the
// window's thread. Regular files, directories and names of no file are
// opened as QFile::open opens them. Pipes and other special files are
// opened without blocking, and one that cannot be used at once fails: a
// named pipe opened for writing with no reader, or for reading with no
// writer and nothing left in it. Once open, the file blocks as usual. Written
// special files are unbuffered, so a pipe's reader gets every write as it is
// made and a write that fails shows at once.
bool openAtOnce(QFile &file, QIODevice::OpenMode mode);
