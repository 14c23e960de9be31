#include "terminal/TerminalWindow.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

#include "terminal/QuickSendBar.h"
#include "terminal/SendLineText.h"
#include "terminal/TerminalFindBar.h"

using terminal::KeyAction;

TerminalWindow::TerminalWindow(QWidget* ownerForm)
    : QWidget(ownerForm, ownerForm ? Qt::Tool : Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Closing the main window ends the program even while this one floats.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(tr("Terminal"));
    resize(DesignWidth, DesignHeight);
    m_suffixes.push_back({this, QStringLiteral("_Form")});

    m_richEdit = make<QPlainTextEdit>("_RichEdit", {0, 0, 398, 357}, true, true, true, true,
                                      &TerminalWindow::displayKey);
    m_richEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_richEdit->setWordWrapMode(QTextOption::NoWrap);
    m_richEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_richEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The traffic is read, selected and copied, never edited: characters
    // typed here go to the manual line, Tab moves on as in any dialog.
    m_richEdit->setReadOnly(true);
    m_richEdit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_richEdit->setTabChangesFocus(true);
    // The line colours are chosen for a light background: keep one whatever
    // the desktop theme (a dark theme would leave blue and black on black).
    QPalette paper = m_richEdit->palette();
    for (const QPalette::ColorGroup group :
         {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        paper.setColor(group, QPalette::Base, Qt::white);
        paper.setColor(group, QPalette::Text, Qt::black);
    }
    m_richEdit->setPalette(paper);
    m_richEdit->setToolTip(
        tr("Each line begins with its time and a prefix: \"+ \" received, \" - \" sent, "
           "\"E \" the program's own lines and filter matches. Blue: received and sent text; "
           "green: String 1 matches; light blue: String 2 matches and the connection's state; "
           "red: a gap (Freeze, Strict). Bytes that are not printable show as <#0D> (their "
           "value in hexadecimal) in black."));

    m_manualLine = make<QComboBox>("_ManualLine", {2, 358, 396, 21}, true, false, true, true,
                                   &TerminalWindow::manualLineKey);
    m_manualLine->setEditable(true);
    m_manualLine->setInsertPolicy(QComboBox::NoInsert);
    m_manualLine->setCompleter(nullptr);
    m_manualLine->setMaxVisibleItems(21);
    // Room beyond the longest line that is sent, so a paste is kept whole and
    // refused with a word rather than cut without one; the hex line shows each
    // character as three.
    m_manualLine->lineEdit()->setMaxLength(int(2 * terminal::kMaxSendChars));
    m_manualLine->setToolTip(
        tr("Enter sends the line with a carriage return (CR) at its end; Ctrl+Z ends it with "
           "0x1A instead (sends a text message typed after AT+CMGS), Esc with 0x1B (cancels "
           "it). Arrow Up or Down opens the lines sent before."));

    m_hexManualLine = make<QLineEdit>("_HexManualLine", {2, 358, 396, 21}, true, false, true, true,
                                      &TerminalWindow::hexLineKey);
    m_hexManualLine->hide();
    m_hexManualLine->setMaxLength(int(6 * terminal::kMaxSendChars));

    auto button = [this](const char* suffix, QRect bounds, const QString& caption,
                         const QString& hint, KeyHandler keys) {
        auto* b = make<QPushButton>(suffix, bounds, true, false, false, true, keys);
        b->setText(caption);
        b->setToolTip(hint);
        b->setAutoDefault(false);
        return b;
    };
    m_sendLineButton = button("_SendLinebutton", {8, 388, 75, 25}, tr("Send"),
                              tr("Send the line with its line end (CR, or Ctrl+Z / Esc as typed)"),
                              &TerminalWindow::sendButtonKey);
    m_btnDirect = button("_BtnDirect", {88, 388, 75, 25}, tr("Direct"),
                         tr("Send the line without a line end"), &TerminalWindow::sendButtonKey);
    m_clear = button("_Clear", {8, 420, 75, 25}, tr("Clear"),
                     tr("Clear the display (the log keeps everything)"),
                     &TerminalWindow::otherControlKey);
    m_btnUndock = button("_BtnUndock", {88, 420, 75, 25}, tr("Undock window"),
                         tr("Undock the terminal window"), &TerminalWindow::otherControlKey);
    m_btnUndock->setEnabled(false);
    // At the right of the bottom row, away from the mode group.
    m_history = button("_History", {315, 420, 75, 25}, tr("&History"),
                       tr("Every line of the log, with find and filter (Ctrl+H)"),
                       &TerminalWindow::otherControlKey);
    m_anchored.back() = {m_history, false, false, true, true};

    m_rGroupMode = make<QGroupBox>("_RGroupMode", {168, 381, 81, 61}, true, false, false, true,
                                   &TerminalWindow::otherControlKey);
    m_rGroupMode->setTitle(tr("Mode"));
    fitSecondButtonColumn();
    new QGridLayout(m_rGroupMode);
    m_modeButtons = new QButtonGroup(this);
    m_modeButtons->setExclusive(true);
    m_rGroupMode->hide();

    m_debugInTime = make<QLineEdit>("_DebugInTime", {250, 389, 140, 21}, true, false, true, true,
                                    &TerminalWindow::otherControlKey);
    m_debugInTime->setText(QStringLiteral("DebugInTime"));
    m_debugOutTime = make<QLineEdit>("_DebugOutTime", {250, 421, 140, 21}, true, false, true, true,
                                     &TerminalWindow::otherControlKey);
    m_debugOutTime->setText(QStringLiteral("DebugOutTime"));
    for (QLineEdit* field : {m_debugInTime, m_debugOutTime}) {
        field->setEnabled(false);
        field->hide();
    }

    m_moveEnd.setSingleShot(true);
    m_moveEnd.setInterval(MoveEndMs);
    connect(&m_moveEnd, &QTimer::timeout, this, [this] {
        if (isWindow())
            emit moveEnded();
    });

    m_quickSend = new QuickSendBar(this);
    m_quickSend->setGeometry(2, 300, 396, m_quickSend->sizeHint().height());
    m_anchored.push_back({m_quickSend, true, false, true, true});
    m_suffixes.push_back({m_quickSend, QStringLiteral("_QuickSend")});
    connect(m_quickSend, &QuickSendBar::pressed, this, &TerminalWindow::quickSendRequested);

    m_findBar = new TerminalFindBar(m_richEdit, this);
    m_anchored.push_back({m_findBar, true, false, true, true});
    connect(m_findBar, &TerminalFindBar::shownChanged, this, &TerminalWindow::layoutDisplayArea);
    connect(m_findBar, &TerminalFindBar::showsMatchChanged, this, &TerminalWindow::viewHeld);

    // Over the bottom of the view, so showing it moves nothing.
    m_notice = new QLabel(this);
    m_notice->setWordWrap(true);
    m_notice->setMargin(3);
    m_notice->setStyleSheet(QStringLiteral(
        "QLabel { background: #FFF4C0; color: #000000; border: 1px solid #C0A000; }"));
    m_notice->hide();
    m_suffixes.push_back({m_notice, QStringLiteral("_Notice")});

    connect(m_manualLine, &QComboBox::editTextChanged, this, &TerminalWindow::manualLineEdited);
    connect(m_hexManualLine, &QLineEdit::textChanged, this, &TerminalWindow::hexLineEdited);
    connect(m_sendLineButton, &QPushButton::clicked, this, [this] { emit sendLineRequested(0); });
    connect(m_btnDirect, &QPushButton::clicked, this, [this] { emit sendDirectRequested(); });
    connect(m_clear, &QPushButton::clicked, this, [this] { emit clearRequested(); });
    connect(m_btnUndock, &QPushButton::clicked, this, [this] { emit undockRequested(); });
    connect(m_history, &QPushButton::clicked, this, [this] { emit historyRequested(); });

    // Key preview for the parts of the manual line: its text field and its list.
    m_manualLine->lineEdit()->installEventFilter(this);
    m_keyHandlers.push_back({m_manualLine->lineEdit(), &TerminalWindow::manualLineKey});
    QAbstractItemView* list = m_manualLine->view();
    list->installEventFilter(this);
    m_keyHandlers.push_back({list, &TerminalWindow::historyListKey});
}

TerminalWindow::~TerminalWindow() = default;

template <class W>
W* TerminalWindow::make(const char* suffix, QRect bounds, bool left, bool top, bool right,
                        bool bottom, KeyHandler keys) {
    auto* w = new W(this);
    w->setGeometry(bounds);
    w->installEventFilter(this);
    m_anchored.push_back({w, left, top, right, bottom});
    m_suffixes.push_back({w, QString::fromLatin1(suffix)});
    m_keyHandlers.push_back({w, keys});
    return w;
}

void TerminalWindow::fitSecondButtonColumn() {
    // "Undock window" is wider than its 75 pixels in most Linux fonts: the
    // second button column grows to fit its captions, the mode group beside
    // it moves along to keep its gap.
    int needed = 0;
    for (QPushButton* b : {m_btnDirect, m_btnUndock}) {
        const QStyle* s = b->style();
        needed = std::max(needed, b->fontMetrics().size(Qt::TextShowMnemonic, b->text()).width() +
                                      s->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b) +
                                      2 * s->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b));
    }
    const int grow = needed - m_btnUndock->width();
    if (grow <= 0)
        return;
    for (QPushButton* b : {m_btnDirect, m_btnUndock})
        b->resize(b->width() + grow, b->height());
    m_rGroupMode->move(m_rGroupMode->x() + grow, m_rGroupMode->y());
}

