#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The send area's hex notation: tokens separated by spaces (U+0020 only),
// each token one byte. Written as lower-case digits without leading zeros,
// every byte followed by one space. Widget-free, so it can be fuzzed alone.

// The value of one hex digit character, 0 to 15, or -1 for anything else.
int sendHexDigit(char ch);

// The byte of one token: one character is its digit value, two characters
// are 16 * first + second, both modulo 256 (a non-digit counts as -1);
// longer tokens are 0x00.
char sendHexByte(QStringView token);

// Every space-separated token of text as one byte, in order.
QByteArray parseSendHex(QStringView text);

// The bytes a send makes of the send area's text: its hex notation read
// back while hex sending is on, else the text in the locale's encoding.
QByteArray sendPayload(const QString &text, bool hex);

// The written form of bytes, which parseSendHex reads back unchanged.
QString sendHexText(QByteArrayView bytes);
