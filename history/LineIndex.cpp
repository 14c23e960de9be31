#include "history/LineIndex.h"

#include <algorithm>

namespace history {

LineIndex::LineIndex() {
    clear();
}

void LineIndex::clear() {
    m_chunks.clear();
    m_entries = 0;
    m_scanned = 0;
    push(0);
}

void LineIndex::push(int64_t offset) {
    Chunk* last = m_chunks.empty() ? nullptr : m_chunks.back().get();
    // A new chunk when the last is full, or when the distance no longer fits
    // 32 bits (lines of gigabytes).
    if (!last || m_entries - last->firstLine >= ChunkLines ||
        offset - last->base > int64_t(UINT32_MAX)) {
        auto chunk = std::make_shared<Chunk>();
        chunk->firstLine = m_entries;
        chunk->base = offset;
        chunk->offsets = std::make_unique<uint32_t[]>(size_t(ChunkLines));
        m_chunks.push_back(std::move(chunk));
        last = m_chunks.back().get();
    }
    last->offsets[size_t(m_entries - last->firstLine)] = uint32_t(offset - last->base);
    ++m_entries;
}

void LineIndex::add(int64_t base, const uint32_t* feeds, size_t count, int64_t scannedTo) {
    for (size_t k = 0; k < count; ++k)
        push(base + int64_t(feeds[k]) + 1);
    m_scanned = std::max(m_scanned, scannedTo);
}

size_t LineIndex::chunkOf(int64_t line) const {
    // Chunks are full but for the rare one cut short by a huge line: the
    // guess is nearly always right.
    const size_t guess = size_t(line / ChunkLines);
    if (guess < m_chunks.size() && m_chunks[guess]->firstLine <= line &&
        (guess + 1 == m_chunks.size() || m_chunks[guess + 1]->firstLine > line))
        return guess;
    auto it = std::upper_bound(m_chunks.begin(), m_chunks.end(), line,
                               [](int64_t l, const auto& c) { return l < c->firstLine; });
    return size_t(it - m_chunks.begin()) - 1;
}

int64_t LineIndex::start(int64_t line) const {
    line = std::clamp<int64_t>(line, 0, m_entries - 1);
    const Chunk& c = *m_chunks[chunkOf(line)];
    return c.base + int64_t(c.offsets[size_t(line - c.firstLine)]);
}

void LineIndex::starts(int64_t first, int64_t count, std::vector<int64_t>& out) const {
    out.clear();
    first = std::max<int64_t>(first, 0);
    const int64_t end = std::min(first + count, m_entries);
    if (first >= end)
        return;
    out.reserve(size_t(end - first));
    for (size_t k = chunkOf(first); first < end; ++k) {
        const Chunk& c = *m_chunks[k];
        const int64_t chunkEnd =
            std::min(end, k + 1 < m_chunks.size() ? m_chunks[k + 1]->firstLine : m_entries);
        for (; first < chunkEnd; ++first)
            out.push_back(c.base + int64_t(c.offsets[size_t(first - c.firstLine)]));
    }
}

int64_t LineIndex::memoryBytes() const {
    return int64_t(m_chunks.size()) * (ChunkLines * 4 + int64_t(sizeof(Chunk)) + 16);
}

} // namespace history
