#pragma once

#include "rcvdisplay.h"

#include <QString>
#include <QTextCursor>

QT_BEGIN_NAMESPACE
class QPlainTextEdit;
QT_END_NAMESPACE

class RcvFlow;

// The receive area as the receive flow fills it. Received text is rendered
// into the flow's pending text for the place of the area's cursor when the
// text began to collect, and goes in there later; paragraphs that the
// rendering appends go to the end. With a selection in the area nothing is
// collected, and chunks go into the area directly, replacing it.
class RcvArea final
{
    Q_DISABLE_COPY_MOVE(RcvArea)

public:
    RcvArea() = default;
    void attach(QPlainTextEdit *widget) { area = widget; }

    // Starts collecting for the cursor unless text for it is being
    // collected already; a cursor moved meanwhile first gets what waits.
    void prepare(RcvFlow &flow);
    // The area's operations, on the pending text while it collects.
    bool hasText(const RcvFlow &flow) const;
    void insert(RcvFlow &flow, const QString &text);
    // Data at the cursor, broken so that no line grows past the area's
    // line limit.
    void insertData(RcvFlow &flow, const QString &piece, LineBreaks rule);
    void appendLine(RcvFlow &flow, const QString &text);

    // What the flow hands over: a piece for the cursor or for the end.
    void put(const QString &piece, bool atCursor);
    // Holds painting and scrolling to the cursor back, or lets both happen.
    void holdPaint(bool hold);

private:
    bool cursorMoved() const;

    QPlainTextEdit *area = nullptr;
    // The cursor the pending text was rendered for.
    QTextCursor pendingCursor;
    // While a backlog goes in, the area paints once a frame only.
    bool paintHeld = false;
};
