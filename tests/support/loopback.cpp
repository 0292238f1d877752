#include "loopback.h"

#include "linkmode.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <sys/socket.h>

namespace testsupport {

quint16 freeUdpPort()
{
    QUdpSocket udp;
    return udp.bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress) ? udp.localPort() : 0;
}

quint16 freeTcpPort()
{
    QTcpServer tcp;
    return tcp.listen(QHostAddress::LocalHost, 0) ? tcp.serverPort() : 0;
}

quint16 freePort(int mode)
{
    return mode == UdpLink ? freeUdpPort() : freeTcpPort();
}

bool ipv6LoopbackAvailable()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHostIPv6, 0);
}

void resetConnection(QTcpSocket *socket)
{
    const qintptr fd = socket->socketDescriptor();
    if (fd >= 0) {
        const linger hard{1, 0};
        ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    socket->abort();
}

} // namespace testsupport
