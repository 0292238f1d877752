#include "mkestruneform.h"

#include "sendtextedit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>

namespace {

constexpr int NoLimit = QWIDGETSIZE_MAX;

template<typename T>
T *makeWidget(QWidget *parent, const char *name)
{
    auto *widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

template<typename L>
L *makeLayout(const char *name, int spacing, QWidget *installOn = nullptr)
{
    auto *layout = installOn ? new L(installOn) : new L();
    layout->setObjectName(QString::fromLatin1(name));
    layout->setSpacing(spacing);
    return layout;
}

// Stretch stays 0 and the height-for-width flag is carried over from the
// widget's own policy, so only the two policies change.
void setPolicy(QWidget *widget, QSizePolicy::Policy horizontal, QSizePolicy::Policy vertical)
{
    QSizePolicy policy(horizontal, vertical);
    policy.setHorizontalStretch(0);
    policy.setVerticalStretch(0);
    policy.setHeightForWidth(widget->sizePolicy().hasHeightForWidth());
    widget->setSizePolicy(policy);
}

void setFixedButtonLook(QPushButton *button)
{
    setPolicy(button, QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setMinimumSize(QSize(0, 24));
}

QString text(const char *source)
{
    return QCoreApplication::translate("mKestruneWidget", source, nullptr);
}

} // namespace

void mKestruneForm::setupForm(QWidget *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QString::fromLatin1("mKestruneWidget"));
    window->resize(500, 430);
    setPolicy(window, QSizePolicy::Preferred, QSizePolicy::Preferred);
    window->setMinimumSize(QSize(500, 430));
    // icon.ico in the working directory is the window's own icon. Without
    // that file the window sets none, so the application's icon shows: an
    // icon built from a missing file is not null, yet has no image.
    if (QFile::exists(QString::fromLatin1("icon.ico"))) {
        QIcon windowIcon;
        windowIcon.addFile(QString::fromLatin1("icon.ico"), QSize(), QIcon::Normal, QIcon::Off);
        window->setWindowIcon(windowIcon);
    }

    verticalLayout_3 = makeLayout<QVBoxLayout>("verticalLayout_3", 8, window);
    verticalLayout_3->setContentsMargins(11, 11, 11, 11);
    horizontalLayout_5 = makeLayout<QHBoxLayout>("horizontalLayout_5", 6);

    // Left column: link settings, then the two settings pages.
    verticalLayout = makeLayout<QVBoxLayout>("verticalLayout", 6);
    groupBox_2 = makeWidget<QGroupBox>(window, "groupBox_2");
    setPolicy(groupBox_2, QSizePolicy::Expanding, QSizePolicy::Expanding);
    groupBox_2->setMinimumSize(QSize(155, 0));
    groupBox_2->setMaximumSize(QSize(200, 300));
    groupBox_2->setAutoFillBackground(true);
    groupBox_2->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignTop);
    groupBox_2->setFlat(false);
    groupBox_2->setCheckable(false);
    verticalLayout_7 = makeLayout<QVBoxLayout>("verticalLayout_7", 5, groupBox_2);
    verticalLayout_7->setContentsMargins(6, 5, 6, 6);
    label = makeWidget<QLabel>(groupBox_2, "label");
    label->setLineWidth(0);
    label->setMargin(0);
    verticalLayout_7->addWidget(label);
    cBoxNetType = makeWidget<QComboBox>(groupBox_2, "cBoxNetType");
    setPolicy(cBoxNetType, QSizePolicy::Preferred, QSizePolicy::Preferred);
    verticalLayout_7->addWidget(cBoxNetType);
    label_IP = makeWidget<QLabel>(groupBox_2, "label_IP");
    verticalLayout_7->addWidget(label_IP);
    lEditIpAddr = makeWidget<QLineEdit>(groupBox_2, "lEditIpAddr");
    setPolicy(lEditIpAddr, QSizePolicy::Preferred, QSizePolicy::Preferred);
    verticalLayout_7->addWidget(lEditIpAddr);
    label_Port = makeWidget<QLabel>(groupBox_2, "label_Port");
    verticalLayout_7->addWidget(label_Port);
    lEditIpPort = makeWidget<QLineEdit>(groupBox_2, "lEditIpPort");
    setPolicy(lEditIpPort, QSizePolicy::Preferred, QSizePolicy::Preferred);
    lEditIpPort->setLayoutDirection(Qt::LeftToRight);
    verticalLayout_7->addWidget(lEditIpPort);
    verticalSpacer = new QSpacerItem(20, 4, QSizePolicy::Minimum, QSizePolicy::Fixed);
    verticalLayout_7->addItem(verticalSpacer);
    pBtnNetCnnt = makeWidget<QPushButton>(groupBox_2, "pBtnNetCnnt");
    setPolicy(pBtnNetCnnt, QSizePolicy::Preferred, QSizePolicy::Preferred);
    pBtnNetCnnt->setMinimumSize(QSize(0, 28));
    pBtnNetCnnt->setMaximumSize(QSize(NoLimit, 40));
    QFont linkFont;
    linkFont.setPointSize(11);
    linkFont.setBold(true);
    pBtnNetCnnt->setFont(linkFont);
    // Only the active and selected modes carry images; the files in the
    // working directory come first, the compiled-in copies second.
    QIcon linkIcon;
    linkIcon.addFile(QString::fromLatin1("NetOff.png"), QSize(), QIcon::Active, QIcon::Off);
    linkIcon.addFile(QString::fromLatin1("NetOn.png"), QSize(), QIcon::Active, QIcon::On);
    linkIcon.addFile(QString::fromLatin1(":/mqrc/mqrc/NetOff.png"), QSize(), QIcon::Selected, QIcon::Off);
    linkIcon.addFile(QString::fromLatin1(":/mqrc/mqrc/NetOn.png"), QSize(), QIcon::Selected, QIcon::On);
    pBtnNetCnnt->setIcon(linkIcon);
    pBtnNetCnnt->setIconSize(QSize(20, 20));
    pBtnNetCnnt->setCheckable(true);
    pBtnNetCnnt->setChecked(false);
    verticalLayout_7->addWidget(pBtnNetCnnt);
    verticalLayout->addWidget(groupBox_2);
    verticalSpacer_2 = new QSpacerItem(152, 13, QSizePolicy::Minimum, QSizePolicy::Expanding);
    verticalLayout->addItem(verticalSpacer_2);

