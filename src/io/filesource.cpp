#include "mkestrunewidget.h"

void mKestruneWidget::toSendFile()
{
}

void mKestruneWidget::msDelay(uint msec)
{
    Q_UNUSED(msec);
}

void mKestruneWidget::on_pBtnLoadSndData_clicked()
{
}

void mKestruneWidget::on_cBoxStartSndFile_clicked(bool checked)
{
    Q_UNUSED(checked);
}
