// Feeds arbitrary text to the hex line parser of the manual send line (pairs
// of bytes as UTF-16 code units, so any character can occur) and checks its
// bounds and that the bytes it gives survive their own hexadecimal text.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "util/OxaUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QString text;
    text.reserve(qsizetype(size / 2));
    for (size_t i = 0; i + 1 < size; i += 2)
        text.append(QChar(char16_t(data[i] | (data[i + 1] << 8))));
    const QByteArray bytes = HexTextToBytes(text);
    FUZZ_CHECK(bytes.size() <= text.size());
    const QString hex = BytesToHexText(bytes);
    FUZZ_CHECK(hex.size() == bytes.size() * 3);
    FUZZ_CHECK(HexTextToBytes(hex) == bytes);
    return 0;
}
