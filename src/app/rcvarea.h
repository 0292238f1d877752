#pragma once

#include "rcvdisplay.h"

#include <QPointer>
#include <QString>
#include <QTextCursor>

#include <memory>

QT_BEGIN_NAMESPACE
class QFile;
class QObject;
class QPlainTextEdit;
QT_END_NAMESPACE

class RcvFlow;
class RcvSave;

// The receive area as the receive flow fills it, and the one place that
// writes to it: whatever changes the area first puts the flow's pending
// text in, or drops it, so that text never lands out of order. Received text is rendered
// into the flow's pending text for the place of the area's cursor when the
// text began to collect, and goes in there later; paragraphs that the
// rendering appends go to the end. With a selection in the area nothing is
// collected, and chunks go into the area directly, replacing it.
//
// The area keeps at most MaxRcvAreaChars characters: past it, it rolls over
// to its newest lines, as a log does. A save reads
// the area as it stood at the click, in passes; text may keep coming at the
// end meanwhile, and any other change first lets the save write the rest.
class RcvArea final
{
    Q_DISABLE_COPY_MOVE(RcvArea)

public:
    explicit RcvArea(RcvFlow &flow) : flow(flow) {}
    void attach(QPlainTextEdit *widget);

    // Starts collecting for the cursor unless text for it is being
    // collected already; a cursor moved meanwhile first gets what waits.
    void prepare();
    // The area's operations, on the pending text while it collects.
    bool hasText() const;
    void insert(const QString &text);
    // Data at the cursor, broken so that no line grows past the area's
    // line limit.
    void insertData(const QString &piece, LineBreaks rule);
    void appendLine(const QString &text);
    // A paragraph at the end, after everything read so far.
    void appendNote(const QString &text);
    // Puts everything read so far into the area now.
    void flush();
    // Puts everything in and lets a running save write the rest: the
    // window is closing.
    void finish();
    // Text that follows goes at the end, wherever the user's cursor stood.
    void moveCursorToEnd();

    // What the flow hands over: a piece for the cursor or for the end.
    void put(const QString &piece, bool atCursor);
    // Holds painting and scrolling to the cursor back, or lets both happen.
    void holdPaint(bool hold);

    // Replaces everything in the area, waiting text included, with text.
    void replace(const QString &text);

    // Starts writing the area's text, with everything read so far, to an
    // open file; a save still running is finished first. The save reports to whoever connects to it.
    RcvSave *save(std::unique_ptr<QFile> file, QObject *parent);
    // Writes the rest of a running save at once.
    void finishSave();
    bool saving() const { return !running.isNull(); }

    // Only the test suite lowers it.
    void setBound(qsizetype chars);

private:
    bool cursorMoved() const;
    // Text is about to change at position: a save that has not written it
    // yet writes everything first.
    void changing(int position);
    // Past the bound, the area starts again with its newest lines.
    void trim();

    RcvFlow &flow;
    QPlainTextEdit *area = nullptr;
    // The cursor the pending text was rendered for.
    QTextCursor pendingCursor;
    // While a backlog goes in, the area paints once a frame only.
    bool paintHeld = false;
    qsizetype bound = MaxRcvAreaChars;
    QPointer<RcvSave> running;
};
