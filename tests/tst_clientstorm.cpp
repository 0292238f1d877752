#include "descriptors.h"
#include "softlimit.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

using namespace testsupport;

// The server link under a descriptor limit lowered for the test, with a peer
// process holding more connections than the limit allows: the clients beyond
// the window's reserve wait without the window spinning and are taken once
// the others leave, and file dialogs open beside the full server or, with
// too few descriptors left, fail as the action fails.
class tst_ClientStorm final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void waitsForDescriptors_data();
    void waitsForDescriptors();
    void fileActionsBesideFullServer_data();
    void fileActionsBesideFullServer();

private:
    QTemporaryDir dir;
};

namespace {

// The descriptors still free taken for a scope, all but a few: fewer than
// a file dialog needs, but the sanitizers' runtime checks memory through a
// pipe of its own.
struct DescriptorsTaken final
{
    DescriptorsTaken()
    {
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            taken.push_back(fd);
        for (int i = 0; i < 4 && !taken.empty(); ++i, taken.pop_back())
            ::close(taken.back());
    }
    ~DescriptorsTaken()
    {
        for (int fd : taken)
            ::close(fd);
    }
    Q_DISABLE_COPY_MOVE(DescriptorsTaken)
    std::vector<int> taken;
};

// Opens a server link and lets a peer hold `clients` connections to it,
// opened in waves of `wave`, until the window stops taking them.
void fillServer(const Window &window, std::unique_ptr<PeerProcess> &crowd, int clients, int wave)
{
    STEP(openLink(window, TcpServerLink, 0));
    mTcpServer *server = window.serverLink();
    crowd = std::make_unique<PeerProcess>(QStringList{QStringLiteral("tcp-hold"), QString::number(server->serverPort()),
                                                      QString::number(clients), QString::number(wave),
                                                      QStringLiteral("120")});
    QCOMPARE(crowd->value("opened", Timeout), qint64(clients));
    QTRY_VERIFY_WITH_TIMEOUT(server->acceptingHeld(), Timeout);
}

} // namespace

void tst_ClientStorm::initTestCase()
{
    QVERIFY(dir.isValid());
    // What the program does at start.
    const SoftLimit lowered(64);
    raiseDescriptorLimit();
    QVERIFY(freeDescriptors() > 64);
}

void tst_ClientStorm::waitsForDescriptors_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("clients");
    QTest::addColumn<int>("wave");

    QTest::newRow("256, 400 in waves of 40") << 256 << 400 << 40;
    QTest::newRow("256, 400 at once") << 256 << 400 << 400;
    QTest::newRow("1024, 1200 in waves of 40") << 1024 << 1200 << 40;
}

