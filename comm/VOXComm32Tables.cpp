#include "comm/VOXComm32Tables.h"

bool TextToInt32(const QString& text, int32_t& value) {
    const int n = int(text.size());
    int i = 0;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i >= n)
        return false;
    // Accumulate the magnitude in 64 bits and stop as soon as it leaves the
    // range, so no length of digits can overflow.
    const int64_t limit = negative ? int64_t(INT32_MAX) + 1 : int64_t(INT32_MAX);
    int64_t magnitude = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > limit)
            return false;
    }
    value = int32_t(negative ? -magnitude : magnitude);
    return true;
}

int32_t TextToInt32Def(const QString& text, int32_t defaultValue) {
    int32_t value = 0;
    return TextToInt32(text, value) ? value : defaultValue;
}

int ParityIndexOf(const QString& text) {
    for (int i = 0; i < kParityCount; ++i)
        if (text == QLatin1String(kParityNames[i]))
            return i;
    return -1;
}

int StopBitsIndexOf(const QString& text) {
    for (int i = 0; i < kStopBitsCount; ++i)
        if (text == QLatin1String(kStopBitsNames[i]))
            return i;
    return -1;
}

int BaudRateIndexOf(int64_t value) {
    for (int i = 0; i < kBaudRateCount; ++i)
        if (int64_t(kBaudRateValues[i]) == value)
            return i;
    return -1;
}

int DataBitsIndexOf(int64_t value) {
    for (int i = 0; i < kDataBitsCount; ++i)
        if (kDataBitsValues[i] == value)
            return i;
    return -1;
}
