#include "window.h"

#include "rcvdisplay.h"

#include "kestruneprobe.h"
#include "mtcpserver.h"

#include <QCoreApplication>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

namespace testsupport {

Window::Window()
    : w(new mKestruneWidget)
{
    w->show();
    exposed = QTest::qWaitForWindowExposed(w, 10000);
    if (!exposed)
        qWarning("the window was not exposed");
}

Window::~Window()
{
    delete w.data();
}

QUdpSocket *Window::udpLink() const
{
    return testsupport::udpLink(*w);
}

mTcpServer *Window::serverLink() const
{
    return testsupport::serverLink(*w);
}

QTcpSocket *Window::clientLink() const
{
    return testsupport::clientLink(*w);
}

QTimer *Window::loopTimer() const
{
    return testsupport::loopTimer(*w);
}

bool Window::loopRunning() const
{
    return testsupport::loopRunning(*w);
}

quint32 Window::sent() const
{
    return KestruneProbe::sndByteCnt(*w);
}

quint32 Window::received() const
{
    return KestruneProbe::rcvByteCnt(*w);
}

void Window::send() const
{
    QTest::mouseClick(sendButton(), Qt::LeftButton);
}

void Window::toggleNet() const
{
    QTest::mouseClick(netButton(), Qt::LeftButton);
}

bool Window::open(LinkMode mode, quint16 port, const QString &address) const
{
    netType()->setCurrentIndex(mode);
    ipAddr()->setText(address);
    ipPort()->setText(QString::number(port));
    toggleNet();
    return linkOpen();
}

void Window::clickBox(const char *name) const
{
    QCheckBox *check = box(name);
    auto *tabs = child<QTabWidget>("Tabs_SndRcv");
    for (QWidget *ancestor = check; ancestor; ancestor = ancestor->parentWidget()) {
        if (tabs->indexOf(ancestor) >= 0) {
            tabs->setCurrentWidget(ancestor);
            QCoreApplication::processEvents();
            break;
        }
    }
    testsupport::clickBox(check);
}

QStringList Window::clientItems() const
{
    QStringList items;
    for (int i = 0; i < clients()->count(); ++i)
        items.append(clients()->itemText(i));
    return items;
}

namespace {

// The window's direct children of type T, after the deferred deletion of
// those it has let go of.
template <typename T>
QList<T *> liveChildren(const mKestruneWidget &w)
{
    for (T *child : w.findChildren<T *>(Qt::FindDirectChildrenOnly))
        QCoreApplication::sendPostedEvents(child, QEvent::DeferredDelete);
    return w.findChildren<T *>(Qt::FindDirectChildrenOnly);
}

} // namespace

QUdpSocket *udpLink(const mKestruneWidget &w)
{
    const QList<QUdpSocket *> sockets = liveChildren<QUdpSocket>(w);
    return sockets.isEmpty() ? nullptr : sockets.first();
}

mTcpServer *serverLink(const mKestruneWidget &w)
{
    return w.findChild<mTcpServer *>(QString(), Qt::FindDirectChildrenOnly);
}

QTcpSocket *clientLink(const mKestruneWidget &w)
{
    for (QTcpSocket *socket : liveChildren<QTcpSocket>(w)) {
        if (socket->state() != QAbstractSocket::ClosingState)
            return socket;
    }
    return nullptr;
}

QTimer *loopTimer(const mKestruneWidget &w)
{
    const QList<QTimer *> timers = liveChildren<QTimer>(w);
    return timers.isEmpty() ? nullptr : timers.first();
}

bool loopRunning(const mKestruneWidget &w)
{
    const QTimer *timer = loopTimer(w);
    return timer && timer->isActive();
}

bool fileSendRunning(const mKestruneWidget &w)
{
    const auto *button = w.findChild<QPushButton *>(QStringLiteral("pBtnSendData"));
    return button && button->text() == QStringLiteral("正在发送");
}

bool sendAreaLoading(const mKestruneWidget &w)
{
    return !liveChildren<QObject>(w).isEmpty()
        && w.findChild<QObject *>(QStringLiteral("sendAreaLoad"), Qt::FindDirectChildrenOnly);
}

void clickBox(QCheckBox *box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

QString scrollbackMismatch(const QString &shown, const QString &full, qsizetype bound)
{
    if (full.size() <= bound)
        return shown == full ? QString() : QStringLiteral("the area does not hold the whole text, which fits");
    if (shown.size() > bound)
        return QStringLiteral("%1 characters kept, over the bound of %2").arg(shown.size()).arg(bound);
    if (!full.endsWith(shown))
        return QStringLiteral("the newest %1 characters are not kept as they came").arg(shown.size());
    if (full.at(full.size() - shown.size() - 1) != u'\n')
        return QStringLiteral("the oldest line kept is cut");
    // A roll keeps the newest whole lines that fit in what it keeps, and a
    // line of received data is never longer than the line limit.
    const qsizetype kept = qMin(RcvAreaRollKeptChars, bound / 2);
    if (shown.size() + MaxRcvLineLength + 1 <= kept)
        return QStringLiteral("only %1 characters kept of a bound of %2").arg(shown.size()).arg(bound);
    return QString();
}

} // namespace testsupport