void tst_ClientStorm::waitsForDescriptors()
{
    QFETCH(int, limit);
    QFETCH(int, clients);
    QFETCH(int, wave);

    const SoftLimit lowered{rlim_t(limit)};
    Window window;
    std::unique_ptr<PeerProcess> crowd;
    STEP(fillServer(window, crowd, clients, wave));
    mTcpServer *server = window.serverLink();
    QVERIFY2(freeDescriptors() >= ReservedDescriptors, qPrintable(QString::number(freeDescriptors())));
    QVERIFY2(window.clientItems().size() > limit / 2, qPrintable(QString::number(window.clientItems().size())));

    // While the rest wait, nothing but the server's timer wakes the window
    // for them, and no other accept path takes one.
    const auto notifiers = server->findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(notifiers.size(), 1);
    QSignalSpy wakes(notifiers.first(), &QSocketNotifier::activated);
    QSignalSpy arrivals(server, &mTcpServer::addClientLink);
    QSignalSpy acceptErrors(server, &QTcpServer::acceptError);
    QSignalSpy retries(server->findChild<QTimer *>(QStringLiteral("acceptRetry")), &QTimer::timeout);
    QTRY_VERIFY_WITH_TIMEOUT(retries.size() >= 3, Timeout);
    QCOMPARE(wakes.size() + arrivals.size() + acceptErrors.size(), 0);

    // The crowd leaves; the window takes what waited, then a client that
    // comes now: it is listed and its bytes are shown.
    crowd->finish(0);
    QTcpSocket good;
    QSignalSpy connected(&good, &QTcpSocket::connected);
    good.connectToHost(QHostAddress::LocalHost, server->serverPort());
    QVERIFY(connected.wait(Timeout));
    good.write("hello");
    const QString text = clientText(good);
    QTRY_VERIFY_WITH_TIMEOUT(window.rcvArea()->toPlainText().endsWith(rcvHeader(text) + QStringLiteral("hello")),
                             Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(window.clientItems().size(), 2, Timeout);
    QCOMPARE(window.clientItems().last(), text);
    // Every client that said something is named by its own address.
    static const QRegularExpression named(rcvHeaderPattern(QStringLiteral("127\\.0\\.0\\.1:[1-9][0-9]*")));
    static const QRegularExpression any(rcvHeaderPattern());
    const QString shown = window.rcvArea()->toPlainText();
    QCOMPARE(shown.count(named), shown.count(any));
}

void tst_ClientStorm::fileActionsBesideFullServer_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("exhausted"); // too few descriptors left at the click
    QTest::addColumn<QString>("box");    // the failure's box, if any

    for (const char *action : {"save", "capture", "load", "source"}) {
        QTest::addRow("%s", action) << action << false << QString();
        const QString box = qstrcmp(action, "save") == 0   ? QStringLiteral("保存文件失败。")
                            : qstrcmp(action, "load") == 0 ? QStringLiteral("打开文件失败。")
                                                           : QString();
        QTest::addRow("%s, too few descriptors left", action) << action << true << box;
    }
}

void tst_ClientStorm::fileActionsBesideFullServer()
{
    QFETCH(QString, action);
    QFETCH(bool, exhausted);
    QFETCH(QString, box);

    const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    if (action == QLatin1String("load") || action == QLatin1String("source"))
        QVERIFY(writeFile(path, "from file"));
    const SoftLimit lowered(256);
    Window window;
    std::unique_ptr<PeerProcess> crowd;
    STEP(fillServer(window, crowd, 300, 40));

    ModalScript script;
    QString text;
    if (!exhausted)
        script.then<QFileDialog>([&path](QFileDialog *dialog) { pickFile(dialog, path); });
    else if (!box.isEmpty())
        script.then<QMessageBox>(okBox(&text));
    {
        std::unique_ptr<DescriptorsTaken> taken(exhausted ? new DescriptorsTaken : nullptr);
        if (action == QLatin1String("save"))
            QTest::mouseClick(window.child<QPushButton>("pBtnSaveRcvData"), Qt::LeftButton);
        else if (action == QLatin1String("capture"))
            clickBox(window.box("StartRcvFile"));
        else if (action == QLatin1String("load"))
            QTest::mouseClick(window.child<QPushButton>("pBtnLoadSndData"), Qt::LeftButton);
        else
            clickBox(window.sourceBox());
        QVERIFY(script.finished());
    }
    QCOMPARE(script.unexpected, QStringList());
    QCOMPARE(text, box);
    if (action == QLatin1String("save"))
        QCOMPARE(contents(path), exhausted ? QByteArray("(unreadable)") : window.rcvArea()->toPlainText().toUtf8());
    QCOMPARE(window.box("StartRcvFile")->isChecked(), action == QLatin1String("capture") && !exhausted);
    QCOMPARE(window.sourceBox()->isChecked(), action == QLatin1String("source") && !exhausted);
    if (action == QLatin1String("load"))
        QTRY_COMPARE_WITH_TIMEOUT(window.sendArea()->toPlainText(), exhausted ? QString() : QStringLiteral("from file"),
                                  Timeout);
}

KESTRUNE_TEST_MAIN_WITH_PEERS(tst_ClientStorm)

#include "tst_clientstorm.moc"
