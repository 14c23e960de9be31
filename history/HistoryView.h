#pragma once
// The rows of a history model on screen: a scroll area that paints only the
// rows in view, so moving anywhere in millions of lines costs one screen.
// Each row is the record as logged, in its line type's colours (escapes of
// text types in the escape colour), matches highlighted. Text is selected with
// the mouse or Shift and the arrow keys and copied with Ctrl+C; Ctrl+A selects
// everything. At the end the view follows new rows; scrolled up it holds still.
#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>

#include "history/RowGlyphs.h"

namespace history {

class HistoryModel;

class HistoryView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Characters of a row that are painted; copying takes the whole row.
    static constexpr int MaxShownChars = 4096;
    // Bytes copied at most.
    static constexpr int64_t MaxCopyBytes = 64 << 20;
    // New rows are shown at most this often (at once when the last were
    // shown longer ago).
    static constexpr int RepaintMs = 40;

    HistoryView(HistoryModel* model, QWidget* parent = nullptr);

    // The row with the cursor (-1: none) and the first row in view.
    int64_t currentRow() const { return m_current; }
    int64_t topRow() const;
    int visibleRows() const;
    bool following() const { return m_follow; }
    // Puts the cursor on row and scrolls it into view (centred when it was
    // out of view, or when centre is set); the row is selected whole.
    void setCurrentRow(int64_t row, bool centre = false);
    void scrollToEnd();
    // The selected text, rows joined by line breaks.
    QString selectedText() const;

signals:
    // Return on a row, or a double-click on it.
    void rowActivated(int64_t row);
    void currentRowChanged(int64_t row);
    // Something could not be done as asked (a copy cut short).
    void notice(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Position {
        int64_t row = -1;
        int column = 0;
        bool operator<(const Position& o) const {
            return row < o.row || (row == o.row && column < o.column);
        }
    };
    void rowsChanged();
    void showNewRows();
    void rowsReset();
    void updateScrollBars();
    int rowHeight() const;
    qreal charWidth() const;
    Position positionAt(const QPoint& point) const;
    void moveCursor(int64_t row, bool extend);
    void copy();

    HistoryModel* m_model;
    int64_t m_current = -1;
    Position m_anchor, m_cursor; // the selection runs between them
    bool m_follow = true;
    int m_widest = 0;          // characters of the widest row seen, for the horizontal bar
    int64_t m_lastAllRow = -1; // the current row in the numbering of all lines
    int64_t m_paintedRows = 0; // the model's rows when the screen was last painted
    QTimer m_repaint;
    QElapsedTimer m_shown; // since new rows were last shown
    RowGlyphs m_glyphs;
};

} // namespace history
