#include "history/LineMatcher.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <re2/re2.h>

#include "history/LogRecord.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace history {

namespace {

bool latin1Letter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           (c >= 0xC0 && c <= 0xFE && c != 0xD7 && c != 0xF7 && c != 0xDF);
}

// Upper and lower case of a Latin-1 letter differ in the bit 0x20.
std::array<unsigned char, 256> makeFold() {
    std::array<unsigned char, 256> fold{};
    for (int c = 0; c < 256; ++c)
        fold[size_t(c)] = latin1Letter(uint8_t(c)) ? uint8_t(c | 0x20) : uint8_t(c);
    return fold;
}
const std::array<unsigned char, 256> Fold = makeFold();

// The text as Latin-1 bytes; false (error set) for a character the log cannot hold.
bool toLatin1(const QString& text, std::string& out, FilterError* error) {
    out.clear();
    out.reserve(size_t(text.size()));
    for (int i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c > 0xFF) {
            if (error)
                *error = {QCoreApplication::translate(
                              "history::LineMatcher",
                              "\"%1\" does not occur in a log: its bytes are Latin-1 characters")
                              .arg(text.at(i)),
                          i};
            return false;
        }
        out.push_back(char(c));
    }
    return true;
}

// ---- plain text ----------------------------------------------------------------------

// How common a byte is in a log, roughly: the lower the rank, the fewer
// candidates a search for it meets. Digits, blanks, the stamp's punctuation
// and lower-case letters are everywhere; capitals, rare letters, other
// punctuation and 8-bit bytes are not.
int byteRank(unsigned char c, bool caseless) {
    static const std::array<unsigned char, 128> ranks = [] {
        std::array<unsigned char, 128> r{};
        r.fill(1); // punctuation and controls
        for (int ch = 'a'; ch <= 'z'; ++ch)
            r[size_t(ch)] = 2; // the rare letters keep this: v k x j q z
        for (int ch = 'A'; ch <= 'Z'; ++ch)
            r[size_t(ch)] = 4; // INFO, DEBUG, ERROR, class names
        for (const char* ch = "hldcumfpgwyb"; *ch; ++ch)
            r[size_t(*ch)] = 6;
        for (const char* ch = "etaoinsr"; *ch; ++ch)
            r[size_t(*ch)] = 8;
        for (const char* ch = "0123456789 :.-"; *ch; ++ch)
            r[size_t(*ch)] = 9;
        return r;
    }();
    if (c >= 0x80)
        return 0;
    // Folded, a capital is looked for in both cases: as common as its small letter.
    if (caseless && c >= 'A' && c <= 'Z')
        c = uint8_t(c | 0x20);
    return ranks[c];
}

class LiteralFinder {
public:
    LiteralFinder(std::string needle, bool caseless)
        : m_needle(std::move(needle)), m_caseless(caseless) {
        if (m_caseless)
            for (char& c : m_needle)
                c = char(Fold[uint8_t(c)]);
        // The two rarest bytes of the needle are looked for, at their places.
        const size_t n = m_needle.size();
        for (size_t i = 0; i < n; ++i)
            if (byteRank(uint8_t(m_needle[i]), m_caseless) <
                byteRank(uint8_t(m_needle[m_rare1]), m_caseless))
                m_rare1 = i;
        m_rare2 = m_rare1 == 0 ? n - 1 : 0;
        for (size_t i = 0; i < n; ++i)
            if (i != m_rare1 && byteRank(uint8_t(m_needle[i]), m_caseless) <
                                    byteRank(uint8_t(m_needle[m_rare2]), m_caseless))
                m_rare2 = i;
    }
    size_t size() const { return m_needle.size(); }

    // The first occurrence in [from, end), or null.
    const char* find(const char* from, const char* end) const {
        const size_t n = m_needle.size();
        if (n == 0)
            return from;
        if (size_t(end - from) < n)
            return nullptr;
        return findVectorised(from, end);
    }

private:
    bool equalAt(const char* p) const {
        const size_t n = m_needle.size();
        if (!m_caseless)
            return std::memcmp(p, m_needle.data(), n) == 0;
        for (size_t i = 0; i < n; ++i)
            if (char(Fold[uint8_t(p[i])]) != m_needle[i])
                return false;
        return true;
    }

