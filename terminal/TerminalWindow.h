#pragma once
// The terminal's own window: the text view, the manual send line with its
// history, the hexadecimal view of that line, the send/clear/undock buttons,
// the mode group and the two timing fields. Key presses are seen by the
// window before its controls; the rules are in eventFilter().
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class VOxaTerminal;

class TerminalWindow : public QWidget {
    Q_OBJECT
public:
    // The window is a top-level window owned by ownerForm (may be null).
    TerminalWindow(VOxaTerminal* terminal, QWidget* ownerForm);
    ~TerminalWindow() override;

    // Design client size; bounds of the controls refer to it.
    static constexpr int DesignWidth = 398;
    static constexpr int DesignHeight = 445;

    QPlainTextEdit* RichEdit() const { return m_richEdit; }
    QComboBox* ManualLine() const { return m_manualLine; }
    QLineEdit* HexManualLine() const { return m_hexManualLine; }
    QPushButton* SendLineButton() const { return m_sendLineButton; }
    QPushButton* BtnDirect() const { return m_btnDirect; }
    QPushButton* ClearButton() const { return m_clear; }
    QPushButton* BtnUndock() const { return m_btnUndock; }
    QGroupBox* RGroupMode() const { return m_rGroupMode; }
    QLineEdit* DebugInTime() const { return m_debugInTime; }
    QLineEdit* DebugOutTime() const { return m_debugOutTime; }

    // Object names: the terminal's name followed by each control's suffix.
    void renameControls(const QString& terminalName);

    // The manual line's text; setting it updates the hex line.
    QString manualText() const;
    void setManualText(const QString& text);
    // The bytes the hex line describes.
    QByteArray hexLineBytes() const;
    // Empties the hex line and with it the manual line.
    void clearSendLines();

    // The drop-down history, most recent first.
    QStringList history() const;
    void setHistory(const QStringList& entries);

    void applyHexEditLayout(bool showHexEdit);
    void setModeItems(const QStringList& items);
    int modeIndex() const;
    void setModeIndex(int index);
    void setTimingFieldsVisible(bool visible);

    // Places the controls for a client size, keeping each control's distance
    // to the edges it is anchored to.
    void relayout(const QSize& clientSize);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Anchored {
        QWidget* widget;
        bool left, top, right, bottom;
    };
    template <class W>
    W* make(const char* suffix, QRect bounds, bool left, bool top, bool right, bool bottom);
    bool handleKey(QObject* watched, QKeyEvent* key);
    bool isManualLine(QObject* watched) const;
    void manualLineEdited(const QString& text);
    void hexLineEdited(const QString& text);
    void appendToManualLine(const QString& text);
    void sendWithTerminator(uint8_t terminator);

    VOxaTerminal* m_terminal;
    std::vector<Anchored> m_anchored;
    std::vector<std::pair<QWidget*, QString>> m_suffixes;
    QSize m_appliedSize{DesignWidth, DesignHeight};
    int m_nesting = 0; // stops the manual and hex lines from updating each other

    QPlainTextEdit* m_richEdit = nullptr;
    QComboBox* m_manualLine = nullptr;
    QLineEdit* m_hexManualLine = nullptr;
    QPushButton* m_sendLineButton = nullptr;
    QPushButton* m_btnDirect = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_btnUndock = nullptr;
    QGroupBox* m_rGroupMode = nullptr;
    QButtonGroup* m_modeButtons = nullptr;
    QLineEdit* m_debugInTime = nullptr;
    QLineEdit* m_debugOutTime = nullptr;
};
