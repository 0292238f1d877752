#include "benchwindow.h"

#include "benchsupport.h"
#include "kestruneprobe.h"
#include "mtcpserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

BenchWindow::BenchWindow()
    : m_window(std::make_unique<mKestruneWidget>())
{
    QObject::connect(&m_boxCloser, &QTimer::timeout, m_window.get(), [this] { closeMessageBoxes(); });
    m_boxCloser.start(100);
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get(), 10000))
        m_boxTexts.append(QStringLiteral("window not exposed"));
}

BenchWindow::~BenchWindow()
{
    m_boxCloser.stop();
}

void BenchWindow::closeMessageBoxes()
{
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
        m_boxTexts.append(box->windowTitle() + QLatin1Char(':') + box->text());
        box->close();
    }
}

quint16 BenchWindow::openServer()
{
    child<QComboBox>("cBoxNetType")->setCurrentIndex(1);
    child<QLineEdit>("lEditIpAddr")->setText(QStringLiteral("127.0.0.1"));
    child<QLineEdit>("lEditIpPort")->setText(QStringLiteral("0"));
    bench::click(child<QPushButton>("pBtnNetCnnt"));
    mTcpServer *listening = server();
    return linkOpen() && listening ? listening->serverPort() : 0;
}

bool BenchWindow::openClient(quint16 serverPort)
{
    child<QComboBox>("cBoxNetType")->setCurrentIndex(2);
    child<QLineEdit>("lEditIpAddr")->setText(QStringLiteral("127.0.0.1"));
    child<QLineEdit>("lEditIpPort")->setText(QString::number(serverPort));
    bench::click(child<QPushButton>("pBtnNetCnnt"));
    return linkOpen() && clientSocket();
}

bool BenchWindow::openUdp(quint16 targetPort)
{
    child<QComboBox>("cBoxNetType")->setCurrentIndex(0);
    child<QLineEdit>("lEditIpAddr")->setText(QStringLiteral("127.0.0.1"));
    child<QLineEdit>("lEditIpPort")->setText(QStringLiteral("0"));
    child<QLineEdit>("lEditUdpIP")->setText(QStringLiteral("127.0.0.1"));
    child<QLineEdit>("lEditUdpPort")->setText(QString::number(targetPort));
    bench::click(child<QPushButton>("pBtnNetCnnt"));
    return linkOpen();
}

void BenchWindow::closeLink()
{
    if (linkOpen())
        bench::click(child<QPushButton>("pBtnNetCnnt"));
}

bool BenchWindow::linkOpen() const
{
    return child<QPushButton>("pBtnNetCnnt")->isChecked();
}

void BenchWindow::clickBox(const char *name)
{
    auto *box = child<QCheckBox>(name);
    auto *tabs = child<QTabWidget>("Tabs_SndRcv");
    for (QWidget *ancestor = box; ancestor; ancestor = ancestor->parentWidget()) {
        if (tabs->indexOf(ancestor) >= 0) {
            tabs->setCurrentWidget(ancestor);
            QCoreApplication::processEvents();
            break;
        }
    }
    bench::click(box);
}

bool BenchWindow::boxChecked(const char *name) const
{
    return child<QCheckBox>(name)->isChecked();
}

bool BenchWindow::startCapture(const QString &path)
{
    bench::answerFileDialog(path);
    clickBox("StartRcvFile");
    return boxChecked("StartRcvFile");
}

bool BenchWindow::startSendFile(const QString &path)
{
    bench::answerFileDialog(path);
    clickBox("cBoxStartSndFile");
    return boxChecked("cBoxStartSndFile");
}

void BenchWindow::clickSend()
{
    bench::click(child<QPushButton>("pBtnSendData"));
}

qint64 BenchWindow::rcvCount() const
{
    return child<QLineEdit>("lEdit_RcvCnt")->text().toLongLong();
}

qint64 BenchWindow::sndCount() const
{
    return child<QLineEdit>("lEdit_SndCnt")->text().toLongLong();
}

QString BenchWindow::notes() const
{
    return child<QPlainTextEdit>("ReceiveTextEdit")->toPlainText();
}

mTcpServer *BenchWindow::server() const
{
    return KestruneProbe::tcpServer(*m_window);
}

QTcpSocket *BenchWindow::clientSocket() const
{
    return KestruneProbe::tcpClientSocket(*m_window);
}
