// Feeds arbitrary bytes to the token reader. The first byte picks the
// delimiters and the more flag; the rest is the text, one character a byte.
#include <QString>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "util/OxaUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    static const char* const delimiterSets[] = {" ,\t", "|", ",", "", "\"", "#(", ")"};
    const QString delimiters = QString::fromLatin1(delimiterSets[data[0] % 7]);
    const bool moreFirst = (data[0] & 0x80) != 0;
    const QString original =
        QString::fromLatin1(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    // ReadToken from starting positions spread over the text and its end.
    for (int start = 0; start <= original.size(); start += 1 + original.size() / 16) {
        int position = start;
        bool more = moreFirst;
        QString token;
        ReadToken(position, original, delimiters, token, more);
        FUZZ_CHECK(position >= 0 && position <= original.size());
        FUZZ_CHECK(token.size() <= original.size());
    }

    // ExtractToken walks the text: each call leaves a tail of what it got.
    QString text = original;
    for (int calls = 0; calls <= original.size() + 1 && !text.isEmpty(); ++calls) {
        const QString before = text;
        bool more = moreFirst;
        QString token;
        ExtractToken(text, more, delimiters, token);
        FUZZ_CHECK(before.endsWith(text));
        FUZZ_CHECK(token.size() <= before.size());
        if (text == before)
            break;
    }
    text = original;
    for (int calls = 0; calls < 8; ++calls) {
        bool more = false;
        const QString before = text;
        ExtractToken(text, more);
        FUZZ_CHECK(before.endsWith(text));
    }
    return 0;
}
