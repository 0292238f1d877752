#include "mkestrunewidget.h"

#include "mkestruneform.h"
#include "peertext.h"
#include "rcvdisplay.h"
#include "readpass.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextDocument>
#include <QTime>
#include <QTimer>
#include <QUdpSocket>

void mKestruneWidget::udpDataReceived()
{
    // Datagrams left over are announced again by the socket.
    QElapsedTimer pass;
    pass.start();
    for (int datagrams = 0; udpSocket && udpSocket->hasPendingDatagrams(); ++datagrams) {
        if (datagrams == MaxDatagramsPerPass || pass.hasExpired(MaxReadPassMs))
            break;
        QByteArray datagram(qMax<qint64>(0, udpSocket->pendingDatagramSize()), Qt::Uninitialized);
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 got = udpSocket->readDatagram(datagram.data(), datagram.size(), &sender, &senderPort);
        if (got < 0)
            break;
        datagram.truncate(got);
        showRcvChunk(datagram, peerText(sender, senderPort));
        countRcvBytes(got);
    }
}

void mKestruneWidget::tcpClientDataReceived()
{
    // Reading runs in a pass of its own, queued behind the events already
    // waiting; meanwhile a flooding server fills the socket's bounded buffer
    // and is then held back by TCP instead of holding the window.
    if (tcpReadPassQueued)
        return;
    tcpReadPassQueued = true;
    QTimer::singleShot(0, this, &mKestruneWidget::readTcpClient);
}

void mKestruneWidget::readTcpClient()
{
    tcpReadPassQueued = false;
    QElapsedTimer pass;
    pass.start();
    while (tcpClientSocket && tcpClientSocket->bytesAvailable() > 0) {
        if (pass.hasExpired(MaxReadPassMs)) {
            tcpClientDataReceived();
            break;
        }
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

    QPlainTextEdit *area = ui->ReceiveTextEdit;
    if (source != lastRcvSource) {
        lastRcvSource = source;
        if (!area->document()->isEmpty())
            area->insertPlainText(QStringLiteral("\n"));
        area->insertPlainText(tr("【数据来自") + source + tr("】\n"));
    }
    if (ui->cBox_ShowRcvTime->isChecked())
        insertDateTimeInRcvDisp();
    if (chunk.isEmpty())
        return;
    if (ui->cBox_RcvHexDisp->isChecked())
        insertRcvData(rcvHexText(chunk), LineBreaks::HexGroups);
    else
        insertRcvData(QString::fromUtf8(chunk), LineBreaks::AnyCharacter);
}

void mKestruneWidget::insertRcvData(const QString &piece, LineBreaks rule)
{
    QPlainTextEdit *area = ui->ReceiveTextEdit;
    const QTextCursor cursor = area->textCursor();
    const QTextDocument *document = area->document();
    const QTextBlock first = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    const int column = cursor.selectionStart() - first.position();
    const int trailing = last.position() + last.length() - 1 - cursor.selectionEnd();
    area->insertPlainText(breakLongLines(piece, column, trailing, rule));
}

void mKestruneWidget::countRcvBytes(qint64 length)
{
    rcvByteCnt += quint32(length);
    ui->lEdit_RcvCnt->setText(QString::number(rcvByteCnt));
}

void mKestruneWidget::insertDateTimeInRcvDisp()
{
    const QDate date = QDate::currentDate();
    const QString dateText = QString::number(date.year()) + QLatin1Char('-') + QString::number(date.month())
        + QLatin1Char('-') + QString::number(date.day());
    const QString timeText = QTime::currentTime().toString(Qt::TextDate);
    ui->ReceiveTextEdit->appendPlainText(tr("【") + dateText + tr(" ") + timeText + tr("】"));
}

void mKestruneWidget::on_pBtnClearRcvDisp_clicked()
{
    ui->ReceiveTextEdit->clear();
}
