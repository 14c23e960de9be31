#pragma once
// The texts of the send lines and the one code page of the terminal.
//
// Bytes become characters one to one (Latin-1), in the display as on the send
// line, so what the operator sees of a received byte is what typing that
// character sends. A character beyond the code page has no byte: it is kept
// as it is in both lines, and a send that meets it is refused (the operator is
// told which character it is) rather than sending a substitute.
#include <QByteArray>
#include <QString>

namespace terminal {

// The longest line the send lines send in one go. A longer text stays in the
// line and is refused with a notice ("Send file" sends more); the lines hold
// twice as much, so a paste a little over the limit is kept whole.
constexpr qsizetype kMaxSendChars = 262144;

// The manual line as the hex line shows it: every character as two
// upper-case hexadecimal digits and a blank ("AT" gives "41 54 "); a character
// beyond the code page is written as itself followed by a blank.
QString ManualToHexText(const QString& manual);

// The characters the hex line describes: two hexadecimal digits are one byte,
// a single digit before a non-digit or the end is the byte of its value, any
// other character above the blank stands for itself; blanks and control
// characters only separate. Bytes come back as the characters 0 to 255.
QString HexTextToManual(const QString& hex);

// The position in the hex line of the first character that is not part of a
// hexadecimal pair: a character other than a digit, a blank or a control
// character, or the lone digit of a run of odd length. -1 when every byte is
// written as two digits (what the hex line shows for a typed text).
qsizetype FindNonHexPair(const QString& hex);

// What the window tells the operator about the hex line's character at index.
QString NonHexNotice(const QString& hex, qsizetype index);

// What the window tells the operator about a line of length characters that
// is longer than kMaxSendChars.
QString TooLongNotice(qsizetype length);

// The position of the first character of text beyond the code page, or -1.
qsizetype FindUnsendable(const QString& text);

// The bytes of a text without characters beyond the code page.
QByteArray SendBytes(const QString& text);

// What the window tells the operator about the character at position index.
QString UnsendableNotice(const QString& text, qsizetype index);

} // namespace terminal
