#include "app/FormQuickSend.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "macros/Reactions.h"

TfrmQuickSend::TfrmQuickSend(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmQuickSend"));
    setWindowTitle(tr("Quick-send buttons and reactions"));

    lstButtons = new QListWidget;
    lstButtons->setObjectName(QStringLiteral("lstButtons"));
    edtLabel = new QLineEdit;
    edtLabel->setObjectName(QStringLiteral("edtLabel"));
    edtLabel->setToolTip(
        tr("What the button shows (at most %1 characters)").arg(macros::kMaxLabelChars));
    edtText = new QPlainTextEdit;
    edtText->setObjectName(QStringLiteral("edtText"));
    edtText->setToolTip(
        tr("One line to send (CR is added), or a sequence, one step a line:\n"
           "AT+CSQ          a line sent with CR\n"
           "hex 41 54 0D    bytes in hexadecimal\n"
           "wait 500        a pause in milliseconds\n"
           "expect OK 2000  wait for a received line that contains OK, at most 2000 ms;\n"
           "                /REGEX/ instead of OK for a regular expression\n"
           "send wait       a line that begins with a step's word\n"
           "# comment       skipped, as are empty lines"));
    auto button = [](const QString& caption, const char* name) {
        auto* b = new QPushButton(caption);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    btnAdd = button(tr("&Add"), "btnAdd");
    btnDelete = button(tr("De&lete"), "btnDelete");
    btnUp = button(tr("&Up"), "btnUp");
    btnDown = button(tr("Do&wn"), "btnDown");
    btnImport = button(tr("&Import ..."), "btnImport");
    btnExport = button(tr("E&xport ..."), "btnExport");
    btnImport->setToolTip(tr("Replaces the buttons by those of a macro file"));
    btnExport->setToolTip(tr("Writes the buttons into a macro file"));

    auto* buttonsPage = new QWidget;
    auto* grid = new QGridLayout(buttonsPage);
    auto* side = new QVBoxLayout;
    for (QPushButton* b : {btnAdd, btnDelete, btnUp, btnDown, btnImport, btnExport})
        side->addWidget(b);
    side->addStretch(1);
    grid->addWidget(lstButtons, 0, 0, 3, 1);
    auto* labelRow = new QHBoxLayout;
    auto* labelCaption = new QLabel(tr("&Label:"));
    labelCaption->setBuddy(edtLabel);
    labelRow->addWidget(labelCaption);
    labelRow->addWidget(edtLabel, 1);
    grid->addLayout(labelRow, 0, 1);
    grid->addWidget(edtText, 1, 1, 2, 1);
    grid->addLayout(side, 0, 2, 3, 1);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(0, 1);

    edtReactions = new QPlainTextEdit;
    edtReactions->setObjectName(QStringLiteral("edtReactions"));
    auto* reactionsPage = new QWidget;
    auto* reactionsLayout = new QVBoxLayout(reactionsPage);
    auto* reactionsHint = new QLabel(
        tr("One rule a line, tried in this order on every received line:\n"
           "TEXT => ACTION  or  /REGEX/ => ACTION, ACTION being mark TEXT, alarm, send LINE "
           "or run BUTTON;\n\", every N s\" at the end lets it fire at most once in N seconds "
           "(and never more than once a second). For example:\n"
           "/Exception/ => mark Java trouble\nRING => send ATA, every 10 s"));
    reactionsHint->setWordWrap(true);
    reactionsHint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    reactionsLayout->addWidget(reactionsHint);
    reactionsLayout->addWidget(edtReactions, 1);

    auto* tabs = new QTabWidget;
    tabs->addTab(buttonsPage, tr("&Buttons (F1 to F12)"));
    tabs->addTab(reactionsPage, tr("&Reactions"));

    lblProblem = new QLabel;
    lblProblem->setObjectName(QStringLiteral("lblProblem"));
    lblProblem->setWordWrap(true);
    lblProblem->setStyleSheet(QStringLiteral("QLabel { color: #C00000; }"));
    lblProblem->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnOK = button(tr("OK"), "btnOK");
    btnOK->setDefault(true);
    btnCancel = button(tr("Cancel"), "btnCancel");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblProblem, 1);
    bottom->addWidget(btnOK);
    bottom->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addLayout(bottom);
    resize(620, 420);

    connect(lstButtons, &QListWidget::currentRowChanged, this, &TfrmQuickSend::chosen);
    connect(edtLabel, &QLineEdit::textEdited, this, &TfrmQuickSend::edited);
    connect(edtText, &QPlainTextEdit::textChanged, this, &TfrmQuickSend::edited);
    connect(btnAdd, &QPushButton::clicked, this, [this] {
        if (int(m_buttons.size()) >= macros::kMaxQuickSendButtons) {
            showProblem(tr("At most %1 buttons").arg(macros::kMaxQuickSendButtons));
            return;
        }
        const int at = m_current < 0 ? int(m_buttons.size()) : m_current + 1;
        m_buttons.insert(m_buttons.begin() + at, macros::QuickSendButton{});
        showList(at);
        edtLabel->setFocus();
    });
    connect(btnDelete, &QPushButton::clicked, this, [this] {
        if (m_current < 0)
            return;
        m_buttons.erase(m_buttons.begin() + m_current);
        showList(std::min(m_current, int(m_buttons.size()) - 1));
    });
    connect(btnUp, &QPushButton::clicked, this, [this] { move(-1); });
    connect(btnDown, &QPushButton::clicked, this, [this] { move(+1); });
    connect(btnImport, &QPushButton::clicked, this, [this] {
        const QString name =
            AskFileName
                ? AskFileName(false)
                : QFileDialog::getOpenFileName(this, tr("Import quick-send buttons"), QString(),
                                               tr("Macro files (*.txt *.macros);;All files (*)"));
        if (!name.isEmpty())
            ImportFrom(name);
    });
    connect(btnExport, &QPushButton::clicked, this, [this] {
        const QString name =
            AskFileName
                ? AskFileName(true)
                : QFileDialog::getSaveFileName(this, tr("Export quick-send buttons"), QString(),
                                               tr("Macro files (*.txt *.macros);;All files (*)"));
        if (!name.isEmpty())
            ExportTo(name);
    });
    connect(btnOK, &QPushButton::clicked, this, &TfrmQuickSend::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmQuickSend::SetButtons(const macros::QuickSendButtons& buttons) {
    m_buttons = buttons;
    showList(buttons.empty() ? -1 : 0);
}

void TfrmQuickSend::SetReactions(const QString& rules) {
    edtReactions->setPlainText(rules);
}

QString TfrmQuickSend::Reactions() const {
    return edtReactions->toPlainText();
}

void TfrmQuickSend::showList(int select) {
    m_filling = true;
    lstButtons->clear();
    for (int i = 0; i < int(m_buttons.size()); ++i) {
        const QString key = i < macros::kQuickSendKeys ? QStringLiteral("F%1  ").arg(i + 1)
                                                       : QStringLiteral("      ");
        lstButtons->addItem(key + m_buttons[size_t(i)].label);
    }
    m_filling = false;
    m_current = -1;
    lstButtons->setCurrentRow(select);
    chosen(select);
}

void TfrmQuickSend::chosen(int row) {
    if (m_filling)
        return;
    m_current = row >= 0 && row < int(m_buttons.size()) ? row : -1;
    m_filling = true;
    edtLabel->setText(m_current >= 0 ? m_buttons[size_t(m_current)].label : QString());
    edtText->setPlainText(m_current >= 0 ? m_buttons[size_t(m_current)].text : QString());
    edtLabel->setEnabled(m_current >= 0);
    edtText->setEnabled(m_current >= 0);
    m_filling = false;
    for (QPushButton* b : {btnDelete, btnUp, btnDown})
        b->setEnabled(m_current >= 0);
}

void TfrmQuickSend::edited() {
    if (m_filling || m_current < 0)
        return;
    macros::QuickSendButton& button = m_buttons[size_t(m_current)];
    button.label = edtLabel->text();
    button.text = edtText->toPlainText();
    const QString key =
        m_current < macros::kQuickSendKeys ? QStringLiteral("F%1  ").arg(m_current + 1) : "      ";
    if (QListWidgetItem* item = lstButtons->item(m_current))
        item->setText(key + button.label);
}

void TfrmQuickSend::move(int by) {
    const int to = m_current + by;
    if (m_current < 0 || to < 0 || to >= int(m_buttons.size()))
        return;
    std::swap(m_buttons[size_t(m_current)], m_buttons[size_t(to)]);
    showList(to);
}

QString TfrmQuickSend::Problem() const {
    for (int i = 0; i < int(m_buttons.size()); ++i)
        if (const QString problem = macros::CheckButton(m_buttons[size_t(i)], i);
            !problem.isEmpty())
            return problem;
    macros::ParseError error;
    macros::ParseReactions(Reactions(), &error);
    if (!error.ok())
        return tr("Reactions, line %1: %2").arg(error.line).arg(error.message);
    return QString();
}

void TfrmQuickSend::showProblem(const QString& text) {
    lblProblem->setText(text);
    lblProblem->setToolTip(text);
}

QString TfrmQuickSend::ShownProblem() const {
    return lblProblem->text();
}

void TfrmQuickSend::accept() {
    const QString problem = Problem();
    if (!problem.isEmpty()) {
        // The buttons in force stay as they are until this is mended.
        showProblem(problem);
        for (int i = 0; i < int(m_buttons.size()); ++i)
            if (!macros::CheckButton(m_buttons[size_t(i)], i).isEmpty()) {
                showList(i);
                break;
            }
        return;
    }
    showProblem(QString());
    QDialog::accept();
}

bool TfrmQuickSend::ImportFrom(const QString& fileName) {
    QFile file(fileName);
    const QFileInfo info(fileName);
    QString problem;
    if (!info.isFile())
        problem = tr("%1 is not a file").arg(fileName);
    else if (info.size() > macros::kMaxMacroFileBytes)
        problem = tr("%1 has %2 bytes; a macro file has at most %3")
                      .arg(fileName)
                      .arg(info.size())
                      .arg(macros::kMaxMacroFileBytes);
    else if (!file.open(QIODevice::ReadOnly))
        problem = tr("%1 cannot be read: %2").arg(fileName, file.errorString());
    macros::QuickSendButtons buttons;
    if (problem.isEmpty()) {
        QString error;
        buttons = macros::ParseMacroFile(file.read(macros::kMaxMacroFileBytes + 1), &error);
        if (!error.isEmpty())
            problem = tr("%1: %2").arg(info.fileName(), error);
    }
    if (!problem.isEmpty()) {
        showProblem(tr("Nothing imported. %1").arg(problem));
        return false;
    }
    showProblem(QString());
    m_buttons = buttons;
    showList(buttons.empty() ? -1 : 0);
    return true;
}

bool TfrmQuickSend::ExportTo(const QString& fileName) {
    QFile file(fileName);
    const QByteArray bytes = macros::FormatMacroFile(m_buttons);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        showProblem(tr("%1 cannot be written: %2").arg(fileName, file.errorString()));
        return false;
    }
    showProblem(QString());
    return true;
}
