#pragma once

#include "sendtextedit.h"

#include <QtGlobal>

QT_BEGIN_NAMESPACE
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpacerItem;
class QTabWidget;
class QVBoxLayout;
class QWidget;
QT_END_NAMESPACE

// The main window's form: one pointer per layout, spacer and widget, named by
// object name and declared in the order setupForm creates them (depth first).
// The record owns nothing; widgets belong to their Qt parents, layouts and
// spacers to the widget or layout that holds them.
class mKestruneForm final
{
public:
    QVBoxLayout *verticalLayout_3 = nullptr;
    QHBoxLayout *horizontalLayout_5 = nullptr;
    QVBoxLayout *verticalLayout = nullptr;
    QGroupBox *groupBox_2 = nullptr;
    QVBoxLayout *verticalLayout_7 = nullptr;
    QLabel *label = nullptr;
    QComboBox *cBoxNetType = nullptr;
    QLabel *label_IP = nullptr;
    QLineEdit *lEditIpAddr = nullptr;
    QLabel *label_Port = nullptr;
    QLineEdit *lEditIpPort = nullptr;
    QSpacerItem *verticalSpacer = nullptr;
    QPushButton *pBtnNetCnnt = nullptr;
    QSpacerItem *verticalSpacer_2 = nullptr;
    QTabWidget *Tabs_SndRcv = nullptr;
    QWidget *tab = nullptr;
    QVBoxLayout *verticalLayout_8 = nullptr;
    QVBoxLayout *verticalLayout_5 = nullptr;
    QVBoxLayout *verticalLayout_4 = nullptr;
    QCheckBox *StartRcvFile = nullptr;
    QCheckBox *cBox_ShowRcvTime = nullptr;
    QCheckBox *cBox_RcvHexDisp = nullptr;
    QCheckBox *cBox_PauseShowRcv = nullptr;
    QCheckBox *cBox_chatMode = nullptr;
    QCheckBox *cBox_echoMode = nullptr;
    QSpacerItem *verticalSpacer_3 = nullptr;
    QHBoxLayout *horizontalLayout_6 = nullptr;
    QPushButton *pBtnSaveRcvData = nullptr;
    QPushButton *pBtnClearRcvDisp = nullptr;
    QWidget *tab_2 = nullptr;
    QVBoxLayout *verticalLayout_9 = nullptr;
    QVBoxLayout *verticalLayout_6 = nullptr;
    QCheckBox *cBoxStartSndFile = nullptr;
    QCheckBox *cBox_AntoClearSnd = nullptr;
    QCheckBox *cBox_SndHexDisp = nullptr;
    QCheckBox *cBoxLoopSnd = nullptr;
    QHBoxLayout *horizontalLayout_7 = nullptr;
    QLabel *label_4 = nullptr;
    QLineEdit *lEdit_Interval_ms = nullptr;
    QLabel *label_5 = nullptr;
    QSpacerItem *horizontalSpacer = nullptr;
    QSpacerItem *verticalSpacer_4 = nullptr;
    QHBoxLayout *horizontalLayout_8 = nullptr;
    QPushButton *pBtnLoadSndData = nullptr;
    QPushButton *pBtnClearSndDisp = nullptr;
    QVBoxLayout *verticalLayout_2 = nullptr;
    QGridLayout *gridLayout = nullptr;
    QPlainTextEdit *ReceiveTextEdit = nullptr;
    QLabel *label_9 = nullptr;
    QHBoxLayout *horizontalLayout_3 = nullptr;
    QLabel *labelClients = nullptr;
    QComboBox *cBoxClients = nullptr;
    QLabel *labelSpaceClients = nullptr;
    QHBoxLayout *horizontalLayout_2 = nullptr;
    QLabel *labelUdp = nullptr;
    QLineEdit *lEditUdpIP = nullptr;
    QLabel *labelUdp1 = nullptr;
    QLineEdit *lEditUdpPort = nullptr;
    QLabel *labelSpaceUdp = nullptr;
    QHBoxLayout *horizontalLayout_4 = nullptr;
    SendTextEdit *tEditSendText = nullptr;
    QPushButton *pBtnSendData = nullptr;
    QProgressBar *SndProgressBar = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QLabel *label_2 = nullptr;
    QLabel *CurState = nullptr;
    QSpacerItem *horizontalSpacer_2 = nullptr;
    QLabel *label_6 = nullptr;
    QLineEdit *lEdit_SndCnt = nullptr;
    QLabel *label_7 = nullptr;
    QLineEdit *lEdit_RcvCnt = nullptr;
    QPushButton *pBtnResetCnt = nullptr;

    // Builds the whole tree on the window, applies the texts, selects the
    // first tab and connects the window's on_<objectName>_<signal> slots.
    void setupForm(QWidget *window);

    // Applies every fixed text of the window; called once, by setupForm.
    void retranslateForm(QWidget *window);
};
