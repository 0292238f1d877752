#include "mkestrunewidget.h"

void mKestruneWidget::udpDataReceived()
{
}

void mKestruneWidget::tcpClientDataReceived()
{
}

void mKestruneWidget::tcpServerDataReceived(char *msg, int length, int socketDescriptorEx)
{
    Q_UNUSED(msg);
    Q_UNUSED(length);
    Q_UNUSED(socketDescriptorEx);
}

void mKestruneWidget::insertDateTimeInRcvDisp()
{
}

void mKestruneWidget::on_pBtnClearRcvDisp_clicked()
{
}
