#pragma once

#include "bounds.h"
#include "loadedtext.h"
#include "paragraphs.h"

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
// read and inserted within the first pass is in the area when start()
// returns.
//
// The load yields to the user: a change to the area that the load did not
// make (typing, pasting, undo, clearing) ends it, and what it has put in so
// far stays where it is. A load is one step to undo, or several for a big
// one, so that no step takes long to undo or redo. The user's caret is never moved by the load, but
// as any insertion at the caret moves it. A line that would make a
// paragraph longer than the area can lay out in time is not loaded at all:
// the load takes back what it put in, a step a pass, and ends as refused. The object
// deletes itself once the load has ended.
class SendAreaLoad final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SendAreaLoad)

public:
    enum class Outcome { Loaded, Stopped, LineTooLong };
    Q_ENUM(Outcome)

    SendAreaLoad(std::unique_ptr<QFile> file, QPlainTextEdit *area, QObject *parent);
    ~SendAreaLoad() override;

    // Runs the first pass; the rest follow from the event loop.
    void start();
    // Ends the load where it stands; what it put in stays.
    void stop();

signals:
    // Bytes of the file taken so far, of total (0 when the size is not
    // known in advance, as for a pipe or a device).
    void progress(qint64 done, qint64 total);
    // The load has ended. The last thing the object does before it goes.
    void finished(SendAreaLoad::Outcome outcome);

private:
    void pass();
    // Reads what the file has; false while a pipe has nothing yet.
    bool readSome();
    // Inserts the next piece that ends at a line break; with `all` also
    // text that ends inside a line. False when nothing was inserted.
    bool insertPiece(bool all);
    // Whether the text read so far makes a paragraph too long for the area.
    bool lineTooLong() const;
    // Something other than the load changed the area.
    void areaChanged();
    // Takes back the last step the load put in; false once none is left.
    bool takeBackStep();
    void end(Outcome outcome);

    std::unique_ptr<QFile> file;
    QPointer<QPlainTextEdit> area;
    QTextCursor cursor;
    // Characters that follow the cursor in its paragraph: they end up after
    // the last loaded line.
    qsizetype charsAfter = 0;
    ParagraphMeter paragraphs;
    // The document's revision after the last piece went in; -1 before the
    // first. While nothing else has changed the document since, the next
    // piece joins the same undo step, as long as that step stays short
    // enough to undo at once.
    int insertedRevision = -1;
    qsizetype undoStepChars = 0;
    int undoSteps = 0;
    // A line too long was met: the load's steps are undone, one a pass.
    bool takingBack = false;
    // True while the load itself changes the area.
    bool changing = false;
    bool ended = false;
    qint64 total = 0;
    qint64 done = 0;
    LoadedText loaded{MaxLoadedBytes};
    // Text decoded but not in the area yet.
    QString waiting;
    bool fileEnded = false;
    QTimer nextPass;
};
