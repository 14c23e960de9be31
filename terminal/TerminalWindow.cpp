#include "terminal/TerminalWindow.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "terminal/VOxaTerminal.h"
#include "util/OxaUtils.h"

TerminalWindow::TerminalWindow(VOxaTerminal* terminal, QWidget* ownerForm)
    : QWidget(ownerForm, ownerForm ? Qt::Tool : Qt::Window), m_terminal(terminal) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Closing the main window ends the program even while this one floats.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Terminál"));
    resize(DesignWidth, DesignHeight);
    m_suffixes.push_back({this, QStringLiteral("_Form")});

    m_richEdit = make<QPlainTextEdit>("_RichEdit", {0, 0, 398, 357}, true, true, true, true);
    m_richEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_richEdit->setWordWrapMode(QTextOption::NoWrap);
    m_richEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_richEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    m_manualLine = make<QComboBox>("_ManualLine", {2, 358, 396, 21}, true, false, true, true);
    m_manualLine->setEditable(true);
    m_manualLine->setInsertPolicy(QComboBox::NoInsert);
    m_manualLine->setCompleter(nullptr);
    m_manualLine->setMaxVisibleItems(21);

    m_hexManualLine = make<QLineEdit>("_HexManualLine", {2, 358, 396, 21}, true, false, true, true);
    m_hexManualLine->hide();

    auto button = [this](const char* suffix, QRect bounds, const QString& caption,
                         const QString& hint) {
        auto* b = make<QPushButton>(suffix, bounds, true, false, false, true);
        b->setText(caption);
        b->setToolTip(hint);
        b->setAutoDefault(false);
        return b;
    };
    m_sendLineButton = button("_SendLinebutton", {8, 388, 75, 25}, QStringLiteral("Odeslat"),
                              QStringLiteral("Odeslat s odřádkováním"));
    m_btnDirect = button("_BtnDirect", {88, 388, 75, 25}, QStringLiteral("Přímo"),
                         QStringLiteral("Odeslat bez odřádkování"));
    m_clear = button("_Clear", {8, 420, 75, 25}, QStringLiteral("Vymazat"),
                     QStringLiteral("Vymazat historii"));
    m_btnUndock = button("_BtnUndock", {88, 420, 75, 25}, QStringLiteral("Uvolnit okno"),
                         QStringLiteral("Uvolnit okno terminálu"));
    m_btnUndock->setEnabled(false);

    m_rGroupMode = make<QGroupBox>("_RGroupMode", {168, 381, 81, 61}, true, false, false, true);
    m_rGroupMode->setTitle(QStringLiteral("Režim"));
    new QGridLayout(m_rGroupMode);
    m_modeButtons = new QButtonGroup(this);
    m_modeButtons->setExclusive(true);
    m_rGroupMode->hide();

    m_debugInTime = make<QLineEdit>("_DebugInTime", {250, 389, 140, 21}, true, false, true, true);
    m_debugInTime->setText(QStringLiteral("DebugInTime"));
    m_debugOutTime = make<QLineEdit>("_DebugOutTime", {250, 421, 140, 21}, true, false, true, true);
    m_debugOutTime->setText(QStringLiteral("DebugOutTime"));
    for (QLineEdit* field : {m_debugInTime, m_debugOutTime}) {
        field->setEnabled(false);
        field->hide();
    }

    connect(m_manualLine, &QComboBox::editTextChanged, this, &TerminalWindow::manualLineEdited);
    connect(m_hexManualLine, &QLineEdit::textChanged, this, &TerminalWindow::hexLineEdited);
    connect(m_sendLineButton, &QPushButton::clicked, this, [this] { m_terminal->SendLine(); });
    connect(m_btnDirect, &QPushButton::clicked, this, [this] { m_terminal->SendDirect(); });
    connect(m_clear, &QPushButton::clicked, this, [this] { m_terminal->Clear(); });
    connect(m_btnUndock, &QPushButton::clicked, this, [this] { m_terminal->UndockClick(); });

    // Key preview: the window sees every key press before its controls.
    m_manualLine->lineEdit()->installEventFilter(this);
    m_manualLine->view()->installEventFilter(this);
    m_richEdit->viewport()->installEventFilter(this);
}

TerminalWindow::~TerminalWindow() = default;

template <class W>
W* TerminalWindow::make(const char* suffix, QRect bounds, bool left, bool top, bool right,
                        bool bottom) {
    auto* w = new W(this);
    w->setGeometry(bounds);
    w->installEventFilter(this);
    m_anchored.push_back({w, left, top, right, bottom});
    m_suffixes.push_back({w, QString::fromLatin1(suffix)});
    return w;
}

void TerminalWindow::renameControls(const QString& terminalName) {
    for (auto& [widget, suffix] : m_suffixes)
        widget->setObjectName(terminalName + suffix);
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
}

void TerminalWindow::resizeEvent(QResizeEvent* event) {
    relayout(size());
    QWidget::resizeEvent(event);
    m_terminal->formResized();
}

bool TerminalWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate)
        m_terminal->SaveHistory();
    else if (event->type() == QEvent::WindowActivate)
        m_terminal->formActivated();
    return QWidget::event(event);
}

void TerminalWindow::closeEvent(QCloseEvent* event) {
    m_terminal->formCloseRequested(event);
}

// ---- manual line and hex line ---------------------------------------------------

QString TerminalWindow::manualText() const {
    return m_manualLine->currentText();
}

void TerminalWindow::setManualText(const QString& text) {
    m_manualLine->setEditText(text);
}

QByteArray TerminalWindow::hexLineBytes() const {
    return HexTextToBytes(m_hexManualLine->text());
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
}

void TerminalWindow::manualLineEdited(const QString& text) {
    if (m_nesting)
        return;
    ++m_nesting;
    m_hexManualLine->setText(BytesToHexText(text.toLatin1()));
    --m_nesting;
}

