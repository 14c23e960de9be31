#include "terminal/TerminalDisplay.h"

#include <QMetaObject>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

TerminalDisplay::TerminalDisplay(QPlainTextEdit* edit, QObject* parent)
    : QObject(parent), m_edit(edit) {
    QTextDocument* doc = edit->document();
    doc->setUndoRedoEnabled(false);
    // The view would otherwise lay out the whole last page after every change
    // to size its scroll bar; the bottom position is computed here instead.
    edit->setCenterOnScroll(true);
    m_model.assign(doc->toPlainText());
    m_docLength = m_model.textLength();
    m_paintTimer.setSingleShot(true);
    connect(&m_paintTimer, &QTimer::timeout, this, [this] {
        if (m_edit)
            m_edit->setUpdatesEnabled(true);
    });
    edit->installEventFilter(this);
    edit->viewport()->installEventFilter(this);
    m_filteredEdit = edit;
    m_filteredViewport = edit->viewport();
    connect(doc, &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
        if (!m_inUpdate && (removed || added))
            m_modelDirty = true;
    });
}

void TerminalDisplay::syncModel() {
    if (!m_modelDirty || !m_edit)
        return;
    // Someone else (the user, through the control's own editing keys) changed
    // the text: apply what is queued against the real text, then start over
    // from it.
    m_modelDirty = false;
    flush();
    m_model.assign(m_edit->document()->toPlainText());
    m_docLength = m_model.textLength();
}

void TerminalDisplay::trim(int addLength, int maxLines, int maxChars) {
    const terminal::TrimDecision decision = m_model.decideTrim(addLength, maxLines, maxChars);
    if (decision.lines <= 0)
        return;
    int chars = m_model.removeTopLines(decision.lines);
    m_removedLines += decision.lines;
    const int fromDoc = std::min(chars, m_docLength - m_cutDoc);
    m_cutDoc += fromDoc;
    chars -= fromDoc;
    m_pendingOffset += chars;
    // Queued text that is trimmed away again never reaches the view; drop it
    // now and then so a long burst does not pile up.
    if (m_pendingOffset > (1 << 20) && m_pendingOffset * 2 > m_pending.size()) {
        const qsizetype offset = m_pendingOffset;
        m_pending.remove(0, offset);
        std::vector<Segment> kept;
        for (const Segment& s : m_segments)
            if (s.end > offset)
                kept.push_back({s.end - offset, s.color});
        m_segments.swap(kept);
        m_pendingOffset = 0;
    }
}

void TerminalDisplay::queueText(const QChar* text, qsizetype length, QRgb color) {
    if (length <= 0)
        return;
    m_pending.append(text, length);
    if (!m_segments.empty() && m_segments.back().color == color)
        m_segments.back().end = m_pending.size();
    else
        m_segments.push_back({m_pending.size(), color});
}

void TerminalDisplay::queue(const QString& text, const std::vector<terminal::ColorRun>& runs,
                            QRgb rowColor) {
    const QChar* s = text.constData();
    qsizetype at = 0;
    for (const terminal::ColorRun& run : runs) {
        queueText(s + at, run.start - at, rowColor);
        queueText(s + run.start, run.length, run.color);
        at = run.start + run.length;
    }
    queueText(s + at, text.size() - at, rowColor);
    m_model.append(text);
    schedule();
}

void TerminalDisplay::add(const terminal::RenderedChunk& chunk, QRgb rowColor, int maxLines,
                          int maxChars) {
    if (!m_edit)
        return;
    syncModel();
    trim(int(chunk.text.size()), maxLines, maxChars);
    queue(chunk.text, chunk.runs, rowColor);
}

void TerminalDisplay::endLine(int maxLines, int maxChars) {
    if (!m_edit)
        return;
    syncModel();
    trim(2, maxLines, maxChars);
    // The break takes the attributes at the end of the text.
    const QRgb color = !m_segments.empty() ? m_segments.back().color : qRgb(0, 0, 0);
    static const QString breakText = QStringLiteral("\n");
    queueText(breakText.constData(), 1, color);
    m_model.append(breakText);
    schedule();
}

void TerminalDisplay::clear() {
    m_pending.clear();
    m_pendingOffset = 0;
    m_segments.clear();
    m_cutDoc = 0;
    m_removedLines = 0;
    m_model.clear();
    m_docLength = 0;
    m_modelDirty = false;
    if (!m_edit)
        return;
    m_inUpdate = true;
    m_edit->clear();
    m_inUpdate = false;
}

int TerminalDisplay::lastLineLength() {
    syncModel();
    return m_model.lastLineLength();
}

void TerminalDisplay::schedule() {
    if (m_flushPosted)
        return;
    m_flushPosted = true;
    QMetaObject::invokeMethod(this, &TerminalDisplay::flush, Qt::QueuedConnection);
}

const QTextCharFormat& TerminalDisplay::format(QRgb color) {
    auto it = m_formats.find(color);
    if (it == m_formats.end()) {
        QTextCharFormat f;
        f.setForeground(QColor::fromRgb(color));
        f.setFontWeight(QFont::Normal);
        f.setFontItalic(false);
        f.setFontUnderline(false);
        f.setFontStrikeOut(false);
        it = m_formats.insert(color, f);
    }
    return *it;
}

void TerminalDisplay::repaintIfWanted() {
    if (m_immediateRepaint && m_edit)
        m_edit->viewport()->repaint();
}

int TerminalDisplay::visibleLines() const {
    // Without word wrap every line has the height of the font's line.
    const int lineHeight = std::max(1, QFontMetrics(m_edit->document()->defaultFont()).height());
    return std::max(1, m_edit->viewport()->height() / lineHeight);
}

