#include "loadedtext.h"

#include <cstring>

LoadedText::LoadedText(qint64 cap)
    : cap(cap)
    , lineLimit(cap)
{
}

void LoadedText::feed(QByteArrayView bytes)
{
    const char *data = bytes.data();
    qint64 left = bytes.size();
    while (left > 0 && !full()) {
        const qint64 room = qMin(left, lineLimit - lineRaw);
        const auto *feedAt = static_cast<const char *>(std::memchr(data, '\n', size_t(room)));
        const qint64 size = feedAt ? feedAt - data + 1 : room;
        if (!lineCut) {
            const auto *zero = static_cast<const char *>(std::memchr(data, '\0', size_t(size)));
            line.append(data, zero ? zero - data : size);
            lineCut = zero != nullptr;
        }
        // A CR LF pair may be split between two reads.
        const bool crLf = feedAt && (size > 1 ? data[size - 2] == '\r' : lastWasCr);
        lastWasCr = data[size - 1] == '\r';
        lineRaw += size;
        data += size;
        left -= size;
        if (feedAt) {
            if (crLf) {
                --lineRaw;
                if (!lineCut) {
                    line.chop(2);
                    line.append('\n');
                }
            }
            endLine();
        } else if (lineRaw == lineLimit) {
            endLine();
        }
    }
}

void LoadedText::finish()
{
    if (lineRaw > 0)
        endLine();
    decodePending();
}

void LoadedText::endLine()
{
    pending.append(line);
    // A line cut short may end inside a character: decode up to here on
    // its own.
    if (lineCut || !pending.endsWith('\n'))
        decodePending();
    loaded += lineRaw;
    lineLimit = cap - loaded;
    lineRaw = 0;
    lineCut = false;
    lastWasCr = false;
    line.clear();
}

void LoadedText::decodePending()
{
    text.append(QString::fromUtf8(pending));
    pending.clear();
}

QString LoadedText::takeText()
{
    decodePending();
    QString taken;
    taken.swap(text);
    return taken;
}