void TerminalWindow::renameControls(const QString& terminalName) {
    for (auto& [widget, suffix] : m_suffixes)
        widget->setObjectName(terminalName + suffix);
    m_findBar->renameControls(terminalName);
}

void TerminalWindow::relayout(const QSize& clientSize) {
    const int dx = clientSize.width() - m_appliedSize.width();
    const int dy = clientSize.height() - m_appliedSize.height();
    m_appliedSize = clientSize;
    if (!dx && !dy)
        return;
    for (const Anchored& a : m_anchored) {
        QRect g = a.widget->geometry();
        if (a.left && a.right)
            g.setWidth(g.width() + dx);
        else if (a.right)
            g.moveLeft(g.left() + dx);
        if (a.top && a.bottom)
            g.setHeight(g.height() + dy);
        else if (a.bottom)
            g.moveTop(g.top() + dy);
        a.widget->setGeometry(g);
    }
    layoutNotice();
}

void TerminalWindow::resizeEvent(QResizeEvent* event) {
    relayout(size());
    QWidget::resizeEvent(event);
    emit resized();
}

void TerminalWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (isWindow() && isVisible())
        m_moveEnd.start();
}

bool TerminalWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate)
        emit deactivated();
    else if (event->type() == QEvent::WindowActivate)
        emit activated();
    return QWidget::event(event);
}