    const char* findVectorised(const char* from, const char* end) const {
        const size_t n = m_needle.size();
        const char* last = end - n; // last place the needle may start
        const char* p = from;
        if (!m_caseless) {
            // The system's memchr (as wide as the processor allows) for the
            // rarest byte, then the needle compared around it.
            const char c1 = m_needle[m_rare1];
            for (const char* at = from + m_rare1; at <= last + m_rare1; ++at) {
                at = static_cast<const char*>(std::memchr(at, c1, size_t(last + m_rare1 - at) + 1));
                if (!at)
                    return nullptr;
                if (equalAt(at - m_rare1))
                    return at - m_rare1;
            }
            return nullptr;
        }
#if defined(__SSE2__)
        // Candidates where the two rarest bytes match at their places (after
        // folding), sixteen places at a time; a candidate is then compared whole.
        const size_t i1 = m_rare1, i2 = m_rare2;
        const unsigned char c1 = uint8_t(m_needle[i1]);
        const unsigned char c2 = uint8_t(m_needle[i2]);
        const __m128i v1 = _mm_set1_epi8(char(c1));
        const __m128i v2 = _mm_set1_epi8(char(c2));
        const __m128i fold1 = _mm_set1_epi8(m_caseless && latin1Letter(c1) ? 0x20 : 0);
        const __m128i fold2 = _mm_set1_epi8(m_caseless && latin1Letter(c2) ? 0x20 : 0);
        const size_t reach = std::max(i1, i2) + 16; // bytes a step loads from p
        for (; size_t(end - p) >= reach && p <= last; p += 16) {
            const __m128i a =
                _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i1)), fold1);
            const __m128i b =
                _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i2)), fold2);
            unsigned mask = unsigned(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, v1), _mm_cmpeq_epi8(b, v2))));
            while (mask) {
                const int bit = __builtin_ctz(mask);
                if (p + bit <= last && equalAt(p + bit))
                    return p + bit;
                mask &= mask - 1;
            }
        }
#endif
        for (; p <= last; ++p)
            if (equalAt(p))
                return p;
        return nullptr;
    }

    std::string m_needle;
    bool m_caseless;
    size_t m_rare1 = 0, m_rare2 = 0;
};

class TextMatcher final : public LineMatcher {
public:
    TextMatcher(std::string text, bool caseless) : m_finder(std::move(text), caseless) {}
    std::unique_ptr<LineMatcher> clone() const override {
        return std::make_unique<TextMatcher>(*this);
    }
    bool matches(const char* line, size_t length) override {
        return m_finder.find(line, line + length) != nullptr;
    }
    bool readsMappedSafely() const override { return true; }
    void findLines(const char* block, int64_t blockBase, int64_t blockEnd, const int64_t* starts,
                   size_t count, std::vector<uint32_t>& hits) override {
        // One search over the whole block; a hit is mapped to its line and
        // the search goes on at the next line. The text holds no line break,
        // so a hit never spans two lines.
        const char* end = block + (blockEnd - blockBase);
        const char* p = block;
        size_t k = 0;
        while (k < count) {
            const char* hit = m_finder.find(p, end);
            if (!hit)
                return;
            const int64_t at = blockBase + (hit - block);
            while (k + 1 < count && starts[k + 1] <= at)
                ++k;
            // A hit in the line break itself cannot be: it holds no text byte.
            hits.push_back(uint32_t(k));
            if (++k >= count)
                return;
            p = block + (starts[k] - blockBase);
        }
    }
    void ranges(const char* line, size_t length, std::vector<std::pair<int, int>>& out) override {
        const size_t n = std::max<size_t>(m_finder.size(), 1);
        if (m_finder.size() == 0)
            return;
        const char* end = line + length;
        for (const char* p = line; (p = m_finder.find(p, end)); p += n)
            out.push_back({int(p - line), int(n)});
    }

private:
    LiteralFinder m_finder;
};

