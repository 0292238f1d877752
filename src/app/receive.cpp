#include "mkestrunewidget.h"

#include "mkestruneform.h"
#include "peertext.h"
#include "rcvdisplay.h"
#include "readpass.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextDocument>
#include <QTime>
#include <QTimerEvent>
#include <QTimer>
#include <QUdpSocket>

void mKestruneWidget::udpDataReceived()
{
    // A pass that found the socket empty is followed by the next no sooner
    // than MinUdpPassGapNs after it began: until then the socket keeps its
    // notice to itself and datagrams gather in the kernel, so under a flood
    // one wake-up reads many instead of one each. A datagram after a quiet
    // spell, and the rest after a pass that stopped early, are read at once.
    if (udpPassTimer.isActive())
        return;
    if (udpPassDrained && udpLastPass.nsecsElapsed() < MinUdpPassGapNs) {
        const qint64 waitNs = MinUdpPassGapNs - udpLastPass.nsecsElapsed();
        udpPassTimer.start(int((waitNs + 999999) / 1000000), Qt::PreciseTimer, this);
        return;
    }
    udpLastPass.start();
    udpPassDrained = false;
    // Datagrams left over are announced again by the socket. Each is read
    // into a buffer that holds the largest, which spares asking its size,
    // and reading goes on until the socket has none: a read that finds
    // nothing costs one call, where asking first would cost one for every
    // datagram.
    const ReadBudget budget;
    QByteArray datagram(MaxDatagramSize, Qt::Uninitialized);
    QHostAddress lastSender;
    quint16 lastSenderPort = 0;
    QString source;
    for (int datagrams = 0; udpSocket; ++datagrams) {
        if (datagrams == MaxDatagramsPerPass || budget.spent())
            break;
        if (rcvDisplayFull())
            return; // the kernel holds the rest until the area has caught up
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 got = udpSocket->readDatagram(datagram.data(), datagram.size(), &sender, &senderPort);
        if (got < 0) {
            udpPassDrained = true;
            break; // none left, or a failure the socket reports again
        }
        if (source.isNull() || senderPort != lastSenderPort || sender != lastSender) {
            source = peerText(sender, senderPort);
            lastSender = sender;
            lastSenderPort = senderPort;
        }
        showRcvChunk(QByteArrayView(datagram.constData(), got), source);
        countRcvBytes(got);
    }
}

void mKestruneWidget::tcpClientDataReceived()
{
    tcpClientReadPass.queue();
}

void mKestruneWidget::readTcpClient()
{
    const ReadBudget budget;
    while (tcpClientSocket && tcpClientSocket->bytesAvailable() > 0) {
        if (budget.spent()) {
            tcpClientReadPass.queue();
            break;
        }
        if (rcvDisplayFull())
            return; // TCP holds the server back until the area has caught up
        const QByteArray chunk = tcpClientSocket->read(qMin(tcpClientSocket->bytesAvailable(), MaxTcpChunk));
        if (chunk.isEmpty())
            break;
        // The source is named by the fields as typed, not by the socket.
        showRcvChunk(chunk, ui->lEditIpAddr->text() + QLatin1Char(':') + ui->lEditIpPort->text());
        countRcvBytes(chunk.size());
    }
}

void mKestruneWidget::tcpServerDataReceived(char *msg, int length, int socketDescriptorEx)
{
    const int index = socketDescriptorList.indexOf(socketDescriptorEx);
    const QString source = index >= 0 && index < ui->cBoxClients->count() ? ui->cBoxClients->itemText(index)
                                                                           : QString();
    showRcvChunk(QByteArrayView(msg, length), source);

    // Group chat: every chunk goes on to the clients, captured, paused or
    // shown alike; with echo on the sender gets it back as well.
    if (ui->cBox_chatMode->isChecked())
        emit sendDataToClient(msg, length, 0, ui->cBox_echoMode->isChecked() ? 0 : socketDescriptorEx);

    countRcvBytes(length);
}