void TerminalWindow::closeEvent(QCloseEvent* event) {
    emit closeRequested(event);
}

// ---- manual line and hex line ---------------------------------------------------

QString TerminalWindow::manualText() const {
    return m_manualLine->currentText();
}

void TerminalWindow::setManualText(const QString& text) {
    m_manualLine->setEditText(text);
}

QString TerminalWindow::sendText() const {
    return terminal::HexTextToManual(m_hexManualLine->text());
}

QString TerminalWindow::hexText() const {
    return m_hexManualLine->text();
}

void TerminalWindow::clearSendLines() {
    m_hexManualLine->clear();
    // The manual line follows through hexLineEdited; make sure it is empty
    // even when the hex line already was.
    if (!m_manualLine->currentText().isEmpty()) {
        ++m_nesting;
        m_manualLine->setEditText(QString());
        --m_nesting;
    }
    m_notice->hide();
}

void TerminalWindow::manualLineEdited(const QString& text) {
    m_notice->hide();
    if (m_nesting)
        return;
    ++m_nesting;
    m_hexManualLine->setText(terminal::ManualToHexText(text));
    --m_nesting;
    noteLength(text);
}

void TerminalWindow::hexLineEdited(const QString& text) {
    m_notice->hide();
    if (m_nesting)
        return;
    ++m_nesting;
    m_manualLine->setEditText(terminal::HexTextToManual(text));
    --m_nesting;
    noteLength(manualText());
}