// ---- regular expressions ---------------------------------------------------------------

// A text every match of pattern contains, found by reading the pattern
// conservatively: the longest run of plain characters outside groups and
// classes, none made optional by a quantifier. Empty when there is none of at
// least three characters, or when the pattern has alternatives, flags or quoting.
std::string requiredLiteral(const std::string& pattern) {
    if (pattern.find('|') != std::string::npos || pattern.find("(?") != std::string::npos ||
        pattern.find("\\Q") != std::string::npos)
        return {};
    std::string best, run;
    const auto endRun = [&] {
        if (run.size() > best.size())
            best = run;
        run.clear();
    };
    const auto plain = [](unsigned char c) {
        return std::isalnum(c) || c >= 0x80 || std::strchr(" -_:,;'\"<>=!@#%&/~`", c);
    };
    for (size_t i = 0; i < pattern.size(); ++i) {
        const unsigned char c = uint8_t(pattern[i]);
        char literal = 0;
        if (c == '\\' && i + 1 < pattern.size() && !std::isalnum(uint8_t(pattern[i + 1]))) {
            literal = pattern[++i]; // an escaped punctuation character stands for itself
        } else if (c != '\\' && plain(c)) {
            literal = char(c);
        } else if (c == '[' || c == '(') {
            // Skipped whole: a class, or a group (which may be optional).
            endRun();
            const char close = c == '[' ? ']' : ')';
            int depth = 0;
            for (; i < pattern.size(); ++i) {
                if (pattern[i] == '\\') {
                    ++i;
                    continue;
                }
                if (pattern[i] == c)
                    ++depth;
                else if (pattern[i] == close && --depth == 0)
                    break;
            }
            continue;
        } else {
            endRun();      // ., ^, $, \d and the like, a quantifier
            if (c == '\\') // \d, \x41, \pL: letters and digits after it are no text either
                while (i + 1 < pattern.size() && std::isalnum(uint8_t(pattern[i + 1])))
                    ++i;
            else if (c == '{') // a repetition's counts are no text
                while (i + 1 < pattern.size() && pattern[i] != '}')
                    ++i;
            continue;
        }
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : 0;
        if (next == '?' || next == '*' || next == '{') {
            endRun(); // this character may be missing
            continue;
        }
        run.push_back(literal);
        if (next == '+')
            endRun();
    }
    endRun();
    return best.size() >= 3 ? best : std::string();
}

// The plain text every match of pattern begins with: the characters before
// the first that is not plain, less one that a quantifier may leave out. Empty
// when it is shorter than three characters, or for the same patterns as above.
std::string leadingLiteral(const std::string& pattern) {
    if (pattern.find('|') != std::string::npos || pattern.find("(?") != std::string::npos ||
        pattern.find("\\Q") != std::string::npos)
        return {};
    const auto plain = [](unsigned char c) {
        return std::isalnum(c) || c >= 0x80 || std::strchr(" -_:,;'\"<>=!@#%&/~`", c);
    };
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const unsigned char c = uint8_t(pattern[i]);
        char literal;
        if (c == '\\' && i + 1 < pattern.size() && !std::isalnum(uint8_t(pattern[i + 1])))
            literal = pattern[++i];
        else if (c != '\\' && plain(c))
            literal = char(c);
        else
            break;
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : 0;
        if (next == '?' || next == '*' || next == '{')
            break;
        out.push_back(literal);
        if (next == '+')
            break;
    }
    return out.size() >= 3 ? out : std::string();
}

class RegexMatcher final : public LineMatcher {
public:
    static constexpr int64_t MaxMemory = 32 << 20;

