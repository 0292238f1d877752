#include "filesend.h"
#include "hexcodec.h"
#include "paragraphs.h"
#include "testsupport.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

// The file data source and loading text into the send area, through the real
// window with real peers on 127.0.0.1 and real files, including everything
// that can happen to a file send while events run under it.
class tst_FileSource final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sourceDialog_data();
    void sourceDialog();
    void sendsWholeFile_data();
    void sendsWholeFile();
    void emptyFile();
    void noLinkSendsNothing_data();
    void noLinkSendsNothing();
    void interruptions_data();
    void interruptions();
    void clientLeavesMidSend();
    void loadText_data();
    void loadText();
    void loadMeetsUserAction_data();
    void loadMeetsUserAction();
    void loadEndless_data();
    void loadEndless();
    void loadCancelled();
    void typedNameAndEnter_data();
    void typedNameAndEnter();

private:
    // Far more than the loopback buffers and a 1 MiB queue take together.
    const QByteArray &bigData();
    QString bigFile();

    QTemporaryDir dir;
    QByteArray big;
};

namespace {

QProgressBar *progress(const Window &window)
{
    return window.child<QProgressBar>("SndProgressBar");
}

const QRegularExpression StampLine(QRegularExpression::anchoredPattern(rcvStampPattern()));

// The receive area ends with the notes of one file send of total bytes,
// and the window is back at rest.
void verifyFinished(const Window &window, quint32 total, bool started = true)
{
    QTRY_VERIFY_WITH_TIMEOUT(!fileSendRunning(*window.w), Timeout);
    const QStringList lines = window.rcvArea()->toPlainText().split(QLatin1Char('\n'));
    const int notes = started ? 5 : 3;
    QVERIFY(lines.size() >= notes);
    const QStringList tail = lines.mid(lines.size() - notes);
    if (started) {
        QVERIFY2(StampLine.match(tail.at(0)).hasMatch(), qPrintable(tail.at(0)));
        QCOMPARE(tail.at(1), QStringLiteral("开始发送..."));
    }
    QVERIFY2(StampLine.match(tail.at(notes - 3)).hasMatch(), qPrintable(tail.at(notes - 3)));
    QCOMPARE(tail.at(notes - 2), QStringLiteral("发送完成！"));
    QCOMPARE(tail.at(notes - 1), QStringLiteral("共发送数据：") + sendTotalText(total) + QStringLiteral("MB"));

    QCOMPARE(window.sent(), total);
    QCOMPARE(window.child<QLineEdit>("lEdit_SndCnt")->text(), QString::number(total));
    QVERIFY(!fileSendRunning(*window.w));
    QVERIFY(progress(window)->isHidden());
    QCOMPARE(window.sendButton()->text(), QStringLiteral("发送"));
}

} // namespace

void tst_FileSource::initTestCase()
{
    QVERIFY(dir.isValid());
}

const QByteArray &tst_FileSource::bigData()
{
    if (big.isEmpty())
        big = randomBytes(16 * MiB, 4);
    return big;
}

QString tst_FileSource::bigFile()
{
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    if (!QFile::exists(path))
        writeFile(dir, QStringLiteral("big.bin"), bigData());
    return path;
}

void tst_FileSource::sourceDialog_data()
{
    QTest::addColumn<QString>("name");   // empty: the dialog is cancelled
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("on");

    QTest::newRow("accepted") << "source.bin" << true << true;
    QTest::newRow("cancelled") << "" << false << false;
    QTest::newRow("name of no file") << "missing.bin" << false << false;
}