// A line too long to send is told as it comes in (a paste, mostly), not only
// when Enter is pressed.
void TerminalWindow::noteLength(const QString& manual) {
    if (manual.size() > terminal::kMaxSendChars)
        showNotice(terminal::TooLongNotice(manual.size()));
}

void TerminalWindow::removeLastCharacter() {
    const QString current = manualText();
    if (!current.isEmpty())
        setManualText(current.left(current.size() - 1));
}

QStringList TerminalWindow::history() const {
    QStringList entries;
    for (int i = 0; i < m_manualLine->count(); ++i)
        entries << m_manualLine->itemText(i);
    return entries;
}

void TerminalWindow::setHistory(const QStringList& entries) {
    // Changing the list must not change what the operator has typed.
    ++m_nesting;
    const QString text = m_manualLine->currentText();
    m_manualLine->clear();
    m_manualLine->addItems(entries);
    m_manualLine->setCurrentIndex(-1);
    m_manualLine->setEditText(text);
    --m_nesting;
}

bool TerminalWindow::historyShown() const {
    return m_manualLine->view()->isVisible();
}

void TerminalWindow::openHistory() {
    if (historyShown() || m_manualLine->count() == 0)
        return;
    m_manualLine->showPopup();
    // The list opens with no entry chosen, so the typed text stays what it is
    // until the operator picks one.
    QAbstractItemView* list = m_manualLine->view();
    list->selectionModel()->clear();
    list->setCurrentIndex(QModelIndex());
}

void TerminalWindow::chooseHistoryEntry(int step) {
    QAbstractItemView* list = m_manualLine->view();
    const int count = m_manualLine->count();
    if (count == 0)
        return;
    const QModelIndex current = list->currentIndex();
    int row = current.isValid() ? current.row() + step : (step > 0 ? 0 : -1);
    if (row < 0)
        return;
    row = std::min(row, count - 1);
    list->setCurrentIndex(list->model()->index(row, m_manualLine->modelColumn()));
}

// ---- notice ----------------------------------------------------------------------

void TerminalWindow::showNotice(const QString& text) {
    m_notice->setText(text);
    layoutNotice();
    m_notice->show();
    m_notice->raise();
}

QString TerminalWindow::notice() const {
    return m_notice->isHidden() ? QString() : m_notice->text();
}

void TerminalWindow::layoutNotice() {
    const QRect view = m_richEdit->geometry();
    const int width = std::max(40, view.width() - 8);
    const int height = m_notice->heightForWidth(width);
    m_notice->setGeometry(view.left() + 4, view.bottom() - 4 - height, width,
                          height > 0 ? height : m_notice->sizeHint().height());
}

// ---- layout of the send lines, mode group, timing fields ------------------------

void TerminalWindow::applyHexEditLayout(bool showHexEdit) {
    const QRect hex = m_hexManualLine->geometry();
    QRect manual = m_manualLine->geometry();
    if (showHexEdit)
        manual.moveTop(hex.top() - 2 - manual.height());
    else
        manual.moveTop(hex.top());
    m_manualLine->setGeometry(manual);
    m_hexManualLine->setVisible(showHexEdit);
    layoutDisplayArea();
}

void TerminalWindow::layoutDisplayArea() {
    int bottom = m_manualLine->geometry().top() - 2; // first row below the display
    QRect display = m_richEdit->geometry();
    // The quick-send buttons sit right above the send line.
    const int bar = m_quickSend->sizeHint().height();
    bottom -= bar + 2;
    m_quickSend->setGeometry(display.left() + 2, bottom + 2, display.width() - 4, bar);
    int height = bottom - display.top();
    if (!m_findBar->isHidden()) {
        const int bar = m_findBar->sizeHint().height();
        height -= bar + 2;
        m_findBar->setGeometry(display.left(), display.top() + height + 1, display.width(), bar);
    }
    display.setHeight(height);
    m_richEdit->setGeometry(display);
    layoutNotice();
}

