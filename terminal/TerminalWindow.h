#pragma once
// The terminal's own window: the traffic view, the manual send line with its
// history, the hexadecimal view of that line, the send/clear/undock buttons,
// the mode group and the two timing fields.
//
// The window is a view: it keeps the two send lines in step and applies the
// keyboard rules, and whatever the operator asks for (send, clear, undock,
// close) leaves it as a signal. The terminal component connects to them and
// is the only side that knows both.
//
// Key presses are seen by the window before its controls (key preview). Each
// control has its own handler, in the order of the key table: what a key
// means is decided once (terminal::ClassifyKey), what it does depends on
// where the focus is.
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "terminal/TerminalKeys.h"

class QButtonGroup;
class QCloseEvent;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QuickSendBar;
class TerminalFindBar;

class TerminalWindow : public QWidget {
    Q_OBJECT
public:
    // The window is a tool window of ownerForm, or a top-level window of its
    // own without one.
    explicit TerminalWindow(QWidget* ownerForm);
    ~TerminalWindow() override;

    // Design client size; bounds of the controls refer to it.
    static constexpr int DesignWidth = 398;
    static constexpr int DesignHeight = 445;
    static constexpr int MoveEndMs = 250;

    QPlainTextEdit* RichEdit() const { return m_richEdit; }
    QComboBox* ManualLine() const { return m_manualLine; }
    QLineEdit* HexManualLine() const { return m_hexManualLine; }
    QPushButton* SendLineButton() const { return m_sendLineButton; }
    QPushButton* BtnDirect() const { return m_btnDirect; }
    QPushButton* ClearButton() const { return m_clear; }
    QPushButton* BtnUndock() const { return m_btnUndock; }
    // Opens the history of the whole log (Ctrl+H does the same).
    QPushButton* HistoryButton() const { return m_history; }
    QGroupBox* RGroupMode() const { return m_rGroupMode; }
    QLineEdit* DebugInTime() const { return m_debugInTime; }
    QLineEdit* DebugOutTime() const { return m_debugOutTime; }
    // Ctrl+F opens it under the display.
    TerminalFindBar* FindBar() const { return m_findBar; }
    // The quick-send buttons between the display and the send line.
    QuickSendBar* QuickSend() const { return m_quickSend; }

    // Object names: the terminal's name followed by each control's suffix.
    void renameControls(const QString& terminalName);

    // The manual line's text; setting it updates the hex line.
    QString manualText() const;
    void setManualText(const QString& text);
    // What the hex line describes, one character per byte (see SendLineText.h).
    QString sendText() const;
    // The hex line as it stands.
    QString hexText() const;
    // Empties the hex line and with it the manual line.
    void clearSendLines();

    // The drop-down history, most recent first.
    QStringList history() const;
    void setHistory(const QStringList& entries);
    // Whether the drop-down list is open.
    bool historyShown() const;

    // A short message about the send line, shown over the bottom of the view
    // until the operator changes the line or sends.
    void showNotice(const QString& text);
    QString notice() const;

    void applyHexEditLayout(bool showHexEdit);
    void setModeItems(const QStringList& items);
    int modeIndex() const;
    void setModeIndex(int index);
    void setTimingFieldsVisible(bool visible);

    // Places the controls for a client size, keeping each control's distance
    // to the edges it is anchored to.
    void relayout(const QSize& clientSize);

signals:
    // "Send", Enter, Ctrl+Z, Esc: the terminator is 0 (carriage return), 26 or 27.
    void sendLineRequested(int terminator);
    // "Direct", Enter in the hex line.
    void sendDirectRequested();
    void clearRequested();
    void undockRequested();
    void historyRequested();
    void activated();
    void deactivated();
    // The close box; the receiver accepts or ignores the event.
    void closeRequested(QCloseEvent* event);
    void resized();
    // The floating window has stopped moving (no move for MoveEndMs): the end
    // of a drag by its title bar, as far as a window can tell.
    void moveEnded();
    // The find bar shows a match: the display should stay where it is.
    void viewHeld(bool held);
    // F1 to F12 (index 0 to 11), wherever the focus is in the window; F3
    // finds the next match instead while the find bar is open.
    void quickSendRequested(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    using KeyHandler = bool (TerminalWindow::*)(QKeyEvent*, terminal::KeyAction);
    struct Anchored {
        QWidget* widget;
        bool left, top, right, bottom;
    };
    template <class W>
    W* make(const char* suffix, QRect bounds, bool left, bool top, bool right, bool bottom,
            KeyHandler keys);

    // One handler per control, as in the key table.
    bool manualLineKey(QKeyEvent* key, terminal::KeyAction action);
    bool historyListKey(QKeyEvent* key, terminal::KeyAction action);
    bool hexLineKey(QKeyEvent* key, terminal::KeyAction action);
    bool displayKey(QKeyEvent* key, terminal::KeyAction action);
    bool sendButtonKey(QKeyEvent* key, terminal::KeyAction action);
    bool otherControlKey(QKeyEvent* key, terminal::KeyAction action);
    // Enter, Ctrl+Z and Esc as in the manual line with its list closed.
    bool sendKey(terminal::KeyAction action);
    // Page Up/Down and Arrow Up/Down scroll the view.
    bool navigationKey(terminal::KeyAction action);
    bool historyListShortcut(QKeyEvent* key);
    // Ctrl+F and F3, wherever the focus is.
    bool findKey(terminal::KeyAction action);
    bool quickSendKey(QKeyEvent* key);

    void openHistory();
    void chooseHistoryEntry(int step);
    void manualLineEdited(const QString& text);
    void hexLineEdited(const QString& text);
    void noteLength(const QString& manual);
    void removeLastCharacter();
    void layoutNotice();
    // The display fills the space above the manual line, less the find bar
    // while that is shown.
    void layoutDisplayArea();
    void fitSecondButtonColumn();

    std::vector<Anchored> m_anchored;
    std::vector<std::pair<QWidget*, QString>> m_suffixes;
    std::vector<std::pair<QObject*, KeyHandler>> m_keyHandlers;
    QSize m_appliedSize{DesignWidth, DesignHeight};
    int m_nesting = 0; // stops the manual and hex lines from updating each other

    QPlainTextEdit* m_richEdit = nullptr;
    QComboBox* m_manualLine = nullptr;
    QLineEdit* m_hexManualLine = nullptr;
    QPushButton* m_sendLineButton = nullptr;
    QPushButton* m_btnDirect = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_btnUndock = nullptr;
    QPushButton* m_history = nullptr;
    QGroupBox* m_rGroupMode = nullptr;
    QButtonGroup* m_modeButtons = nullptr;
    QLineEdit* m_debugInTime = nullptr;
    QLineEdit* m_debugOutTime = nullptr;
    QLabel* m_notice = nullptr;
    TerminalFindBar* m_findBar = nullptr;
    QuickSendBar* m_quickSend = nullptr;
    QTimer m_moveEnd;
};
