#pragma once

#include <QByteArray>
#include <QString>

QT_BEGIN_NAMESPACE
class QTemporaryDir;
QT_END_NAMESPACE

// Byte and file utilities of the tests and the benchmark.
namespace testsupport {

constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * 1024;

// `length` pseudo-random bytes, the same for the same seed.
QByteArray randomBytes(qsizetype length, quint32 seed);

// SHA-256 as lowercase hex.
QByteArray sha256(const QByteArray &bytes);
// SHA-256 of a file's contents as lowercase hex; empty when unreadable.
QByteArray sha256OfFile(const QString &path);

// A file's contents, or "(unreadable)".
QByteArray contents(const QString &path);
// Writes the bytes to path; false when that fails.
bool writeFile(const QString &path, const QByteArray &bytes);
// Writes the bytes to name in dir and returns the path; stops the
// program when that fails.
QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes);
// Writes `size` pseudo-random bytes in pieces, so files larger than memory
// work too, and returns their SHA-256; empty when writing failed.
QByteArray writeRandomFile(const QString &path, qint64 size, quint64 seed);

} // namespace testsupport
