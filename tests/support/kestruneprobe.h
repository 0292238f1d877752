#pragma once

#include "mkestruneform.h"
#include "mkestrunewidget.h"

#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

// Read access to the main window's private state for the test suite; the
// window names this class as a friend. Every accessor is a plain read but
// two: the grace period of closing connections and the cap on waiting
// receive text, which tests lower.
class KestruneProbe final
{
public:
    KestruneProbe() = delete;

    static const QList<int> &socketDescriptorList(const mKestruneWidget &w) { return w.socketDescriptorList; }
    static int clientLinkCount(const mKestruneWidget &w) { return w.clientLinkCount; }
    static mKestruneForm *form(mKestruneWidget &w) { return w.ui; }
    static const QString &localIpAddr(const mKestruneWidget &w) { return w.localIpAddr; }
    static QUdpSocket *udpSocket(const mKestruneWidget &w) { return w.udpSocket; }
    static const QHostAddress &localHostAddr(const mKestruneWidget &w) { return w.localHostAddr; }
    static int localPort(const mKestruneWidget &w) { return w.localPort; }
    static const QHostAddress &udpTargetAddr(const mKestruneWidget &w) { return w.udpTargetAddr; }
    static int udpTargetPort(const mKestruneWidget &w) { return w.udpTargetPort; }
    static QHostAddress *tcpServerAddr(const mKestruneWidget &w) { return w.tcpServerAddr; }
    static QTcpSocket *tcpClientSocket(const mKestruneWidget &w) { return w.tcpClientSocket; }
    static mTcpServer *tcpServer(const mKestruneWidget &w) { return w.tcpServer; }
    static quint32 rcvByteCnt(const mKestruneWidget &w) { return w.rcvByteCnt; }
    static quint32 sndByteCnt(const mKestruneWidget &w) { return w.sndByteCnt; }
    static QTimer *loopSndTimer(const mKestruneWidget &w) { return w.loopSndTimer; }
    static bool loopSndRunning(const mKestruneWidget &w) { return w.loopSndRunning; }
    static const QString &lastRcvSource(const mKestruneWidget &w) { return w.lastRcvSource; }
    static const QString &dataFileName(const mKestruneWidget &w) { return w.dataFileName; }
    static QFile *dataFile(const mKestruneWidget &w) { return w.dataFile; }
    static bool fileSendRunning(const mKestruneWidget &w) { return w.fileSendRunning; }
    static const QString &rcvFileName(const mKestruneWidget &w) { return w.rcvFileName; }
    static QFile *rcvFile(const mKestruneWidget &w) { return w.rcvFile; }

    // How long closed TCP connections may take to write out their queues,
    // which a test cannot wait out otherwise.
    static void setClosingGrace(mKestruneWidget &w, int ms) { w.closingGraceMs = ms; }
    // Characters of received text that wait for the receive area.
    static qsizetype rcvPendingChars(const mKestruneWidget &w) { return w.rcvPending.size(); }
    // True once the receive area and the counter field show everything read.
    static bool rcvShown(const mKestruneWidget &w)
    {
        return w.rcvPending.isEmpty() && w.rcvCntShown == w.rcvByteCnt;
    }
    static void setRcvPendingCap(mKestruneWidget &w, qsizetype chars) { w.rcvPendingCap = chars; }
};