void tst_FileSource::sourceDialog()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QFETCH(bool, on);

    Window window;
    const QString path = name.isEmpty() ? QString() : dir.filePath(name);
    if (exists)
        writeFile(dir, name, "data");
    window.rcvArea()->setPlainText(QStringLiteral("received"));

    QString filter;
    QFileDialog::ViewMode viewMode = QFileDialog::Detail;
    QFileDialog::FileMode fileMode = QFileDialog::Directory;
    QWidget *parent = nullptr;
    ModalScript script;
    script.then<QFileDialog>([&](QFileDialog *dialog) {
        filter = dialog->nameFilters().join(QLatin1Char('|'));
        viewMode = dialog->viewMode();
        fileMode = dialog->fileMode();
        parent = dialog->parentWidget();
        if (path.isEmpty())
            dialog->reject();
        else
            pickFile(dialog, path);
    });
    // A file that cannot be opened unchecks the box without a word: a
    // message box would fail the row as one that no step expects.
    clickBox(window.sourceBox());

    QVERIFY(script.finished());
    QCOMPARE(script.titles, QStringList{QStringLiteral("选择发送文件")});
    QCOMPARE(filter, QStringLiteral("所有文件(*.*)"));
    QCOMPARE(viewMode, QFileDialog::List);
    QCOMPARE(fileMode, QFileDialog::AnyFile);
    QCOMPARE(parent, window.w.data());
    QVERIFY(script.unexpected.isEmpty());
    QCOMPARE(window.sourceBox()->isChecked(), on);
    QCOMPARE(KestruneProbe::dataFile(*window.w) != nullptr, on);
    QCOMPARE(window.rcvArea()->toPlainText(),
             on ? QStringLiteral("从文件发送数据：\n") + path + QStringLiteral("\n") : QStringLiteral("received"));

    if (on) {
        // Switching off clears the receive area and lets the file go.
        clickBox(window.sourceBox());
        QVERIFY(!window.sourceBox()->isChecked());
        QVERIFY(!KestruneProbe::dataFile(*window.w));
        QCOMPARE(window.rcvArea()->toPlainText(), QString());
    }
}

void tst_FileSource::sendsWholeFile_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("dialog"); // a dialog opens in the first send and stays open until it ends

    QTest::newRow("UDP, 2 * 1024 + 452 bytes") << int(UdpLink) << randomBytes(2 * 1024 + 452, 1) << false;
    QTest::newRow("UDP, CR LF text") << int(UdpLink) << QByteArray("one\r\ntwo\r\n") << false;
    QTest::newRow("client, 300 KiB") << int(TcpClientLink) << randomBytes(300 * 1024 + 7, 2) << false;
    QTest::newRow("server to one client, 300 KiB") << int(TcpServerLink) << randomBytes(300 * 1024 + 7, 3) << false;
    QTest::newRow("UDP, under a dialog") << int(UdpLink) << randomBytes(16 * 1024, 5) << true;
    QTest::newRow("client, under a dialog") << int(TcpClientLink) << randomBytes(300 * 1024 + 7, 6) << true;
}

void tst_FileSource::sendsWholeFile()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, dialog);

    Window window;
    Peer peer;
    STEP(openLink(window, peer, mode, 2));
    if (mode == TcpServerLink)
        window.child<QComboBox>("cBoxClients")->setCurrentIndex(2);

    // Counters hold something from before: a text send and a reply.
    window.sendArea()->setPlainText(QStringLiteral("AB"));
    window.send();
    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(mode == TcpServerLink ? 1 : 0), QByteArray("AB"), Timeout);
    if (mode == UdpLink)
        peer.udp.writeDatagram("reply", QHostAddress::LocalHost, udpLink(*window.w)->localPort());
    else
        peer.sockets.front()->write("reply");
    QTRY_COMPARE_WITH_TIMEOUT(KestruneProbe::rcvByteCnt(*window.w), 5u, Timeout);

    STEP(chooseSource(window, writeFile(dir, QStringLiteral("whole.bin"), bytes)));
    const int target = mode == TcpServerLink ? 1 : 0;
    for (int round = 1; round <= 2; ++round) {
        // A dialog's own event loop keeps the send going.
        bool sentUnder = false;
        ModalScript script;
        if (dialog && round == 1) {
            script.then<QFileDialog>([&](QFileDialog *save) {
                sentUnder = fileSendRunning(*window.w)
                    && QTest::qWaitFor([&] { return !fileSendRunning(*window.w); }, Timeout);
                save->reject();
            });
            QTimer::singleShot(0, window.child<QPushButton>("pBtnSaveRcvData"), &QPushButton::click);
        }
        window.send();
        STEP(verifyFinished(window, quint32(bytes.size())));
        QTRY_VERIFY_WITH_TIMEOUT(script.finished(), Timeout);
        QCOMPARE(sentUnder, dialog && round == 1);
        QCOMPARE(KestruneProbe::rcvByteCnt(*window.w), 0u);
        QCOMPARE(window.child<QLineEdit>("lEdit_RcvCnt")->text(), QStringLiteral("0"));
        QCOMPARE(progress(window)->maximum(), bytes.size());
        QCOMPARE(progress(window)->value(), bytes.size());
        QVERIFY(window.sendButton()->isEnabled());

        // Each send starts at the beginning of the file.
        const QByteArray expected = "AB" + bytes.repeated(round);
        QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(target).size(), expected.size(), Timeout);
        QCOMPARE(sha256(peer.bytes(target)), sha256(expected));
    }
    if (mode == UdpLink) {
        // One datagram per chunk of at most 1024 bytes.
        QList<QByteArray> chunks{QByteArray("AB")};
        for (int round = 0; round < 2; ++round) {
            for (qsizetype at = 0; at < bytes.size(); at += 1024)
                chunks.append(bytes.mid(at, 1024));
        }
        QCOMPARE(peer.datagrams, chunks);
    }
    if (mode == TcpServerLink) {
        // The other client got nothing before this marker.
        clickBox(window.sourceBox());
        window.child<QComboBox>("cBoxClients")->setCurrentIndex(0);
        window.sendArea()->setPlainText(QStringLiteral("#"));
        window.send();
        QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(0), QByteArray("#"), Timeout);
    }
}

