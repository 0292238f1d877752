#include "rcvsave.h"

#include "bounds.h"

#include <QFile>
#include <QTextBlock>
#include <QTextDocument>

namespace {

// A line's text as the document's plain text gives it: the separators that
// a paragraph may hold become line feeds, and non-breaking spaces spaces.
void appendPlain(QString &out, QStringView raw)
{
    const qsizetype start = out.size();
    out.append(raw);
    for (QChar *ch = out.data() + start, *stop = out.data() + out.size(); ch != stop; ++ch) {
        switch (ch->unicode()) {
        case 0xFDD0: // frame marks
        case 0xFDD1:
        case QChar::ParagraphSeparator:
        case QChar::LineSeparator:
            *ch = QLatin1Char('\n');
            break;
        case QChar::Nbsp:
            *ch = QLatin1Char(' ');
            break;
        default:
            break;
        }
    }
}

} // namespace

RcvSave::RcvSave(std::unique_ptr<QFile> file, const QTextDocument *document, QObject *parent)
    : QObject(parent)
    , file(std::move(file))
    , document(document)
    , savedEnd(document->characterCount() - 1)
{
    setObjectName(QStringLiteral("rcvSave"));
    nextPass.setSingleShot(true);
    connect(&nextPass, &QTimer::timeout, this, &RcvSave::pass);
}

RcvSave::~RcvSave() = default;

void RcvSave::start()
{
    pass();
}

void RcvSave::finishNow()
{
    if (ended)
        return;
    nextPass.stop();
    while (writeSome()) {
    }
    finish();
}

void RcvSave::pass()
{
    if (writeSome()) {
        emit progress(next, savedEnd);
        nextPass.start(0);
        return;
    }
    finish();
}

bool RcvSave::writeSome()
{
    if (!document || failed || next >= savedEnd)
        return false;
    QString text;
    QTextBlock block = document->findBlock(next);
    while (block.isValid() && next < savedEnd && text.size() < RcvSavePassChars) {
        // The part of the line that lies in the saved range, and its line
        // feed when that does too.
        const int lineEnd = block.position() + block.length() - 1;
        const int upTo = qMin(lineEnd, savedEnd);
        appendPlain(text, QStringView(block.text()).mid(next - block.position(), upTo - next));
        next = upTo;
        if (lineEnd < savedEnd) {
            text.append(QLatin1Char('\n'));
            next = lineEnd + 1;
        }
        block = block.next();
    }
    const QByteArray bytes = encoder.encode(text);
    // The saved range always ends inside the document; a line missing
    // before it would mean the text changed under the save.
    failed = file->write(bytes) != bytes.size() || (next < savedEnd && !block.isValid());
    return next < savedEnd && !failed;
}

void RcvSave::finish()
{
    if (ended)
        return;
    ended = true;
    // The whole text, and the file took it.
    bool saved = document && !failed && next >= savedEnd && file->flush();
    file->close();
    saved = saved && file->error() == QFileDevice::NoError;
    emit finished(saved);
    deleteLater();
}