void mKestruneWidget::showRcvChunk(QByteArrayView chunk, const QString &source)
{
    // A chunk is captured raw, before any display switch is read.
    if (ui->StartRcvFile->isChecked()) {
        captureRcvChunk(chunk);
        return;
    }
    if (ui->cBox_PauseShowRcv->isChecked())
        return;

    // The chunk is rendered now, by the switches as they stand, into text
    // that waits for the next frame.
    prepareRcvPending();
    if (source != lastRcvSource) {
        lastRcvSource = source;
        if (rcvAreaHasText())
            rcvInsert(QStringLiteral("\n"));
        rcvInsert(tr("【数据来自") + source + tr("】\n"));
    }
    if (ui->cBox_ShowRcvTime->isChecked())
        insertDateTimeInRcvDisp();
    if (!chunk.isEmpty()) {
        if (ui->cBox_RcvHexDisp->isChecked())
            rcvInsertData(rcvHexText(chunk), LineBreaks::HexGroups);
        else
            rcvInsertData(QString::fromUtf8(chunk), LineBreaks::AnyCharacter);
    }
    // Full (a server's chunks cannot wait): the area takes text now.
    if (rcvPending.size() >= rcvPendingCap)
        flushRcvDisplay(-1, rcvPendingCap - 1);
    scheduleRcvDisplay();
}

bool mKestruneWidget::rcvDisplayFull()
{
    if (rcvPending.size() < rcvPendingCap)
        return false;
    rcvReadPaused = true;
    scheduleRcvDisplay();
    return true;
}

void mKestruneWidget::prepareRcvPending()
{
    if (rcvPending.isActive() && !rcvCursorMoved())
        return;
    // The cursor was moved since the text waiting was rendered: that text
    // goes where the cursor stood, and collecting starts again.
    flushRcvDisplay();
    const QPlainTextEdit *area = ui->ReceiveTextEdit;
    const QTextCursor cursor = area->textCursor();
    // The first insertion replaces a selection; such a chunk goes into the
    // area directly.
    if (cursor.hasSelection())
        return;
    const int column = cursor.positionInBlock();
    rcvPending.begin(!area->document()->isEmpty(), cursor.atEnd(), column, cursor.block().length() - 1 - column);
    rcvPendingCursor = cursor;
}

bool mKestruneWidget::rcvCursorMoved() const
{
    const QTextCursor cursor = ui->ReceiveTextEdit->textCursor();
    return cursor.position() != rcvPendingCursor.position() || cursor.anchor() != rcvPendingCursor.anchor();
}

bool mKestruneWidget::rcvAreaHasText() const
{
    return rcvPending.isActive() ? rcvPending.hasText() : !ui->ReceiveTextEdit->document()->isEmpty();
}

void mKestruneWidget::rcvInsert(const QString &text)
{
    if (rcvPending.isActive())
        rcvPending.insert(text);
    else
        ui->ReceiveTextEdit->insertPlainText(text);
}

void mKestruneWidget::rcvInsertData(const QString &piece, LineBreaks rule)
{
    if (rcvPending.isActive()) {
        rcvPending.insertData(piece, rule);
        return;
    }
    QPlainTextEdit *area = ui->ReceiveTextEdit;
    const QTextCursor cursor = area->textCursor();
    const QTextDocument *document = area->document();
    const QTextBlock first = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    const int column = cursor.selectionStart() - first.position();
    const int trailing = last.position() + last.length() - 1 - cursor.selectionEnd();
    area->insertPlainText(breakLongLines(piece, column, trailing, rule));
}

void mKestruneWidget::rcvAppendLine(const QString &text)
{
    if (rcvPending.isActive())
        rcvPending.appendParagraph(text);
    else
        ui->ReceiveTextEdit->appendPlainText(text);
}

void mKestruneWidget::flushRcvDisplay(qint64 budgetMs, qsizetype downTo)
{
    if (!rcvPending.isActive())
        return;
    QPlainTextEdit *area = ui->ReceiveTextEdit;
    QElapsedTimer spent;
    spent.start();
    // In pieces of bounded size: one huge insertion would hold the window
    // longer than the socket's buffer covers.
    while (rcvPending.size() > downTo && (budgetMs < 0 || !spent.hasExpired(budgetMs))) {
        bool atCursor = true;
        const QString piece = rcvPending.take(MaxRcvInsertChars, atCursor);
        if (!atCursor) {
            QTextCursor end(area->document());
            end.movePosition(QTextCursor::End);
            end.insertText(piece);
        } else if (rcvCursorMoved()) {
            rcvPendingCursor.insertText(piece);
        } else {
            // Both cursors stand here, and both move past the piece.
            area->insertPlainText(piece);
        }
    }
    if (rcvPending.isEmpty()) {
        rcvPending.reset();
        rcvPendingCursor = QTextCursor();
    }
    rcvLastFlush.start();
}

