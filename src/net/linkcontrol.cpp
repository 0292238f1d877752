#include "mkestrunewidget.h"

#include "mkestruneform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

void mKestruneWidget::applyLinkView(int linkMode)
{
    const bool targetRow = linkMode != 1;
    const bool serverRows = linkMode == 1;
    ui->labelSpaceUdp->setVisible(targetRow);
    ui->lEditUdpIP->setVisible(targetRow);
    ui->labelUdp->setVisible(targetRow);
    ui->labelUdp1->setVisible(targetRow);
    ui->lEditUdpPort->setVisible(targetRow);
    ui->labelClients->setVisible(serverRows);
    ui->cBoxClients->setVisible(serverRows);
    ui->labelSpaceClients->setVisible(serverRows);
    ui->cBox_chatMode->setVisible(serverRows);
    ui->cBox_echoMode->setVisible(serverRows);
}

void mKestruneWidget::on_pBtnNetCnnt_clicked(bool checked)
{
    Q_UNUSED(checked);
}

void mKestruneWidget::on_cBoxNetType_currentIndexChanged(int index)
{
    Q_UNUSED(index);
}

void mKestruneWidget::on_lEditUdpPort_textChanged(QString text)
{
    udpTargetPort = text.toInt(nullptr, 10);
}

void mKestruneWidget::on_lEditUdpIP_textChanged(QString text)
{
    udpTargetAddr.setAddress(text);
}

bool mKestruneWidget::slotTryCreateTcpServer()
{
    return false;
}

void mKestruneWidget::slotDeleteTcpServer()
{
}
