#pragma once

#include "modalscript.h"
#include "window.h"

#include <QLineEdit>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

QT_BEGIN_NAMESPACE
class QTcpSocket;
QT_END_NAMESPACE

class mTcpServer;

// The tests' window holder with the benchmark's rule for dialogs: a file
// dialog a step expects is answered, and every other modal widget is closed
// and its text kept, so that no run can hang on one and the row can say
// what came up.
class BenchWindow final
{
    Q_DISABLE_COPY_MOVE(BenchWindow)

public:
    BenchWindow();

    mKestruneWidget &widget() { return *window.w; }
    template <typename T>
    T *child(const char *name) const
    {
        return window.child<T>(name);
    }

    // A TCP server on 127.0.0.1 at a port the system picks; returns the port
    // or 0 when the link did not open.
    quint16 openServer();
    bool openClient(quint16 serverPort);
    // A UDP link on a port the system picks, sending to 127.0.0.1:targetPort.
    bool openUdp(quint16 targetPort);
    void closeLink();
    bool linkOpen() const { return window.linkOpen(); }

    // Turns a check box on or off by a click on it (its tab shown first).
    void clickBox(const char *name) { window.clickBox(name); }
    bool boxChecked(const char *name) const { return window.box(name)->isChecked(); }
    // Turns capture or the file data source on, answering its dialog.
    bool startCapture(const QString &path);
    bool startSendFile(const QString &path);
    void clickSend() { window.send(); }
    // Clicks 载入数据 and answers its dialog with path.
    void loadSendArea(const QString &path);
    // Clicks 保存数据 and answers its dialog with path.
    void saveRcvArea(const QString &path);

    // The counters as their fields show them.
    qint64 rcvCount() const { return child<QLineEdit>("lEdit_RcvCnt")->text().toLongLong(); }
    qint64 sndCount() const { return child<QLineEdit>("lEdit_SndCnt")->text().toLongLong(); }
    QString notes() const { return window.rcvArea()->toPlainText(); }
    mTcpServer *server() const { return window.serverLink(); }
    QTcpSocket *clientSocket() const { return window.clientLink(); }
    // Stops looking for modal widgets, so that a reading of the window's
    // idle CPU has no timer of the harness in it; answerAgain() resumes.
    void stopAnswering() { modals.reset(); }
    void answerAgain() { answerWith({}); }
    // Texts of the modal widgets that were closed along the way.
    const QStringList &boxTexts() const { return m_boxTexts; }

private:
    // Answers the next modal widgets with the steps; any other is closed.
    void answerWith(std::vector<testsupport::ModalStep> steps);
    // Clicks a check box that asks for a file, answering with path.
    bool clickWithFile(const char *box, const QString &path);

    testsupport::Window window;
    std::unique_ptr<testsupport::ModalScript> modals;
    QStringList m_boxTexts;
};