void tst_FileSource::emptyFile()
{
    Window window;
    Peer peer;
    STEP(openLink(window, peer, TcpClientLink));
    STEP(chooseSource(window, writeFile(dir, QStringLiteral("empty.bin"), QByteArray())));
    window.send();
    STEP(verifyFinished(window, 0));
    QVERIFY(window.rcvArea()->toPlainText().endsWith(QStringLiteral("\n共发送数据：0MB")));

    // Nothing went out before this marker.
    clickBox(window.sourceBox());
    window.sendArea()->setPlainText(QStringLiteral("#"));
    window.send();
    QTRY_COMPARE_WITH_TIMEOUT(peer.bytes(), QByteArray("#"), Timeout);
}

void tst_FileSource::noLinkSendsNothing_data()
{
    QTest::addColumn<bool>("refused"); // a UDP link whose target field holds no address
    QTest::newRow("no link") << false;
    QTest::newRow("target of no address") << true;
}

// Nothing is counted that no link took; a chunk the link refuses ends the
// send, and the click is told why.
void tst_FileSource::noLinkSendsNothing()
{
    QFETCH(bool, refused);
    Window window;
    Peer peer;
    if (refused) {
        STEP(openLink(window, peer, UdpLink));
        window.udpIp()->setText(QStringLiteral("..."));
    }
    STEP(chooseSource(window, writeFile(dir, QStringLiteral("nolink.bin"), QByteArray(5000, 'x'))));
    QString told;
    ModalScript boxes(refused ? std::vector<ModalStep>{answer<QMessageBox>(okBox(&told))} : std::vector<ModalStep>{});
    // Turning the loop switch off enables the send button without a link.
    clickBox(window.loopBox());
    clickBox(window.loopBox());
    window.send();
    STEP(verifyFinished(window, 0));
    QTRY_VERIFY_WITH_TIMEOUT(boxes.finished(), Timeout);
    QCOMPARE(told, refused ? QStringLiteral("目标IP地址无效! 数据未发送。") : QString());
}

void tst_FileSource::interruptions_data()
{
    // What happens once the send is under way: when the link's queue is over
    // 1 MiB (the send waits for a reader that does not read), or, over UDP,
    // after 16 KiB.
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("action");

    const char *const actions[] = {"close link", "source off", "close window", "delete window", "peer leaves"};
    for (const char *action : actions) {
        for (const int mode : {TcpClientLink, TcpServerLink, UdpLink}) {
            if (mode == UdpLink && QByteArray(action) == "peer leaves")
                continue;
            QTest::addRow("%s, %s", modeName(mode), action) << mode << QString::fromLatin1(action);
        }
    }
}

