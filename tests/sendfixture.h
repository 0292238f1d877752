#pragma once

// The real main window with a link to real peers on 127.0.0.1, for the tests
// of the send path.

#include "kestruneprobe.h"
#include "mkestrunewidget.h"
#include "mtcpserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <functional>
#include <memory>
#include <vector>

// Stops the test function when a helper has recorded a failure.
#define STEP(call)                      \
    do {                                \
        call;                           \
        if (QTest::currentTestFailed()) \
            return;                     \
    } while (false)

namespace sendfixture {

// Bounded waits, generous enough for a loaded two-core machine.
inline constexpr int Timeout = 20000;

enum LinkMode { Udp = 0, Server = 1, Client = 2 };

inline const char *const ModeNames[] = {"UDP", "server", "client"};

// The real main window, shown, reached through its object names. A test may
// delete it; the holder deletes it only if it is still there.
class Window final
{
public:
    Window()
        : w(new mKestruneWidget)
    {
        w->show();
        if (!QTest::qWaitForWindowExposed(w))
            qWarning("the window was not exposed");
    }
    ~Window() { delete w.data(); }
    Q_DISABLE_COPY_MOVE(Window)

    template <typename T>
    T *child(const char *name) const
    {
        T *found = w->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("the window has no widget named %s", name);
        return found;
    }

    QPushButton *sendButton() const { return child<QPushButton>("pBtnSendData"); }
    QPushButton *netButton() const { return child<QPushButton>("pBtnNetCnnt"); }
    QPlainTextEdit *area() const { return child<QPlainTextEdit>("tEditSendText"); }
    QComboBox *clients() const { return child<QComboBox>("cBoxClients"); }
    QCheckBox *hexBox() const { return child<QCheckBox>("cBox_SndHexDisp"); }
    QCheckBox *loopBox() const { return child<QCheckBox>("cBoxLoopSnd"); }
    QLineEdit *interval() const { return child<QLineEdit>("lEdit_Interval_ms"); }
    QCheckBox *sourceBox() const { return child<QCheckBox>("cBoxStartSndFile"); }
    QPlainTextEdit *rcvArea() const { return child<QPlainTextEdit>("ReceiveTextEdit"); }
    QTimer *timer() const { return KestruneProbe::loopSndTimer(*w); }
    quint32 sent() const { return KestruneProbe::sndByteCnt(*w); }

    void send() const { QTest::mouseClick(sendButton(), Qt::LeftButton); }
    void toggleNet() const { QTest::mouseClick(netButton(), Qt::LeftButton); }

    QPointer<mKestruneWidget> w;
};

// Clicks a check box on its indicator, as the user does.
inline void clickBox(QCheckBox *box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

// Answers the next modal widget of type T from the event loop: a timer
// looks for it and, while there is none yet, looks again a little later.
template <typename T>
class ModalAnswer final : public QObject
{
public:
    explicit ModalAnswer(std::function<void(T *)> answer)
        : answer(std::move(answer))
    {
        lookSoon();
    }

    bool seen = false;
    QString title;
    QWidget *parent = nullptr;

private:
    void lookSoon() { QTimer::singleShot(5, this, [this] { look(); }); }

    void look()
    {
        T *modal = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!modal) {
            if (++looks < 4000)
                lookSoon();
            return;
        }
        seen = true;
        title = modal->windowTitle();
        parent = modal->parentWidget();
        answer(modal);
    }

    std::function<void(T *)> answer;
    int looks = 0;
};

// The far end of the window's link: a UDP socket, the server a TCP client
// link connects to, or the clients of a TCP server link.
struct Peer
{
    QUdpSocket udp;
    QTcpServer listener;
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<QByteArray> streams;
    QList<QByteArray> datagrams;

    // Everything that arrived so far: the datagrams one after the other, or
    // the stream of connection i.
    QByteArray bytes(int i = 0)
    {
        while (udp.state() == QAbstractSocket::BoundState && udp.hasPendingDatagrams())
            datagrams.append(udp.receiveDatagram().data());
        if (sockets.empty())
            return datagrams.join();
        streams.resize(sockets.size());
        streams[i] += sockets[i]->readAll();
        return streams[i];
    }

    // Readers that stop taking bytes once a little is buffered.
    void stopReading()
    {
        for (const auto &socket : sockets)
            socket->setReadBufferSize(4096);
    }

    void addClient(const Window &window)
    {
        const int before = KestruneProbe::clientLinkCount(*window.w);
        sockets.push_back(std::make_unique<QTcpSocket>());
        sockets.back()->connectToHost(QHostAddress::LocalHost, KestruneProbe::tcpServer(*window.w)->serverPort());
        QTRY_COMPARE_WITH_TIMEOUT(KestruneProbe::clientLinkCount(*window.w), before + 1, Timeout);
        QTRY_COMPARE_WITH_TIMEOUT(sockets.back()->state(), QAbstractSocket::ConnectedState, Timeout);
    }
};

// Opens a link of the given type on 127.0.0.1 towards the peer; a server
// link gets that many clients.
inline void openLink(const Window &window, Peer &peer, int mode, int clientCount = 1)
{
    window.child<QComboBox>("cBoxNetType")->setCurrentIndex(mode);
    window.child<QLineEdit>("lEditIpAddr")->setText(QStringLiteral("127.0.0.1"));
    window.child<QLineEdit>("lEditIpPort")->setText(QStringLiteral("0"));
    if (mode == Udp) {
        if (peer.udp.state() != QAbstractSocket::BoundState) {
            QVERIFY(peer.udp.bind(QHostAddress::LocalHost, 0));
            // Datagrams are taken as they come, so none is lost to a full buffer.
            QObject::connect(&peer.udp, &QUdpSocket::readyRead, &peer.udp, [&peer] { peer.bytes(); });
        }
        window.child<QLineEdit>("lEditUdpIP")->setText(QStringLiteral("127.0.0.1"));
        window.child<QLineEdit>("lEditUdpPort")->setText(QString::number(peer.udp.localPort()));
    } else if (mode == Client) {
        QVERIFY(peer.listener.listen(QHostAddress::LocalHost, 0));
        window.child<QLineEdit>("lEditIpPort")->setText(QString::number(peer.listener.serverPort()));
    }
    window.toggleNet();
    QVERIFY(window.netButton()->isChecked());
    QVERIFY(window.sendButton()->isEnabled());
    if (mode == Client) {
        QTRY_VERIFY_WITH_TIMEOUT(peer.listener.hasPendingConnections(), Timeout);
        peer.sockets.emplace_back(peer.listener.nextPendingConnection());
    }
    for (int i = 0; mode == Server && i < clientCount; ++i)
        STEP(peer.addClient(window));
}

} // namespace sendfixture
