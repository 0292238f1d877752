#pragma once

// Helpers shared by the stress and bad-input tests: the real window reached
// through its object names, scripted answers to its modal dialogs, and a few
// byte and file utilities.

#include "kestruneprobe.h"
#include "mkestrunewidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
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

// Link types: the selector's indices.
enum LinkMode { Udp = 0, Server = 1, Client = 2 };

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

    quint32 sent() const { return KestruneProbe::sndByteCnt(*w); }
    quint32 received() const { return KestruneProbe::rcvByteCnt(*w); }

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

// Answers the modal widgets that come up, one step per widget, in order.
// A timer looks for the next one and keeps looking, also while an earlier
// answer runs a nested event loop (a dialog that shows a box of its own).
// A modal widget that no step expects is noted and dismissed, so a test
// that meets an unexpected box fails instead of hanging.
class ModalScript final : public QObject
{
public:
    ModalScript() { lookSoon(); }

    // The next modal widget must be a T; action answers it.
    template <typename T>
    ModalScript &then(std::function<void(T *)> action)
    {
        steps.push_back({&T::staticMetaObject, [action = std::move(action)](QWidget *modal) {
                             action(static_cast<T *>(modal));
                         }});
        return *this;
    }

    bool finished() const { return next == steps.size(); }
    // Titles of the widgets the steps answered.
    QStringList titles;
    // Texts (or titles) of the modal widgets that no step expected.
    QStringList unexpected;

private:
    struct Step
    {
        const QMetaObject *type;
        std::function<void(QWidget *)> action;
    };

    void lookSoon() { QTimer::singleShot(5, this, [this] { look(); }); }

    void look()
    {
        if (++looks > 12000)
            return;
        lookSoon();
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (!finished() && modal->metaObject()->inherits(steps[next].type)) {
            const Step &step = steps[next++];
            titles.append(modal->windowTitle());
            step.action(modal);
            return;
        }
        const auto *box = qobject_cast<QMessageBox *>(modal);
        unexpected.append(box ? box->text() : modal->windowTitle());
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    }

    std::vector<Step> steps;
    std::size_t next = 0;
    int looks = 0;
};

// Chooses a path in a file dialog as the user does by typing its name.
inline void pickFile(QFileDialog *dialog, const QString &path)
{
    dialog->selectFile(path);
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
    QTest::mouseClick(window.netButton(), Qt::LeftButton);
    QVERIFY2(window.netButton()->isChecked(), modeName(mode));
    QVERIFY(window.sendButton()->isEnabled());
}

inline void closeLink(const Window &window)
{
    QVERIFY(window.netButton()->isChecked());
    QTest::mouseClick(window.netButton(), Qt::LeftButton);
    QVERIFY(!window.netButton()->isChecked());
    QVERIFY(!KestruneProbe::udpSocket(*window.w));
    QVERIFY(!KestruneProbe::tcpServer(*window.w));
    QVERIFY(!KestruneProbe::tcpClientSocket(*window.w));
}

} // namespace testsupport