    Tabs_SndRcv = makeWidget<QTabWidget>(window, "Tabs_SndRcv");
    setPolicy(Tabs_SndRcv, QSizePolicy::Expanding, QSizePolicy::Expanding);
    Tabs_SndRcv->setMinimumSize(QSize(155, 180));
    Tabs_SndRcv->setMaximumSize(QSize(200, 400));

    // Page 0: receive settings.
    tab = makeWidget<QWidget>(nullptr, "tab");
    verticalLayout_8 = makeLayout<QVBoxLayout>("verticalLayout_8", 2, tab);
    verticalLayout_8->setContentsMargins(-1, 3, -1, 3);
    verticalLayout_5 = makeLayout<QVBoxLayout>("verticalLayout_5", 3);
    verticalLayout_5->setContentsMargins(-1, -1, -1, 0);
    verticalLayout_4 = makeLayout<QVBoxLayout>("verticalLayout_4", 3);
    StartRcvFile = makeWidget<QCheckBox>(tab, "StartRcvFile");
    verticalLayout_4->addWidget(StartRcvFile);
    cBox_ShowRcvTime = makeWidget<QCheckBox>(tab, "cBox_ShowRcvTime");
    verticalLayout_4->addWidget(cBox_ShowRcvTime);
    cBox_RcvHexDisp = makeWidget<QCheckBox>(tab, "cBox_RcvHexDisp");
    verticalLayout_4->addWidget(cBox_RcvHexDisp);
    cBox_PauseShowRcv = makeWidget<QCheckBox>(tab, "cBox_PauseShowRcv");
    verticalLayout_4->addWidget(cBox_PauseShowRcv);
    cBox_chatMode = makeWidget<QCheckBox>(tab, "cBox_chatMode");
    verticalLayout_4->addWidget(cBox_chatMode);
    cBox_echoMode = makeWidget<QCheckBox>(tab, "cBox_echoMode");
    verticalLayout_4->addWidget(cBox_echoMode);
    verticalLayout_5->addLayout(verticalLayout_4);
    verticalSpacer_3 = new QSpacerItem(20, 0, QSizePolicy::Minimum, QSizePolicy::Expanding);
    verticalLayout_5->addItem(verticalSpacer_3);
    horizontalLayout_6 = makeLayout<QHBoxLayout>("horizontalLayout_6", 6);
    pBtnSaveRcvData = makeWidget<QPushButton>(tab, "pBtnSaveRcvData");
    setFixedButtonLook(pBtnSaveRcvData);
    horizontalLayout_6->addWidget(pBtnSaveRcvData);
    pBtnClearRcvDisp = makeWidget<QPushButton>(tab, "pBtnClearRcvDisp");
    setFixedButtonLook(pBtnClearRcvDisp);
    horizontalLayout_6->addWidget(pBtnClearRcvDisp);
    verticalLayout_5->addLayout(horizontalLayout_6);
    verticalLayout_8->addLayout(verticalLayout_5);
    Tabs_SndRcv->addTab(tab, QString());

