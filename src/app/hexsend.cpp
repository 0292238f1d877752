#include "mkestrunewidget.h"

#include "hexcodec.h"
#include "mkestruneform.h"
#include "paragraphs.h"
#include "unshapedtext.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextCursor>

char mKestruneWidget::ConvertHexChar(char ch)
{
    return char(sendHexDigit(ch));
}

char mKestruneWidget::ConvertHexStr(QString hexSubStr)
{
    return sendHexByte(hexSubStr);
}

void mKestruneWidget::on_cBox_SndHexDisp_clicked(bool checked)
{
    // The hex notation is one paragraph of two or three characters a byte,
    // and every character of the area is at least one byte.
    const auto refuseHexOn = [this] {
        refuseHexSwitch(tr("无法按十六进制显示! 十六进制文本将超过%1个字符，发送区无法及时显示。"
                           "大量数据请用“启用文件数据源...”发送。")
                            .arg(MaxParagraphChars));
    };
    if (checked && ui->tEditSendText->document()->characterCount() - 1 > MaxParagraphChars / 2)
        return refuseHexOn();
    const QString text = ui->tEditSendText->toPlainText();
    // Typed text goes out in the local 8-bit encoding; its hex notation
    // shows those bytes. Hex is read back as UTF-8, up to the first zero
    // byte.
    QString converted;
    if (checked) {
        converted = sendHexText(text.toLocal8Bit());
        if (converted.size() > MaxParagraphChars)
            return refuseHexOn();
    } else {
        converted = QString::fromUtf8(parseSendHex(text).constData());
        if (longestParagraph(converted) > MaxParagraphChars)
            return refuseHexSwitch(tr("无法转换为文本! 转换后有一行超过%1个字符，发送区无法及时显示。")
                                       .arg(MaxParagraphChars));
    }
    // A load still running ends here, so that no raw text follows the
    // notation, nor notation the text; what it has put in is converted.
    stopSendAreaLoad();
    if (text.isEmpty())
        return;
    ui->tEditSendText->clear();
    hexNotation->setOn(checked);
    if (checked) {
        // In an edit block the cursor works out its x position only when it
        // needs it, which spares one pass over the long line.
        QTextCursor editBlock = ui->tEditSendText->textCursor();
        editBlock.beginEditBlock();
        ui->tEditSendText->insertPlainText(converted);
        editBlock.endEditBlock();
    } else {
        ui->tEditSendText->setPlainText(converted);
    }
}

void mKestruneWidget::refuseHexSwitch(const QString &message)
{
    // The area keeps what it holds, and the box the state that matches it.
    ui->cBox_SndHexDisp->setChecked(!ui->cBox_SndHexDisp->isChecked());
    QMessageBox::information(this, tr("错误"), message);
}
