#pragma once

#include "bounds.h"

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

QT_BEGIN_NAMESPACE
class QIODevice;
QT_END_NAMESPACE

// The megabyte total of a file send as its closing note shows it: the byte
// count divided by 1024 in single precision, then by 1024 again, in general
// format with six significant digits ("0", "0.00146484", "1", "9.53674e-05").
QString sendTotalText(quint32 byteCount);

// How far byte counts must be shifted right so that a file of total bytes
// fits a progress bar's int range; 0 for files under 2 GiB.
int progressShift(qint64 total);

// Sends an open file over a link from its beginning, in chunks of
// FileChunk bytes, in passes on timers: events run between passes, so data
// keeps being received, loops keep ticking, and a dialog's own event loop
// keeps the send going. Over UDP a pass sends one datagram, at most one a
// FileDatagramGapMs; over TCP a pass sends FileChunksPerPass chunks, and
// the send waits while the link holds more than MaxQueuedBytes for a slow
// reader. It ends at the file's end (where a read returns nothing: a
// device such as /dev/zero never ends), at a chunk the link does not take,
// or once the file, the link or what the send serves is gone. The object
// deletes itself once the send has ended.
class FileSender final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileSender)

public:
    struct Link
    {
        // Hands a chunk to the link; false when the link did not take it
        // (refusal then says why, if the link refused it).
        std::function<bool(QByteArrayView chunk, QString *refusal)> write;
        // Bytes the link holds queued for writing.
        std::function<qint64()> queued;
        // Whether the link and whatever the send serves are still there.
        std::function<bool()> goesOn;
        // One datagram a chunk, paced; otherwise a stream.
        bool datagrams = false;
    };

    FileSender(QIODevice *file, Link link, QObject *parent);

    // Reports progress(0, total) and runs the first pass; the rest follow
    // from the event loop.
    void start();

signals:
    // Bytes sent of the bytes the file had: at the start, at most every
    // SendDisplayIntervalMs while the send runs, and at its end.
    void progress(qint64 sent, qint64 total);
    // The send has ended: the last thing the object does. refusal says why
    // the link refused a chunk, if it did.
    void finished(const QString &refusal);

private:
    void pass();
    // Sends one chunk; false once the send is over.
    bool sendChunk();
    void end();

    QPointer<QIODevice> file;
    Link link;
    qint64 total = 0;
    qint64 sent = 0;
    QElapsedTimer sinceDisplay;
    QElapsedTimer sinceDatagram;
    QString refusal;
    bool ended = false;
    QTimer nextPass;
};
