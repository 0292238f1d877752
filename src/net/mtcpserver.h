#pragma once

#include "readpass.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QTcpServer>
#include <QTimer>

QT_BEGIN_NAMESPACE
class QSocketNotifier;
class QTcpSocket;
QT_END_NAMESPACE

// The listening side of a TCP server link. It accepts every client, hands
// whatever any of them sends to the window, reports arrivals and departures,
// and writes what the window sends to one client, to all, or to all but one.
// It knows no widgets; the window talks to it through signals only.
class mTcpServer final : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(mTcpServer)

public:
    explicit mTcpServer(QObject *parent = nullptr);
    ~mTcpServer() override;

    // The most bytes any one client still has queued for writing; a sender
    // of large data waits while this is high.
    qint64 largestPendingWrite() const;
    // Lets go of every client without a further notice: each one goes to
    // keeper, writes out what is queued for it, then closes (see
    // closeWhenWritten). The server can then be deleted at once.
    void closeClients(QObject *keeper, int graceMs);

    // Listen and close as QTcpServer's do, except that connections are then
    // taken by acceptPending() alone: QTcpServer's accept drops the address
    // the system hands over with a connection, and a client that has reset
    // by the time it is taken has no peer address left to ask for.
    bool listen(const QHostAddress &address = QHostAddress::Any, quint16 port = 0);
    void close();
    // Connections wait on the listening socket because too few descriptors
    // are free; accepting goes on by itself once there are more.
    bool acceptingHeld() const { return acceptRetry.isActive(); }

signals:
    // Received bytes (valid during the call, one zero byte after the last),
    // their number, and the descriptor of the client that sent them.
    void updateTcpServer(char *, int, int);
    void addClientLink(QString, int);
    void removeClientLink(QString, int);

public slots:
    void clientDisconnected();
    // socketDescriptor != 0: that one client. 0: every client whose
    // descriptor differs from socketDescriptorEx (0: every client).
    void sendDataToClient(char *msg, int length, int socketDescriptor, int socketDescriptorEx);
    void acceptNewClient();
    void clientDataReceived();

private:
    // One read pass over the clients in turn, bounded in time.
    void readClients();
    // Hands one chunk of what a listed client has buffered to the window;
    // false when it has nothing.
    bool deliverChunk(QTcpSocket *socket);
    // Reads again once reading was held and every queue is back within
    // the bound.
    void resumeReading();
    // Takes the connections waiting on the listening socket, each named by
    // the address that came with it, and hands them to acceptNewClient().
    void acceptPending();
    // Whether one more client leaves the window its reserve of descriptors.
    bool roomForClient();
    // Stops accepting until descriptors are free again; holdAccepting()
    // looks again after a while, retryAccepting() at once.
    void holdAccepting();
    void retryAccepting();
    // Reports and drops every client whose connection has ended and whose
    // bytes have all been delivered.
    void reportDepartures();
    // A new connection gets the lowest free descriptor, which may be the
    // number of a client that has left while bytes of its own still wait.
    // The window tells clients apart by descriptor, so that client's bytes
    // go to the window now and its departure is reported before the new
    // one is announced: no two listed clients ever share a number.
    void retireDescriptor(int descriptor);

    QList<QTcpSocket *> clientSocketList;
    // Each client's descriptor as it was on arrival.
    QHash<const QTcpSocket *, int> clientDescriptors;
    ReadPass readPass{this, [this] { readClients(); }};
    // Announces connections waiting on the listening socket.
    QSocketNotifier *acceptNotifier = nullptr;
    // Looks again for free descriptors while accepting is held.
    QTimer acceptRetry{this};
    // Descriptors free at the last count, less the clients taken since.
    int spareDescriptors = 0;
    QElapsedTimer spareCounted;
    // Where in the list the next read pass begins.
    qsizetype nextReader = 0;
    // A received chunk is being handed to the window.
    bool delivering = false;
    // The window wrote to clients while handling the last chunk.
    bool relayedLast = false;
    // Reading waits for a client's queue to drain.
    bool readsHeld = false;
};
