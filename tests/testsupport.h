#pragma once

// Helpers shared by the window tests: the real window reached through its
// object names, answers to its modal dialogs, peers on 127.0.0.1 at the far
// end of its link, and a few byte and file utilities.

#include "kestruneprobe.h"
#include "mkestrunewidget.h"
#include "mtcpserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// Stops the test function when a helper has recorded a failure.
#define STEP(call)                      \
    do {                                \
        call;                           \
        if (QTest::currentTestFailed()) \
            return;                     \
    } while (false)

namespace testsupport {

// Bounded waits, generous enough for a loaded two-core machine and for a
// build with AddressSanitizer.
constexpr int Timeout = 30000;
constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * 1024;

// Link types: the selector's indices, as ints so that data rows take them
// as they are.
constexpr int Udp = 0;
constexpr int Server = 1;
constexpr int Client = 2;

inline const char *modeName(int mode)
{
    switch (mode) {
    case Udp:
        return "UDP";
    case Server:
        return "server";
    default:
        return "client";
    }
}

// The real main window, shown. A test may close or delete it; the holder
// deletes it only if it is still there.
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
    QTimer *loopTimer() const { return KestruneProbe::loopSndTimer(*w); }

    quint32 sent() const { return KestruneProbe::sndByteCnt(*w); }
    quint32 received() const { return KestruneProbe::rcvByteCnt(*w); }

    void send() const { QTest::mouseClick(sendButton(), Qt::LeftButton); }
    void toggleNet() const { QTest::mouseClick(netButton(), Qt::LeftButton); }

    // The texts of the client list, in order.
    QStringList clientItems() const
    {
        QStringList items;
        for (int i = 0; i < clients()->count(); ++i)
            items.append(clients()->itemText(i));
        return items;
    }

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

// Modal dialogs are real and are answered from the event loop: a look runs
// every few milliseconds through a chain of single-shot timers, so it also
// runs inside the nested event loop of a dialog that an answer raised (a
// repeating timer would not fire again while its own slot is running).

// How long a modal widget may stay up without an answer before the row
// fails. Answers come within milliseconds; only a forgotten dialog lasts.
constexpr int UnansweredMs = 10000;

// A note naming a modal widget for failure messages and test logs: the
// title, then a box's text or a file dialog's filters.
inline QString modalNote(QWidget *modal)
{
    QString note = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        note += u'|' + box->text();
    else if (auto *files = qobject_cast<QFileDialog *>(modal))
        note += u'|' + files->nameFilters().join(u';');
    return note;
}

// Closes a modal widget that nobody should see.
inline void dismissModal(QWidget *modal)
{
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}

// Fails the running test function with a message naming the modal widget,
// and closes it so that the test goes on instead of waiting on it.
inline void failModal(QWidget *modal, const char *what)
{
    const QString message = QStringLiteral("%1: \"%2\"").arg(QLatin1String(what), modalNote(modal));
    QTest::qFail(qPrintable(message), __FILE__, __LINE__);
    dismissModal(modal);
}

// Watches over every test: a modal widget that stays up unanswered for
// UnansweredMs fails the row it came up in and is closed. Installed once
// per test executable when the application object is created.
class ModalGuard final : public QObject
{
public:
    explicit ModalGuard(QObject *parent)
        : QObject(parent)
    {
        timer.setInterval(100);
        connect(&timer, &QTimer::timeout, this, &ModalGuard::look);
        timer.start();
    }

private:
    void look()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) {
            watched = nullptr;
            return;
        }
        if (modal != watched) {
            watched = modal;
            since.start();
            return;
        }
        if (since.hasExpired(UnansweredMs)) {
            watched = nullptr;
            failModal(modal, "a dialog was never answered");
        }
    }

    QTimer timer;
    QPointer<QWidget> watched;
    QElapsedTimer since;
};

// Runs when the application object is created, in every test executable.
inline void installModalGuard()
{
    // Dialog state (last folder, history) goes to a test location instead
    // of the user's own settings.
    QStandardPaths::setTestModeEnabled(true);
    // The guard starts with the first event pass: the application object
    // is still being built here.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            if (qobject_cast<QApplication *>(QCoreApplication::instance()))
                new ModalGuard(QCoreApplication::instance());
        },
        Qt::QueuedConnection);
}

