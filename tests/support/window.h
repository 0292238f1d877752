#pragma once

#include "linkmode.h"
#include "mkestrunewidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QTcpSocket;
class QTimer;
class QUdpSocket;
QT_END_NAMESPACE

class mTcpServer;

namespace testsupport {

// The real main window, shown, reached through its object names as a user
// would reach it. A test may close or delete it; the holder deletes it only
// if it is still there.
class Window final
{
public:
    Window();
    ~Window();
    Q_DISABLE_COPY_MOVE(Window)

    // The widget of that name; stops the program when there is none.
    template <typename T>
    T *child(const char *name) const
    {
        T *found = w->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("the window has no widget named %s", name);
        return found;
    }

    QPushButton *netButton() const { return child<QPushButton>("pBtnNetCnnt"); }
    QPushButton *sendButton() const { return child<QPushButton>("pBtnSendData"); }
    QComboBox *netType() const { return child<QComboBox>("cBoxNetType"); }
    QComboBox *clients() const { return child<QComboBox>("cBoxClients"); }
    QLineEdit *ipAddr() const { return child<QLineEdit>("lEditIpAddr"); }
    QLineEdit *ipPort() const { return child<QLineEdit>("lEditIpPort"); }
    QLineEdit *udpIp() const { return child<QLineEdit>("lEditUdpIP"); }
    QLineEdit *udpPort() const { return child<QLineEdit>("lEditUdpPort"); }
    QLineEdit *interval() const { return child<QLineEdit>("lEdit_Interval_ms"); }
    QLabel *state() const { return child<QLabel>("CurState"); }
    QCheckBox *box(const char *name) const { return child<QCheckBox>(name); }
    QPlainTextEdit *rcvArea() const { return child<QPlainTextEdit>("ReceiveTextEdit"); }
    QPlainTextEdit *sendArea() const { return child<QPlainTextEdit>("tEditSendText"); }
    QCheckBox *hexBox() const { return child<QCheckBox>("cBox_SndHexDisp"); }
    QCheckBox *loopBox() const { return child<QCheckBox>("cBoxLoopSnd"); }
    QCheckBox *sourceBox() const { return child<QCheckBox>("cBoxStartSndFile"); }

    // The window's link objects and loop timer (see the functions below).
    QUdpSocket *udpLink() const;
    mTcpServer *serverLink() const;
    QTcpSocket *clientLink() const;
    QTimer *loopTimer() const;
    bool loopRunning() const;

    // The byte counters themselves: the fields show them at a display
    // interval only.
    quint32 sent() const;
    quint32 received() const;

    void send() const;
    void toggleNet() const;
    // Picks the link type, fills in 127.0.0.1 (or address) and the port
    // (0: the system chooses; the server's port for a client) and presses
    // the link button; true when the link is open.
    bool open(LinkMode mode, quint16 port, const QString &address = QStringLiteral("127.0.0.1")) const;
    bool linkOpen() const { return netButton()->isChecked(); }
    // Clicks a check box, its tab shown first, as a user must.
    void clickBox(const char *name) const;

    // The texts of the client list, in order.
    QStringList clientItems() const;

    // False when the platform never exposed the window.
    bool exposed = false;
    QPointer<mKestruneWidget> w;
};

// The link objects and the loop timer are Qt children of the window. What
// the window has let go of is closed and waits for its deferred deletion;
// these lookups carry that deletion out first, so what is left is the live
// object. A TCP connection that still writes out its queue after its link
// was closed is in the closing state and is never taken for the client
// link, which is the one in any other state (after its server left, too).
QUdpSocket *udpLink(const mKestruneWidget &w);
mTcpServer *serverLink(const mKestruneWidget &w);
QTcpSocket *clientLink(const mKestruneWidget &w);
// The loop send timer while loop sending is armed; it runs exactly while
// loop sending runs.
QTimer *loopTimer(const mKestruneWidget &w);
bool loopRunning(const mKestruneWidget &w);
// True while a file send runs: the send button says so for exactly that long.
bool fileSendRunning(const mKestruneWidget &w);
// True while a file goes into the send area over several event-loop passes.
bool sendAreaLoading(const mKestruneWidget &w);

// Clicks a check box on its indicator, as the user does: the middle of a
// stretched check box may lie beside its label.
void clickBox(QCheckBox *box);

// Why shown is not what a receive area that keeps at most bound characters
// shows of full: all of it when it fits, else its newest whole lines, at
// least those that a roll keeps. Empty when it is.
QString scrollbackMismatch(const QString &shown, const QString &full, qsizetype bound);

// The lines the receive area writes beside the data, spelled here rather
// than taken from the program, so that a fault in them shows: the header
// before a chunk whose source differs from the last one, with its line
// feed, and the timestamp line "【2024-3-9 08:05:01】" of a moment. Their
// patterns take a pattern of the source or of the day, by default any.
inline QString rcvHeader(const QString &source) { return QStringLiteral("【数据来自") + source + QStringLiteral("】\n"); }
inline QString rcvHeaderPattern(const QString &source = QStringLiteral("[^\n]*")) { return rcvHeader(source); }
inline QString rcvStamp(const QDateTime &at) { return u'【' + at.toString(u"yyyy-M-d HH:mm:ss") + u'】'; }
inline QString rcvStampPattern(const QString &day = QStringLiteral("\\d{4}-\\d{1,2}-\\d{1,2}"))
{
    return u'【' + day + QStringLiteral(" \\d\\d:\\d\\d:\\d\\d】");
}

} // namespace testsupport
