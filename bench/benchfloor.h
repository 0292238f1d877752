#pragma once

#include <QPlainTextEdit>
#include <QSize>
#include <QTcpServer>
#include <QTextCursor>
#include <QTimer>

QT_BEGIN_NAMESPACE
class QTcpSocket;
QT_END_NAMESPACE

// The floor a receive row stands beside: a bare read-only QPlainTextEdit,
// undo off, that listens on 127.0.0.1 and shows each read of its one client
// as the window's receive area shows it (text or hex, rendered and broken
// by the core's own functions), inserted at the end through a cursor of its
// own, with painting held back and let through once a frame. The window's
// source header is left out.
class FloorArea final
{
    Q_DISABLE_COPY_MOVE(FloorArea)

public:
    FloorArea(bool hex, QSize size);
    // 0 when it does not listen.
    quint16 port() const { return server.serverPort(); }
    QTcpServer *tcpServer() { return &server; }
    qint64 bytesRead() const { return read; }
    QPlainTextEdit &widget() { return area; }
    // Paints what came last and lets the widget paint as it likes again.
    void finish();

private:
    void accept();
    void readAvailable();
    void put(QByteArrayView bytes);
    void paintFrame();

    const bool hex;
    QPlainTextEdit area;
    QTextCursor end;
    QTcpServer server;
    QTcpSocket *client = nullptr;
    QTimer frame;
    qint64 read = 0;
    int column = 0;
    // Something was inserted since the last frame.
    bool changed = false;
};