// One scripted answer: the modal widget must be a `type`; `action` answers it.
struct ModalStep
{
    const QMetaObject *type;
    std::function<void(QWidget *)> action;
};

template <typename T>
ModalStep answer(std::function<void(T *)> action)
{
    return {&T::staticMetaObject, [action = std::move(action)](QWidget *modal) { action(static_cast<T *>(modal)); }};
}

// Answers the modal widgets that come up, one step per widget, in order,
// as long as it exists. A modal widget that no step expects, or one that
// is still up after its answer when the next step does not expect it
// again, fails the row at once with its title and is dismissed.
class ModalScript final : public QObject
{
public:
    ModalScript() { lookSoon(); }
    explicit ModalScript(std::vector<ModalStep> steps)
        : steps(std::move(steps))
    {
        lookSoon();
    }

    // The next modal widget must be a T; action answers it.
    template <typename T>
    ModalScript &then(std::function<void(T *)> action)
    {
        steps.push_back(answer<T>(std::move(action)));
        return *this;
    }

    // Modal widgets that no step expects go to handler instead of failing
    // the row; a widget still up after the handler saw it comes back to it.
    ModalScript &otherwise(std::function<void(QWidget *)> handler)
    {
        fallback = std::move(handler);
        return *this;
    }

    bool finished() const { return next == steps.size(); }
    // Titles of the widgets the steps answered.
    QStringList titles;
    // Notes (modalNote) of the widgets the steps answered, in order.
    QStringList seen;
    // Texts (or titles) of the modal widgets that no step expected.
    QStringList unexpected;

private:
    void lookSoon() { QTimer::singleShot(5, this, [this] { look(); }); }

    void look()
    {
        // Looking on first: an answer may run a nested event loop.
        lookSoon();
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        // An answer that waits in the event loop is still at work on it.
        if (modal == acting)
            return;
        const bool again = modal == answered;
        if (!finished() && modal->metaObject()->inherits(steps[next].type)) {
            const ModalStep &step = steps[next++];
            answered = modal;
            titles.append(modal->windowTitle());
            seen.append(modalNote(modal));
            QPointer<QWidget> outer = std::exchange(acting, modal);
            step.action(modal);
            acting = outer;
            return;
        }
        if (fallback) {
            QPointer<QWidget> outer = std::exchange(acting, modal);
            answered = modal;
            fallback(modal);
            acting = outer;
            return;
        }
        const auto *box = qobject_cast<QMessageBox *>(modal);
        unexpected.append(box ? box->text() : modal->windowTitle());
        failModal(modal, again ? "a dialog stayed open after its answer" : "a dialog came up that no step expected");
    }

    std::vector<ModalStep> steps;
    std::size_t next = 0;
    QPointer<QWidget> answered;
    QPointer<QWidget> acting;
    std::function<void(QWidget *)> fallback;
};

// Answers the first modal widget of type T that comes up, and only that
// one; other modal widgets are left to other answerers or to the guard.
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
        if (!modal || !modal->isVisible()) {
            lookSoon();
            return;
        }
        seen = true;
        title = modal->windowTitle();
        parent = modal->parentWidget();
        answer(modal);
    }

    std::function<void(T *)> answer;
};

// Chooses a path in a file dialog as the user does: types it into the name
// field and accepts. selectFile() is no answer here: it leaves the field
// alone while the field has the focus, and the field takes the focus only
// once the dialog has been activated, which the platform does at a moment
// of its own. accept() reads the field synchronously, so typing first
// gives the same outcome every time.
inline void pickFile(QFileDialog *dialog, const QString &path)
{
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    if (!name) {
        QTest::qFail("the file dialog has no name field", __FILE__, __LINE__);
        dialog->reject();
        return;
    }
    name->setText(path);
    static_cast<QDialog *>(dialog)->accept();
}

inline void cancelDialog(QFileDialog *dialog)
{
    static_cast<QDialog *>(dialog)->reject();
}

