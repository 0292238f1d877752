#include "mkestrunewidget.h"

#include "hexcodec.h"
#include "mkestruneform.h"
#include "unshapedtext.h"

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
    const QString text = ui->tEditSendText->toPlainText();
    if (text.isEmpty())
        return;
    if (checked) {
        // Typed text goes out in the local 8-bit encoding; show those bytes.
        const QString hex = sendHexText(text.toLocal8Bit());
        ui->tEditSendText->clear();
        hexNotation->setOn(true);
        // In an edit block the cursor works out its x position only when it
        // needs it, which spares one pass over the long line.
        QTextCursor editBlock = ui->tEditSendText->textCursor();
        editBlock.beginEditBlock();
        ui->tEditSendText->insertPlainText(hex);
        editBlock.endEditBlock();
    } else {
        // Read back as UTF-8, up to the first zero byte.
        const QByteArray bytes = parseSendHex(text);
        ui->tEditSendText->clear();
        hexNotation->setOn(false);
        ui->tEditSendText->setPlainText(QString::fromUtf8(bytes.constData()));
    }
}
