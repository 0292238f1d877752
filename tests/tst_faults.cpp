#include "testsupport.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QUdpSocket>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A datagram from the test to the window's UDP link, once it is counted.
void sendDatagramToWindow(const Window &window, const QByteArray &bytes)
{
    const quint32 before = window.received();
    QUdpSocket sender;
    const quint16 port = KestruneProbe::udpSocket(*window.w)->localPort();
    QCOMPARE(sender.writeDatagram(bytes, QHostAddress::LocalHost, port), qint64(bytes.size()));
    QTRY_COMPARE_WITH_TIMEOUT(window.received(), before + quint32(bytes.size()), Timeout);
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
    STEP(openLink(window, Udp, 0));
    ModalScript script;
    script.then<QFileDialog>([&path](QFileDialog *dialog) { pickFile(dialog, path); });
    QCheckBox *capture = window.box("StartRcvFile");
    clickBox(capture);
    QVERIFY(script.finished());
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
    QVERIFY(script.finished());
    QCOMPARE(script.unexpected, QStringList());
    QCOMPARE(script.titles.last(), QStringLiteral("错误"));
    QCOMPARE(text, QStringLiteral("保存文件失败。"));
    QCOMPARE(window.rcvArea()->toPlainText(), lines);
}

QTEST_MAIN(tst_Faults)

#include "tst_faults.moc"
