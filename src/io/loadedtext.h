#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The text that loading a file puts into the send area, built from the
// file's raw bytes as they are read, in pieces of any size. The file is
// taken line by line, a line being everything up to and including a line
// feed: a CR LF at the end of a line becomes LF, the line's text ends at its
// first zero byte (the rest of the line, its line feed included, is
// dropped), and the text is decoded as UTF-8, every line on its own. At most
// `cap` bytes of lines are taken, counted after their line ends are
// translated; a line that would pass the cap is cut there.
class LoadedText final
{
public:
    explicit LoadedText(qint64 cap);

    // Takes the next bytes read; what lies beyond the cap is ignored.
    void feed(QByteArrayView bytes);
    // The file has ended: a last line without a line feed is complete.
    void finish();
    // The cap is reached: nothing more is taken.
    bool full() const { return loaded >= cap; }
    // Text bytes of the line still being read; its text will have at least
    // a third as many characters (UTF-8 takes at most three bytes for one).
    qsizetype openLineBytes() const { return line.size(); }

    // The text of the lines completed since the last call. A line cut by a
    // zero byte gives its text without a line break.
    QString takeText();

private:
    void endLine();
    void decodePending();

    qint64 cap = 0;
    // Bytes of lines taken, after translation.
    qint64 loaded = 0;
    // Raw bytes of the line being read, how many of them the line may have,
    // and whether a zero byte has ended its text.
    qint64 lineRaw = 0;
    qint64 lineLimit = 0;
    bool lineCut = false;
    bool lastWasCr = false;
    // The text bytes of the line being read.
    QByteArray line;
    // Text bytes of complete lines not decoded yet. Lines that end in a line
    // feed are decoded together: the decoder starts afresh after any ASCII
    // byte, so that gives the same text as decoding them one by one.
    QByteArray pending;
    QString text;
};
