#include "mkestrunewidget.h"

#include "fileopen.h"
#include "mkestruneform.h"
#include "sendareaload.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>

#include <memory>

void mKestruneWidget::on_pBtnLoadSndData_clicked()
{
    const QString fileName = QFileDialog::getOpenFileName(this, tr("载入文本文件到发送区"), QString(), QString());
    // Raw bytes: the load translates CR LF line ends itself.
    auto file = std::make_unique<QFile>(fileName);
    if (!openAtOnce(*file, QIODevice::ReadOnly)) {
        QMessageBox::information(this, tr("错误"), tr("打开文件失败。"));
        return;
    }
    // A new load takes the place of one still running; what that one
    // inserted stays.
    delete sendAreaLoad;
    sendAreaLoad = new SendAreaLoad(std::move(file), ui->tEditSendText, this);
}