    static RE2::Options options(bool matchCase) {
        RE2::Options o;
        o.set_encoding(RE2::Options::EncodingLatin1);
        o.set_case_sensitive(matchCase);
        // A match never spans lines, so a whole block can be searched at once.
        o.set_never_nl(true);
        o.set_max_mem(MaxMemory);
        o.set_log_errors(false);
        return o;
    }
    RegexMatcher(const std::string& pattern, bool matchCase)
        : m_pattern(pattern), m_matchCase(matchCase), m_re(pattern, options(matchCase)),
          // Anchors mean the ends of the text: of one line, not of a block.
          m_anchored(pattern.find_first_of("^$") != std::string::npos ||
                     pattern.find("\\A") != std::string::npos ||
                     pattern.find("\\z") != std::string::npos),
          // A text every match begins with is the better one to look for
          // (each place it occurs is the only place a match can start),
          // unless a longer one, found more rarely, is required elsewhere.
          m_leading(!leadingLiteral(pattern).empty() &&
                    leadingLiteral(pattern).size() >= requiredLiteral(pattern).size()),
          m_literal(m_leading ? leadingLiteral(pattern) : requiredLiteral(pattern)),
          m_finder(m_literal, !matchCase) {}
    bool ok() const { return m_re.ok(); }
    const RE2& re() const { return m_re; }

