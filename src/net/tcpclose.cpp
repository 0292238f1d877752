#include "tcpclose.h"

#include <QTcpSocket>
#include <QTimer>

void closeWhenWritten(QTcpSocket *socket, QObject *keeper, int graceMs)
{
    socket->setParent(keeper);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(graceMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->readAll();
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}
