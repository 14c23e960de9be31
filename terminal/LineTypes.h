#pragma once
// The terminal's line types: how each kind of traffic is prefixed, rendered,
// coloured and marked in the log. Ordinals are stored and must not change.
#include <QRgb>
#include <QStringList>
#include <array>

enum VOxaTerminal_LineType : int {
    VOxaTerminal_ltInLine = 0,
    VOxaTerminal_ltOutLine,
    VOxaTerminal_ltInBin,
    VOxaTerminal_ltOutBin,
    VOxaTerminal_ltInText,
    VOxaTerminal_ltOutText,
    VOxaTerminal_ltExtra,
    VOxaTerminal_ltExtraR,
    VOxaTerminal_ltExtraG,
    VOxaTerminal_ltExtraB,
    VOxaTerminal_ltExtraRR,
    VOxaTerminal_ltExtraA,
    VOxaTerminal_ltPlusBrown,
    VOxaTerminal_ltMinusBrown,
    VOxaTerminal_ltPlusBrown2,
    VOxaTerminal_ltMinusBrown2,
    VOxaTerminal_ltBinPlusBrown,
    VOxaTerminal_ltBinMinusBrown,
    VOxaTerminal_ltPlusGrey,
    VOxaTerminal_ltMinusGrey,
    VOxaTerminal_ltPlusGrey2,
    VOxaTerminal_ltMinusGrey2,
    VOxaTerminal_ltBinPlusGrey,
    VOxaTerminal_ltBinMinusGrey,
    VOxaTerminal_ltPlusMag,
    VOxaTerminal_ltMinusMag,
    VOxaTerminal_ltPlusBlue,
    VOxaTerminal_ltMinusBlue,
    VOxaTerminal_lt_NoType,
};

constexpr int VOxaTerminal_LineTypeCount = 29;

// text: 0x20..0x7F as characters, every other byte as "<#XX>" in the escape colour;
// hex: " XX" per byte; raw: bytes unchanged.
enum class LineTypeMode { Text, Hex, Raw };

struct LineTypeRow {
    VOxaTerminal_LineType index; // checked against the row's position at start-up
    const char* name;
    const char* displayPrefix;
    LineTypeMode mode;
    QRgb color;
    QRgb escapeColor; // only used in text mode
    const char* logPrefix;
};

extern const std::array<LineTypeRow, VOxaTerminal_LineTypeCount> LineTypeTable;

// Reports, through DebugNotify, every row whose stored index differs from its
// position. Returns the number of such rows.
int VerifyLineTypeTable();
// The reports for a table: "err in [5 (VOxaTerminal_ltOutText)].check=VOxaTerminal_ltInText"
// for row 5 holding the row of type 4.
QStringList LineTypeTableErrors(const LineTypeRow* rows, int count);

// The name of a line type value, from the enumeration (not from the table).
const char* LineTypeName(int lineType);

// The row of a type; out-of-range values use the VOxaTerminal_lt_NoType row.
const LineTypeRow& LineTypeInfo(int lineType);
