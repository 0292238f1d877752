// Fuzzes the send area's hex notation: the written form of any bytes must
// parse back to the same bytes, and any text must parse to exactly one byte
// per space-separated token, with tokens of three or more characters as 0.

#include "hexcodec.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const QString written = sendHexText(bytes);
    if (parseSendHex(written) != bytes)
        std::abort();
    if (!written.isEmpty() && !written.endsWith(QLatin1Char(' ')))
        std::abort();

    const QString text = QString::fromUtf8(bytes);
    const QByteArray parsed = parseSendHex(text);
    const auto tokens = QStringView(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parsed.size() != tokens.size())
        std::abort();
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        if (tokens[i].size() >= 3 && parsed[i] != 0)
            std::abort();
        if (parsed[i] != sendHexByte(tokens[i]))
            std::abort();
    }
    return 0;
}