void TerminalWindow::setModeItems(const QStringList& items) {
    const int selected = modeIndex();
    const auto old = m_modeButtons->buttons();
    for (QAbstractButton* b : old) {
        m_modeButtons->removeButton(b);
        delete b;
    }
    const int columns = items.size() < 4 ? 1 : 2;
    QRect group = m_rGroupMode->geometry();
    group.setWidth(columns * 40 + 41);
    m_rGroupMode->setGeometry(group);
    for (QLineEdit* field : {m_debugInTime, m_debugOutTime}) {
        QRect g = field->geometry();
        g.moveLeft(258 + (columns - 1) * 40);
        g.setWidth(140 - (columns - 1) * 40);
        field->setGeometry(g);
    }
    auto* grid = static_cast<QGridLayout*>(m_rGroupMode->layout());
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setSpacing(0);
    const int rows = (int(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], m_rGroupMode);
        b->installEventFilter(this);
        m_modeButtons->addButton(b, i);
        grid->addWidget(b, rows ? i % rows : 0, rows ? i / rows : 0);
    }
    m_rGroupMode->setVisible(!items.isEmpty());
    if (!items.isEmpty())
        setModeIndex(selected >= 0 && selected < items.size() ? selected : 0);
}

int TerminalWindow::modeIndex() const {
    return m_modeButtons->checkedId();
}

void TerminalWindow::setModeIndex(int index) {
    const int count = int(m_modeButtons->buttons().size());
    if (index >= count)
        index = count - 1;
    if (index < 0) {
        m_modeButtons->setExclusive(false);
        for (QAbstractButton* b : m_modeButtons->buttons())
            b->setChecked(false);
        m_modeButtons->setExclusive(true);
        return;
    }
    m_modeButtons->button(index)->setChecked(true);
}

void TerminalWindow::setTimingFieldsVisible(bool visible) {
    m_debugInTime->setVisible(visible);
    m_debugOutTime->setVisible(visible);
}

// ---- keyboard ----------------------------------------------------------------------

bool TerminalWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (type == QEvent::ShortcutOverride)
        return watched == m_manualLine->view() && historyListShortcut(key);
    if (quickSendKey(key))
        return true;
    const KeyAction action = terminal::ClassifyKey(key->key(), key->modifiers(), key->text());
    if (findKey(action))
        return true;
    KeyHandler handler = nullptr;
    for (const auto& [object, keys] : m_keyHandlers)
        if (object == watched)
            handler = keys;
    // The mode group's radio buttons come and go with its items.
    if (!handler && watched->parent() == m_rGroupMode)
        handler = &TerminalWindow::otherControlKey;
    if (!handler)
        return false;
    return (this->*handler)(key, action);
}

