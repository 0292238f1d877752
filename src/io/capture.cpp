#include "mkestrunewidget.h"

void mKestruneWidget::on_StartRcvFile_clicked(bool checked)
{
    Q_UNUSED(checked);
}

void mKestruneWidget::on_pBtnSaveRcvData_clicked()
{
}
