#include "history/HistoryView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "history/HistoryModel.h"
#include "history/LogRecord.h"
#include "terminal/LineTypes.h"

namespace history {

namespace {

const QColor Paper(Qt::white);
const QColor MatchBackground(0xFF, 0xF0, 0x60);
const QColor CutColor(0x90, 0x90, 0x90);

// Bytes as Latin-1 characters, as in the display; a control byte (which a log
// holds only when it is damaged) as the replacement character.
QString shownText(const QByteArray& bytes) {
    QString text = QString::fromLatin1(bytes);
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QChar(0xFFFD);
    return text;
}

bool hexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

} // namespace

HistoryView::HistoryView(HistoryModel* model, QWidget* parent)
    : QAbstractScrollArea(parent), m_model(model) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    setFont(font);
    viewport()->setAutoFillBackground(true);
    QPalette paper = viewport()->palette();
    paper.setColor(QPalette::Base, Paper);
    paper.setColor(QPalette::Window, Paper);
    viewport()->setPalette(paper);
    viewport()->setCursor(Qt::IBeamCursor);
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_repaint.setSingleShot(true);
    m_repaint.setTimerType(Qt::PreciseTimer); // not later than RepaintMs
    connect(&m_repaint, &QTimer::timeout, this, &HistoryView::showNewRows);
    connect(model, &HistoryModel::rowsChanged, this, &HistoryView::rowsChanged);
    connect(model, &HistoryModel::rowsReset, this, &HistoryView::rowsReset);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { m_follow = value >= verticalScrollBar()->maximum(); });
    updateScrollBars();
}

int HistoryView::rowHeight() const {
    return fontMetrics().height();
}

qreal HistoryView::charWidth() const {
    // Fractional: a row is drawn in runs, each placed where its first
    // character falls, so the runs must add up as the font's own advances do.
    return std::max<qreal>(1, QFontMetricsF(font()).horizontalAdvance(QLatin1Char('M')));
}

int HistoryView::visibleRows() const {
    return std::max(1, viewport()->height() / rowHeight());
}

int64_t HistoryView::topRow() const {
    return verticalScrollBar()->value();
}

void HistoryView::updateScrollBars() {
    const int64_t rows = m_model->rowCount();
    const int page = visibleRows();
    QScrollBar* v = verticalScrollBar();
    const bool follow = m_follow;
    v->setPageStep(page);
    v->setSingleStep(1);
    v->setRange(0, int(std::clamp<int64_t>(rows - page, 0, INT32_MAX)));
    m_follow = follow;
    QScrollBar* h = horizontalScrollBar();
    h->setPageStep(viewport()->width());
    h->setSingleStep(int(charWidth()));
    h->setRange(0, std::max(0, int((m_widest + 2) * charWidth()) - viewport()->width()));
}

void HistoryView::scrollToEnd() {
    updateScrollBars();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    m_follow = true;
}

void HistoryView::rowsChanged() {
    // New rows come in bursts (a filter over a large log, a flood of lines):
    // the screen follows them at most every RepaintMs. A row after a quiet
    // spell is shown once the loop is idle, not a whole period later.
    if (m_repaint.isActive())
        return;
    const int64_t since = m_shown.isValid() ? m_shown.elapsed() : RepaintMs;
    m_repaint.start(int(std::clamp<int64_t>(RepaintMs - since, 0, RepaintMs)));
}

void HistoryView::showNewRows() {
    m_shown.restart();
    const bool follow = m_follow;
    updateScrollBars();
    if (follow)
        scrollToEnd(); // a move repaints by itself
    // Rows added below the screen change only the scroll bar; the screen is
    // painted anew only when the last rows painted were in view.
    if (m_paintedRows <= topRow() + visibleRows() + 1)
        viewport()->update();
}

void HistoryView::rowsReset() {
    m_repaint.stop();
    const bool follow = m_follow;
    m_anchor = m_cursor = {};
    updateScrollBars();
    if (m_lastAllRow >= 0) {
        const int64_t rows = m_model->rowCount();
        m_current = rows > 0 ? std::min(m_model->rowOfAll(m_lastAllRow), rows - 1) : -1;
        if (m_current >= 0)
            m_anchor = m_cursor = {m_current, 0};
    }
    if (follow)
        scrollToEnd();
    else if (m_current >= 0)
        verticalScrollBar()->setValue(int(std::max<int64_t>(0, m_current - visibleRows() / 2)));
    viewport()->update();
    emit currentRowChanged(m_current);
}