void tst_FileSource::interruptions()
{
    QFETCH(int, mode);
    QFETCH(QString, action);

    const QByteArray &bytes = bigData();
    const QString path = bigFile();

    auto window = std::make_unique<Window>();
    Peer peer;
    STEP(openLink(*window, peer, mode));
    peer.stopReading();
    STEP(chooseSource(*window, path));
    QPointer<mKestruneWidget> w = window->w;

    auto underWay = [&] {
        if (!fileSendRunning(*w))
            return false;
        switch (mode) {
        case TcpClientLink:
            return clientLink(*w)->bytesToWrite() > MiB;
        case TcpServerLink:
            return serverLink(*w)->largestPendingWrite() > MiB;
        default:
            return KestruneProbe::sndByteCnt(*w) >= 16 * 1024;
        }
    };
    bool acted = false;
    quint32 atAction = 0;
    // Looks at the send from the event passes it makes.
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    watch.setInterval(1);
    connect(&watch, &QTimer::timeout, this, [&] {
        if (!w || !underWay())
            return;
        watch.stop();
        acted = true;
        atAction = KestruneProbe::sndByteCnt(*w);
        if (action == QLatin1String("close link"))
            QTest::mouseClick(window->child<QPushButton>("pBtnNetCnnt"), Qt::LeftButton);
        else if (action == QLatin1String("source off"))
            clickBox(window->sourceBox());
        else if (action == QLatin1String("close window"))
            w->close();
        else if (action == QLatin1String("delete window"))
            w->deleteLater();
        else
            peer.sockets.front()->abort();
        // A send that goes on waiting is let through after a while, so that
        // it fails below instead of hanging.
        QTimer::singleShot(Timeout, &watch, [&peer] {
            for (const auto &socket : peer.sockets)
                socket->setReadBufferSize(0);
        });
    });
    watch.start();
    window->sendButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(acted, Timeout);

    if (action == QLatin1String("delete window")) {
        // Gone while the send ran, and nothing touched it afterwards.
        QTRY_VERIFY_WITH_TIMEOUT(!w, Timeout);
        return;
    }
    QVERIFY(w);
    const quint32 total = window->sent();
    if (action == QLatin1String("peer leaves") && mode == TcpServerLink) {
        // The server stays open: the rest is read and counted, reaching nobody.
        STEP(verifyFinished(*window, quint32(bytes.size())));
        return;
    }
    // The send ended at once: a few chunks after the action at most.
    QVERIFY2(total >= atAction && total < atAction + 64 * 1024, qPrintable(QString::number(total - atAction)));
    STEP(verifyFinished(*window, total, action != QLatin1String("source off")));
    if (action == QLatin1String("source off")) {
        // Switching off cleared the area; only the closing notes follow.
        QCOMPARE(window->rcvArea()->toPlainText().count(QLatin1Char('\n')), 2);
        QVERIFY(!KestruneProbe::dataFile(*w));
    }
    if (action == QLatin1String("peer leaves")) {
        // The server ended the connection: the link closed as a click does.
        QVERIFY(!window->linkOpen() && !window->sendButton()->isEnabled() && window->state()->text().isEmpty());
        return;
    }

    // What arrives is the file's beginning, and never more than was counted;
    // over a link that stayed open all of it arrives.
    for (const auto &socket : peer.sockets)
        socket->setReadBufferSize(0);
    auto linkState = [&peer] {
        peer.bytes();
        return peer.sockets.front()->state();
    };
    if (action != QLatin1String("close link"))
        QTRY_COMPARE_WITH_TIMEOUT(quint32(peer.bytes().size()), total, Timeout);
    else if (mode != UdpLink)
        QTRY_COMPARE_WITH_TIMEOUT(linkState(), QAbstractSocket::UnconnectedState, Timeout);
    const QByteArray received = peer.bytes();
    QVERIFY(quint32(received.size()) <= total);
    QVERIFY(bytes.startsWith(received));
}

