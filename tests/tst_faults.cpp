#include "readpass.h"
#include "paragraphs.h"
#include "testsupport.h"
#include "bounds.h"

#include <QClipboard>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QUdpSocket>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

using namespace testsupport;

// Faults found by hostile peers and files: pipes whose other end is missing
// or leaves, a send area holding one endless line, peers that never read,
// a client that floods beside a quiet one, and a client that resets before
// the window takes it. Real sockets on 127.0.0.1, real FIFOs.
class tst_Faults final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void captureReaderLeaves();
    void saveReaderLeaves();
    void pipeWithoutPeer_data();
    void pipeWithoutPeer();
    void pipeWithWriter_data();
    void pipeWithWriter();
    void longLineInSendArea_data();
    void longLineInSendArea();
    void loopToPeerThatNeverReads_data();
    void loopToPeerThatNeverReads();
    void floodBesideQuietClient();
    void relayToClientThatNeverReads();
    void clientResetsBeforeTaken_data();
    void clientResetsBeforeTaken();

private:
    QTemporaryDir dir;
};

namespace {

QString makeFifo(const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
        qFatal("cannot make the FIFO %s", qPrintable(path));
    return path;
}

// Reads a FIFO from a thread of its own: opens it at once without waiting
// for a writer, takes up to `take` bytes once some are there, and closes,
// so that a writer in the window meets a pipe whose reader has left.
class PipeReader final
{
public:
    PipeReader(const QString &path, qsizetype take)
        : fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
    {
        thread = std::thread([this, take] {
            QByteArray bytes(take, Qt::Uninitialized);
            pollfd ready{fd, POLLIN, 0};
            if (fd >= 0 && ::poll(&ready, 1, Timeout) == 1) {
                const ssize_t n = ::read(fd, bytes.data(), size_t(bytes.size()));
                got = n > 0 ? bytes.left(n) : QByteArray();
            }
            if (fd >= 0)
                ::close(fd);
        });
    }
    ~PipeReader() { thread.join(); }
    Q_DISABLE_COPY_MOVE(PipeReader)

    bool isOpen() const { return fd >= 0; }
    // What it read; only to be looked at after the thread has ended.
    QByteArray got;

private:
    int fd = -1;
    std::thread thread;
};

// Stands by while the window opens a FIFO that has no other end. Should
// the open wait for one, the window's thread is stuck; after Timeout this
// opens the other end (otherEnd: O_RDONLY or O_WRONLY) and closes it again,
// which lets the open go on, so the row fails instead of hanging.
class FifoRelease final
{
public:
    FifoRelease(const QString &path, int otherEnd)
        : path(QFile::encodeName(path))
    {
        thread = std::thread([this, otherEnd] {
            std::unique_lock<std::mutex> lock(mutex);
            if (wake.wait_for(lock, std::chrono::milliseconds(Timeout), [this] { return finished; }))
                return;
            const int fd = ::open(this->path.constData(), otherEnd | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                ::close(fd);
            released = true;
        });
    }
    ~FifoRelease()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            finished = true;
        }
        wake.notify_all();
        thread.join();
    }
    Q_DISABLE_COPY_MOVE(FifoRelease)

    bool wasReleased()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return released;
    }

private:
    QByteArray path;
    std::mutex mutex;
    std::condition_variable wake;
    bool finished = false;
    bool released = false;
    std::thread thread;
};

// Writes bytes into a FIFO from a thread of its own, as a program started
// with its output sent there does: it waits for a reader, writes, closes.
class PipeWriter final
{
public:
    PipeWriter(const QString &path, const QByteArray &bytes)
        : path(QFile::encodeName(path))
    {
        thread = std::thread([this, bytes] {
            const int fd = ::open(this->path.constData(), O_WRONLY | O_CLOEXEC);
            if (fd >= 0) {
                (void)!::write(fd, bytes.constData(), size_t(bytes.size()));
                ::close(fd);
            }
            done = true;
        });
    }
    ~PipeWriter()
    {
        // Nobody opened the pipe for reading: a reader here lets the
        // thread end.
        const int fd = done ? -1 : ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        thread.join();
        if (fd >= 0)
            ::close(fd);
    }
    Q_DISABLE_COPY_MOVE(PipeWriter)