    std::unique_ptr<LineMatcher> clone() const override {
        return std::make_unique<RegexMatcher>(m_pattern, m_matchCase);
    }
    // With a required text the block is only searched for it; RE2 checks a
    // copy of each candidate line.
    bool readsMappedSafely() const override { return !m_literal.empty(); }
    bool matches(const char* line, size_t length) override {
        return RE2::PartialMatch(re2::StringPiece(line, length), m_re);
    }
    void findLines(const char* block, int64_t blockBase, int64_t blockEnd, const int64_t* starts,
                   size_t count, std::vector<uint32_t>& hits) override {
        // Where matches are rare one search over the block finds the next
        // candidate line; each is then checked on its own (without its line
        // break, which a pattern like "x$" or "x." sees differently). Where
        // they are dense, line by line is cheaper.
        const re2::StringPiece text(block, size_t(blockEnd - blockBase));
        size_t k = 0;
        size_t searches = 0;
        const size_t before = hits.size();
        if (m_leading)
            return byLeadingLiteral(block, blockBase, blockEnd, starts, count, hits);
        if (!m_literal.empty())
            return byLiteral(block, blockBase, blockEnd, starts, count, hits);
        if (m_anchored)
            return lineByLine(block, blockBase, blockEnd, starts, count, 0, hits);
        while (k < count) {
            if (searches > 64 && (hits.size() - before) * 8 > k) {
                lineByLine(block, blockBase, blockEnd, starts, count, k, hits);
                return;
            }
            ++searches;
            re2::StringPiece match;
            const size_t from = size_t(starts[k] - blockBase);
            if (!m_re.Match(text, from, text.size(), RE2::UNANCHORED, &match, 1))
                return;
            const int64_t at = blockBase + (match.data() - block);
            while (k + 1 < count && starts[k + 1] <= at)
                ++k;
            if (lineMatches(block, blockBase, blockEnd, starts, count, k))
                hits.push_back(uint32_t(k));
            ++k;
        }
    }
    void ranges(const char* line, size_t length, std::vector<std::pair<int, int>>& out) override {
        const re2::StringPiece text(line, length);
        size_t at = 0;
        re2::StringPiece m;
        while (at <= length && m_re.Match(text, at, length, RE2::UNANCHORED, &m, 1)) {
            const size_t start = size_t(m.data() - line);
            out.push_back({int(start), int(m.size())});
            at = start + std::max<size_t>(m.size(), 1);
        }
    }

private:
    bool lineMatches(const char* block, int64_t blockBase, int64_t blockEnd, const int64_t* starts,
                     size_t count, size_t k) {
        const int64_t end = k + 1 < count ? starts[k + 1] : blockEnd;
        const char* line = block + (starts[k] - blockBase);
        return matches(line, contentLength(line, size_t(end - starts[k])));
    }
    // Whether line k matches, checked on a copy of it (the block may be a
    // mapping that RE2 must not read; see readsMappedSafely).
    bool copyMatches(const char* block, int64_t blockBase, int64_t blockEnd, const int64_t* starts,
                     size_t count, size_t k) {
        const int64_t end = k + 1 < count ? starts[k + 1] : blockEnd;
        const char* line = block + (starts[k] - blockBase);
        const size_t length = contentLength(line, size_t(end - starts[k]));
        if (m_copy.size() < length)
            m_copy.resize(length);
        std::memcpy(m_copy.data(), line, length);
        return matches(m_copy.data(), length);
    }
    // Matches begin with the text: RE2 tries each place it occurs, anchored
    // there, on a copy of the line (RE2 reads the whole line around it, for
    // \b and $), so only from that place on to the end of the match.
    void byLeadingLiteral(const char* block, int64_t blockBase, int64_t blockEnd,
                          const int64_t* starts, size_t count, std::vector<uint32_t>& hits) {
        const char* end = block + (blockEnd - blockBase);
        size_t k = 0;
        size_t copied = SIZE_MAX; // the line in m_copy
        size_t length = 0;
        const char* from = block;
        while (k < count) {
            const char* hit = m_finder.find(from, end);
            if (!hit)
                return;
            const int64_t at = blockBase + (hit - block);
            while (k + 1 < count && starts[k + 1] <= at)
                ++k;
            if (copied != k) {
                const int64_t lineEnd = k + 1 < count ? starts[k + 1] : blockEnd;
                const char* line = block + (starts[k] - blockBase);
                length = contentLength(line, size_t(lineEnd - starts[k]));
                if (m_copy.size() < length)
                    m_copy.resize(length);
                std::memcpy(m_copy.data(), line, length);
                copied = k;
            }
            const size_t offset = size_t(at - starts[k]);
            if (offset + m_literal.size() <= length &&
                m_re.Match(re2::StringPiece(m_copy.data(), length), offset, length,
                           RE2::ANCHOR_START, nullptr, 0)) {
                hits.push_back(uint32_t(k));
                if (++k >= count)
                    return;
                from = block + (starts[k] - blockBase);
            } else {
                from = hit + 1; // the next place in this line, or a later line
            }
        }
    }
    // Lines holding the pattern's required text are the only candidates.
    void byLiteral(const char* block, int64_t blockBase, int64_t blockEnd, const int64_t* starts,
                   size_t count, std::vector<uint32_t>& hits) {
        const char* end = block + (blockEnd - blockBase);
        size_t k = 0;
        while (k < count) {
            const char* hit = m_finder.find(block + (starts[k] - blockBase), end);
            if (!hit)
                return;
            const int64_t at = blockBase + (hit - block);
            while (k + 1 < count && starts[k + 1] <= at)
                ++k;
            if (copyMatches(block, blockBase, blockEnd, starts, count, k))
                hits.push_back(uint32_t(k));
            ++k;
        }
    }
    void lineByLine(const char* block, int64_t blockBase, int64_t blockEnd, const int64_t* starts,
                    size_t count, size_t k, std::vector<uint32_t>& hits) {
        for (; k < count; ++k)
            if (lineMatches(block, blockBase, blockEnd, starts, count, k))
                hits.push_back(uint32_t(k));
    }

    std::string m_pattern;
    bool m_matchCase;
    RE2 m_re;
    bool m_anchored;
    bool m_leading; // m_literal begins every match
    std::string m_literal;
    LiteralFinder m_finder;
    std::vector<char> m_copy;
};

// ---- the main window's filters --------------------------------------------------------

class MainFiltersMatcher final : public LineMatcher {
public:
    struct Filter {
        std::string text; // upper case (a to z only)
        bool contains;    // the text after a leading "%" is looked for anywhere
    };
    explicit MainFiltersMatcher(std::vector<Filter> filters) : m_filters(std::move(filters)) {}
    std::unique_ptr<LineMatcher> clone() const override {
        return std::make_unique<MainFiltersMatcher>(*this);
    }
    bool matches(const char* line, size_t length) override {
        std::vector<std::pair<int, int>> found;
        return findFirst(line, length, found);
    }
    void ranges(const char* line, size_t length, std::vector<std::pair<int, int>>& out) override {
        findFirst(line, length, out);
    }

