#pragma once
// Find in the traffic: a small bar under the terminal's display with the text
// to find, a match-case switch and next/previous. Matches are highlighted on
// top of the text (the traffic itself never changes); the current match is
// the view's selection, so it can be copied. While a match is shown the view
// is held, so new traffic does not scroll it away.
//
// Keys in the bar: Enter or F3 finds the next match, Shift+Enter or Shift+F3
// the previous one, Esc closes the bar and gives the focus back.
#include <QPointer>
#include <QTextDocument>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

class TerminalFindBar : public QWidget {
    Q_OBJECT
public:
    TerminalFindBar(QPlainTextEdit* view, QWidget* parent);

    QLineEdit* FindText() const { return m_text; }
    QCheckBox* MatchCase() const { return m_matchCase; }
    // "3/12", or "Not found" when the text does not occur.
    QString status() const;

    // Shows the bar with the focus in its text, all of it selected.
    void open();
    // Hides the bar, removes the highlights and gives the focus back to the
    // widget that had it before open().
    void close();
    // Moves to the next (or previous) match, wrapping around; false when
    // there is none.
    bool find(bool backward);
    // Whether a match is being shown.
    bool showsMatch() const { return m_showsMatch; }

    // Gives every child an object name: prefix followed by its own suffix.
    void renameControls(const QString& prefix);

signals:
    void showsMatchChanged(bool shown);
    void shownChanged(bool shown);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void textEdited();
    void highlight();
    void setShowsMatch(bool shown);
    QTextDocument::FindFlags flags(bool backward) const;

    QPlainTextEdit* m_view;
    QLineEdit* m_text = nullptr;
    QCheckBox* m_matchCase = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_next = nullptr;
    QToolButton* m_close = nullptr;
    QLabel* m_status = nullptr;
    QPointer<QWidget> m_returnFocus;
    bool m_showsMatch = false;
};
