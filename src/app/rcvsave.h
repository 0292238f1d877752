#pragma once

#include <QObject>
#include <QPointer>
#include <QStringEncoder>
#include <QTimer>

#include <memory>

QT_BEGIN_NAMESPACE
class QFile;
class QTextDocument;
QT_END_NAMESPACE

// Writes the receive area's plain text, as it stands when the save starts,
// to an open file in the locale's encoding, in passes of a bounded number of
// lines, with no copy of the whole text. Received text may keep coming at the end of the area
// meanwhile: it lies beyond the saved range. Whoever changes the area
// before end() first calls finishNow(). The object deletes itself once the
// save has ended.
class RcvSave final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RcvSave)

public:
    RcvSave(std::unique_ptr<QFile> file, const QTextDocument *document, QObject *parent);
    ~RcvSave() override;

    // Runs the first pass; the rest follow from the event loop.
    void start();
    // Writes what is left at once: the saved text is about to change.
    void finishNow();
    // The saved text is the document's up to this position.
    int end() const { return savedEnd; }

signals:
    // Characters written so far, of total.
    void progress(qint64 done, qint64 total);
    // The save has ended; saved is false when the file did not take it
    // all. The last thing the object does before it goes.
    void finished(bool saved);

private:
    void pass();
    // Writes the next lines; false once nothing is left to write.
    bool writeSome();
    void finish();

    std::unique_ptr<QFile> file;
    QPointer<const QTextDocument> document;
    int savedEnd = 0;
    // The next position to write.
    int next = 0;
    QStringEncoder encoder{QStringConverter::System};
    bool failed = false;
    bool ended = false;
    QTimer nextPass;
};
