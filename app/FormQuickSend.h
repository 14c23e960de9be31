#pragma once
// The editor of the quick-send buttons and of the reactions: add, edit,
// reorder and delete buttons, import and export them as a text file, and
// write the reaction rules. Nothing changes until OK, and OK takes only
// what can run: the first problem is shown with the button and line it is
// in, and the dialog stays open.
#include <QDialog>
#include <functional>

#include "macros/QuickSend.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

class TfrmQuickSend : public QDialog {
    Q_OBJECT
public:
    explicit TfrmQuickSend(QWidget* parent = nullptr);

    void SetButtons(const macros::QuickSendButtons& buttons);
    macros::QuickSendButtons Buttons() const { return m_buttons; }
    void SetReactions(const QString& rules);
    QString Reactions() const;
    // The first problem of the buttons or the rules; empty when all can run.
    QString Problem() const;
    QString ShownProblem() const;

    // A macro file read into the list (replacing it) or written from it;
    // false with the reason shown when that cannot be done.
    bool ImportFrom(const QString& fileName);
    bool ExportTo(const QString& fileName);
    // Where Import and Export ask for a file name (tests answer themselves).
    std::function<QString(bool forSaving)> AskFileName;

    QListWidget* lstButtons = nullptr;
    QLineEdit* edtLabel = nullptr;
    QPlainTextEdit* edtText = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnUp = nullptr;
    QPushButton* btnDown = nullptr;
    QPushButton* btnImport = nullptr;
    QPushButton* btnExport = nullptr;
    QPlainTextEdit* edtReactions = nullptr;
    QLabel* lblProblem = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    void accept() override;

private:
    void showList(int select);
    void chosen(int row);
    void edited();
    void move(int by);
    void showProblem(const QString& text);

    macros::QuickSendButtons m_buttons;
    int m_current = -1;
    bool m_filling = false;
};
