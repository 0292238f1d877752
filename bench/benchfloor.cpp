#include "benchfloor.h"

#include "rcvdisplay.h"
#include "readpass.h"

#include <QTcpSocket>
#include <QTest>

namespace {

// A frame: how often the floor lets its widget paint.
constexpr int FrameMs = 25;

} // namespace

FloorArea::FloorArea(bool hex, QSize size)
    : hex(hex)
    , end(area.document())
{
    area.setReadOnly(true);
    area.setUndoRedoEnabled(false);
    area.resize(size);
    area.show();
    if (!QTest::qWaitForWindowExposed(&area, 10000))
        qWarning("the floor was not exposed");
    area.setUpdatesEnabled(false);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this] { accept(); });
    QObject::connect(&frame, &QTimer::timeout, &frame, [this] { paintFrame(); });
    server.listen(QHostAddress::LocalHost);
    frame.start(FrameMs);
}

void FloorArea::accept()
{
    if (client)
        return;
    client = server.nextPendingConnection();
    QObject::connect(client, &QTcpSocket::readyRead, client, [this] { readAvailable(); });
    readAvailable();
}

void FloorArea::readAvailable()
{
    // In reads of the size the window reads.
    while (client->bytesAvailable() > 0) {
        const QByteArray piece = client->read(MaxTcpChunk);
        if (piece.isEmpty())
            break;
        put(piece);
        read += piece.size();
    }
}

void FloorArea::put(QByteArrayView bytes)
{
    // Rendered and broken as the window's area renders and breaks a read;
    // the column carries over, so the lines break where the window's do.
    const QString piece = hex ? rcvHexText(bytes) : QString::fromUtf8(bytes);
    const QString text = breakLongLines(piece, column, 0, hex ? LineBreaks::HexGroups : LineBreaks::AnyCharacter);
    // The widget's own cursor stands at the end too, and moves along.
    end.insertText(text);
    const qsizetype lastBreak = text.lastIndexOf(QLatin1Char('\n'));
    column = lastBreak < 0 ? column + int(text.size()) : int(text.size() - lastBreak - 1);
    changed = true;
}

void FloorArea::paintFrame()
{
    if (!changed)
        return;
    changed = false;
    area.setUpdatesEnabled(true);
    area.ensureCursorVisible();
    area.repaint();
    area.setUpdatesEnabled(false);
}

void FloorArea::finish()
{
    frame.stop();
    area.setUpdatesEnabled(true);
    area.ensureCursorVisible();
    area.repaint();
}
