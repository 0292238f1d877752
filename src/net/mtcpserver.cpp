#include "mtcpserver.h"

#include "descriptors.h"
#include "peertext.h"
#include "readpass.h"
#include "tcpclose.h"
#include "bounds.h"

#include <QByteArray>
#include <QTcpSocket>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <utility>

mTcpServer::mTcpServer(QObject *parent)
    : QTcpServer(parent)
{
    connect(this, &QTcpServer::newConnection, this, &mTcpServer::acceptNewClient);
    acceptRetry.setObjectName(QStringLiteral("acceptRetry"));
    acceptRetry.setSingleShot(true);
    acceptRetry.setInterval(AcceptRetryMs);
    connect(&acceptRetry, &QTimer::timeout, this, &mTcpServer::retryAccepting);
}

mTcpServer::~mTcpServer()
{
    // The listening socket closes with the base class.
    delete acceptNotifier;
    // The client sockets are children and die after this destructor body;
    // their last notices must not reach a server that is half gone.
    const auto sockets = findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly);
    for (QTcpSocket *socket : sockets)
        socket->disconnect(this);
}

qint64 mTcpServer::largestPendingWrite() const
{
    qint64 largest = 0;
    for (const QTcpSocket *socket : clientSocketList)
        largest = std::max(largest, socket->bytesToWrite());
    return largest;
}

void mTcpServer::closeClients(QObject *keeper, int graceMs)
{
    const QList<QTcpSocket *> sockets = std::exchange(clientSocketList, {});
    clientDescriptors.clear();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        closeWhenWritten(socket, keeper, graceMs);
    }
}

void mTcpServer::clientDisconnected()
{
    // A client that left may still have bytes buffered: a read pass delivers
    // them while the client is still listed, then reports the departure.
    clientDataReceived();
}

bool mTcpServer::listen(const QHostAddress &address, quint16 port)
{
    if (!QTcpServer::listen(address, port))
        return false;
    // QTcpServer's own accept path stays off for good: it is switched on
    // only inside nextPendingConnection(), which acceptNewClient() switches
    // off again before the event loop can see it.
    pauseAccepting();
    delete acceptNotifier;
    acceptNotifier = new QSocketNotifier(socketDescriptor(), QSocketNotifier::Read, this);
    connect(acceptNotifier, &QSocketNotifier::activated, this, &mTcpServer::acceptPending);
    spareCounted.invalidate();
    return true;
}

void mTcpServer::close()
{
    acceptRetry.stop();
    delete acceptNotifier;
    acceptNotifier = nullptr;
    QTcpServer::close();
}

bool mTcpServer::roomForClient()
{
    if (!spareCounted.isValid() || spareCounted.hasExpired(DescriptorCountMs)
        || spareDescriptors <= 2 * ReservedDescriptors) {
        spareDescriptors = freeDescriptors();
        spareCounted.start();
    }
    // The client's socket takes one more.
    return spareDescriptors > ReservedDescriptors;
}

void mTcpServer::holdAccepting()
{
    acceptNotifier->setEnabled(false);
    acceptRetry.start();
}

void mTcpServer::retryAccepting()
{
    if (!acceptNotifier || acceptNotifier->isEnabled())
        return;
    spareCounted.invalidate();
    if (!roomForClient()) {
        acceptRetry.start();
        return;
    }
    acceptRetry.stop();
    // Fires again at once if connections wait.
    acceptNotifier->setEnabled(true);
}

void mTcpServer::acceptPending()
{
    for (int taken = 0; taken < MaxAcceptsPerPass && acceptNotifier && isListening(); ++taken) {
        // Connections wait in the system's queue, unharmed, while the
        // window's reserve is short; TCP holds back the clients beyond it.
        if (!roomForClient()) {
            holdAccepting();
            return;
        }
        sockaddr_storage peer = {};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(int(socketDescriptor()), reinterpret_cast<sockaddr *>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            // A connection that failed while it waited is gone; the next
            // one may be fine.
            if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO || errno == ENETDOWN
                || errno == ENOPROTOOPT || errno == EHOSTDOWN || errno == ENONET || errno == EHOSTUNREACH
                || errno == ENETUNREACH)
                continue;
            // Out of descriptors or memory, or worse: the connection stays
            // queued, so a notifier left on would wake for it forever.
            // Accepting waits and tries again.
            holdAccepting();
            return;
        }
        --spareDescriptors;
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(fd)) {
            ::close(fd);
            delete socket;
            continue;
        }
        const auto *address = reinterpret_cast<const sockaddr *>(&peer);
        const quint16 port = ntohs(peer.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6 *>(&peer)->sin6_port
                                                              : reinterpret_cast<const sockaddr_in *>(&peer)->sin_port);
        socket->setObjectName(serverClientText(QHostAddress(address), port));
        addPendingConnection(socket);
        emit newConnection();
    }
}

