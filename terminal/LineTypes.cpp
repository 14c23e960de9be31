#include "terminal/LineTypes.h"

#include "util/OxaUtils.h"

namespace {
constexpr QRgb rgb(unsigned v) { return 0xFF000000u | v; }
constexpr LineTypeMode T = LineTypeMode::Text;
constexpr LineTypeMode H = LineTypeMode::Hex;
constexpr LineTypeMode R = LineTypeMode::Raw;
constexpr QRgb none = rgb(0x000000); // the mode never uses this colour
} // namespace

#define ROW(id, prefix, mode, color, esc, log) {id, #id, prefix, mode, color, esc, log}

const std::array<LineTypeRow, VOxaTerminal_LineTypeCount> LineTypeTable = {{
    ROW(VOxaTerminal_ltInLine, "+ ", T, rgb(0x000000), rgb(0x0000FF), "+ "),
    ROW(VOxaTerminal_ltOutLine, " - ", T, rgb(0x000000), rgb(0x0000FF), "- "),
    ROW(VOxaTerminal_ltInBin, "+ #", H, rgb(0x0000FF), none, "+ #"),
    ROW(VOxaTerminal_ltOutBin, " - #", H, rgb(0x0000FF), none, "- #"),
    ROW(VOxaTerminal_ltInText, "+ ", T, rgb(0x0000FF), rgb(0x000000), "+ "),
    ROW(VOxaTerminal_ltOutText, " - ", T, rgb(0x0000FF), rgb(0x000000), "- "),
    ROW(VOxaTerminal_ltExtra, "E ", R, rgb(0x800080), none, "E "),
    ROW(VOxaTerminal_ltExtraR, "E ", R, rgb(0xFF0000), none, "! "),
    ROW(VOxaTerminal_ltExtraG, "E ", R, rgb(0x008000), none, "EG "),
    ROW(VOxaTerminal_ltExtraB, "E ", R, rgb(0x000080), none, "EB "),
    ROW(VOxaTerminal_ltExtraRR, "E ", R, rgb(0xA00000), none, "!R "),
    ROW(VOxaTerminal_ltExtraA, "E ", R, rgb(0x0080FF), none, "A "),
    ROW(VOxaTerminal_ltPlusBrown, "+ ", T, rgb(0x502820), rgb(0x805020), "+B "),
    ROW(VOxaTerminal_ltMinusBrown, " - ", T, rgb(0x502820), rgb(0x805020), "-B "),
    ROW(VOxaTerminal_ltPlusBrown2, "+ ", R, rgb(0x502820), none, "+B "),
    ROW(VOxaTerminal_ltMinusBrown2, " - ", R, rgb(0x502820), none, "-B "),
    ROW(VOxaTerminal_ltBinPlusBrown, "+ #", H, rgb(0x502820), none, "+B#"),
    ROW(VOxaTerminal_ltBinMinusBrown, " - #", H, rgb(0x502820), none, "-B#"),
    ROW(VOxaTerminal_ltPlusGrey, "+ ", T, rgb(0x5A5A5A), rgb(0x282828), "+G "),
    ROW(VOxaTerminal_ltMinusGrey, " - ", T, rgb(0x5A5A5A), rgb(0x282828), "-G "),
    ROW(VOxaTerminal_ltPlusGrey2, "+ ", R, rgb(0x5A5A5A), none, "+G "),
    ROW(VOxaTerminal_ltMinusGrey2, " - ", R, rgb(0x5A5A5A), none, "-G "),
    ROW(VOxaTerminal_ltBinPlusGrey, "+ #", H, rgb(0x5A5A5A), none, "+G#"),
    ROW(VOxaTerminal_ltBinMinusGrey, " - #", H, rgb(0x5A5A5A), none, "-G#"),
    ROW(VOxaTerminal_ltPlusMag, "+ ", T, rgb(0x800080), rgb(0x400040), "+M "),
    ROW(VOxaTerminal_ltMinusMag, " - ", T, rgb(0x800080), rgb(0x400040), "-M "),
    ROW(VOxaTerminal_ltPlusBlue, "+ ", T, rgb(0x0000C0), rgb(0x000080), "+L "),
    ROW(VOxaTerminal_ltMinusBlue, " - ", T, rgb(0x0000C0), rgb(0x000080), "-L "),
    ROW(VOxaTerminal_lt_NoType, "? ", T, rgb(0xFF0000), rgb(0xFF0000), "? "),
}};

#undef ROW

int VerifyLineTypeTable() {
    int mismatches = 0;
    for (int i = 0; i < VOxaTerminal_LineTypeCount; ++i) {
        const LineTypeRow& row = LineTypeTable[size_t(i)];
        if (int(row.index) == i)
            continue;
        ++mismatches;
        const int stored = int(row.index);
        const char* storedName = stored >= 0 && stored < VOxaTerminal_LineTypeCount
                                     ? LineTypeTable[size_t(stored)].name
                                     : "?";
        DebugNotify(QStringLiteral("err in [%1 (%2)].check=%3")
                        .arg(i)
                        .arg(QString::fromLatin1(row.name))
                        .arg(QString::fromLatin1(storedName)));
    }
    return mismatches;
}

const LineTypeRow& LineTypeInfo(int lineType) {
    if (lineType < 0 || lineType >= VOxaTerminal_LineTypeCount)
        lineType = VOxaTerminal_lt_NoType;
    return LineTypeTable[size_t(lineType)];
}
