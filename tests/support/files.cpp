#include "files.h"

#include <QCryptographicHash>
#include <QFile>
#include <QList>
#include <QRandomGenerator64>
#include <QTemporaryDir>

namespace testsupport {

QByteArray randomBytes(qsizetype length, quint32 seed)
{
    QList<quint32> words((length + 3) / 4);
    QRandomGenerator(seed).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), length);
}

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray sha256OfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    if (!writeFile(path, bytes))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray writeRandomFile(const QString &path, qint64 size, quint64 seed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    QRandomGenerator64 random(seed);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray block(MiB, Qt::Uninitialized);
    for (qint64 written = 0; written < size;) {
        const qint64 piece = qMin<qint64>(MiB, size - written);
        random.fillRange(reinterpret_cast<quint64 *>(block.data()), MiB / 8);
        if (file.write(block.constData(), piece) != piece)
            return {};
        hash.addData(QByteArrayView(block.constData(), piece));
        written += piece;
    }
    return file.flush() ? hash.result().toHex() : QByteArray();
}

} // namespace testsupport