    std::atomic_bool done{false};

private:
    QByteArray path;
    std::thread thread;
};

// Fails the whole run when a step holds the window's thread for longer than
// Timeout: a step that does not come back cannot fail a row by itself.
class HangGuard final
{
public:
    explicit HangGuard(const char *what)
    {
        thread = std::thread([this, what] {
            std::unique_lock<std::mutex> lock(mutex);
            if (!wake.wait_for(lock, std::chrono::milliseconds(Timeout), [this] { return finished; }))
                qFatal("the window's thread did not come back: %s", what);
        });
    }
    ~HangGuard()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            finished = true;
        }
        wake.notify_all();
        thread.join();
    }
    Q_DISABLE_COPY_MOVE(HangGuard)

private:
    std::mutex mutex;
    std::condition_variable wake;
    bool finished = false;
    std::thread thread;
};

} // namespace

void tst_Faults::initTestCase()
{
    QVERIFY(dir.isValid());
    // The window itself must keep a broken pipe from killing the program,
    // whatever the process that started the test did with the signal.
    std::signal(SIGPIPE, SIG_DFL);
}

void tst_Faults::captureReaderLeaves()
{
    const QString path = makeFifo(dir, QStringLiteral("capture-reader-leaves"));
    // The test's reader end opens first, so the window's open finds it.
    const int reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(reader >= 0);

    Window window;
    STEP(openLink(window, UdpLink, 0));
    ModalScript script;
    script.then<QFileDialog>([&path](QFileDialog *dialog) { pickFile(dialog, path); });
    QCheckBox *capture = window.box("StartRcvFile");
    clickBox(capture);
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), Timeout);
    QVERIFY(capture->isChecked());
    const QString notice = window.rcvArea()->toPlainText();
    QCOMPARE(notice, QStringLiteral("接收数据保存到文件：\n") + path + QStringLiteral("\n"));

    // Larger than the file's write buffer, so each chunk is written at once.
    const QByteArray first(32 * KiB, 'f');
    STEP(sendDatagramToWindow(window, first));
    QByteArray piped(first.size(), Qt::Uninitialized);
    QCOMPARE(::read(reader, piped.data(), size_t(piped.size())), ssize_t(first.size()));
    QCOMPARE(piped, first);

    // The reader exits; the next write fails and ends capture.
    ::close(reader);
    STEP(sendDatagramToWindow(window, QByteArray(32 * KiB, 's')));
    QVERIFY(!capture->isChecked());
    QVERIFY(!KestruneProbe::rcvFile(*window.w));
    QCOMPARE(window.received(), quint32(64 * KiB));
    QCOMPARE(window.rcvArea()->toPlainText(), notice);
    QCOMPARE(script.unexpected, QStringList());

    // Reception goes on, shown again.
    STEP(sendDatagramToWindow(window, "after"));
    const QString shown = window.rcvArea()->toPlainText();
    QVERIFY2(shown.startsWith(notice) && shown.endsWith(QStringLiteral("after")), qPrintable(shown));
}

void tst_Faults::saveReaderLeaves()
{
    const QString path = makeFifo(dir, QStringLiteral("save-reader-leaves"));
    // More than a pipe holds: the save is still writing when the reader,
    // having taken a little, exits.
    Window window;
    const QString lines = QString(QStringLiteral("saved line\n")).repeated(int(24 * KiB));
    window.rcvArea()->setPlainText(lines);
    PipeReader reader(path, 4 * KiB);
    QVERIFY(reader.isOpen());

    ModalScript script;
    script.then<QFileDialog>([&path](QFileDialog *dialog) { pickFile(dialog, path); });
    // The dialog asks before it replaces a file that exists.
    script.then<QMessageBox>(okBox(nullptr));
    QString text;
    script.then<QMessageBox>(okBox(&text));
    QTest::mouseClick(window.child<QPushButton>("pBtnSaveRcvData"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), Timeout);
    QCOMPARE(script.unexpected, QStringList());
    QCOMPARE(script.titles.last(), QStringLiteral("错误"));
    QCOMPARE(text, QStringLiteral("保存文件失败。"));
    QCOMPARE(window.rcvArea()->toPlainText(), lines);
}