void tst_FileSource::clientLeavesMidSend()
{
    Window window;
    Peer peer;
    STEP(openLink(window, peer, TcpServerLink, 2));
    QComboBox *clients = window.child<QComboBox>("cBoxClients");
    clients->setCurrentIndex(2);
    peer.stopReading();
    STEP(chooseSource(window, bigFile()));

    // The first client leaves while the send waits for the second; once the
    // window has let it go, the second reads again. The target's index is
    // then past the end of the list, and the rest of the file reaches nobody.
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    watch.setInterval(1);
    connect(&watch, &QTimer::timeout, this, [&] {
        if (peer.sockets.front()->state() == QAbstractSocket::ConnectedState) {
            if (serverLink(*window.w)->largestPendingWrite() > MiB)
                peer.sockets.front()->abort();
        } else if (clients->count() == 2) {
            watch.stop();
            peer.sockets.back()->setReadBufferSize(0);
        }
    });
    watch.start();
    window.send();
    QTRY_VERIFY_WITH_TIMEOUT(!watch.isActive(), Timeout);
    STEP(verifyFinished(window, quint32(bigData().size())));
    QCOMPARE(clients->count(), 2);

    // The second client got the file's beginning and nothing after it.
    clickBox(window.sourceBox());
    clients->setCurrentIndex(0);
    window.sendArea()->setPlainText(QStringLiteral("#"));
    window.send();
    QTRY_VERIFY_WITH_TIMEOUT(peer.bytes(1).endsWith('#'), Timeout);
    const QByteArray received = peer.bytes(1).chopped(1);
    QVERIFY(received.size() > MiB);
    QVERIFY2(received.size() < bigData().size(), qPrintable(QString::number(received.size())));
    QVERIFY(bigData().startsWith(received));
}

void tst_FileSource::loadText_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("after"); // empty: refused, the area as before

    QTest::newRow("CR LF at the cursor") << QByteArray("one\r\ntwo\r\n") << "ABCD" << 2 << false << "ABone\ntwo\nCD";
    QTest::newRow("at the end, no last line end") << QByteArray("x\r\ny") << "AB" << 2 << false << "ABx\ny";
    QTest::newRow("UTF-8") << QByteArray("中文\r\n") << "" << 0 << false << "中文\n";
    QTest::newRow("zero byte ends its line") << QByteArray("ab\0cd\r\nef", 9) << "" << 0 << false << "abef";
    QTest::newRow("invalid UTF-8") << QByteArray("\xff\n") << "" << 0 << false << "\ufffd\n";
    QTest::newRow("hex on: unchanged") << QByteArray("41 42\r\n") << "" << 0 << true << "41 42\n";
    // The area takes a CR for a line break, in the first line as in any.
    QTest::newRow("CR inside a line") << QByteArray("a\rb\r\nc\rd") << "" << 0 << false << "a\nb\nc\nd";
    // A line joins the text around the cursor; together they may be as long
    // as a paragraph may be, and not one character longer.
    const QByteArray line = QByteArray("0123456789abcdef").repeated(MaxParagraphChars / 16).left(MaxParagraphChars - 2);
    QTest::newRow("longest line") << line << "AB" << 1 << false << "A" + QString::fromLatin1(line) + "B";
    QTest::newRow("line too long") << line + 'x' << "AB" << 1 << false << "";
    // Chinese takes three bytes a character: as many bytes are no longer line.
    const QByteArray chinese = QByteArray("中").repeated(MaxParagraphChars - 1);
    QTest::newRow("longest line of Chinese") << chinese << "" << 0 << false << QString::fromUtf8(chinese);
    // Big enough to go in over several passes of the event loop.
    const QByteArray lines = QByteArray("line of text\r\n").repeated(256 * 1024);
    QTest::newRow("4 MiB of CR LF lines") << lines << "" << 0 << false
                                          << QString::fromLatin1(QByteArray("line of text\n").repeated(256 * 1024));
    // Taken back over several undo steps of the load.
    QTest::newRow("8 MiB of lines, then one too long") << lines + lines + line + "xyz\n" << "keep" << 4 << false << "";
}

