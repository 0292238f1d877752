#include "filesend.h"

#include <QBuffer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <limits>

// The megabyte total of a file send's closing note, the scaling of the
// progress bar for files beyond the int range, and the send's passes over a
// link made of callbacks.
class tst_FileSend final : public QObject
{
    Q_OBJECT

private slots:
    void totalText_data();
    void totalText();
    void progressShift_data();
    void progressShift();
    void sendsInPasses_data();
    void sendsInPasses();
};

void tst_FileSend::totalText_data()
{
    QTest::addColumn<quint32>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << 0u << "0";
    QTest::newRow("1 byte") << 1u << "9.53674e-07";
    QTest::newRow("100") << 100u << "9.53674e-05";
    // General format turns to exponent form below 0.0001 MB.
    QTest::newRow("104") << 104u << "9.91821e-05";
    QTest::newRow("105") << 105u << "0.000100136";
    QTest::newRow("1023") << 1023u << "0.000975609";
    QTest::newRow("1.5 KiB") << 1536u << "0.00146484";
    QTest::newRow("104857") << 104857u << "0.0999994";
    QTest::newRow("1 MiB") << 1048576u << "1";
    QTest::newRow("1000 MiB") << 1048576000u << "1000";
    // 4294967295 / 1024 rounds to 4194304 in single precision.
    QTest::newRow("2^32 - 1") << 4294967295u << "4096";
}

void tst_FileSend::totalText()
{
    QFETCH(quint32, bytes);
    QFETCH(QString, text);
    QCOMPARE(sendTotalText(bytes), text);
}

void tst_FileSend::progressShift_data()
{
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("shift");

    constexpr qint64 GiB = qint64(1) << 30;
    QTest::newRow("0") << qint64(0) << 0;
    QTest::newRow("1") << qint64(1) << 0;
    QTest::newRow("2^31 - 1") << qint64(std::numeric_limits<int>::max()) << 0;
    QTest::newRow("2^31") << 2 * GiB << 1;
    QTest::newRow("4 GiB - 1") << 4 * GiB - 1 << 1;
    QTest::newRow("4 GiB") << 4 * GiB << 2;
    QTest::newRow("5 GiB") << 5 * GiB << 2;
    QTest::newRow("1 TiB") << 1024 * GiB << 10;
    QTest::newRow("largest") << std::numeric_limits<qint64>::max() << 32;
}

void tst_FileSend::progressShift()
{
    QFETCH(qint64, total);
    QFETCH(int, shift);
    QCOMPARE(::progressShift(total), shift);
    // The scaled total fits an int, and no smaller shift would do.
    QVERIFY((total >> shift) <= std::numeric_limits<int>::max());
    if (shift > 0)
        QVERIFY((total >> (shift - 1)) > std::numeric_limits<int>::max());
}

void tst_FileSend::sendsInPasses_data()
{
    QTest::addColumn<bool>("datagrams");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("event"); // what happens after the second chunk
    QTest::addColumn<int>("sent");      // bytes the link took in the end

    QTest::newRow("datagrams, whole file") << true << 2 * 1024 + 452 << "" << 2 * 1024 + 452;
    QTest::newRow("stream, whole file") << false << 20 * 1024 + 5 << "" << 20 * 1024 + 5;
    QTest::newRow("stream, empty file") << false << 0 << "" << 0;
    QTest::newRow("datagrams, refused") << true << 8 * 1024 << "refused" << 2 * 1024;
    QTest::newRow("stream, refused") << false << 20 * 1024 << "refused" << 2 * 1024;
    QTest::newRow("datagrams, link gone") << true << 8 * 1024 << "link gone" << 2 * 1024;
    // A reader that takes nothing holds the send; the send ends once its
    // file goes, without waiting for the queue to drain.
    QTest::newRow("stream, held, file gone") << false << 20 * 1024 << "file gone" << 2 * 1024;
}

void tst_FileSend::sendsInPasses()
{
    QFETCH(bool, datagrams);
    QFETCH(int, size);
    QFETCH(QString, event);
    QFETCH(int, sent);

    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + i / 251);
    // The file outlives the send unless the row deletes it first.
    auto *file = new QBuffer(&bytes);
    const QPointer<QBuffer> fileLeft(file);
    const auto deleteFile = qScopeGuard([&fileLeft] { delete fileLeft.data(); });
    QVERIFY(file->open(QIODevice::ReadOnly));
    file->seek(size / 2); // every send starts at the beginning
    QList<QByteArray> chunks;
    bool gone = false;
    FileSender::Link link;
    link.write = [&](QByteArrayView chunk, QString *refusal) {
        if (event == QLatin1String("refused") && chunks.size() == 2) {
            *refusal = QStringLiteral("refused");
            return false;
        }
        chunks.append(chunk.toByteArray());
        if (chunks.size() == 2 && event == QLatin1String("file gone"))
            QTimer::singleShot(5, file, [file] { delete file; });
        gone = chunks.size() == 2 && event == QLatin1String("link gone");
        return true;
    };
    link.queued = [&] { return event == QLatin1String("file gone") && chunks.size() >= 2 ? MaxQueuedBytes + 1 : 0; };
    link.goesOn = [&] { return !gone; };
    link.datagrams = datagrams;
    auto *sender = new FileSender(file, std::move(link), this);
    QSignalSpy progress(sender, &FileSender::progress);
    QSignalSpy finished(sender, &FileSender::finished);
    QPointer<FileSender> alive(sender);
    sender->start();
    QTRY_VERIFY(!alive);

    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toString(), event == QLatin1String("refused") ? event : QString());
    QCOMPARE(progress.first(), (QList<QVariant>{qint64(0), qint64(size)}));
    QCOMPARE(progress.last(), (QList<QVariant>{qint64(sent), qint64(size)}));
    QCOMPARE(chunks.join(), bytes.left(sent));
    for (const QByteArray &chunk : chunks)
        QVERIFY(chunk.size() == FileChunk || &chunk == &chunks.last());
}

QTEST_GUILESS_MAIN(tst_FileSend)

#include "tst_filesend.moc"