void mKestruneWidget::dropRcvDisplay()
{
    rcvPending.reset();
    rcvPendingCursor = QTextCursor();
    if (rcvReadPaused)
        scheduleRcvDisplay(); // reading goes on on the next frame
}

void mKestruneWidget::scheduleRcvDisplay()
{
    if (!rcvDisplayTimer.isActive())
        rcvDisplayTimer.start(rcvBacklog ? 0 : RcvFrameMs, Qt::CoarseTimer, this);
}

void mKestruneWidget::updateRcvDisplay(bool quiet)
{
    // The area takes what waits once a frame; a backlog that one bounded
    // insertion left goes in on the next pass.
    if (!rcvPending.isEmpty()
        && (!quiet || rcvBacklog || !rcvLastFlush.isValid() || rcvLastFlush.hasExpired(RcvFrameMs))) {
        flushRcvDisplay(MaxRcvInsertMs);
        const bool backlog = !rcvPending.isEmpty();
        if (backlog != rcvBacklog) {
            // A backlog goes in on every event-loop pass until it is gone.
            rcvBacklog = backlog;
            rcvDisplayTimer.start(rcvBacklog ? 0 : RcvFrameMs, Qt::CoarseTimer, this);
        }
    }
    if (rcvReadPaused && rcvPending.size() < rcvPendingCap) {
        // Reading goes on where it stopped.
        rcvReadPaused = false;
        if (udpSocket)
            QTimer::singleShot(0, this, &mKestruneWidget::udpDataReceived);
        if (tcpClientSocket)
            tcpClientDataReceived();
    }
    // The counter is exact whenever the link is quiet, and is redrawn at
    // most about every other frame while data keeps coming.
    if (rcvCntShown != rcvByteCnt
        && (quiet || !rcvLastCount.isValid() || rcvLastCount.hasExpired(RcvCountIntervalMs))) {
        rcvCntShown = rcvByteCnt;
        ui->lEdit_RcvCnt->setText(QString::number(rcvByteCnt));
        rcvLastCount.start();
    }
    if (rcvPending.isEmpty() && rcvCntShown == rcvByteCnt) {
        rcvDisplayTimer.stop();
        rcvBacklog = false;
    }
}

void mKestruneWidget::rcvEventLoopIdle()
{
    if (!rcvDisplayTimer.isActive())
        return;
    // Quiet: nothing more is waiting to be read on the link.
    const bool quiet = !(udpSocket && udpSocket->hasPendingDatagrams())
        && !(tcpClientSocket && (tcpClientReadPass.isQueued() || tcpClientSocket->bytesAvailable() > 0));
    if (quiet)
        updateRcvDisplay(true);
}

void mKestruneWidget::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == rcvDisplayTimer.timerId()) {
        updateRcvDisplay(false);
    } else if (event->timerId() == udpPassTimer.timerId()) {
        udpPassTimer.stop();
        udpDataReceived();
    } else
        QWidget::timerEvent(event);
}

void mKestruneWidget::closeEvent(QCloseEvent *event)
{
    flushRcvDisplay();
    updateRcvDisplay(true);
    QWidget::closeEvent(event);
}

void mKestruneWidget::countRcvBytes(qint64 length)
{
    rcvByteCnt += quint32(length);
    scheduleRcvDisplay();
}

void mKestruneWidget::insertDateTimeInRcvDisp()
{
    // The text changes once a second and is built again only then: a flood
    // of chunks would otherwise spend much of its time reading the clock.
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != rcvStampSecond) {
        const QDate date = QDate::currentDate();
        const QString dateText = QString::number(date.year()) + QLatin1Char('-') + QString::number(date.month())
            + QLatin1Char('-') + QString::number(date.day());
        const QString timeText = QTime::currentTime().toString(Qt::TextDate);
        rcvStampText = tr("【") + dateText + tr(" ") + timeText + tr("】");
        rcvStampSecond = second;
    }
    rcvAppendLine(rcvStampText);
}

void mKestruneWidget::on_pBtnClearRcvDisp_clicked()
{
    // What was read before the click goes with the rest.
    dropRcvDisplay();
    ui->ReceiveTextEdit->clear();
}
