#include "hexcodec.h"

int sendHexDigit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    return -1;
}

char sendHexByte(QStringView token)
{
    // Characters beyond Latin-1 reduce to 0, which is no digit.
    auto digit = [&token](qsizetype i) { return sendHexDigit(token[i].toLatin1()); };
    switch (token.size()) {
    case 1:
        return char(digit(0) & 0xFF);
    case 2:
        return char((16 * digit(0) + digit(1)) & 0xFF);
    default:
        return 0;
    }
}

QByteArray parseSendHex(QStringView text)
{
    // Tokens are the runs between spaces, found in one scan: a list of every
    // token of a long hex text would cost more than their bytes.
    QByteArray bytes;
    bytes.reserve(text.size() / 2 + 1);
    const QChar *at = text.begin();
    const QChar *const end = text.end();
    while (at != end) {
        if (*at == u' ') {
            ++at;
            continue;
        }
        const QChar *const start = at;
        while (at != end && *at != u' ')
            ++at;
        bytes.append(sendHexByte(QStringView(start, at)));
    }
    return bytes;
}

QString sendHexText(QByteArrayView bytes)
{
    static const char digits[] = "0123456789abcdef";
    QString text;
    text.reserve(bytes.size() * 3);
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= 0x10)
            text.append(QLatin1Char(digits[value >> 4]));
        text.append(QLatin1Char(digits[value & 0x0F]));
        text.append(QLatin1Char(' '));
    }
    return text;
}

QByteArray sendPayload(const QString &text, bool hex)
{
    return hex ? parseSendHex(text) : text.toLocal8Bit();
}