void tst_Faults::pipeWithoutPeer_data()
{
    QTest::addColumn<QString>("feature");
    // The failure box's text; empty where a switch only unchecks itself.
    QTest::addColumn<QString>("box");

    QTest::newRow("capture, no reader") << "capture" << "";
    QTest::newRow("data source, no writer") << "source" << "";
    QTest::newRow("save, no reader") << "save" << "保存文件失败。";
    QTest::newRow("load, no writer") << "load" << "打开文件失败。";
}

void tst_Faults::pipeWithoutPeer()
{
    QFETCH(QString, feature);
    QFETCH(QString, box);
    const QString path = makeFifo(dir, feature + QStringLiteral("-no-peer"));
    const bool windowWrites = feature == QLatin1String("capture") || feature == QLatin1String("save");

    Window window;
    window.rcvArea()->setPlainText(QStringLiteral("shown"));
    window.sendArea()->setPlainText(QStringLiteral("keep"));
    ModalScript script;
    script.then<QFileDialog>([&path](QFileDialog *dialog) { pickFile(dialog, path); });
    // The save dialog asks before it replaces a file that exists.
    if (feature == QLatin1String("save"))
        script.then<QMessageBox>(okBox(nullptr));
    QString text;
    if (!box.isEmpty())
        script.then<QMessageBox>(okBox(&text));

    bool released = false;
    {
        FifoRelease release(path, windowWrites ? O_RDONLY : O_WRONLY);
        if (feature == QLatin1String("capture"))
            clickBox(window.box("StartRcvFile"));
        else if (feature == QLatin1String("source"))
            clickBox(window.sourceBox());
        else if (feature == QLatin1String("save"))
            QTest::mouseClick(window.child<QPushButton>("pBtnSaveRcvData"), Qt::LeftButton);
        else
            QTest::mouseClick(window.child<QPushButton>("pBtnLoadSndData"), Qt::LeftButton);
        released = release.wasReleased();
    }
    QVERIFY2(!released, "opening the pipe waited for its other end");
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), Timeout);
    QCOMPARE(script.unexpected, QStringList());
    if (!box.isEmpty()) {
        QCOMPARE(script.titles.last(), QStringLiteral("错误"));
        QCOMPARE(text, box);
    }
    QVERIFY(!window.box("StartRcvFile")->isChecked());
    QVERIFY(!KestruneProbe::rcvFile(*window.w));
    QVERIFY(!window.sourceBox()->isChecked());
    QVERIFY(!KestruneProbe::dataFile(*window.w));
    QCOMPARE(window.rcvArea()->toPlainText(), QStringLiteral("shown"));
    QCOMPARE(window.sendArea()->toPlainText(), QStringLiteral("keep"));
}

void tst_Faults::pipeWithWriter_data()
{
    QTest::addColumn<QString>("feature");

    QTest::newRow("data source") << "source";
    QTest::newRow("load") << "load";
}

void tst_Faults::pipeWithWriter()
{
    QFETCH(QString, feature);
    const QString path = makeFifo(dir, feature + QStringLiteral("-writer"));
    const QByteArray bytes("from a pipe\nsecond line\n");

    Window window;
    Peer peer;
    PipeWriter writer(path, bytes);
    ModalScript script;
    script.then<QFileDialog>([&path](QFileDialog *dialog) { pickFile(dialog, path); });
    if (feature == QLatin1String("load")) {
        // Reads until the writer closes, while the window goes on.
        QTest::mouseClick(window.child<QPushButton>("pBtnLoadSndData"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(script.finished(), Timeout);
        QCOMPARE(script.unexpected, QStringList());
        QTRY_COMPARE_WITH_TIMEOUT(window.sendArea()->toPlainText(), QString::fromUtf8(bytes), Timeout);
        return;
    }

    STEP(openLink(window, peer, TcpClientLink));
    clickBox(window.sourceBox());
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), Timeout);
    QCOMPARE(script.unexpected, QStringList());
    QVERIFY(window.sourceBox()->isChecked());
    // Sent once the writer is done: everything it wrote, then the end.
    QTRY_VERIFY_WITH_TIMEOUT(writer.done, Timeout);
    window.send();
    QCOMPARE(window.sent(), quint32(bytes.size()));
    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(), bytes, Timeout);
}

