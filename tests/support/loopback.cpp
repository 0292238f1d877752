#include "loopback.h"

#include "linkmode.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

quint16 sendAndReset(quint16 port, const QByteArray &bytes)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr_in local = {};
    socklen_t length = sizeof local;
    const bool sent = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length) == 0
        && ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    const linger abort = {1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
    return sent ? ntohs(local.sin_port) : 0;
}

} // namespace testsupport
