#pragma once

#include "mkestrunewidget.h"

#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

QT_BEGIN_NAMESPACE
class QTcpSocket;
QT_END_NAMESPACE

class mTcpServer;

// The real main window, shown on the offscreen platform and driven through
// its controls as a user would: fields are filled in, the link button and
// the check boxes are clicked, file dialogs are answered. A message box that
// a failure raises is closed and its text kept, so no step can hang on it.
class BenchWindow final
{
    Q_DISABLE_COPY_MOVE(BenchWindow)

public:
    BenchWindow();
    ~BenchWindow();

    mKestruneWidget &widget() { return *m_window; }
    template<typename T>
    T *child(const char *name) const
    {
        return m_window->findChild<T *>(QString::fromLatin1(name));
    }

    // A TCP server on 127.0.0.1 at a port the system picks; returns the port
    // or 0 when the link did not open.
    quint16 openServer();
    bool openClient(quint16 serverPort);
    bool openUdp(quint16 targetPort);
    void closeLink();
    bool linkOpen() const;

    // Turns a check box on or off by a click on it (its tab shown first).
    void clickBox(const char *name);
    bool boxChecked(const char *name) const;
    // Turns capture or the file data source on, answering its dialog.
    bool startCapture(const QString &path);
    bool startSendFile(const QString &path);
    void clickSend();

    qint64 rcvCount() const;
    qint64 sndCount() const;
    QString notes() const;
    mTcpServer *server() const;
    QTcpSocket *clientSocket() const;
    // Texts of message boxes that were closed along the way.
    const QStringList &boxTexts() const { return m_boxTexts; }

private:
    void closeMessageBoxes();

    std::unique_ptr<mKestruneWidget> m_window;
    QTimer m_boxCloser;
    QStringList m_boxTexts;
};
