#include "mkestrunewidget.h"

#include "localaddress.h"
#include "mkestruneform.h"

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QNetworkInterface>
#include <QProgressBar>

mKestruneWidget::mKestruneWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new mKestruneForm)
{
    ui->setupForm(this);

    // Filling the selector happened before the slots were connected, so the
    // UDP view is applied here once, without touching the captions.
    applyLinkView(0);

    localIpAddr = chooseLocalIpv4Address(QNetworkInterface::allAddresses());
    ui->lEditIpAddr->setText(localIpAddr);
    // The slot connected by name turns this into the first UDP destination.
    ui->lEditUdpIP->setText(localIpAddr);

    ui->SndProgressBar->hide();

    // Nobody can undo in the read-only receive area; its history would only
    // hold a copy of everything received.
    ui->ReceiveTextEdit->setUndoRedoEnabled(false);
    // Received text that waits goes into the area at the latest when the
    // event loop runs out of work.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &mKestruneWidget::rcvEventLoopIdle);
    // What was read before a display switch changes is shown before it.
    for (QCheckBox *box : {ui->cBox_PauseShowRcv, ui->cBox_ShowRcvTime, ui->cBox_RcvHexDisp})
        connect(box, &QCheckBox::toggled, this, [this] { flushRcvDisplay(); });

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
    rcvCntShown = 0;
    ui->lEdit_RcvCnt->setText(QStringLiteral("0"));
    ui->lEdit_SndCnt->setText(QStringLiteral("0"));
}
