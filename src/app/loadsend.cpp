#include "mkestrunewidget.h"

#include "fileopen.h"
#include "filesend.h"
#include "mkestruneform.h"
#include "paragraphs.h"
#include "sendareaload.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

#include <memory>

void mKestruneWidget::on_pBtnLoadSndData_clicked()
{
    const QString fileName = roomForFileDialog()
                                 ? QFileDialog::getOpenFileName(this, tr("载入文本文件到发送区"), QString(), QString())
                                 : QString();
    // Raw bytes: the load translates CR LF line ends itself.
    auto file = std::make_unique<QFile>(fileName);
    if (!openAtOnce(*file, QIODevice::ReadOnly)) {
        QMessageBox::information(this, tr("错误"), tr("打开文件失败。"));
        return;
    }
    // A new load takes the place of one still running; what that one
    // inserted stays.
    stopSendAreaLoad();
    sendAreaLoad = new SendAreaLoad(std::move(file), ui->tEditSendText, this);
    connect(sendAreaLoad, &SendAreaLoad::progress, this, &mKestruneWidget::showSendAreaLoad);
    connect(sendAreaLoad, &SendAreaLoad::finished, this, [this](SendAreaLoad::Outcome outcome) {
        sendAreaLoadEnded(outcome == SendAreaLoad::Outcome::LineTooLong);
    });
    sendAreaLoad->start();
}

void mKestruneWidget::stopSendAreaLoad()
{
    if (sendAreaLoad)
        sendAreaLoad->stop();
}

void mKestruneWidget::showSendAreaLoad(qint64 done, qint64 total)
{
    // A file send has the progress bar to itself while it runs.
    if (fileSend)
        return;
    // A source of unknown size shows the bar as busy.
    const int shift = total > 0 ? progressShift(total) : 0;
    ui->SndProgressBar->setMaximum(int(total >> shift));
    ui->SndProgressBar->setValue(int(done >> shift));
    ui->SndProgressBar->show();
}

void mKestruneWidget::sendAreaLoadEnded(bool lineTooLong)
{
    if (!fileSend)
        ui->SndProgressBar->hide();
    if (!lineTooLong)
        return;
    // Told once the load has gone, from the event loop.
    QTimer::singleShot(0, this, [this] {
        QMessageBox::information(this, tr("错误"),
                                 tr("载入失败! 文件中有一行超过%1个字符，发送区无法及时显示。"
                                    "请用“启用文件数据源...”发送这个文件。")
                                     .arg(MaxParagraphChars));
    });
}
