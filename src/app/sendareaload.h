#pragma once

#include "loadedtext.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTextCursor>
#include <QTimer>

#include <memory>

QT_BEGIN_NAMESPACE
class QFile;
class QPlainTextEdit;
QT_END_NAMESPACE

// Loads an open file's text into a send area at its cursor, in passes that
// each hold the event loop for a bounded time, so the window keeps
// answering while a big file or an endless device is read. A file that is
// read and inserted within the first pass is in the area when the
// constructor returns. The object deletes itself once the load is done.
class SendAreaLoad final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SendAreaLoad)

public:
    // Loading stops here: beyond it the area is no longer usable, and an
    // endless source would never end.
    static constexpr qint64 MaxLoadedBytes = 16 * 1024 * 1024;

    SendAreaLoad(std::unique_ptr<QFile> file, QPlainTextEdit *area, QObject *parent);
    ~SendAreaLoad() override;

signals:
    void finished();

private:
    void pass();
    // Reads what the file has; false while a pipe has nothing yet.
    bool readSome();
    // Inserts the next piece that ends at a line break; with `all` also
    // text that ends inside a line. False when nothing was inserted.
    bool insertPiece(bool all);
    void end();

    std::unique_ptr<QFile> file;
    QPointer<QPlainTextEdit> area;
    QTextCursor cursor;
    // The document's revision after the last piece went in; -1 before the
    // first. While nothing else has changed the document since, the next
    // piece joins the same undo step.
    int insertedRevision = -1;
    LoadedText loaded{MaxLoadedBytes};
    // Text decoded but not in the area yet.
    QString waiting;
    bool fileEnded = false;
    QTimer nextPass;
};
