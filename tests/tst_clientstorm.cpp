#include "descriptors.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <vector>

using namespace testsupport;

// The server link when clients come by the hundred: under a descriptor limit
// lowered for the test, the clients beyond the window's reserve wait in the
// system's queue without the window spinning, and are taken once the others
// leave; file dialogs and files open beside a full server, and fail as the
// action fails when no descriptor is left; clients that reset at once are
// named by their own address. Peers run in processes of their own.
class tst_ClientStorm final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void raisesSoftLimit();
    void waitsForDescriptors_data();
    void waitsForDescriptors();
    void fileActionsBesideFullServer_data();
    void fileActionsBesideFullServer();
    void resetClientsNamed_data();
    void resetClientsNamed();

private:
    QTemporaryDir dir;
};

namespace {

// The soft descriptor limit of this process, lowered for a scope.
class SoftLimit final
{
public:
    explicit SoftLimit(rlim_t soft)
    {
        ::getrlimit(RLIMIT_NOFILE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = soft;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~SoftLimit() { ::setrlimit(RLIMIT_NOFILE, &saved); }
    Q_DISABLE_COPY_MOVE(SoftLimit)

private:
    rlimit saved {};
};

// Takes every descriptor still free, for a scope.
class AllDescriptorsTaken final
{
public:
    AllDescriptorsTaken()
    {
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            taken.push_back(fd);
    }
    ~AllDescriptorsTaken()
    {
        for (int fd : taken)
            ::close(fd);
    }
    Q_DISABLE_COPY_MOVE(AllDescriptorsTaken)

private:
    std::vector<int> taken;
};

// The server's own notifier on its listening socket.
QSocketNotifier *listeningNotifier(const mTcpServer &server)
{
    const auto notifiers = server.findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->socket() == server.socketDescriptor())
            return notifier;
    }
    return nullptr;
}

// Opens a server link and fills it from a peer that holds `clients`
// connections opened in waves of `wave`, until the window stops taking them.
void fillServer(const Window &window, std::unique_ptr<PeerProcess> &holder, int clients, int wave)
{
    STEP(openLink(window, TcpServerLink, 0));
    mTcpServer *server = window.serverLink();
    holder = std::make_unique<PeerProcess>(QStringList{QStringLiteral("tcp-hold"),
                                                       QString::number(server->serverPort()),
                                                       QString::number(clients), QString::number(wave),
                                                       QStringLiteral("120")});
    QCOMPARE(holder->value("opened", Timeout), qint64(clients));
    QTRY_VERIFY_WITH_TIMEOUT(server->acceptingHeld(), Timeout);
}

} // namespace

void tst_ClientStorm::initTestCase()
{
    QVERIFY(dir.isValid());
}

void tst_ClientStorm::raisesSoftLimit()
{
    const SoftLimit lowered(64);
    raiseDescriptorLimit();
    rlimit now {};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &now), 0);
    QCOMPARE(now.rlim_cur, now.rlim_max);
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
    QSignalSpy arrivals(server, &mTcpServer::addClientLink);
    QSignalSpy acceptErrors(server, &QTcpServer::acceptError);
    // The reserve is left free.
    QVERIFY2(freeDescriptors() >= ReservedDescriptors, qPrintable(QString::number(freeDescriptors())));

    // While the rest wait, nothing wakes the window for them but its timer.
    QSocketNotifier *notifier = listeningNotifier(*server);
    QVERIFY(notifier);
    QSignalSpy wakes(notifier, &QSocketNotifier::activated);
    QSignalSpy retries(server->findChild<QTimer *>(QStringLiteral("acceptRetry")), &QTimer::timeout);
    QTRY_VERIFY_WITH_TIMEOUT(retries.size() >= 3, Timeout);
    QCOMPARE(wakes.size(), 0);
    QCOMPARE(arrivals.size(), 0);
    QCOMPARE(acceptErrors.size(), 0);
    const QStringList listed = window.clientItems();
    QVERIFY2(listed.size() > limit / 2, qPrintable(QString::number(listed.size())));

    // The crowd leaves; the window takes what waited and then a client that
    // comes now, lists it and shows its bytes.
    crowd->finish(0);
    QTcpSocket good;
    QSignalSpy connected(&good, &QTcpSocket::connected);
    good.connectToHost(QHostAddress::LocalHost, server->serverPort());
    QVERIFY(connected.wait(Timeout));
    good.write("hello");
    const QString text = QStringLiteral("127.0.0.1:") + QString::number(good.localPort());
    QTRY_VERIFY_WITH_TIMEOUT(window.rcvArea()->toPlainText().endsWith(QStringLiteral("【数据来自") + text
                                                                       + QStringLiteral("】\nhello")),
                             Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(window.clientItems().size(), 2, Timeout);
    QCOMPARE(window.clientItems().last(), text);
    // Every client that said something is named by its own address.
    static const QRegularExpression named(QStringLiteral("【数据来自127\\.0\\.0\\.1:[1-9][0-9]*】"));
    const QString shown = window.rcvArea()->toPlainText();
    QCOMPARE(shown.count(named), shown.count(QStringLiteral("【数据来自")));
    QCOMPARE(clientListBreach(window), QString());
}

