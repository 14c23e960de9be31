#include "util/BoolHexText.h"

#include "platform/HexDigit.h"

QString BoolTo01(bool value) {
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

bool TextToBool(const QString& text, bool defaultValue) {
    if (text == QLatin1String("0"))
        return false;
    if (text == QLatin1String("1"))
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    return defaultValue;
}

int HexDigitValue(QChar c, int defaultValue) {
    const int value = platform::hexDigitValue(c.unicode());
    return value < 0 ? defaultValue : value;
}

QChar HexDigitChar(int value) {
    if (value >= 0 && value <= 9)
        return QChar('0' + value);
    if (value >= 10 && value <= 15)
        return QChar('A' + value - 10);
    return QLatin1Char('?');
}

namespace {
// Walks the hexadecimal text, handing each byte to put; returns the count.
template <typename Emit> int scanHexText(const QString& text, Emit put) {
    const int n = int(text.size());
    int count = 0;
    for (int i = 0; i < n;) {
        const int high = HexDigitValue(text[i], -1);
        if (high >= 0) {
            const int low = i + 1 < n ? HexDigitValue(text[i + 1], -1) : -1;
            if (low >= 0) {
                put(char(high * 16 + low));
                i += 2;
            } else {
                put(char(high));
                ++i;
            }
            ++count;
            continue;
        }
        const char16_t u = text[i].unicode();
        if (u > 32) {
            // Characters are bytes one to one; one beyond 8 bits has no byte.
            put(u <= 0xFF ? char(u) : '?');
            ++count;
        }
        ++i;
    }
    return count;
}
} // namespace

QByteArray HexTextToBytes(const QString& text) {
    QByteArray bytes;
    bytes.reserve(scanHexText(text, [](char) {}));
    scanHexText(text, [&bytes](char b) { bytes.append(b); });
    return bytes;
}

QString BytesToHexText(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size() * 3);
    for (const char b : bytes) {
        const auto u = uint8_t(b);
        text += HexDigitChar(u >> 4);
        text += HexDigitChar(u & 0x0F);
        text += QLatin1Char(' ');
    }
    return text;
}
