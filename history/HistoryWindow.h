#pragma once
// The history window: the rows of one or more logs (or of the program's own
// log while it is written) with a filter line over them.
//
// The filter takes plain text or a regular expression, with or without match
// case, and applies as it is typed. "Only matching lines" shows just those,
// with their count, and keeps counting as lines are logged; without it the
// matches are highlighted and Enter, Shift+Enter, F3 and Shift+F3 go from one
// to the next. Return or a double-click on a matching line (or Ctrl+Return
// anywhere) shows it in its context: all lines, that one selected and
// centred. One click takes the main window's two filter strings instead.
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <utility>

#include "history/LineMatcher.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class VOxaLogger;

namespace history {

class HistoryModel;
class HistoryView;

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    explicit HistoryWindow(QWidget* parent = nullptr);
    ~HistoryWindow() override;

    HistoryModel* model() const { return m_model; }
    HistoryView* view() const { return m_view; }
    QLineEdit* FilterText() const { return m_text; }
    QCheckBox* Regex() const { return m_regex; }
    QCheckBox* MatchCase() const { return m_matchCase; }
    QCheckBox* OnlyMatching() const { return m_only; }
    QPushButton* MainFilters() const { return m_mainFilters; }
    QPushButton* OpenButton() const { return m_open; }
    QLabel* Count() const { return m_count; }
    QLabel* Message() const { return m_message; }

    // Opens log files after those shown; a file that cannot be opened is told
    // in the window. False when none could be opened.
    bool openFiles(const QStringList& paths);
    // Follows the program's log as its logger writes it.
    void followLogger(VOxaLogger* logger);
    // Where the main window's filter strings come from ("String 1", "String 2").
    void setMainFilterSource(std::function<std::pair<QString, QString>()> source);
    // The folder the file chooser starts in.
    void setLogFolder(const QString& folder) { m_logFolder = folder; }

    // Shows a matching row among all lines, selected and centred.
    void showInContext(int64_t row);
    // The next (previous) match after the current row.
    void jumpToMatch(bool backward);
    void showMessage(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyFilter();
    void updateCount();
    void chooseFiles();
    void updateTitle();

    HistoryModel* m_model;
    HistoryView* m_view;
    QLineEdit* m_text;
    QCheckBox* m_regex;
    QCheckBox* m_matchCase;
    QCheckBox* m_only;
    QPushButton* m_mainFilters;
    QPushButton* m_cancel;
    QPushButton* m_open;
    QLabel* m_count;
    QLabel* m_message;
    QString m_typed; // the filter text typed, while the main window's filters are shown
    QString m_logFolder;
    std::function<std::pair<QString, QString>()> m_mainFilterSource;
    QTimer m_countTimer;
};

// The history of the program's own log, in one window per owner: shown and
// raised when it is open already. The chooser starts in the logger's folder.
HistoryWindow* ShowLogHistory(QWidget* owner, VOxaLogger* logger,
                              std::function<std::pair<QString, QString>()> mainFilters);

// `dralvo --view FILE...`: the history of log files without a port; with no
// files a chooser asks for them. Runs the application's event loop until the
// window closes; the exit status.
int RunLogViewer(const QStringList& files, const QString& logFolder);

} // namespace history