int TerminalDisplay::bottomValue() const {
    const QScrollBar* bar = m_edit->verticalScrollBar();
    const int lines = m_edit->document()->blockCount();
    return std::min(bar->maximum(), std::max(0, lines - visibleLines()));
}

void TerminalDisplay::scrollToBottom() {
    m_edit->verticalScrollBar()->setValue(bottomValue());
}

void TerminalDisplay::setHeld(bool held) {
    m_held = held;
}

bool TerminalDisplay::eventFilter(QObject* watched, QEvent* event) {
    // Events also come while the view is being destroyed, when it is no
    // longer a QPlainTextEdit: only identities are compared here.
    if (m_edit.isNull())
        return false;
    const QEvent::Type type = event->type();
    if (watched == m_filteredViewport) {
        if (type == QEvent::Paint)
            m_sincePaint.start();
        // The operator is about to select: let the selection start on the
        // current text.
        else if (type == QEvent::MouseButtonPress)
            flush();
    } else if (watched == m_filteredEdit && type == QEvent::KeyPress) {
        flush();
    }
    return QObject::eventFilter(watched, event);
}

void TerminalDisplay::throttlePainting() {
    // The view, its frame and its scroll bars repaint together.
    if (m_immediateRepaint || !m_edit->isVisible() || !m_sincePaint.isValid() ||
        m_sincePaint.elapsed() >= PaintInterval || !m_edit->updatesEnabled())
        return;
    m_edit->setUpdatesEnabled(false);
    m_paintTimer.start(int(PaintInterval - m_sincePaint.elapsed()));
}

// A line's layout normally drops its shaped glyphs once its lines are
// broken, so every repaint shaped each visible line again (for a steady
// stream, ten times a second); kept, a line is shaped once. The display holds
// at most MaxChars characters, so the glyphs cost a few megabytes at most.
void TerminalDisplay::keepGlyphs(QTextBlock block) {
    for (; block.isValid(); block = block.next())
        block.layout()->setCacheEnabled(true);
}

void TerminalDisplay::flush() {
    m_flushPosted = false;
    if (!m_edit || !hasPending())
        return;
    throttlePainting();
    QPlainTextEdit* edit = m_edit;
    QTextDocument* doc = edit->document();
    const bool hadFocus = edit->hasFocus();
    const QTextCursor before = edit->textCursor();
    const int anchor = before.anchor();
    const int position = before.position();
    const int firstVisible = edit->verticalScrollBar()->value();
    const int horizontal = edit->horizontalScrollBar()->value();
    // The last line is in view (the scroll bar's range may lag behind the
    // text, so this is counted in lines).
    const bool atBottom = firstVisible + visibleLines() >= doc->blockCount() - 1;

    m_inUpdate = true;
    // The removal and the insertion are two separate changes: as one they
    // would span the whole text and the view would lay out every line again.
    // Each runs in an edit block so the cursors do not lay out their lines.
    QTextCursor c(doc);
    const int docChars = std::max(0, doc->characterCount() - 1);
    const int cut = std::min(m_cutDoc, docChars);
    if (cut > 0) {
        c.beginEditBlock();
        c.setPosition(0);
        c.setPosition(cut, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        c.endEditBlock();
    }
    c.beginEditBlock();
    // setPosition, unlike movePosition, does not lay out the cursor's line.
    const int insertAt = std::max(0, doc->characterCount() - 1);
    c.setPosition(insertAt);
    qsizetype from = 0;
    for (const Segment& s : m_segments) {
        const qsizetype start = std::max(from, m_pendingOffset);
        if (s.end > start)
            c.insertText(QString(m_pending.constData() + start, s.end - start), format(s.color));
        from = s.end;
    }
    c.endEditBlock();
    keepGlyphs(doc->findBlock(insertAt));
    m_inUpdate = false;
    repaintIfWanted();

    // The view follows the newest text only while it shows the end: wherever
    // the operator scrolled to (wheel, Page Up, the scroll bar), it stays,
    // whichever control has the focus, until it is back at the end.
    const bool follow = atBottom && !m_held;
    if (follow && !hadFocus) {
        // Follow the newest text: caret at the end, last line in view. A caret
        // already at the end moved along with the insertion; scrolling through
        // the scroll bars lays out nothing but the lines that get painted.
        const int end = std::max(0, doc->characterCount() - 1);
        const QTextCursor caret = edit->textCursor();
        if (caret.hasSelection() || caret.position() != end) {
            QTextCursor atEnd(doc);
            atEnd.setPosition(end);
            edit->setTextCursor(atEnd);
        }
        scrollToBottom();
    } else {
        // The operator is reading or selecting: keep the selection on the same
        // text, and the same lines in view unless the view was at the end,
        // where it goes on following.
        QTextCursor keep(doc);
        keep.setPosition(std::max(0, anchor - cut));
        keep.setPosition(std::max(0, position - cut), QTextCursor::KeepAnchor);
        edit->setTextCursor(keep);
        if (follow)
            scrollToBottom();
        else
            edit->verticalScrollBar()->setValue(std::max(0, firstVisible - m_removedLines));
    }
    // Columns stay where the operator put them.
    edit->horizontalScrollBar()->setValue(horizontal);
    repaintIfWanted();

    m_pending.clear();
    m_pendingOffset = 0;
    m_segments.clear();
    m_cutDoc = 0;
    m_removedLines = 0;
    m_docLength = std::max(0, doc->characterCount() - 1);
    if (m_docLength != m_model.textLength())
        m_model.assign(doc->toPlainText());
    if (onFlushed)
        onFlushed();
}