void TerminalWindow::hexLineEdited(const QString& text) {
    if (m_nesting)
        return;
    ++m_nesting;
    m_manualLine->setEditText(QString::fromLatin1(HexTextToBytes(text)));
    --m_nesting;
}

void TerminalWindow::appendToManualLine(const QString& text) {
    setManualText(manualText() + text);
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

// ---- layout of the send lines, mode group, timing fields ------------------------

void TerminalWindow::applyHexEditLayout(bool showHexEdit) {
    const QRect hex = m_hexManualLine->geometry();
    QRect manual = m_manualLine->geometry();
    if (showHexEdit)
        manual.moveTop(hex.top() - 2 - manual.height());
    else
        manual.moveTop(hex.top());
    m_manualLine->setGeometry(manual);
    QRect display = m_richEdit->geometry();
    display.setHeight(manual.top() - display.top() - 2);
    m_richEdit->setGeometry(display);
    m_hexManualLine->setVisible(showHexEdit);
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

bool TerminalWindow::isManualLine(QObject* watched) const {
    return watched == m_manualLine || watched == m_manualLine->lineEdit();
}

void TerminalWindow::sendWithTerminator(uint8_t terminator) {
    m_terminal->SetSendTerminator(terminator);
    m_terminal->SendLine();
}

bool TerminalWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == m_richEdit || watched == m_richEdit->viewport()) {
        // The view is about to be used: apply what is queued first, so the
        // control's own editing works on the current text.
        if (type == QEvent::KeyPress || type == QEvent::MouseButtonPress)
            m_terminal->FlushDisplay();
    }
    if (type == QEvent::KeyPress && watched != m_richEdit->viewport())
        return handleKey(watched, static_cast<QKeyEvent*>(event));
    return QWidget::eventFilter(watched, event);
}

bool TerminalWindow::handleKey(QObject* watched, QKeyEvent* key) {
    const Qt::KeyboardModifiers mods = key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                           Qt::AltModifier | Qt::MetaModifier);
    const int k = key->key();
    QScrollBar* vertical = m_richEdit->verticalScrollBar();

    if (watched == m_manualLine->view()) {
        // The open history list keeps its own keys; Enter takes the entry
        // and sends it.
        if ((k == Qt::Key_Return || k == Qt::Key_Enter) && mods == Qt::NoModifier) {
            const QModelIndex current = m_manualLine->view()->currentIndex();
            if (current.isValid())
                m_manualLine->setCurrentIndex(current.row());
            m_manualLine->hidePopup();
            m_terminal->SendLine();
            return true;
        }
        return false;
    }

    // Navigation keys, for every control of the window.
    if (mods == Qt::NoModifier) {
        switch (k) {
        case Qt::Key_PageUp:
            vertical->triggerAction(QAbstractSlider::SliderPageStepSub);
            return true;
        case Qt::Key_PageDown:
            vertical->triggerAction(QAbstractSlider::SliderPageStepAdd);
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (isManualLine(watched)) {
                if (!m_manualLine->view()->isVisible())
                    m_manualLine->showPopup();
                return true;
            }
            if (watched == m_hexManualLine || watched == m_richEdit ||
                qobject_cast<QPushButton*>(watched) || watched == m_debugInTime ||
                watched == m_debugOutTime) {
                vertical->triggerAction(k == Qt::Key_Up ? QAbstractSlider::SliderSingleStepSub
                                                        : QAbstractSlider::SliderSingleStepAdd);
                return true;
            }
            // Radio buttons of the mode group keep their own arrow handling.
            return false;
        default:
            break;
        }
    }

    const bool enter = (k == Qt::Key_Return || k == Qt::Key_Enter) &&
                       !(mods & (Qt::ControlModifier | Qt::AltModifier));
    const bool ctrlZ = k == Qt::Key_Z && (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier);
    const bool esc = k == Qt::Key_Escape;
    const bool backspace = k == Qt::Key_Backspace && mods == Qt::NoModifier;
    const QString text = key->text();
    // A character the operator types (no shortcut, no control character).
    const bool printable = !text.isEmpty() && text.at(0).unicode() >= 0x20 &&
                           text.at(0).unicode() != 0x7F &&
                           !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));

    if (isManualLine(watched)) {
        if (enter) {
            m_manualLine->hidePopup();
            m_terminal->SendLine();
            return true;
        }
        if (ctrlZ) {
            sendWithTerminator(26);
            return true;
        }
        if (esc) {
            if (m_manualLine->view()->isVisible())
                m_manualLine->hidePopup();
            else
                sendWithTerminator(27);
            return true;
        }
        return false;
    }

    if (watched == m_hexManualLine) {
        if (enter) {
            m_terminal->SendDirect();
            return true;
        }
        if (esc) {
            clearSendLines();
            if (isVisible() && m_manualLine->isEnabled() && m_manualLine->isVisible())
                m_manualLine->setFocus();
            return true;
        }
        return false;
    }

    const bool isDisplay = watched == m_richEdit;
    const bool isSendButton = watched == m_sendLineButton || watched == m_btnDirect;
    if (!isDisplay && !isSendButton)
        return false;
    if (enter) {
        m_terminal->SendLine();
        return true;
    }
    if (ctrlZ) {
        sendWithTerminator(26);
        return true;
    }
    if (esc) {
        sendWithTerminator(27);
        return true;
    }
    if (backspace) {
        const QString current = manualText();
        if (!current.isEmpty())
            setManualText(current.left(current.size() - 1));
        return true;
    }
    if (printable) {
        if (isSendButton && text == QStringLiteral(" "))
            return false; // the blank presses the button
        appendToManualLine(text);
        return true;
    }
    return false;
}
