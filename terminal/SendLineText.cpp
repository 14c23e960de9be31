#include "terminal/SendLineText.h"

#include <QCoreApplication>
#include <QLocale>

#include "util/OxaUtils.h"

namespace terminal {

namespace {

bool inCodePage(QChar c) {
    return c.unicode() <= 0xFF;
}

// The length of the character at i: two for a surrogate pair.
qsizetype charLength(const QString& text, qsizetype i) {
    return text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
}

} // namespace

QString ManualToHexText(const QString& manual) {
    QString hex;
    hex.reserve(manual.size() * 3);
    for (qsizetype i = 0; i < manual.size();) {
        const qsizetype n = charLength(manual, i);
        const QChar c = manual[i];
        if (n == 1 && inCodePage(c)) {
            hex += HexDigitChar(c.unicode() >> 4);
            hex += HexDigitChar(c.unicode() & 0x0F);
        } else {
            hex += QStringView(manual).mid(i, n);
        }
        hex += u' ';
        i += n;
    }
    return hex;
}

QString HexTextToManual(const QString& hex) {
    QString manual;
    const qsizetype n = hex.size();
    for (qsizetype i = 0; i < n;) {
        const int high = HexDigitValue(hex[i], -1);
        if (high >= 0) {
            const int low = i + 1 < n ? HexDigitValue(hex[i + 1], -1) : -1;
            manual += QChar(low >= 0 ? high * 16 + low : high);
            i += low >= 0 ? 2 : 1;
            continue;
        }
        const qsizetype length = charLength(hex, i);
        if (hex[i].unicode() > 0x20)
            manual += QStringView(hex).mid(i, length);
        i += length;
    }
    return manual;
}

qsizetype FindNonHexPair(const QString& hex) {
    qsizetype run = 0; // hexadecimal digits in a row so far
    for (qsizetype i = 0; i < hex.size(); ++i) {
        if (HexDigitValue(hex[i], -1) >= 0) {
            ++run;
            continue;
        }
        if (run % 2)
            return i - 1;
        run = 0;
        if (hex[i].unicode() > 0x20)
            return i;
    }
    return run % 2 ? hex.size() - 1 : -1;
}

QString NonHexNotice(const QString& hex, qsizetype index) {
    const QString shown = hex.mid(index, charLength(hex, index));
    if (HexDigitValue(hex[index], -1) >= 0)
        return QCoreApplication::translate(
                   "terminal", "Nothing sent: the digit \"%1\" at position %2 of the hex line "
                               "stands alone; write every byte as two digits (0%1).")
            .arg(shown)
            .arg(index + 1);
    return QCoreApplication::translate("terminal",
                                       "Nothing sent: \"%1\" at position %2 of the hex line is "
                                       "not a hexadecimal digit (0-9, A-F).")
        .arg(shown)
        .arg(index + 1);
}

QString TooLongNotice(qsizetype length) {
    const QLocale locale;
    return QCoreApplication::translate("terminal",
                                       "Nothing sent: the line has %1 characters, at most %2 are "
                                       "sent at once. Use \"Send file\" for more.")
        .arg(locale.toString(length), locale.toString(kMaxSendChars));
}

qsizetype FindUnsendable(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i)
        if (!inCodePage(text[i]))
            return i;
    return -1;
}

QByteArray SendBytes(const QString& text) {
    return text.toLatin1();
}

QString UnsendableNotice(const QString& text, qsizetype index) {
    const qsizetype n = charLength(text, index);
    const char32_t code = n == 2 ? QChar::surrogateToUcs4(text[index], text[index + 1])
                                 : char32_t(text[index].unicode());
    const QString number = QStringLiteral("%1").arg(uint(code), 4, 16, QLatin1Char('0')).toUpper();
    return QCoreApplication::translate("terminal",
                                       "The character “%1” (U+%2) cannot be sent (it is outside "
                                       "the Latin-1 code page).")
        .arg(text.mid(index, n), number);
}

} // namespace terminal