void tst_ClientStorm::fileActionsBesideFullServer_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("exhausted"); // no descriptor left at the click
    QTest::addColumn<QString>("box");    // the failure's box, if any

    const QString saveFailed = QStringLiteral("保存文件失败。");
    const QString openFailed = QStringLiteral("打开文件失败。");
    for (const char *action : {"save", "capture", "load", "source"}) {
        QTest::addRow("%s", action) << action << false << QString();
        const QString box = action == QByteArray("save") ? saveFailed
                            : action == QByteArray("load") ? openFailed
                                                           : QString();
        QTest::addRow("%s, no descriptor left", action) << action << true << box;
    }
}

void tst_ClientStorm::fileActionsBesideFullServer()
{
    QFETCH(QString, action);
    QFETCH(bool, exhausted);
    QFETCH(QString, box);

    const QString path = dir.filePath(action + (exhausted ? QStringLiteral("-none") : QStringLiteral("-one")));
    QFile::remove(path);
    if (action == QLatin1String("load") || action == QLatin1String("source"))
        QVERIFY(writeFile(path, "from file"));

    const SoftLimit lowered(256);
    Window window;
    std::unique_ptr<PeerProcess> crowd;
    STEP(fillServer(window, crowd, 300, 40));

    ModalScript script;
    QString text;
    if (exhausted && !box.isEmpty())
        script.then<QMessageBox>(okBox(&text));
    else if (!exhausted)
        script.then<QFileDialog>([&path](QFileDialog *dialog) { pickFile(dialog, path); });
    {
        std::unique_ptr<AllDescriptorsTaken> taken;
        if (exhausted)
            taken = std::make_unique<AllDescriptorsTaken>();
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

    if (exhausted) {
        QVERIFY(!QFile::exists(path) || action == QLatin1String("load") || action == QLatin1String("source"));
        QVERIFY(!window.box("StartRcvFile")->isChecked());
        QVERIFY(!window.sourceBox()->isChecked());
        QCOMPARE(window.sendArea()->toPlainText(), QString());
        QVERIFY(!window.rcvArea()->toPlainText().contains(path));
        return;
    }
    if (action == QLatin1String("save"))
        QCOMPARE(contents(path), window.rcvArea()->toPlainText().toUtf8());
    else if (action == QLatin1String("capture"))
        QVERIFY(window.box("StartRcvFile")->isChecked());
    else if (action == QLatin1String("load"))
        QTRY_COMPARE_WITH_TIMEOUT(window.sendArea()->toPlainText(), QStringLiteral("from file"), Timeout);
    else
        QVERIFY(window.sourceBox()->isChecked());
}

void tst_ClientStorm::resetClientsNamed_data()
{
    QTest::addColumn<bool>("bytes");

    QTest::newRow("each sends, then resets") << true;
    QTest::newRow("each resets at once") << false;
}

void tst_ClientStorm::resetClientsNamed()
{
    QFETCH(bool, bytes);
    constexpr int Clients = 300;

    Window window;
    STEP(openLink(window, TcpServerLink, 0));
    mTcpServer *server = window.serverLink();
    QSignalSpy arrivals(server, &mTcpServer::addClientLink);
    QSignalSpy departures(server, &mTcpServer::removeClientLink);
    PeerProcess resets({QStringLiteral("tcp-reset"), QString::number(server->serverPort()),
                        QString::number(Clients), QString::number(int(bytes))});
    QVERIFY(resets.waitForEnd(Timeout));
    QStringList names(Clients);
    QSet<QString> expected;
    for (const QByteArray &line : resets.finish(0).split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 3 && parts.first() == "client") {
            names[parts.at(1).toInt()] = QStringLiteral("127.0.0.1:") + QString::fromLatin1(parts.at(2));
            expected.insert(names.at(parts.at(1).toInt()));
        }
    }
    QCOMPARE(expected.size(), Clients);

    QTRY_COMPARE_WITH_TIMEOUT(departures.size(), Clients, Timeout);
    QSet<QString> arrived;
    QSet<QString> departed;
    for (int i = 0; i < Clients; ++i) {
        arrived.insert(arrivals.at(i).first().toString());
        departed.insert(departures.at(i).first().toString());
    }
    QCOMPARE(arrived, expected);
    QCOMPARE(departed, expected);
    QCOMPARE(window.clientItems(), QStringList());
    if (!bytes) {
        QCOMPARE(window.rcvArea()->toPlainText(), QString());
        return;
    }
    // Every client's bytes, each under a header that names that client.
    static const QRegularExpression record(QStringLiteral("【数据来自([^】]*)】\\n(r\\d{4})(?:\\n|$)"));
    QTRY_COMPARE_WITH_TIMEOUT(window.rcvArea()->toPlainText().count(QStringLiteral("【数据来自")), Clients, Timeout);
    int matched = 0;
    for (auto it = record.globalMatch(window.rcvArea()->toPlainText()); it.hasNext(); ++matched) {
        const QRegularExpressionMatch match = it.next();
        QCOMPARE(match.captured(1), names.at(match.captured(2).mid(1).toInt()));
    }
    QCOMPARE(matched, Clients);
}

KESTRUNE_TEST_MAIN_WITH_PEERS(tst_ClientStorm)

#include "tst_clientstorm.moc"
