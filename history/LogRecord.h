#pragma once
// One record line of a log as the logger writes it: "yyyy-mm-dd hh:mm:ss.zzz: ",
// the line type's log prefix, the data. The prefix tells the line type, and
// with it the colours the terminal shows the line in.
#include <cstddef>

namespace history {

struct RecordParts {
    int lineType = -1; // -1: not a record of a known type
    int dataStart = 0; // where the data begin (0 when the line is no record)
};

// Reads the time stamp and the prefix at the start of a line (without its
// line break). The time separator may be any short text, as the locale's is.
RecordParts parseRecord(const char* line, size_t length);

} // namespace history