void tst_FileSource::loadText()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(bool, hex);
    QFETCH(QString, after);

    Window window;
    window.child<QCheckBox>("cBox_SndHexDisp")->setChecked(hex);
    window.sendArea()->setPlainText(before);
    QTextCursor at = window.sendArea()->textCursor();
    at.setPosition(cursor);
    window.sendArea()->setTextCursor(at);

    QWidget *parent = nullptr;
    QString refusal;
    ModalScript script;
    script.then<QFileDialog>([&parent, path = writeFile(dir, QStringLiteral("load.txt"), content)](QFileDialog *dialog) {
        parent = dialog->parentWidget();
        pickFile(dialog, path);
    });
    if (after.isEmpty())
        script.then<QMessageBox>(okBox(&refusal));
    QTest::mouseClick(window.child<QPushButton>("pBtnLoadSndData"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), Timeout);
    QCOMPARE(script.titles.value(0), QStringLiteral("载入文本文件到发送区"));
    QCOMPARE(parent, window.w.data());
    QTRY_VERIFY_WITH_TIMEOUT(!sendAreaLoading(*window.w), Timeout);
    QVERIFY(window.child<QProgressBar>("SndProgressBar")->isHidden());
    if (after.isEmpty()) {
        QCOMPARE(script.titles.value(1), QStringLiteral("错误"));
        QVERIFY2(refusal.contains(QString::number(MaxParagraphChars)), qPrintable(refusal));
        QCOMPARE(window.sendArea()->toPlainText(), before);
        QCOMPARE(window.sendArea()->textCursor().position(), cursor);
        QVERIFY(!window.sendArea()->document()->isRedoAvailable());
        return;
    }
    QCOMPARE(window.sendArea()->toPlainText(), after);
    // The load is one step to undo, however many pieces it went in by.
    window.sendArea()->undo();
    QCOMPARE(window.sendArea()->toPlainText(), before);
}

void tst_FileSource::loadMeetsUserAction_data()
{
    QTest::addColumn<QString>("action");
    for (const char *action : {"hex on", "hex on off", "clear", "undo", "type at 0", "type"})
        QTest::newRow(action) << QString::fromLatin1(action);
}

// Whatever the user does to the send area while a load runs first ends the
// load: what it put in stays and takes the action, and nothing more comes.
// The source is a pipe that stays open, so the load never ends by itself.
void tst_FileSource::loadMeetsUserAction()
{
    QFETCH(QString, action);
    const QString fifo = dir.filePath(QString(action).replace(QLatin1Char(' '), QLatin1Char('-')));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A reader of the test's own lets the writer open without waiting.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    QCOMPARE(::write(writer, "one\ntwo\n", 8), ssize_t(8));
    Window window;
    QPlainTextEdit *area = window.sendArea();
    area->setPlainText(QStringLiteral("keep\n"));
    area->moveCursor(QTextCursor::End);
    ModalScript script({choose(fifo)});
    QTest::mouseClick(window.child<QPushButton>("pBtnLoadSndData"), Qt::LeftButton);
    QVERIFY(script.finished());
    const QString loaded = QStringLiteral("keep\none\ntwo\n");
    QTRY_COMPARE_WITH_TIMEOUT(area->toPlainText(), loaded, Timeout);
    QVERIFY(sendAreaLoading(*window.w));
    QVERIFY(window.child<QProgressBar>("SndProgressBar")->isVisible());

    QString expected = loaded;
    if (action.startsWith(QLatin1String("hex"))) {
        clickBox(window.hexBox());
        expected = sendHexText(loaded.toLocal8Bit());
        if (action.endsWith(QLatin1String("off"))) {
            QCOMPARE(area->toPlainText(), expected);
            clickBox(window.hexBox());
            expected = loaded;
        }
    } else if (action == QLatin1String("clear")) {
        QTest::mouseClick(window.child<QPushButton>("pBtnClearSndDisp"), Qt::LeftButton);
        expected.clear();
    } else if (action == QLatin1String("undo")) {
        QTest::keyClick(area, Qt::Key_Z, Qt::ControlModifier);
        expected = QStringLiteral("keep\n");
    } else {
        if (action.endsWith(QLatin1Char('0')))
            area->moveCursor(QTextCursor::Start);
        expected.insert(area->textCursor().position(), QLatin1Char('x'));
        QTest::keyClick(area, Qt::Key_X);
    }
    QVERIFY(!sendAreaLoading(*window.w));
    QVERIFY(window.child<QProgressBar>("SndProgressBar")->isHidden());
    QCOMPARE(area->toPlainText(), expected);
    QCOMPARE(window.hexBox()->isChecked(), action == QLatin1String("hex on"));
    ::close(writer);
    ::close(reader);
}