void HistoryView::setCurrentRow(int64_t row, bool centre) {
    const int64_t rows = m_model->rowCount();
    if (rows == 0)
        return;
    row = std::clamp<int64_t>(row, 0, rows - 1);
    m_current = row;
    m_lastAllRow = m_model->allRowOf(row);
    // The screen around the row is painted next: its rows are asked for
    // together with this one.
    const int page = visibleRows();
    m_model->prefetchRows(row - page, 2 * page + 1, MaxShownChars);
    int64_t length = 0;
    m_model->rowText(row, 0, &length);
    m_anchor = {row, 0};
    m_cursor = {row, int(std::min<int64_t>(length, MaxShownChars))};
    const int64_t top = topRow();
    if (centre || row < top || row >= top + page)
        verticalScrollBar()->setValue(
            int(std::max<int64_t>(0, centre || row < top ? row - page / 2 : row - page + 1)));
    m_follow = verticalScrollBar()->value() >= verticalScrollBar()->maximum() && row == rows - 1;
    viewport()->update();
    emit currentRowChanged(m_current);
}

void HistoryView::moveCursor(int64_t row, bool extend) {
    const int64_t rows = m_model->rowCount();
    if (rows == 0)
        return;
    row = std::clamp<int64_t>(row, 0, rows - 1);
    if (!extend) {
        setCurrentRow(row);
        return;
    }
    m_current = row;
    m_lastAllRow = m_model->allRowOf(row);
    m_cursor = {row, row > m_anchor.row ? MaxShownChars : 0};
    const int64_t top = topRow();
    const int page = visibleRows();
    if (row < top)
        verticalScrollBar()->setValue(int(row));
    else if (row >= top + page)
        verticalScrollBar()->setValue(int(row - page + 1));
    viewport()->update();
    emit currentRowChanged(m_current);
}

void HistoryView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    const bool follow = m_follow;
    updateScrollBars();
    if (follow)
        scrollToEnd();
}

void HistoryView::scrollContentsBy(int, int) {
    viewport()->update();
}

// ---- painting ------------------------------------------------------------------------------

void HistoryView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const int height = rowHeight();
    const qreal width = charWidth();
    const int ascent = fontMetrics().ascent();
    const int x0 = -horizontalScrollBar()->value();
    const int64_t top = topRow();
    const int64_t rows = m_model->rowCount();
    m_paintedRows = rows;
    const int page = visibleRows() + 1;
    const Position from = std::min(m_anchor, m_cursor);
    const Position to = std::max(m_anchor, m_cursor);
    const QPalette& pal = palette();
    m_glyphs.setFont(font(), width);
    std::vector<std::pair<int, int>> ranges;
    m_model->prefetchRows(top, page, MaxShownChars);
    for (int i = 0; i < page && top + i < rows; ++i) {
        const int64_t row = top + i;
        const int y = i * height;
        int64_t length = 0;
        const QByteArray bytes = m_model->rowText(row, MaxShownChars, &length);
        const QString text = shownText(bytes);
        m_widest = std::max(m_widest, int(text.size()) + (length > bytes.size() ? 20 : 0));
        // Matches, then the selection.
        ranges.clear();
        m_model->matchRanges(bytes, ranges);
        for (const auto& [start, count] : ranges)
            painter.fillRect(QRectF(x0 + start * width, y, std::max(count, 1) * width, height),
                             MatchBackground);
        if (from.row >= 0 && row >= from.row && row <= to.row &&
            !(from.row == to.row && from.column == to.column)) {
            const int a = row == from.row ? from.column : 0;
            const int b = row == to.row ? to.column : int(text.size()) + 1;
            painter.fillRect(QRectF(x0 + a * width, y, std::max(0, b - a) * width, height),
                             pal.color(QPalette::Highlight));
        }
        if (row == m_current && hasFocus()) {
            painter.setPen(QPen(pal.color(QPalette::Highlight), 1, Qt::DotLine));
            painter.drawRect(0, y, viewport()->width() - 1, height - 1);
        }
        // The text in the line type's colours; escapes "<#XX>" of text types
        // in the escape colour.
        const RecordParts parts = parseRecord(bytes.constData(), size_t(bytes.size()));
        const LineTypeRow* type = parts.lineType >= 0 ? &LineTypeInfo(parts.lineType) : nullptr;
        const QColor color = type ? QColor(type->color) : QColor(Qt::black);
        const bool escapes = type && type->mode == LineTypeMode::Text;
        int run = 0;
        const auto drawRun = [&](int endAt, const QColor& c) {
            if (endAt <= run)
                return;
            painter.setPen(c);
            const QPointF at(x0 + run * width, y + ascent);
            if (!m_glyphs.draw(painter, text, run, endAt, at.x(), at.y()))
                painter.drawText(at, text.mid(run, endAt - run));
            run = endAt;
        };
        for (int k = parts.dataStart; escapes && k + 4 < bytes.size(); ++k)
            if (bytes[k] == '<' && bytes[k + 1] == '#' && hexDigit(bytes[k + 2]) &&
                hexDigit(bytes[k + 3]) && bytes[k + 4] == '>') {
                drawRun(k, color);
                drawRun(k + 5, QColor(type->escapeColor));
                k += 4;
            }
        drawRun(int(text.size()), color);
        if (length > bytes.size()) {
            painter.setPen(CutColor);
            painter.drawText(QPointF(x0 + qreal(text.size() + 1) * width, y + ascent),
                             tr("… %1 more bytes").arg(length - bytes.size()));
        }
    }
}

