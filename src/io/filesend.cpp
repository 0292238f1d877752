#include "filesend.h"

#include <QIODevice>

#include <limits>

QString sendTotalText(quint32 byteCount)
{
    const float kibibytes = float(byteCount / 1024.0);
    return QStringLiteral("%1").arg(double(kibibytes) / 1024);
}

int progressShift(qint64 total)
{
    int shift = 0;
    while ((total >> shift) > std::numeric_limits<int>::max())
        ++shift;
    return shift;
}

FileSender::FileSender(QIODevice *file, Link link, QObject *parent)
    : QObject(parent)
    , file(file)
    , link(std::move(link))
{
    setObjectName(QStringLiteral("fileSender"));
    nextPass.setSingleShot(true);
    nextPass.setTimerType(Qt::PreciseTimer);
    connect(&nextPass, &QTimer::timeout, this, &FileSender::pass);
}

void FileSender::start()
{
    // Every send starts at the beginning of the file.
    if (file && file->isOpen() && !file->isSequential())
        file->seek(0);
    total = file && file->isOpen() ? file->bytesAvailable() : 0;
    emit progress(0, total);
    sinceDisplay.start();
    pass();
}

void FileSender::pass()
{
    if (ended)
        return;
    if (!file || !file->isOpen() || !link.goesOn())
        return end();
    if (link.datagrams) {
        // At most one datagram a gap, measured from the last one.
        const qint64 leftNs = sinceDatagram.isValid() ? FileDatagramGapMs * 1000000 - sinceDatagram.nsecsElapsed() : 0;
        if (leftNs > 0) {
            nextPass.start(int((leftNs + 999999) / 1000000));
            return;
        }
        if (!sendChunk())
            return end();
        sinceDatagram.start();
        nextPass.start(FileDatagramGapMs);
    } else {
        // A slow reader must not make the file pile up in memory: the send
        // looks again a little later.
        if (link.queued() > MaxQueuedBytes) {
            nextPass.start(FileQueueWaitMs);
            return;
        }
        for (int chunk = 0; chunk < FileChunksPerPass && link.queued() <= MaxQueuedBytes; ++chunk) {
            if (!sendChunk())
                return end();
        }
        nextPass.start(0);
    }
    if (sinceDisplay.hasExpired(SendDisplayIntervalMs)) {
        emit progress(sent, total);
        sinceDisplay.restart();
    }
}

bool FileSender::sendChunk()
{
    if (!file || !file->isOpen() || !link.goesOn())
        return false;
    char chunk[FileChunk];
    const qint64 n = file->read(chunk, FileChunk);
    if (n <= 0)
        return false; // the end of the file, or a failed read
    // A chunk the link did not take is neither counted nor followed by more:
    // a refusal (a target that is no address) holds for the rest.
    if (!link.write(QByteArrayView(chunk, n), &refusal))
        return false;
    sent += n;
    return true;
}

void FileSender::end()
{
    ended = true;
    nextPass.stop();
    emit progress(sent, total);
    emit finished(refusal);
    deleteLater();
}
