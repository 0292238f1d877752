#include "benchwindow.h"

#include "modalguard.h"
#include "mtcpserver.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

BenchWindow::BenchWindow()
{
    if (!window.exposed)
        m_boxTexts.append(QStringLiteral("window not exposed"));
    answerWith({});
}

void BenchWindow::answerWith(std::vector<testsupport::ModalStep> steps)
{
    // One script at a time looks at the modal widgets.
    modals.reset();
    modals = std::make_unique<testsupport::ModalScript>(std::move(steps));
    modals->otherwise([this](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            m_boxTexts.append(box->windowTitle() + QLatin1Char(':') + box->text());
        else
            m_boxTexts.append(modal->windowTitle());
        testsupport::dismissModal(modal);
    });
}

quint16 BenchWindow::openServer()
{
    mTcpServer *listening = window.open(TcpServerLink, 0) ? server() : nullptr;
    return listening ? listening->serverPort() : 0;
}

bool BenchWindow::openClient(quint16 serverPort)
{
    return window.open(TcpClientLink, serverPort) && clientSocket();
}

bool BenchWindow::openUdp(quint16 targetPort)
{
    window.udpIp()->setText(QStringLiteral("127.0.0.1"));
    window.udpPort()->setText(QString::number(targetPort));
    return window.open(UdpLink, 0);
}

void BenchWindow::closeLink()
{
    if (linkOpen())
        window.toggleNet();
}

bool BenchWindow::clickWithFile(const char *box, const QString &path)
{
    answerWith({testsupport::choose(path)});
    clickBox(box);
    answerWith({});
    return boxChecked(box);
}

bool BenchWindow::startCapture(const QString &path)
{
    return clickWithFile("StartRcvFile", path);
}

bool BenchWindow::startSendFile(const QString &path)
{
    return clickWithFile("cBoxStartSndFile", path);
}

void BenchWindow::loadSendArea(const QString &path)
{
    answerWith({testsupport::choose(path)});
    QTest::mouseClick(child<QPushButton>("pBtnLoadSndData"), Qt::LeftButton);
    answerWith({});
}

void BenchWindow::saveRcvArea(const QString &path)
{
    answerWith({testsupport::choose(path)});
    QTest::mouseClick(child<QPushButton>("pBtnSaveRcvData"), Qt::LeftButton);
    answerWith({});
}
