#include "history/LogRecord.h"

#include <array>
#include <cstring>

#include "terminal/LineTypes.h"

namespace history {

namespace {

bool digit(char c) {
    return c >= '0' && c <= '9';
}

struct Prefix {
    const char* text;
    int length;
    int lineType;
};

// Each log prefix with the line type it stands for. Several types share a
// prefix; the one this program writes (received and sent text, the filter
// matches, its own notes) comes first. The hex types' "+ #" and "- #" are left
// out: a received text line starting with "#" looks the same, and both are
// shown in the same colour.
std::array<Prefix, VOxaTerminal_LineTypeCount> makePrefixes(int& count) {
    std::array<Prefix, VOxaTerminal_LineTypeCount> table{};
    count = 0;
    const int preferred[] = {VOxaTerminal_ltInText, VOxaTerminal_ltOutText, VOxaTerminal_ltExtraG,
                             VOxaTerminal_ltExtraA};
    const auto add = [&](int type) {
        if (type == VOxaTerminal_ltInBin || type == VOxaTerminal_ltOutBin ||
            type == VOxaTerminal_lt_NoType)
            return;
        const char* text = LineTypeInfo(type).logPrefix;
        for (int i = 0; i < count; ++i)
            if (std::strcmp(table[size_t(i)].text, text) == 0)
                return;
        table[size_t(count++)] = {text, int(std::strlen(text)), type};
    };
    for (int type : preferred)
        add(type);
    for (int type = 0; type < VOxaTerminal_LineTypeCount; ++type)
        add(type);
    return table;
}

} // namespace

RecordParts parseRecord(const char* line, size_t length) {
    static int prefixCount = 0;
    static const auto prefixes = makePrefixes(prefixCount);
    // "yyyy-mm-dd " then the time, its end being ".zzz: ".
    if (length < 26 || !digit(line[0]) || !digit(line[3]) || line[4] != '-' || line[7] != '-' ||
        line[10] != ' ' || !digit(line[11]))
        return {};
    size_t p = 12;
    const size_t limit = length < 48 ? length : 48;
    while (p + 6 <= limit && !(line[p] == '.' && digit(line[p + 1]) && digit(line[p + 3]) &&
                               line[p + 4] == ':' && line[p + 5] == ' '))
        ++p;
    if (p + 6 > limit)
        return {};
    const size_t rest = p + 6;
    for (int i = 0; i < prefixCount; ++i) {
        const Prefix& prefix = prefixes[size_t(i)];
        if (rest + size_t(prefix.length) <= length &&
            std::memcmp(line + rest, prefix.text, size_t(prefix.length)) == 0)
            return {prefix.lineType, int(rest) + prefix.length};
    }
    return {-1, int(rest)};
}

} // namespace history
