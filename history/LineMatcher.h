#pragma once
// What the history's filter line asks for, and the matcher that answers it
// for one line or for a block of lines at a time.
//
// Plain text is found by its rarest byte (the system's memchr; without match
// case a vectorised search for its two rarest bytes), each candidate then
// compared whole; regular expressions run in RE2, which takes time linear in
// the text and memory within a set bound whatever the pattern, so a pattern
// such as (a+)+$ on a line of megabytes cannot hang the program. A regular
// expression with a text every match must contain is searched for that text
// first, and RE2 runs only on the lines holding it.
// Bytes are Latin-1 characters, as in the display. Without match case the
// letters of Latin-1 match in either case.
//
// The main window's filters keep their own meaning: a filter is a prefix of
// the line's data (after the time stamp and the type prefix), or with a
// leading "%" a text contained in it; only a to z are compared without case.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace history {

struct FilterSpec {
    enum Kind { Text, Regex, MainFilters };
    Kind kind = Text;
    QString text;
    bool matchCase = false;
    QString filter1, filter2; // MainFilters: the main window's two strings, as typed
    // Nothing to filter by (every line matches).
    bool empty() const;
    bool operator==(const FilterSpec&) const = default;
};

// Why a filter cannot be used: in words, and where in the text (-1: nowhere in particular).
struct FilterError {
    QString what;
    int position = -1;
};

class LineMatcher {
public:
    virtual ~LineMatcher() = default;
    // The matcher for query; null with error set when it cannot be built.
    static std::unique_ptr<LineMatcher> make(const FilterSpec& query, FilterError* error);
    // An equal matcher for use on another thread.
    virtual std::unique_ptr<LineMatcher> clone() const = 0;

    // Whether a line (without its line break) matches.
    virtual bool matches(const char* line, size_t length) = 0;
    // The lines of a block that match: line k of count runs from starts[k]
    // to starts[k + 1] (for the last: to blockEnd), offsets of the block's
    // first byte being blockBase; each line's line feed and a carriage return
    // before it are not part of it. Appends the matching k to hits.
    virtual void findLines(const char* block, int64_t blockBase, int64_t blockEnd,
                           const int64_t* starts, size_t count, std::vector<uint32_t>& hits);
    // Whether findLines may run on mapped bytes that can vanish under it (a
    // file truncated meanwhile, see platform::guardedRead): it reads them only
    // in plain code of its own and hands a library a copy of a line at most.
    virtual bool readsMappedSafely() const { return false; }
    // The stretches of a line that match (start, length), for highlighting.
    virtual void ranges(const char* line, size_t length, std::vector<std::pair<int, int>>& out) = 0;
};

// The length of a line without the line feed and carriage return at its end.
inline size_t contentLength(const char* line, size_t length) {
    if (length > 0 && line[length - 1] == '\n')
        --length;
    if (length > 0 && line[length - 1] == '\r')
        --length;
    return length;
}

} // namespace history