    // The whole text (with its "%") as a prefix, else the rest after "%" anywhere.
    static std::vector<Filter> from(const QString& filter1, const QString& filter2) {
        std::vector<Filter> filters;
        for (const QString& typed : {filter1, filter2}) {
            QByteArray text = typed.toLatin1();
            int a = 0, b = int(text.size());
            while (a < b && uint8_t(text[a]) <= 32)
                ++a;
            while (b > a && uint8_t(text[b - 1]) <= 32)
                --b;
            text = text.mid(a, b - a);
            if (text.isEmpty())
                continue;
            for (char& c : text)
                if (c >= 'a' && c <= 'z')
                    c = char(c - 32);
            filters.push_back({text.toStdString(), false});
            if (text.startsWith('%') && text.size() > 1)
                filters.push_back({text.mid(1).toStdString(), true});
        }
        return filters;
    }

private:
    static char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }
    static bool equalAt(const char* p, const std::string& text) {
        for (size_t i = 0; i < text.size(); ++i)
            if (upper(p[i]) != text[i])
                return false;
        return true;
    }
    bool findFirst(const char* line, size_t length, std::vector<std::pair<int, int>>& out) const {
        const size_t data = size_t(parseRecord(line, length).dataStart);
        const char* d = line + data;
        const size_t n = length - data;
        for (const Filter& f : m_filters) {
            const size_t size = f.text.size();
            if (!f.contains) {
                if (size <= n && equalAt(d, f.text)) {
                    out.push_back({int(data), int(size)});
                    return true;
                }
                continue;
            }
            for (size_t i = 0; i + size <= n; ++i)
                if (equalAt(d + i, f.text)) {
                    out.push_back({int(data + i), int(size)});
                    return true;
                }
        }
        return false;
    }

    std::vector<Filter> m_filters;
};

class AllMatcher final : public LineMatcher {
public:
    std::unique_ptr<LineMatcher> clone() const override { return std::make_unique<AllMatcher>(); }
    bool matches(const char*, size_t) override { return true; }
    void ranges(const char*, size_t, std::vector<std::pair<int, int>>&) override {}
};

} // namespace

bool FilterSpec::empty() const {
    if (kind == MainFilters)
        return MainFiltersMatcher::from(filter1, filter2).empty();
    return text.isEmpty();
}

void LineMatcher::findLines(const char* block, int64_t blockBase, int64_t blockEnd,
                            const int64_t* starts, size_t count, std::vector<uint32_t>& hits) {
    for (size_t k = 0; k < count; ++k) {
        const int64_t end = k + 1 < count ? starts[k + 1] : blockEnd;
        const char* line = block + (starts[k] - blockBase);
        if (matches(line, contentLength(line, size_t(end - starts[k]))))
            hits.push_back(uint32_t(k));
    }
}

std::unique_ptr<LineMatcher> LineMatcher::make(const FilterSpec& query, FilterError* error) {
    if (query.kind == FilterSpec::MainFilters) {
        auto filters = MainFiltersMatcher::from(query.filter1, query.filter2);
        if (filters.empty())
            return std::make_unique<AllMatcher>();
        return std::make_unique<MainFiltersMatcher>(std::move(filters));
    }
    std::string text;
    if (!toLatin1(query.text, text, error))
        return nullptr;
    if (text.empty())
        return std::make_unique<AllMatcher>();
    if (query.kind == FilterSpec::Text)
        return std::make_unique<TextMatcher>(text, !query.matchCase);
    auto regex = std::make_unique<RegexMatcher>(text, query.matchCase);
    if (!regex->ok()) {
        if (error) {
            const std::string& arg = regex->re().error_arg();
            const size_t at = arg.empty() ? std::string::npos : text.find(arg);
            *error = {QString::fromStdString(regex->re().error()),
                      at == std::string::npos ? -1 : int(at)};
        }
        return nullptr;
    }
    return regex;
}

} // namespace history
