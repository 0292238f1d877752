#include "mkestrunewidget.h"

char mKestruneWidget::ConvertHexChar(char ch)
{
    Q_UNUSED(ch);
    return 0;
}

char mKestruneWidget::ConvertHexStr(QString hexSubStr)
{
    Q_UNUSED(hexSubStr);
    return 0;
}

void mKestruneWidget::on_cBox_SndHexDisp_clicked(bool checked)
{
    Q_UNUSED(checked);
}