bool TerminalWindow::quickSendKey(QKeyEvent* key) {
    const int index = key->key() - Qt::Key_F1;
    if (index < 0 || index >= 12 || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    if (key->key() == Qt::Key_F3 && !m_findBar->isHidden())
        return false; // the next match
    emit quickSendRequested(index);
    return true;
}

bool TerminalWindow::findKey(KeyAction action) {
    switch (action) {
    case KeyAction::Find:
        m_findBar->open();
        return true;
    case KeyAction::History:
        emit historyRequested();
        return true;
    case KeyAction::FindNext:
    case KeyAction::FindPrevious:
        if (m_findBar->FindText()->text().isEmpty()) {
            m_findBar->open();
            return true;
        }
        if (m_findBar->isHidden())
            m_findBar->open();
        m_findBar->find(action == KeyAction::FindPrevious);
        return true;
    default:
        return false;
    }
}

bool TerminalWindow::navigationKey(KeyAction action) {
    QScrollBar* vertical = m_richEdit->verticalScrollBar();
    switch (action) {
    case KeyAction::PageUp:
        vertical->triggerAction(QAbstractSlider::SliderPageStepSub);
        return true;
    case KeyAction::PageDown:
        vertical->triggerAction(QAbstractSlider::SliderPageStepAdd);
        return true;
    case KeyAction::LineUp:
        vertical->triggerAction(QAbstractSlider::SliderSingleStepSub);
        return true;
    case KeyAction::LineDown:
        vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        return true;
    default:
        return false;
    }
}

bool TerminalWindow::sendKey(KeyAction action) {
    switch (action) {
    case KeyAction::Enter:
        emit sendLineRequested(0);
        return true;
    case KeyAction::CtrlZ:
        emit sendLineRequested(26);
        return true;
    case KeyAction::Escape:
        emit sendLineRequested(27);
        return true;
    default:
        return false;
    }
}

bool TerminalWindow::manualLineKey(QKeyEvent* key, KeyAction action) {
    switch (action) {
    case KeyAction::LineUp:
    case KeyAction::LineDown:
        openHistory();
        return true;
    case KeyAction::Enter:
    case KeyAction::CtrlZ:
    case KeyAction::Escape:
        // The list is open only while it has the focus, so here it is closed.
        m_manualLine->hidePopup();
        return sendKey(action);
    case KeyAction::Character:
    case KeyAction::Blank:
        // Typing drops the list down, without completing the text.
        m_manualLine->lineEdit()->insert(key->text());
        openHistory();
        return true;
    default:
        return navigationKey(action);
    }
}

bool TerminalWindow::historyListShortcut(QKeyEvent* key) {
    // The list's own handling of these keys (choose on Enter, close on Esc)
    // comes as shortcut overrides; the window's key handler does it instead.
    switch (terminal::ClassifyKey(key->key(), key->modifiers(), key->text())) {
    case KeyAction::Enter:
    case KeyAction::Escape:
        key->accept();
        return true;
    default:
        return false;
    }
}

bool TerminalWindow::historyListKey(QKeyEvent* key, KeyAction action) {
    QAbstractItemView* list = m_manualLine->view();
    switch (action) {
    case KeyAction::LineDown:
        chooseHistoryEntry(+1);
        return true;
    case KeyAction::LineUp:
        chooseHistoryEntry(-1);
        return true;
    case KeyAction::Enter: {
        const QModelIndex chosen = list->currentIndex();
        m_manualLine->hidePopup();
        if (chosen.isValid())
            setManualText(m_manualLine->itemText(chosen.row()));
        emit sendLineRequested(0);
        return true;
    }
    case KeyAction::Escape:
        m_manualLine->hidePopup();
        return true;
    case KeyAction::Character:
    case KeyAction::Blank:
        m_manualLine->lineEdit()->insert(key->text());
        return true;
    default:
        break;
    }
    // Editing keys go on to the text while the list is open.
    switch (key->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        QCoreApplication::sendEvent(m_manualLine->lineEdit(), key);
        return true;
    default:
        return false;
    }
}

bool TerminalWindow::hexLineKey(QKeyEvent*, KeyAction action) {
    switch (action) {
    case KeyAction::Enter:
        emit sendDirectRequested();
        return true;
    case KeyAction::Escape:
        clearSendLines();
        if (isVisible() && m_manualLine->isEnabled() && m_manualLine->isVisible())
            m_manualLine->setFocus();
        return true;
    default:
        return navigationKey(action);
    }
}

bool TerminalWindow::displayKey(QKeyEvent* key, KeyAction action) {
    switch (action) {
    case KeyAction::Backspace:
        removeLastCharacter();
        return true;
    case KeyAction::Character:
    case KeyAction::Blank:
        setManualText(manualText() + key->text());
        return true;
    default:
        return sendKey(action) || navigationKey(action);
    }
}

bool TerminalWindow::sendButtonKey(QKeyEvent* key, KeyAction action) {
    switch (action) {
    case KeyAction::Backspace:
        removeLastCharacter();
        return true;
    case KeyAction::Blank:
        return false; // the blank presses the button
    case KeyAction::Character:
        setManualText(manualText() + key->text());
        return true;
    default:
        return sendKey(action) || navigationKey(action);
    }
}

bool TerminalWindow::otherControlKey(QKeyEvent*, KeyAction action) {
    return navigationKey(action);
}
