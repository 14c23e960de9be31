#include "terminal/TerminalFindBar.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QToolButton>

namespace {
// Enough to see where the text occurs; more would only cost time per key.
constexpr int MaxHighlights = 1000;
const QColor MatchColor(255, 240, 120);
} // namespace

TerminalFindBar::TerminalFindBar(QPlainTextEdit* view, QWidget* parent)
    : QWidget(parent), m_view(view) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 1, 2, 1);
    row->setSpacing(3);
    auto* label = new QLabel(tr("Find:"), this);
    m_text = new QLineEdit(this);
    label->setBuddy(m_text);
    m_matchCase = new QCheckBox(QStringLiteral("Aa"), this);
    m_matchCase->setToolTip(tr("Match case"));
    auto tool = [this](Qt::ArrowType arrow, const QString& hint) {
        auto* b = new QToolButton(this);
        b->setArrowType(arrow);
        b->setToolTip(hint);
        b->setAutoRaise(true);
        return b;
    };
    m_previous = tool(Qt::UpArrow, tr("Previous (Shift+F3)"));
    m_next = tool(Qt::DownArrow, tr("Next (F3)"));
    m_close = tool(Qt::NoArrow, tr("Close (Esc)"));
    m_close->setText(QStringLiteral("×"));
    m_status = new QLabel(this);
    m_status->setMinimumWidth(m_status->fontMetrics().horizontalAdvance(tr("Not found")));
    row->addWidget(label);
    row->addWidget(m_text, 1);
    row->addWidget(m_matchCase);
    row->addWidget(m_previous);
    row->addWidget(m_next);
    row->addWidget(m_status);
    row->addWidget(m_close);

    connect(m_text, &QLineEdit::textEdited, this, &TerminalFindBar::textEdited);
    connect(m_matchCase, &QCheckBox::toggled, this, &TerminalFindBar::textEdited);
    connect(m_previous, &QToolButton::clicked, this, [this] { find(true); });
    connect(m_next, &QToolButton::clicked, this, [this] { find(false); });
    connect(m_close, &QToolButton::clicked, this, &TerminalFindBar::close);
    for (QWidget* w : {static_cast<QWidget*>(m_text), static_cast<QWidget*>(m_matchCase),
                       static_cast<QWidget*>(m_previous), static_cast<QWidget*>(m_next),
                       static_cast<QWidget*>(m_close)})
        w->installEventFilter(this);
    hide();
}

void TerminalFindBar::renameControls(const QString& prefix) {
    setObjectName(prefix + QStringLiteral("_FindBar"));
    m_text->setObjectName(prefix + QStringLiteral("_FindText"));
    m_matchCase->setObjectName(prefix + QStringLiteral("_FindMatchCase"));
}

QString TerminalFindBar::status() const {
    return m_status->text();
}

void TerminalFindBar::open() {
    QWidget* focus = QApplication::focusWidget();
    if (!isAncestorOf(focus))
        m_returnFocus = focus;
    if (isHidden()) {
        show();
        emit shownChanged(true);
    }
    m_text->setFocus();
    m_text->selectAll();
}

void TerminalFindBar::close() {
    if (isHidden())
        return;
    m_view->setExtraSelections({});
    m_status->clear();
    setShowsMatch(false);
    hide();
    emit shownChanged(false);
    if (m_returnFocus && m_returnFocus->isVisible())
        m_returnFocus->setFocus();
    else
        m_view->setFocus();
}

QTextDocument::FindFlags TerminalFindBar::flags(bool backward) const {
    QTextDocument::FindFlags f;
    if (m_matchCase->isChecked())
        f |= QTextDocument::FindCaseSensitively;
    if (backward)
        f |= QTextDocument::FindBackward;
    return f;
}

bool TerminalFindBar::find(bool backward) {
    const QString text = m_text->text();
    QTextDocument* doc = m_view->document();
    if (text.isEmpty()) {
        m_view->setExtraSelections({});
        m_status->clear();
        setShowsMatch(false);
        return false;
    }
    QTextCursor from = m_view->textCursor();
    if (backward)
        from.setPosition(std::min(from.anchor(), from.position()));
    else
        from.setPosition(std::max(from.anchor(), from.position()));
    QTextCursor match = doc->find(text, from, flags(backward));
    if (match.isNull()) {
        // Round the end and on from the other side.
        QTextCursor wrap(doc);
        if (backward)
            wrap.movePosition(QTextCursor::End);
        match = doc->find(text, wrap, flags(backward));
    }
    if (match.isNull()) {
        highlight();
        setShowsMatch(false);
        return false;
    }
    // Hold the view first, so the next update of the traffic keeps the match.
    setShowsMatch(true);
    m_view->setTextCursor(match);
    m_view->ensureCursorVisible();
    highlight();
    return true;
}

void TerminalFindBar::textEdited() {
    // Find as the operator types, from the start of the match shown now.
    QTextCursor at = m_view->textCursor();
    at.setPosition(std::min(at.anchor(), at.position()));
    m_view->setTextCursor(at);
    find(false);
}

void TerminalFindBar::highlight() {
    const QString text = m_text->text();
    QTextDocument* doc = m_view->document();
    QList<QTextEdit::ExtraSelection> marks;
    int count = 0;
    int current = 0;
    const QTextCursor shown = m_view->textCursor();
    QTextCursor c(doc);
    while (!text.isEmpty()) {
        c = doc->find(text, c, flags(false));
        if (c.isNull())
            break;
        ++count;
        if (c.selectionStart() == shown.selectionStart() &&
            c.selectionEnd() == shown.selectionEnd())
            current = count;
        if (marks.size() < MaxHighlights) {
            QTextEdit::ExtraSelection mark;
            mark.cursor = c;
            mark.format.setBackground(MatchColor);
            mark.format.setForeground(Qt::black);
            marks.append(mark);
        }
    }
    m_view->setExtraSelections(marks);
    if (count == 0)
        m_status->setText(text.isEmpty() ? QString() : tr("Not found"));
    else
        m_status->setText(QStringLiteral("%1/%2").arg(current).arg(count));
}

void TerminalFindBar::setShowsMatch(bool shown) {
    if (shown == m_showsMatch)
        return;
    m_showsMatch = shown;
    emit showsMatchChanged(shown);
}

bool TerminalFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool shift = key->modifiers() & Qt::ShiftModifier;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (watched != m_text)
            return false; // the buttons take it as a press
        find(shift);
        return true;
    case Qt::Key_F3:
        find(shift);
        return true;
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_F:
        if (key->modifiers() == Qt::ControlModifier) {
            open();
            return true;
        }
        return false;
    default:
        return false;
    }
}