    // Page 1: send settings.
    tab_2 = makeWidget<QWidget>(nullptr, "tab_2");
    verticalLayout_9 = makeLayout<QVBoxLayout>("verticalLayout_9", 2, tab_2);
    verticalLayout_9->setContentsMargins(-1, 3, -1, 3);
    verticalLayout_6 = makeLayout<QVBoxLayout>("verticalLayout_6", 3);
    cBoxStartSndFile = makeWidget<QCheckBox>(tab_2, "cBoxStartSndFile");
    verticalLayout_6->addWidget(cBoxStartSndFile);
    cBox_AntoClearSnd = makeWidget<QCheckBox>(tab_2, "cBox_AntoClearSnd");
    verticalLayout_6->addWidget(cBox_AntoClearSnd);
    cBox_SndHexDisp = makeWidget<QCheckBox>(tab_2, "cBox_SndHexDisp");
    verticalLayout_6->addWidget(cBox_SndHexDisp);
    cBoxLoopSnd = makeWidget<QCheckBox>(tab_2, "cBoxLoopSnd");
    verticalLayout_6->addWidget(cBoxLoopSnd);
    horizontalLayout_7 = makeLayout<QHBoxLayout>("horizontalLayout_7", 1);
    label_4 = makeWidget<QLabel>(tab_2, "label_4");
    label_4->setEnabled(true);
    setPolicy(label_4, QSizePolicy::Preferred, QSizePolicy::Preferred);
    label_4->setBaseSize(QSize(0, 0));
    label_4->setTextFormat(Qt::PlainText);
    label_4->setScaledContents(false);
    label_4->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignVCenter);
    horizontalLayout_7->addWidget(label_4);
    lEdit_Interval_ms = makeWidget<QLineEdit>(tab_2, "lEdit_Interval_ms");
    lEdit_Interval_ms->setMaximumSize(QSize(70, NoLimit));
    horizontalLayout_7->addWidget(lEdit_Interval_ms);
    label_5 = makeWidget<QLabel>(tab_2, "label_5");
    label_5->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignVCenter);
    horizontalLayout_7->addWidget(label_5);
    horizontalSpacer = new QSpacerItem(20, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    horizontalLayout_7->addItem(horizontalSpacer);
    verticalLayout_6->addLayout(horizontalLayout_7);
    verticalSpacer_4 = new QSpacerItem(135, 13, QSizePolicy::Minimum, QSizePolicy::Expanding);
    verticalLayout_6->addItem(verticalSpacer_4);
    horizontalLayout_8 = makeLayout<QHBoxLayout>("horizontalLayout_8", 6);
    pBtnLoadSndData = makeWidget<QPushButton>(tab_2, "pBtnLoadSndData");
    setFixedButtonLook(pBtnLoadSndData);
    horizontalLayout_8->addWidget(pBtnLoadSndData);
    pBtnClearSndDisp = makeWidget<QPushButton>(tab_2, "pBtnClearSndDisp");
    setFixedButtonLook(pBtnClearSndDisp);
    horizontalLayout_8->addWidget(pBtnClearSndDisp);
    verticalLayout_6->addLayout(horizontalLayout_8);
    verticalLayout_9->addLayout(verticalLayout_6);
    Tabs_SndRcv->addTab(tab_2, QString());
    verticalLayout->addWidget(Tabs_SndRcv);
    horizontalLayout_5->addLayout(verticalLayout);

    // Right column: receive area, client row, target row, send area.
    verticalLayout_2 = makeLayout<QVBoxLayout>("verticalLayout_2", 6);
    gridLayout = makeLayout<QGridLayout>("gridLayout", 6);
    ReceiveTextEdit = makeWidget<QPlainTextEdit>(window, "ReceiveTextEdit");
    ReceiveTextEdit->setReadOnly(true);
    gridLayout->addWidget(ReceiveTextEdit, 1, 0, 1, 1);
    label_9 = makeWidget<QLabel>(window, "label_9");
    gridLayout->addWidget(label_9, 0, 0, 1, 1);
    verticalLayout_2->addLayout(gridLayout);

    horizontalLayout_3 = makeLayout<QHBoxLayout>("horizontalLayout_3", 6);
    labelClients = makeWidget<QLabel>(window, "labelClients");
    setPolicy(labelClients, QSizePolicy::Fixed, QSizePolicy::Preferred);
    horizontalLayout_3->addWidget(labelClients);
    cBoxClients = makeWidget<QComboBox>(window, "cBoxClients");
    setPolicy(cBoxClients, QSizePolicy::Expanding, QSizePolicy::Preferred);
    cBoxClients->setMinimumSize(QSize(220, 0));
    cBoxClients->setMaximumSize(QSize(400, 60));
    horizontalLayout_3->addWidget(cBoxClients);
    labelSpaceClients = makeWidget<QLabel>(window, "labelSpaceClients");
    setPolicy(labelSpaceClients, QSizePolicy::Expanding, QSizePolicy::Fixed);
    labelSpaceClients->setMinimumSize(QSize(0, 0));
    horizontalLayout_3->addWidget(labelSpaceClients);
    verticalLayout_2->addLayout(horizontalLayout_3);

    horizontalLayout_2 = makeLayout<QHBoxLayout>("horizontalLayout_2", 0);
    labelUdp = makeWidget<QLabel>(window, "labelUdp");
    setPolicy(labelUdp, QSizePolicy::Fixed, QSizePolicy::Preferred);
    horizontalLayout_2->addWidget(labelUdp);
    lEditUdpIP = makeWidget<QLineEdit>(window, "lEditUdpIP");
    setPolicy(lEditUdpIP, QSizePolicy::Preferred, QSizePolicy::Preferred);
    lEditUdpIP->setMinimumSize(QSize(80, 0));
    lEditUdpIP->setMaximumSize(QSize(120, NoLimit));
    horizontalLayout_2->addWidget(lEditUdpIP);
    labelUdp1 = makeWidget<QLabel>(window, "labelUdp1");
    setPolicy(labelUdp1, QSizePolicy::Fixed, QSizePolicy::Preferred);
    horizontalLayout_2->addWidget(labelUdp1);
    lEditUdpPort = makeWidget<QLineEdit>(window, "lEditUdpPort");
    setPolicy(lEditUdpPort, QSizePolicy::Preferred, QSizePolicy::Preferred);
    lEditUdpPort->setMinimumSize(QSize(60, 0));
    lEditUdpPort->setMaximumSize(QSize(60, NoLimit));
    horizontalLayout_2->addWidget(lEditUdpPort);
    labelSpaceUdp = makeWidget<QLabel>(window, "labelSpaceUdp");
    setPolicy(labelSpaceUdp, QSizePolicy::Expanding, QSizePolicy::Fixed);
    labelSpaceUdp->setMinimumSize(QSize(0, 0));
    labelSpaceUdp->setLineWidth(0);
    horizontalLayout_2->addWidget(labelSpaceUdp);
    verticalLayout_2->addLayout(horizontalLayout_2);

    horizontalLayout_4 = makeLayout<QHBoxLayout>("horizontalLayout_4", 6);
    tEditSendText = makeWidget<SendTextEdit>(window, "tEditSendText");
    setPolicy(tEditSendText, QSizePolicy::Expanding, QSizePolicy::Fixed);
    tEditSendText->setMaximumSize(QSize(NoLimit, 100));
    horizontalLayout_4->addWidget(tEditSendText);
    pBtnSendData = makeWidget<QPushButton>(window, "pBtnSendData");
    pBtnSendData->setEnabled(false);
    setPolicy(pBtnSendData, QSizePolicy::Fixed, QSizePolicy::Fixed);
    pBtnSendData->setMinimumSize(QSize(75, 61));
    pBtnSendData->setMaximumSize(QSize(75, 61));
    QFont sendFont;
    sendFont.setFamilies({QString::fromLatin1("SimSun-ExtB")});
    sendFont.setPointSize(11);
    sendFont.setBold(true);
    pBtnSendData->setFont(sendFont);
    horizontalLayout_4->addWidget(pBtnSendData);
    verticalLayout_2->addLayout(horizontalLayout_4);
    horizontalLayout_5->addLayout(verticalLayout_2);
    verticalLayout_3->addLayout(horizontalLayout_5);

    SndProgressBar = makeWidget<QProgressBar>(window, "SndProgressBar");
    SndProgressBar->setValue(24);
    verticalLayout_3->addWidget(SndProgressBar);

    // Status row.
    horizontalLayout = makeLayout<QHBoxLayout>("horizontalLayout", 6);
    label_2 = makeWidget<QLabel>(window, "label_2");
    horizontalLayout->addWidget(label_2);
    CurState = makeWidget<QLabel>(window, "CurState");
    CurState->setMinimumSize(QSize(110, 20));
    CurState->setStyleSheet(QString());
    horizontalLayout->addWidget(CurState);
    horizontalSpacer_2 = new QSpacerItem(20, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    horizontalLayout->addItem(horizontalSpacer_2);
    label_6 = makeWidget<QLabel>(window, "label_6");
    setPolicy(label_6, QSizePolicy::Preferred, QSizePolicy::Fixed);
    label_6->setMinimumSize(QSize(0, 20));
    label_6->setMaximumSize(QSize(NoLimit, 36));
    horizontalLayout->addWidget(label_6);
    lEdit_SndCnt = makeWidget<QLineEdit>(window, "lEdit_SndCnt");
    lEdit_SndCnt->setMinimumSize(QSize(50, 18));
    lEdit_SndCnt->setMaximumSize(QSize(80, 36));
    lEdit_SndCnt->setStyleSheet(QString::fromLatin1("border-color: rgb(85, 255, 255);"));
    lEdit_SndCnt->setFrame(false);
    lEdit_SndCnt->setReadOnly(true);
    horizontalLayout->addWidget(lEdit_SndCnt);
    label_7 = makeWidget<QLabel>(window, "label_7");
    setPolicy(label_7, QSizePolicy::Preferred, QSizePolicy::Fixed);
    label_7->setMinimumSize(QSize(0, 20));
    label_7->setMaximumSize(QSize(NoLimit, 36));
    horizontalLayout->addWidget(label_7);
    lEdit_RcvCnt = makeWidget<QLineEdit>(window, "lEdit_RcvCnt");
    setPolicy(lEdit_RcvCnt, QSizePolicy::Fixed, QSizePolicy::Fixed);
    lEdit_RcvCnt->setMinimumSize(QSize(50, 18));
    lEdit_RcvCnt->setMaximumSize(QSize(80, 36));
    lEdit_RcvCnt->setAutoFillBackground(false);
    lEdit_RcvCnt->setFrame(false);
    lEdit_RcvCnt->setReadOnly(true);
    horizontalLayout->addWidget(lEdit_RcvCnt);
    pBtnResetCnt = makeWidget<QPushButton>(window, "pBtnResetCnt");
    pBtnResetCnt->setMinimumSize(QSize(60, 20));
    pBtnResetCnt->setMaximumSize(QSize(120, 36));
    QFont resetFont;
    resetFont.setBold(true);
    resetFont.setUnderline(true);
    pBtnResetCnt->setFont(resetFont);
    pBtnResetCnt->setCursor(QCursor(Qt::PointingHandCursor));
    pBtnResetCnt->setStyleSheet(QString());
    pBtnResetCnt->setAutoDefault(true);
    pBtnResetCnt->setFlat(true);
    horizontalLayout->addWidget(pBtnResetCnt);
    verticalLayout_3->addLayout(horizontalLayout);

    retranslateForm(window);

    Tabs_SndRcv->setCurrentIndex(0);

    QMetaObject::connectSlotsByName(window);
}

void mKestruneForm::retranslateForm(QWidget *window)
{
    window->setWindowTitle(text("Kestrune"));
    groupBox_2->setTitle(text("网络设置"));
    label->setText(text("协议类型"));
    cBoxNetType->clear();
    cBoxNetType->insertItems(0, QStringList() << text("UDP") << text("TCP服务器") << text("TCP客户端"));
    label_IP->setText(text("本地IP地址"));
    lEditIpAddr->setInputMask(text("000.000.000.000"));
    label_Port->setText(text("本地端口"));
    lEditIpPort->setInputMask(QString());
    lEditIpPort->setText(text("8080"));
    pBtnNetCnnt->setText(text(" 连接网络"));
    StartRcvFile->setText(text("接收转向文件..."));
    cBox_ShowRcvTime->setText(text("显示接收日期"));
    cBox_RcvHexDisp->setText(text("十六进制显示"));
    cBox_PauseShowRcv->setText(text("暂停接收显示"));
    cBox_chatMode->setText(text("群聊模式服务"));
    cBox_echoMode->setText(text("群聊回显开关"));
    pBtnSaveRcvData->setText(text("保存数据"));
    pBtnClearRcvDisp->setText(text("清空显示"));
    Tabs_SndRcv->setTabText(Tabs_SndRcv->indexOf(tab), text("接收设置"));
    cBoxStartSndFile->setText(text("启用文件数据源..."));
    cBox_AntoClearSnd->setText(text("发送完自动清空"));
    cBox_SndHexDisp->setText(text("按十六进制发送"));
    cBoxLoopSnd->setText(text("数据源循环发送"));
    label_4->setText(text("间隔"));
    lEdit_Interval_ms->setInputMask(text("D9999"));
    lEdit_Interval_ms->setText(text("1000"));
    label_5->setText(text("毫秒"));
    pBtnLoadSndData->setText(text("载入数据"));
    pBtnClearSndDisp->setText(text("清空显示"));
    Tabs_SndRcv->setTabText(Tabs_SndRcv->indexOf(tab_2), text("发送设置"));
    label_9->setText(text("数据接收区"));
    labelClients->setText(text("连接对象"));
    labelSpaceClients->setText(QString());
    labelUdp->setText(text("目标IP地址"));
    lEditUdpIP->setInputMask(text("000.000.000.000"));
    lEditUdpIP->setText(text("..."));
    labelUdp1->setText(text("目标端口"));
    lEditUdpPort->setInputMask(QString());
    lEditUdpPort->setText(text("8081"));
    labelSpaceUdp->setText(QString());
    pBtnSendData->setText(text("发送"));
    label_2->setText(text("状态"));
    CurState->setText(QString());
    label_6->setText(text("发送计数"));
    lEdit_SndCnt->setText(text("0"));
    label_7->setText(text("接收计数"));
    lEdit_RcvCnt->setText(text("0"));
    pBtnResetCnt->setText(text("复位计数"));
}