void tst_Faults::longLineInSendArea_data()
{
    QTest::addColumn<bool>("paste"); // else loaded from a file
    QTest::addColumn<int>("size");   // of the line; a key is typed after it

    QTest::newRow("loaded, as long as a line may be") << false << int(MaxParagraphChars - 1);
    QTest::newRow("pasted, as long as a line may be") << true << int(MaxParagraphChars - 1);
    // Refused: the area stays empty and takes the key alone.
    QTest::newRow("loaded, a megabyte") << false << int(MiB);
    QTest::newRow("pasted, a megabyte") << true << int(MiB);
    QTest::newRow("pasted, more than the area takes at once") << true << int(MaxEditChars + 1);
}

// A line as long as the area takes goes in whole and out exactly; a longer
// one is refused with a box, and the area is left as it was.
void tst_Faults::longLineInSendArea()
{
    QFETCH(bool, paste);
    QFETCH(int, size);
    // One line without a space or a break anywhere.
    const QByteArray line = QByteArray("abcdefghijklmnopqrstuvwxyz0123456789").repeated(size / 36 + 1).left(size);
    const bool refused = size > MaxParagraphChars - 1;

    Window window;
    Peer peer;
    STEP(openLink(window, peer, TcpClientLink));
    QString told;
    ModalScript script;
    if (!paste) {
        const QString path = writeFile(dir, QStringLiteral("one-line.txt"), line);
        script.then<QFileDialog>([path](QFileDialog *dialog) { pickFile(dialog, path); });
    }
    if (refused)
        script.then<QMessageBox>(okBox(&told));
    {
        HangGuard guard("a long line into the send area");
        if (paste) {
            QApplication::clipboard()->setText(QString::fromLatin1(line));
            window.sendArea()->setFocus();
            QTest::keyClick(window.sendArea(), Qt::Key_V, Qt::ControlModifier);
        } else {
            QTest::mouseClick(window.child<QPushButton>("pBtnLoadSndData"), Qt::LeftButton);
        }
        QVERIFY(QTest::qWaitFor([&] { return script.finished() && !sendAreaLoading(*window.w); }, Timeout));
        // The area still takes typing, and sends exactly what it holds.
        window.sendArea()->moveCursor(QTextCursor::End);
        QTest::keyClick(window.sendArea(), Qt::Key_Exclam);
        QCoreApplication::processEvents();
    }
    QCOMPARE(script.unexpected, QStringList());
    QCOMPARE(told.contains(QString::number(size > MaxEditChars ? MaxEditChars : MaxParagraphChars)), refused);
    const QByteArray sent = (refused ? QByteArray() : line) + '!';
    QCOMPARE(window.sendArea()->toPlainText().size(), sent.size());
    window.send();
    QCOMPARE(window.sent(), quint32(sent.size()));
    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes().size(), sent.size(), Timeout);
    QCOMPARE(peer.bytes(), sent);
}

void tst_Faults::loopToPeerThatNeverReads_data()
{
    QTest::addColumn<int>("mode");

    QTest::newRow("TCP client") << int(TcpClientLink);
    QTest::newRow("TCP server, all clients") << int(TcpServerLink);
}

