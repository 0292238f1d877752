#include "mkestrunewidget.h"

#include "brokenpipe.h"
#include "localaddress.h"
#include "mkestruneform.h"
#include "paragraphs.h"
#include "sendtextedit.h"
#include "unshapedtext.h"

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QPlainTextEdit>
#include <QProgressBar>

mKestruneWidget::mKestruneWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new mKestruneForm)
{
    // Captures and saves may go to a pipe whose reader exits; the write
    // must then fail, not end the program.
    ignoreBrokenPipe();
    ui->setupForm(this);
    rcvArea.attach(ui->ReceiveTextEdit);

    // Filling the selector happened before the slots were connected, so the
    // UDP view is applied here once, without touching the captions.
    applyLinkView(UdpLink);

    localIpAddr = chooseLocalIpv4Address(QNetworkInterface::allAddresses());
    ui->lEditIpAddr->setText(localIpAddr);
    // The slot connected by name turns this into the first UDP destination.
    ui->lEditUdpIP->setText(localIpAddr);

    ui->SndProgressBar->hide();

    // Received text that waits goes into the area at the latest when the
    // event loop runs out of work.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &mKestruneWidget::rcvEventLoopIdle);
    // What was read before a display switch changes is shown before it.
    for (QCheckBox *box : {ui->cBox_PauseShowRcv, ui->cBox_ShowRcvTime, ui->cBox_RcvHexDisp})
        connect(box, &QCheckBox::toggled, this, [this] { rcvArea.flush(); });
    // Lines break anywhere in the send area: laying out one long word for
    // word-boundary wrapping takes time quadratic in its length, so a
    // loaded or pasted line of megabytes without a space would hold the
    // window for minutes. Wrapping changes only the display, never the text.
    ui->tEditSendText->setWordWrapMode(QTextOption::WrapAnywhere);
    // The scroll bar stays: each time it came or went, every paragraph
    // would be laid out again for the new width, which for a line of
    // megabytes doubles the time the window takes to fill the area.
    ui->tEditSendText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Hex notation is ASCII and needs no shaping; drawn without it, its one
    // long line is laid out sooner. A click switches the drawing in the
    // middle of its conversion, while the area is empty, since a change of
    // font lays the whole area out anew; a change from code switches it once
    // the events of the moment are done.
    ui->tEditSendText->onRefused = [this](bool lineTooLong) {
        const QString why = lineTooLong ? tr("无法粘贴! 粘贴后将有一行超过%1个字符，发送区无法及时显示。").arg(MaxParagraphChars)
                                        : tr("无法粘贴! 粘贴的文本超过%1个字符，发送区无法及时显示。").arg(MaxEditChars);
        QMessageBox::information(this, tr("错误"), why + tr("大量数据请用“启用文件数据源...”发送。"));
    };
    hexNotation = new UnshapedText(ui->tEditSendText);
    hexNotation->setOn(ui->cBox_SndHexDisp->isChecked());
    connect(ui->cBox_SndHexDisp, &QCheckBox::toggled, hexNotation,
            [this] { hexNotation->setOn(ui->cBox_SndHexDisp->isChecked()); }, Qt::QueuedConnection);

    tcpServerAddr = new QHostAddress;
}

mKestruneWidget::~mKestruneWidget()
{
    // Open links end silently with the window; cutting their signals first
    // keeps their last notices away from a window being taken apart.
    releaseLinks();
    // Captured bytes still buffered reach the file.
    closeRcvFile();
    closeDataFile();
    delete ui;
    delete tcpServerAddr;
}

void mKestruneWidget::on_pBtnResetCnt_clicked()
{
    sndByteCnt = 0;
    rcvByteCnt = 0;
    rcvFlow.countReset();
    ui->lEdit_RcvCnt->setText(QStringLiteral("0"));
    ui->lEdit_SndCnt->setText(QStringLiteral("0"));
}
