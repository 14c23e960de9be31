#include "terminal/LineTypes.h"

#include <iterator>

#include "util/OxaUtils.h"

namespace {
constexpr QRgb rgb(unsigned v) {
    return 0xFF000000u | v;
}
constexpr LineTypeMode T = LineTypeMode::Text;
constexpr LineTypeMode H = LineTypeMode::Hex;
constexpr LineTypeMode R = LineTypeMode::Raw;
constexpr QRgb none = rgb(0x000000); // the mode never uses this colour
} // namespace

#define ROW(id, prefix, mode, color, esc, log)                                                     \
    { id, #id, prefix, mode, color, esc, log }

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

namespace {
// In the order of VOxaTerminal_LineType, independent of the table it checks.
constexpr const char* typeNames[] = {
    "VOxaTerminal_ltInLine",      "VOxaTerminal_ltOutLine",      "VOxaTerminal_ltInBin",
    "VOxaTerminal_ltOutBin",      "VOxaTerminal_ltInText",       "VOxaTerminal_ltOutText",
    "VOxaTerminal_ltExtra",       "VOxaTerminal_ltExtraR",       "VOxaTerminal_ltExtraG",
    "VOxaTerminal_ltExtraB",      "VOxaTerminal_ltExtraRR",      "VOxaTerminal_ltExtraA",
    "VOxaTerminal_ltPlusBrown",   "VOxaTerminal_ltMinusBrown",   "VOxaTerminal_ltPlusBrown2",
    "VOxaTerminal_ltMinusBrown2", "VOxaTerminal_ltBinPlusBrown", "VOxaTerminal_ltBinMinusBrown",
    "VOxaTerminal_ltPlusGrey",    "VOxaTerminal_ltMinusGrey",    "VOxaTerminal_ltPlusGrey2",
    "VOxaTerminal_ltMinusGrey2",  "VOxaTerminal_ltBinPlusGrey",  "VOxaTerminal_ltBinMinusGrey",
    "VOxaTerminal_ltPlusMag",     "VOxaTerminal_ltMinusMag",     "VOxaTerminal_ltPlusBlue",
    "VOxaTerminal_ltMinusBlue",   "VOxaTerminal_lt_NoType",
};
static_assert(std::size(typeNames) == VOxaTerminal_LineTypeCount);
} // namespace

const char* LineTypeName(int lineType) {
    return lineType >= 0 && lineType < VOxaTerminal_LineTypeCount ? typeNames[lineType] : "?";
}

QStringList LineTypeTableErrors(const LineTypeRow* rows, int count) {
    QStringList errors;
    for (int i = 0; i < count; ++i) {
        const int stored = int(rows[i].index);
        if (stored == i)
            continue;
        errors << QStringLiteral("err in [%1 (%2)].check=%3")
                      .arg(i)
                      .arg(QLatin1String(LineTypeName(i)))
                      .arg(stored >= 0 && stored < VOxaTerminal_LineTypeCount
                               ? QLatin1String(LineTypeName(stored))
                               : QString::number(stored));
    }
    return errors;
}

int VerifyLineTypeTable() {
    const QStringList errors =
        LineTypeTableErrors(LineTypeTable.data(), VOxaTerminal_LineTypeCount);
    for (const QString& error : errors)
        DebugNotify(error);
    return int(errors.size());
}

const LineTypeRow& LineTypeInfo(int lineType) {
    if (lineType < 0 || lineType >= VOxaTerminal_LineTypeCount)
        lineType = VOxaTerminal_lt_NoType;
    return LineTypeTable[size_t(lineType)];
}