void tst_Faults::loopToPeerThatNeverReads()
{
    QFETCH(int, mode);
    Window window;
    Peer peer;
    STEP(openLink(window, peer, mode));
    peer.stopReading();
    const QByteArray payload(64 * KiB, 'L');
    window.sendArea()->setPlainText(QString::fromLatin1(payload));
    window.interval()->setText(QStringLiteral("1"));
    clickBox(window.loopBox());
    QVERIFY(window.loopTimer());

    // What the window holds queued for the peer, looked at after each tick.
    const QPointer<mKestruneWidget> w = window.w;
    auto queued = [w, mode] {
        return mode == TcpClientLink ? clientLink(*w)->bytesToWrite()
                              : serverLink(*w)->largestPendingWrite();
    };
    qint64 largest = 0;
    int ticksAtBound = 0;
    QObject::connect(window.loopTimer(), &QTimer::timeout, window.w, [&] {
        largest = std::max(largest, queued());
        if (queued() > MaxQueuedBytes - payload.size())
            ++ticksAtBound;
    });
    window.send();
    QVERIFY(loopRunning(*window.w));

    // Once the system's buffers are full, the queue reaches the bound and
    // ticks go on without letting it grow.
    QTRY_VERIFY_WITH_TIMEOUT(ticksAtBound >= 200, Timeout);
    QVERIFY2(largest <= MaxQueuedBytes + payload.size(), qPrintable(QString::number(largest)));
    QVERIFY(loopRunning(*window.w));
    QVERIFY(window.loopTimer()->isActive());

    // Stopped; the peer reads again and gets exactly what was counted.
    window.send();
    QVERIFY(!loopRunning(*window.w));
    const quint32 counted = window.sent();
    QCOMPARE(counted % payload.size(), 0u);
    peer.sockets[0]->setReadBufferSize(0);
    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes().size(), qsizetype(counted), Timeout);
    QCOMPARE(peer.bytes(), payload.repeated(int(counted / payload.size())));
}

void tst_Faults::floodBesideQuietClient()
{
    // The server alone, with a handler slower than a read pass may run for
    // every chunk of the flood (as a window showing it may be): a pass is
    // then over after one such chunk, and the next must go on with the
    // other client instead of starting with the flooder again.
    mTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QList<int> descriptors;
    QStringList departures;
    QObject::connect(&server, &mTcpServer::addClientLink, &server,
                     [&](const QString &, int descriptor) { descriptors.append(descriptor); });
    QObject::connect(&server, &mTcpServer::removeClientLink, &server,
                     [&](const QString &text, int) { departures.append(text); });
    QTcpSocket flooder;
    QTcpSocket quiet;
    flooder.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QTRY_COMPARE_WITH_TIMEOUT(descriptors.size(), 1, Timeout);
    quiet.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QTRY_COMPARE_WITH_TIMEOUT(descriptors.size(), 2, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(quiet.state(), QAbstractSocket::ConnectedState, Timeout);
    const QString quietText = clientText(quiet);

    const QByteArray flood(2 * MiB, 'a');
    const QByteArray words("ten bytes!");
    qint64 flooded = 0;
    qint64 floodedAtWords = -1;
    QByteArray heard;
    QObject::connect(&server, &mTcpServer::updateTcpServer, &server, [&](char *msg, int length, int descriptor) {
        if (descriptor != descriptors.first()) {
            heard.append(msg, length);
            floodedAtWords = flooded;
            return;
        }
        flooded += length;
        if (departures.isEmpty()) {
            QElapsedTimer busy;
            busy.start();
            while (!busy.hasExpired(MaxReadPassMs))
                ;
        }
    });

    flooder.write(flood);
    QTRY_VERIFY_WITH_TIMEOUT(flooded > 0, Timeout);
    quiet.write(words);
    quiet.disconnectFromHost();

    // The quiet client is heard and its departure reported while the flood
    // is still coming in.
    QTRY_COMPARE_WITH_TIMEOUT(departures.size(), 1, Timeout);
    QCOMPARE(departures.first(), quietText);
    QCOMPARE(heard, words);
    QVERIFY2(floodedAtWords < flood.size(), qPrintable(QString::number(floodedAtWords)));
    QTRY_COMPARE_WITH_TIMEOUT(flooded, qint64(flood.size()), Timeout);
}

void tst_Faults::relayToClientThatNeverReads()
{
    Window window;
    Peer peer;
    STEP(openLink(window, peer, TcpServerLink, 2));
    QTcpSocket *flooder = peer.sockets[0].get();
    QTcpSocket *stalled = peer.sockets[1].get();
    stalled->setReadBufferSize(4 * KiB);
    clickBox(window.box("cBox_chatMode"));
    // Shown or not, every chunk is relayed; not showing it keeps this quick.
    clickBox(window.box("cBox_PauseShowRcv"));
    mTcpServer *server = serverLink(*window.w);
    QTcpSocket *fromFlooder = nullptr;
    for (QTcpSocket *socket : server->findChildren<QTcpSocket *>()) {
        if (socket->peerPort() == flooder->localPort())
            fromFlooder = socket;
    }
    QVERIFY(fromFlooder);

    // The most queued for any client, looked at after every relay.
    qint64 largest = 0;
    QObject::connect(window.w, &mKestruneWidget::sendDataToClient, window.w,
                     [&] { largest = std::max(largest, server->largestPendingWrite()); });
    const QByteArray flood = randomBytes(24 * MiB, 4);
    flooder->write(flood);

    // The stalled client's queue reaches the bound; the window then leaves
    // the flooder's bytes unread, however many events it handles meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(server->largestPendingWrite() > MaxQueuedBytes, Timeout);
    for (int i = 0; i < 200; ++i)
        QCoreApplication::processEvents();
    QVERIFY2(largest <= MaxQueuedBytes + MaxTcpChunk, qPrintable(QString::number(largest)));
    QVERIFY(fromFlooder->bytesAvailable() > 0);
    QVERIFY(flooder->bytesToWrite() > 0);
    QVERIFY(window.received() < quint32(flood.size()));

    // Once the stalled client reads, everything flows on, none of it lost.
    stalled->setReadBufferSize(0);
    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(1).size(), flood.size(), Timeout);
    QCOMPARE(sha256(peer.bytes(1)), sha256(flood));
    QCOMPARE(window.received(), quint32(flood.size()));
    QVERIFY2(largest <= MaxQueuedBytes + MaxTcpChunk, qPrintable(QString::number(largest)));
}

