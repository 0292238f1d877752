#include "sendareaload.h"

#include "sendtextedit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTextDocument>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

SendAreaLoad::SendAreaLoad(std::unique_ptr<QFile> file, QPlainTextEdit *area, QObject *parent)
    : QObject(parent)
    , file(std::move(file))
    , area(area)
    , cursor(area->textCursor())
{
    setObjectName(QStringLiteral("sendAreaLoad"));
    // The file's text joins what stands around the cursor in its paragraph.
    const ParagraphAround around = paragraphAround(cursor);
    paragraphs = ParagraphMeter(around.before);
    charsAfter = around.after;
    if (!this->file->isSequential())
        total = qMin(this->file->size(), MaxLoadedBytes);
    nextPass.setSingleShot(true);
    connect(&nextPass, &QTimer::timeout, this, &SendAreaLoad::pass);
    connect(area->document(), &QTextDocument::contentsChange, this, &SendAreaLoad::areaChanged);
}

SendAreaLoad::~SendAreaLoad() = default;

void SendAreaLoad::start()
{
    pass();
}

void SendAreaLoad::stop()
{
    end(Outcome::Stopped);
}

void SendAreaLoad::pass()
{
    if (!area)
        return end(Outcome::Stopped);
    QElapsedTimer clock;
    clock.start();
    while (!clock.hasExpired(LoadPassMs)) {
        if (takingBack || lineTooLong()) {
            takingBack = true;
            if (!takeBackStep())
                return end(Outcome::LineTooLong);
            break;
        }
        if (insertPiece(false))
            continue;
        if (fileEnded || loaded.full()) {
            insertPiece(true);
            return end(Outcome::Loaded);
        }
        if (!readSome()) {
            emit progress(done, total);
            nextPass.start(LoadPipeRetryMs);
            return;
        }
    }
    // The rest after the events that waited meanwhile.
    emit progress(done, total);
    nextPass.start(0);
}

bool SendAreaLoad::readSome()
{
    const int fd = file->handle();
    if (file->isSequential()) {
        // A pipe whose writer has not written yet must not hold the window.
        pollfd ready = {fd, POLLIN, 0};
        int n = -1;
        do
            n = ::poll(&ready, 1, 0);
        while (n < 0 && errno == EINTR);
        if (n == 0)
            return false;
    }
    QByteArray chunk(LoadReadBytes, Qt::Uninitialized);
    ssize_t n = -1;
    do
        n = ::read(fd, chunk.data(), size_t(chunk.size()));
    while (n < 0 && errno == EINTR);
    if (n <= 0) {
        // The end, or a read that failed: what was read so far is loaded.
        loaded.finish();
        fileEnded = true;
    } else {
        done += n;
        if (total > 0)
            done = qMin(done, total);
        loaded.feed(QByteArrayView(chunk.constData(), n));
        if (loaded.full())
            loaded.finish();
    }
    const QString text = loaded.takeText();
    paragraphs.add(text);
    waiting.append(text);
    return true;
}

bool SendAreaLoad::lineTooLong() const
{
    // The open paragraph is followed by what stood after the cursor until
    // the next line break goes in, and for good after the last line.
    return paragraphs.longest() > MaxParagraphChars
        || paragraphs.open() + loaded.openLineBytes() / 3 + charsAfter > MaxParagraphChars;
}

bool SendAreaLoad::insertPiece(bool all)
{
    if (waiting.isEmpty())
        return false;
    qsizetype size = waiting.size();
    if (!all || size > LoadInsertChars) {
        // After the last line break within a piece, else after the first
        // one beyond it.
        qsizetype lineEnd = waiting.lastIndexOf(QLatin1Char('\n'), qMin(size, LoadInsertChars) - 1);
        if (lineEnd < 0)
            lineEnd = waiting.indexOf(QLatin1Char('\n'), LoadInsertChars);
        if (lineEnd >= 0)
            size = lineEnd + 1;
        else if (!all)
            return false;
    }
    // Inside an edit block the cursor leaves its x position for later, and
    // working it out would take one more pass over a long paragraph. A load
    // that nothing interrupts stays one undo step while that step is short
    // enough to undo at once.
    changing = true;
    if (insertedRevision == area->document()->revision() && undoStepChars + size <= MaxEditChars) {
        cursor.joinPreviousEditBlock();
        undoStepChars += size;
    } else {
        cursor.beginEditBlock();
        undoStepChars = size;
        ++undoSteps;
    }
    cursor.insertText(size == waiting.size() ? waiting : waiting.left(size));
    cursor.endEditBlock();
    changing = false;
    insertedRevision = area->document()->revision();
    waiting.remove(0, size);
    return true;
}

void SendAreaLoad::areaChanged()
{
    // A load that was being taken back was refused all the same.
    if (!changing)
        end(takingBack ? Outcome::LineTooLong : Outcome::Stopped);
}

bool SendAreaLoad::takeBackStep()
{
    // Nothing else has changed the area since the load began (that would
    // have ended it), so the load's steps are the last ones to undo; once
    // undone, they leave nothing to redo either.
    if (!area)
        return false;
    QTextDocument *document = area->document();
    changing = true;
    const bool undone = undoSteps > 0;
    if (undone) {
        document->undo();
        --undoSteps;
    } else if (insertedRevision >= 0) {
        document->clearUndoRedoStacks(QTextDocument::RedoStack);
    }
    changing = false;
    return undone;
}

void SendAreaLoad::end(Outcome outcome)
{
    if (ended)
        return;
    ended = true;
    nextPass.stop();
    if (area)
        disconnect(area->document(), nullptr, this, nullptr);
    file->close();
    deleteLater();
    emit finished(outcome);
}
