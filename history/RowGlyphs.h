#pragma once
// Draws runs of a row's text in a fixed-pitch font as glyph runs. Each
// character's glyph is looked up once per font, so a screen of rows is drawn
// without shaping any text: shaping took about a third of each scroll step,
// and a row of log text in a fixed-pitch font needs none (no ligatures, no
// kerning, one advance for every character). A run with a character the font
// has no glyph for is left to the caller, which draws it with the painter's
// own text drawing and its font fallback.
#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QString>
#include <array>

class QPainter;

namespace history {

class RowGlyphs {
public:
    // The font the runs are drawn in and the advance of each character.
    void setFont(const QFont& font, qreal advance);
    // Draws text[from, to) with its first character's origin at x on the
    // baseline y, in the painter's pen. False, having drawn nothing, when a
    // character of the run has no glyph here.
    bool draw(QPainter& painter, const QString& text, int from, int to, qreal x, qreal y);

private:
    quint32 glyphOf(QChar c) const;

    QFont m_font;
    bool m_haveFont = false;
    QRawFont m_raw;
    qreal m_advance = 0;
    std::array<quint32, 256> m_latin1{}; // 0: no glyph
    quint32 m_replacement = 0;           // U+FFFD, which marks a control byte
    QGlyphRun m_run;
    QList<quint32> m_indexes;
    QList<QPointF> m_positions;
};

} // namespace history
