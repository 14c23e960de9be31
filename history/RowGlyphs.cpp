#include "history/RowGlyphs.h"

#include <QPainter>

namespace history {

void RowGlyphs::setFont(const QFont& font, qreal advance) {
    if (m_haveFont && font == m_font && advance == m_advance)
        return;
    m_font = font;
    m_haveFont = true;
    m_advance = advance;
    m_latin1.fill(0);
    m_replacement = 0;
    m_raw = QRawFont::fromFont(font);
    if (!m_raw.isValid())
        return;
    // Only the characters the font itself has: the others need the fallback
    // fonts that the painter's own text drawing finds.
    QString all;
    for (int c = 0; c < 256; ++c)
        all += QChar(c);
    all += QChar(0xFFFD);
    const QList<quint32> glyphs = m_raw.glyphIndexesForString(all);
    if (glyphs.size() != all.size())
        return;
    for (int c = 0x20; c < 256; ++c)
        if (c != 0x7F && m_raw.supportsCharacter(QChar(c)))
            m_latin1[size_t(c)] = glyphs[c];
    if (m_raw.supportsCharacter(QChar(0xFFFD)))
        m_replacement = glyphs[256];
    m_run.setRawFont(m_raw);
}

quint32 RowGlyphs::glyphOf(QChar c) const {
    const char16_t u = c.unicode();
    if (u < 256)
        return m_latin1[u];
    return u == 0xFFFD ? m_replacement : 0;
}

bool RowGlyphs::draw(QPainter& painter, const QString& text, int from, int to, qreal x, qreal y) {
    if (!m_raw.isValid() || from >= to)
        return from >= to;
    m_indexes.resize(to - from);
    m_positions.resize(to - from);
    for (int i = from; i < to; ++i) {
        const quint32 glyph = glyphOf(text[i]);
        if (glyph == 0)
            return false;
        m_indexes[i - from] = glyph;
        m_positions[i - from] = QPointF((i - from) * m_advance, 0);
    }
    m_run.setGlyphIndexes(m_indexes);
    m_run.setPositions(m_positions);
    painter.drawGlyphRun(QPointF(x, y), m_run);
    return true;
}

} // namespace history