void tst_FileSource::loadEndless_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("zeros") << "/dev/zero";
    QTest::newRow("random bytes") << "/dev/urandom";
}

// A device that never ends fills the send area up to the load's cap: its
// lines' text, each up to its first zero byte.
void tst_FileSource::loadEndless()
{
    QFETCH(QString, path);
    Window window;
    window.sendArea()->setPlainText(QStringLiteral("keep"));
    ModalScript script;
    script.then<QFileDialog>([&path](QFileDialog *dialog) { pickFile(dialog, path); });
    QTest::mouseClick(window.child<QPushButton>("pBtnLoadSndData"), Qt::LeftButton);
    QVERIFY(script.finished());
    QTRY_VERIFY_WITH_TIMEOUT(!sendAreaLoading(*window.w), Timeout);
    const QString text = window.sendArea()->toPlainText();
    QVERIFY(text.endsWith(QStringLiteral("keep")));
    QVERIFY(!text.contains(QChar(0)));
    if (path == QLatin1String("/dev/zero"))
        QCOMPARE(text, QStringLiteral("keep"));
    else
        QVERIFY2(text.size() > 1024 * 1024 && text.size() <= 16 * 1024 * 1024 + 4, qPrintable(QString::number(text.size())));
}

void tst_FileSource::loadCancelled()
{
    Window window;
    window.sendArea()->setPlainText(QStringLiteral("keep"));
    QString text;
    ModalScript script;
    script.then<QFileDialog>(cancelDialog).then<QMessageBox>([&text](QMessageBox *message) {
        text = message->text();
        message->button(QMessageBox::Ok)->click();
    });
    QTest::mouseClick(window.child<QPushButton>("pBtnLoadSndData"), Qt::LeftButton);
    QVERIFY(script.finished());
    QCOMPARE(script.titles.value(1), QStringLiteral("错误"));
    QCOMPARE(text, QStringLiteral("打开文件失败。"));
    QCOMPARE(window.sendArea()->toPlainText(), QStringLiteral("keep"));
}

void tst_FileSource::typedNameAndEnter_data()
{
    QTest::addColumn<bool>("load"); // the load dialog, else the data source's

    QTest::newRow("data source") << false;
    QTest::newRow("load text") << true;
}

// A user types the whole path into the name field and presses Enter at
// once: the dialog takes exactly what was typed, whatever its file list has
// loaded by then (the field reads what it holds when Enter comes).
void tst_FileSource::typedNameAndEnter()
{
    QFETCH(bool, load);

    QTemporaryDir fresh;
    const QString path = writeFile(fresh, QStringLiteral("typed.txt"), "typed");
    Window window;
    ModalScript script;
    script.then<QFileDialog>([&path](QFileDialog *dialog) {
        // The user types into the name field once the dialog has given it
        // the focus, as it does when it becomes the active window.
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        QVERIFY(QTest::qWaitFor([name] { return name->hasFocus(); }, Timeout));
        QTest::keyClicks(name, path);
        QTest::keyClick(name, Qt::Key_Return);
    });
    if (load)
        QTest::mouseClick(window.child<QPushButton>("pBtnLoadSndData"), Qt::LeftButton);
    else
        clickBox(window.sourceBox());
    QVERIFY(script.finished());
    if (load) {
        QCOMPARE(window.sendArea()->toPlainText(), QStringLiteral("typed"));
    } else {
        QVERIFY(window.sourceBox()->isChecked());
        QCOMPARE(KestruneProbe::dataFileName(*window.w), path);
    }
}

QTEST_MAIN(tst_FileSource)

#include "tst_filesource.moc"