// ---- keys and mouse ------------------------------------------------------------------------

void HistoryView::keyPressEvent(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const int64_t current = std::max<int64_t>(m_current, topRow());
    const int page = visibleRows();
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        const int64_t rows = m_model->rowCount();
        if (rows > 0) {
            m_anchor = {0, 0};
            m_cursor = {rows - 1, MaxShownChars};
            viewport()->update();
        }
        return;
    }
    switch (event->key()) {
    case Qt::Key_Up:
        moveCursor(current - 1, shift);
        return;
    case Qt::Key_Down:
        moveCursor(m_current < 0 ? current : current + 1, shift);
        return;
    case Qt::Key_PageUp:
        moveCursor(current - page, shift);
        return;
    case Qt::Key_PageDown:
        moveCursor(current + page, shift);
        return;
    case Qt::Key_Home:
        moveCursor(0, shift);
        return;
    case Qt::Key_End:
        moveCursor(m_model->rowCount() - 1, shift);
        if (!shift)
            scrollToEnd();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_current >= 0 && !(event->modifiers() & Qt::ControlModifier)) {
            emit rowActivated(m_current);
            return;
        }
        break;
    default:
        break;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

HistoryView::Position HistoryView::positionAt(const QPoint& point) const {
    const int64_t rows = m_model->rowCount();
    if (rows == 0)
        return {};
    const int64_t row = std::clamp<int64_t>(topRow() + point.y() / rowHeight(), 0, rows - 1);
    const int column =
        std::max(0, int((point.x() + horizontalScrollBar()->value()) / charWidth() + 0.5));
    int64_t length = 0;
    m_model->rowText(row, 0, &length);
    return {row, int(std::min<int64_t>(column, std::min<int64_t>(length, MaxShownChars)))};
}

void HistoryView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    const Position at = positionAt(event->position().toPoint());
    if (at.row < 0)
        return;
    if (!(event->modifiers() & Qt::ShiftModifier))
        m_anchor = at;
    m_cursor = at;
    m_current = at.row;
    m_lastAllRow = m_model->allRowOf(at.row);
    m_follow = false;
    viewport()->update();
    emit currentRowChanged(m_current);
}

void HistoryView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const Position at = positionAt(event->position().toPoint());
    if (at.row < 0)
        return;
    m_cursor = at;
    m_current = at.row;
    if (event->position().y() < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (event->position().y() > viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    viewport()->update();
}

void HistoryView::mouseDoubleClickEvent(QMouseEvent* event) {
    const Position at = positionAt(event->position().toPoint());
    if (at.row < 0)
        return;
    setCurrentRow(at.row);
    emit rowActivated(at.row);
}

// ---- copying -----------------------------------------------------------------------------

QString HistoryView::selectedText() const {
    const Position from = std::min(m_anchor, m_cursor);
    const Position to = std::max(m_anchor, m_cursor);
    if (from.row < 0 || (from.row == to.row && from.column == to.column))
        return {};
    QByteArray out;
    for (int64_t row = from.row; row <= to.row; ++row) {
        int64_t length = 0;
        QByteArray bytes = m_model->rowText(row, HistoryModel::MaxLineBytes, &length);
        if (row == to.row && to.column < MaxShownChars)
            bytes.truncate(to.column);
        if (row == from.row)
            bytes.remove(0, from.column);
        out += bytes;
        if (row != to.row)
            out += '\n';
        if (out.size() > MaxCopyBytes) {
            out.truncate(int(MaxCopyBytes));
            break;
        }
    }
    return QString::fromLatin1(out);
}

void HistoryView::copy() {
    const QString text = selectedText();
    if (text.isEmpty())
        return;
    if (text.size() >= MaxCopyBytes)
        emit notice(
            tr("Only the first %1 MB of the selection were copied.").arg(MaxCopyBytes >> 20));
    QApplication::clipboard()->setText(text);
}

} // namespace history
