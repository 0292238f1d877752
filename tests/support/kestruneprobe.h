#pragma once

#include "mkestruneform.h"
#include "mkestrunewidget.h"

#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QString>

// Access to the main window's private state for the tests; the window names
// this class as a friend. What shows outside is read outside: the link
// objects and the loop timer are the window's Qt children (window.h), the
// link and send state shows in the widgets, and files are on disk. What is
// left here has no outward sign of its own:
//
//   socketDescriptorList, clientLinkCount: the window's record behind the
//       client list, which the tests hold against the list's items and the
//       server's sockets; the list shows only texts.
//   form: the form record, whose members the tests match with the widgets.
//   localHostAddr, localPort, udpTargetAddr, udpTargetPort, tcpServerAddr:
//       what the window parsed from the fields as typed (a port field keeps
//       the typed number, the socket only its low 16 bits); a UDP target
//       shows only where a datagram lands, which the tests never send off
//       the loopback.
//   rcvByteCnt, sndByteCnt: the counters themselves; their fields show
//       them at a display interval only.
//   lastRcvSource: whose chunk came last, which decides whether the next
//       chunk gets a header.
//   dataFileName, dataFile, rcvFile: which file the window holds as data
//       source or capture file, and whether it is open.
//   rcvPendingChars, rcvShown: received text waiting for the receive area.
//   setClosingGrace, setRcvPendingCap: the two settings the tests lower,
//       so that a grace period or a cap can be reached in a test's time.
class KestruneProbe final
{
public:
    KestruneProbe() = delete;

    static const QList<int> &socketDescriptorList(const mKestruneWidget &w) { return w.socketDescriptorList; }
    static int clientLinkCount(const mKestruneWidget &w) { return w.clientLinkCount; }
    static mKestruneForm *form(mKestruneWidget &w) { return w.ui; }
    static const QHostAddress &localHostAddr(const mKestruneWidget &w) { return w.localHostAddr; }
    static int localPort(const mKestruneWidget &w) { return w.localPort; }
    static const QHostAddress &udpTargetAddr(const mKestruneWidget &w) { return w.udpTargetAddr; }
    static int udpTargetPort(const mKestruneWidget &w) { return w.udpTargetPort; }
    static QHostAddress *tcpServerAddr(const mKestruneWidget &w) { return w.tcpServerAddr; }
    static quint32 rcvByteCnt(const mKestruneWidget &w) { return w.rcvByteCnt; }
    static quint32 sndByteCnt(const mKestruneWidget &w) { return w.sndByteCnt; }
    static const QString &lastRcvSource(const mKestruneWidget &w) { return w.lastRcvSource; }
    static const QString &dataFileName(const mKestruneWidget &w) { return w.dataFileName; }
    static QFile *dataFile(const mKestruneWidget &w) { return w.dataFile; }
    static QFile *rcvFile(const mKestruneWidget &w) { return w.rcvFile; }

    // How long closed TCP connections may take to write out their queues,
    // which a test cannot wait out otherwise.
    static void setClosingGrace(mKestruneWidget &w, int ms) { w.closingGraceMs = ms; }
    // Characters of received text that wait for the receive area.
    static qsizetype rcvPendingChars(const mKestruneWidget &w) { return w.rcvFlow.pending().size(); }
    // True once the receive area and the counter field show everything read.
    static bool rcvShown(const mKestruneWidget &w)
    {
        return w.rcvFlow.pending().isEmpty() && w.rcvFlow.countShown() == w.rcvByteCnt;
    }
    static void setRcvPendingCap(mKestruneWidget &w, qsizetype chars) { w.rcvFlow.setCap(chars); }
    // The most characters the receive area keeps.
    static void setRcvAreaBound(mKestruneWidget &w, qsizetype chars) { w.rcvArea.setBound(chars); }
    // True while 保存数据 is still writing the area's text.
    static bool rcvSaving(const mKestruneWidget &w) { return w.rcvArea.saving(); }
    // True from a file send's start until its closing notes.
    static bool fileSend(const mKestruneWidget &w) { return !w.fileSend.isNull(); }
};