// Presses OK (or the first button) and remembers the box's text.
inline std::function<void(QMessageBox *)> okBox(QString *text)
{
    return [text](QMessageBox *box) {
        if (text)
            *text = box->text();
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else if (QAbstractButton *yes = box->button(QMessageBox::Yes))
            yes->click();
        else
            box->accept();
    };
}

// Switches the data source on with the file at path.
inline void chooseSource(const Window &window, const QString &path)
{
    ModalScript script;
    script.then<QFileDialog>([&path](QFileDialog *dialog) { pickFile(dialog, path); });
    clickBox(window.sourceBox());
    QVERIFY(script.finished());
    QVERIFY(window.sourceBox()->isChecked());
}

inline QByteArray randomBytes(qsizetype length, quint32 seed)
{
    QList<quint32> words((length + 3) / 4);
    QRandomGenerator(seed).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), length);
}

inline QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

inline QByteArray sha256OfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

inline QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Opens a link of the window on the loopback address: UDP and the server on
// the given port (0: the system chooses), the client towards port.
inline void openLink(const Window &window, int mode, quint16 port)
{
    window.netType()->setCurrentIndex(mode);
    window.ipAddr()->setText(QStringLiteral("127.0.0.1"));
    window.ipPort()->setText(QString::number(port));
    window.toggleNet();
    QVERIFY2(window.netButton()->isChecked(), modeName(mode));
    QVERIFY(window.sendButton()->isEnabled());
}

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
    window.netType()->setCurrentIndex(mode);
    quint16 port = 0;
    if (mode == Udp) {
        if (peer.udp.state() != QAbstractSocket::BoundState) {
            QVERIFY(peer.udp.bind(QHostAddress::LocalHost, 0));
            // Datagrams are taken as they come, so none is lost to a full buffer.
            QObject::connect(&peer.udp, &QUdpSocket::readyRead, &peer.udp, [&peer] { peer.bytes(); });
        }
        window.udpIp()->setText(QStringLiteral("127.0.0.1"));
        window.udpPort()->setText(QString::number(peer.udp.localPort()));
    } else if (mode == Client) {
        QVERIFY(peer.listener.listen(QHostAddress::LocalHost, 0));
        port = peer.listener.serverPort();
    }
    STEP(openLink(window, mode, port));
    if (mode == Client) {
        QTRY_VERIFY_WITH_TIMEOUT(peer.listener.hasPendingConnections(), Timeout);
        peer.sockets.emplace_back(peer.listener.nextPendingConnection());
    }
    for (int i = 0; mode == Server && i < clientCount; ++i)
        STEP(peer.addClient(window));
}

// The client list's invariant: an entry for all clients first, then one per
// client link, each with its own descriptor. An empty text when it holds.
inline QString clientListBreach(const Window &window)
{
    const int count = KestruneProbe::clientLinkCount(*window.w);
    const QList<int> &descriptors = KestruneProbe::socketDescriptorList(*window.w);
    const int items = window.clients()->count();
    if (count == 0) {
        if (items == 0 && descriptors.isEmpty())
            return {};
    } else if (items == count + 1 && descriptors.size() == count + 1
               && window.clients()->itemText(0) == QStringLiteral("全部连接") && descriptors.first() == 0) {
        QList<int> sorted = descriptors;
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end())
            return {};
    }
    return QStringLiteral("count %1, %2 items, %3 descriptors").arg(count).arg(items).arg(descriptors.size());
}

inline void closeLink(const Window &window)
{
    QVERIFY(window.netButton()->isChecked());
    window.toggleNet();
    QVERIFY(!window.netButton()->isChecked());
    QVERIFY(!KestruneProbe::udpSocket(*window.w));
    QVERIFY(!KestruneProbe::tcpServer(*window.w));
    QVERIFY(!KestruneProbe::tcpClientSocket(*window.w));
}

} // namespace testsupport

namespace {
void installTestModalGuard()
{
    testsupport::installModalGuard();
}
Q_COREAPP_STARTUP_FUNCTION(installTestModalGuard)
} // namespace
