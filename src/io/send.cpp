#include "mkestrunewidget.h"

void mKestruneWidget::on_pBtnSendData_clicked()
{
}

void mKestruneWidget::toSendData()
{
}

void mKestruneWidget::on_cBoxLoopSnd_toggled(bool checked)
{
    Q_UNUSED(checked);
}

void mKestruneWidget::on_lEdit_Interval_ms_editingFinished()
{
}

void mKestruneWidget::on_pBtnClearSndDisp_clicked()
{
}