void mTcpServer::reportDepartures()
{
    const QList<QTcpSocket *> sockets = clientSocketList;
    for (QTcpSocket *socket : sockets) {
        if (socket->state() != QAbstractSocket::UnconnectedState || socket->bytesAvailable() > 0)
            continue;
        // The text was fixed at arrival, so the departure names the client
        // exactly as its arrival did; the descriptor is gone (-1) by now.
        emit removeClientLink(socket->objectName(), int(socket->socketDescriptor()));
        clientSocketList.removeOne(socket);
        clientDescriptors.remove(socket);
        socket->deleteLater();
    }
    // A client that leaves takes its queue and its descriptor with it.
    if (clientSocketList.size() != sockets.size()) {
        resumeReading();
        if (acceptingHeld())
            retryAccepting();
    }
}

void mTcpServer::sendDataToClient(char *msg, int length, int socketDescriptor, int socketDescriptorEx)
{
    if (!msg || length <= 0)
        return;
    for (QTcpSocket *socket : std::as_const(clientSocketList)) {
        const int descriptor = int(socket->socketDescriptor());
        const bool selected = socketDescriptor != 0 ? descriptor == socketDescriptor
                                                    : descriptor != socketDescriptorEx;
        if (selected && socket->state() == QAbstractSocket::ConnectedState) {
            socket->write(msg, length);
            // Written while a received chunk is being handled: the window
            // relays what the clients send.
            relayedLast = relayedLast || delivering;
        }
    }
}

void mTcpServer::acceptNewClient()
{
    QTcpSocket *socket = nextPendingConnection();
    // nextPendingConnection() has switched QTcpServer's accept path back on;
    // left on, it would take connections beside acceptPending(), without
    // their addresses, and spin on a full descriptor table.
    if (isListening())
        pauseAccepting();
    if (!socket)
        return;
    const int descriptor = int(socket->socketDescriptor());
    connect(socket, &QTcpSocket::disconnected, this, &mTcpServer::clientDisconnected);
    connect(socket, &QTcpSocket::readyRead, this, &mTcpServer::clientDataReceived);
    connect(socket, &QTcpSocket::bytesWritten, this, &mTcpServer::resumeReading);
    socket->setReadBufferSize(TcpReadBufferSize);
    retireDescriptor(descriptor);
    clientSocketList.append(socket);
    // Named by the address that came with the connection: acceptPending()
    // is the only way in.
    const QString text = socket->objectName();
    clientDescriptors.insert(socket, descriptor);
    emit addClientLink(text, descriptor);
}

void mTcpServer::retireDescriptor(int descriptor)
{
    const QList<QTcpSocket *> sockets = clientSocketList;
    for (QTcpSocket *socket : sockets) {
        if (clientDescriptors.value(socket, -1) != descriptor)
            continue;
        // Its read buffer bounds this.
        while (deliverChunk(socket)) {
        }
    }
    reportDepartures();
}

void mTcpServer::clientDataReceived()
{
    readPass.queue();
}

void mTcpServer::readClients()
{
    // Clients take turns, one chunk each, beginning where the last pass
    // stopped, so a client that floods cannot keep the others waiting. The
    // list is walked on a copy because the window's handling of a chunk runs
    // inside the emit. A pass that runs out of time queues another for the
    // rest; departures are reported after every pass.
    const ReadBudget budget;
    const QList<QTcpSocket *> sockets = clientSocketList;
    const qsizetype count = sockets.size();
    qsizetype at = count > 0 ? nextReader % count : 0;
    bool timeUp = false;
    for (qsizetype idle = 0; idle < count; at = (at + 1) % count) {
        if (budget.spent()) {
            timeUp = true;
            break;
        }
        // While the chunks are relayed and some client's queue is over the
        // bound, the senders are not read: TCP holds them back until that
        // queue drains, and nothing is dropped.
        if (relayedLast && largestPendingWrite() > MaxQueuedBytes) {
            readsHeld = true;
            break;
        }
        idle = deliverChunk(sockets.at(at)) ? 0 : idle + 1;
    }
    nextReader = at;
    reportDepartures();
    if (timeUp)
        clientDataReceived();
}

bool mTcpServer::deliverChunk(QTcpSocket *socket)
{
    // A socket the window's handling of an earlier chunk has dropped.
    if (!clientDescriptors.contains(socket) || socket->bytesAvailable() <= 0)
        return false;
    // The descriptor of arrival: a socket whose connection has ended reports
    // none, yet its last bytes still belong to that client.
    const int descriptor = clientDescriptors.value(socket);
    // QByteArray keeps a zero byte after its last byte.
    QByteArray buffer(std::min(socket->bytesAvailable(), MaxTcpChunk), Qt::Uninitialized);
    const qint64 got = socket->read(buffer.data(), buffer.size());
    if (got <= 0)
        return false;
    buffer.truncate(int(got));
    relayedLast = false;
    delivering = true;
    emit updateTcpServer(buffer.data(), int(got), descriptor);
    delivering = false;
    return true;
}

void mTcpServer::resumeReading()
{
    if (readsHeld && largestPendingWrite() <= MaxQueuedBytes) {
        readsHeld = false;
        clientDataReceived();
    }
}