void tst_Faults::clientResetsBeforeTaken_data()
{
    QTest::addColumn<int>("clients");

    QTest::newRow("one") << 1;
    QTest::newRow("a burst of 300") << 300;
}

void tst_Faults::clientResetsBeforeTaken()
{
    QFETCH(int, clients);
    Window window;
    STEP(openLink(window, TcpServerLink, 0));
    mTcpServer *server = serverLink(*window.w);
    QSignalSpy arrivals(server, &mTcpServer::addClientLink);
    QSignalSpy departures(server, &mTcpServer::removeClientLink);

    // Each client connects, sends and resets at once, while the window's
    // event loop runs, so the window takes most connections after the reset.
    QStringList names(clients);
    std::thread burst([&names, port = server->serverPort()] {
        for (QString &name : names)
            name = clientText(sendAndReset(port, "reset soon"));
    });
    QTRY_COMPARE_WITH_TIMEOUT(departures.size(), clients, Timeout);
    burst.join();
    // Every client is listed, leaves and is shown under its own address;
    // clients take turns, so their records may come in any order.
    QStringList departed;
    for (int i = 0; i < clients; ++i) {
        QCOMPARE(arrivals.at(i).first().toString(), names.at(i));
        departed.append(departures.at(i).first().toString());
    }
    departed.sort();
    QStringList sorted = names;
    sorted.sort();
    QCOMPARE(departed, sorted);
    const QString record = rcvHeader(QStringLiteral("%1")) + QStringLiteral("reset soon");
    QTRY_COMPARE_WITH_TIMEOUT(window.rcvArea()->toPlainText().size(),
                              names.join(QString()).size() + (record.size() - 2 + 1) * clients - 1, Timeout);
    for (const QString &name : std::as_const(names))
        QVERIFY2(window.rcvArea()->toPlainText().contains(record.arg(name)), qPrintable(name));
    QCOMPARE(window.clientItems(), QStringList());
}

QTEST_MAIN(tst_Faults)

#include "tst_faults.moc"
