#include "history/HistoryWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "history/HistoryModel.h"
#include "history/HistoryView.h"
#include "terminal/VOxaLogger.h"

namespace history {

HistoryWindow::HistoryWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, parent == nullptr);
    setObjectName(QStringLiteral("HistoryWindow"));
    resize(900, 600);
    m_model = new HistoryModel(this);
    m_view = new HistoryView(m_model, this);

    m_text = new QLineEdit(this);
    m_text->setPlaceholderText(tr("Filter: text or regular expression"));
    m_text->setClearButtonEnabled(true);
    m_regex = new QCheckBox(tr("Re&gex"), this);
    m_matchCase = new QCheckBox(tr("Match &case"), this);
    m_only = new QCheckBox(tr("&Only matching lines"), this);
    m_mainFilters = new QPushButton(tr("&Main window's filters"), this);
    m_mainFilters->setCheckable(true);
    m_mainFilters->setToolTip(tr("Filter by String 1 and String 2 of the main window"));
    m_mainFilters->setEnabled(false);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->hide();
    m_open = new QPushButton(tr("O&pen log…"), this);
    m_count = new QLabel(this);
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_message->setStyleSheet(QStringLiteral("QLabel { background: #FFF4C0; color: #000000; border: "
                                            "1px solid #C0A000; padding: 2px; }"));
    m_message->hide();

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_text, 1);
    bar->addWidget(m_regex);
    bar->addWidget(m_matchCase);
    bar->addWidget(m_only);
    bar->addWidget(m_mainFilters);
    bar->addWidget(m_count);
    bar->addWidget(m_cancel);
    bar->addWidget(m_open);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(m_message);
    layout->addWidget(m_view, 1);

    connect(m_text, &QLineEdit::textChanged, this, &HistoryWindow::applyFilter);
    connect(m_regex, &QCheckBox::toggled, this, &HistoryWindow::applyFilter);
    connect(m_matchCase, &QCheckBox::toggled, this, &HistoryWindow::applyFilter);
    connect(m_mainFilters, &QPushButton::toggled, this, [this](bool on) {
        const QSignalBlocker block(m_text);
        if (on) {
            m_typed = m_text->text();
            const auto [one, two] = m_mainFilterSource();
            m_text->setText(tr("String 1: %1   String 2: %2").arg(one, two));
        } else {
            m_text->setText(m_typed);
        }
        m_text->setReadOnly(on);
        m_regex->setEnabled(!on);
        m_matchCase->setEnabled(!on);
        applyFilter();
    });
    connect(m_only, &QCheckBox::toggled, m_model, &HistoryModel::setOnlyMatching);
    connect(m_cancel, &QPushButton::clicked, m_model, &HistoryModel::cancelFilter);
    connect(m_open, &QPushButton::clicked, this, &HistoryWindow::chooseFiles);
    connect(m_model, &HistoryModel::notice, this, &HistoryWindow::showMessage);
    connect(m_view, &HistoryView::notice, this, &HistoryWindow::showMessage);
    connect(m_view, &HistoryView::rowActivated, this, [this](int64_t row) {
        if (m_model->onlyMatching())
            showInContext(row);
    });
    // The count follows the model at most every 50 ms.
    m_countTimer.setSingleShot(true);
    m_countTimer.setInterval(50);
    connect(&m_countTimer, &QTimer::timeout, this, &HistoryWindow::updateCount);
    for (auto signal : {&HistoryModel::rowsChanged, &HistoryModel::rowsReset,
                        &HistoryModel::filterStateChanged, &HistoryModel::indexStateChanged})
        connect(m_model, signal, this, [this] {
            if (!m_countTimer.isActive())
                m_countTimer.start();
        });

    m_text->installEventFilter(this);
    auto* next = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(next, &QShortcut::activated, this, [this] { jumpToMatch(false); });
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
    connect(previous, &QShortcut::activated, this, [this] { jumpToMatch(true); });
    auto* context = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this);
    connect(context, &QShortcut::activated, this, [this] {
        if (m_view->currentRow() >= 0)
            showInContext(m_view->currentRow());
    });
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        m_text->setFocus();
        m_text->selectAll();
    });
    updateTitle();
    updateCount();
    // Typing starts a filter at once.
    m_text->setFocus();
}

HistoryWindow::~HistoryWindow() = default;

bool HistoryWindow::openFiles(const QStringList& paths) {
    bool any = false;
    QStringList errors;
    for (const QString& path : paths) {
        QString error;
        if (m_model->addFile(path, &error))
            any = true;
        else
            errors << error;
    }
    if (!errors.isEmpty())
        showMessage(errors.join(QLatin1Char('\n')));
    updateTitle();
    return any;
}

void HistoryWindow::followLogger(VOxaLogger* logger) {
    QPointer<VOxaLogger> guarded(logger);
    m_model->setLiveSource([guarded](int64_t maxBytes) {
        return guarded ? guarded->PendingRecords(maxBytes) : terminal::LogPending{};
    });
    // New records are looked at once they are handed over, not at the next tick.
    if (logger)
        connect(logger, &VOxaLogger::recordsQueued, m_model, &HistoryModel::lookSoon);
    updateTitle();
}

void HistoryWindow::setMainFilterSource(std::function<std::pair<QString, QString>()> source) {
    m_mainFilterSource = std::move(source);
    m_mainFilters->setEnabled(bool(m_mainFilterSource));
}

void HistoryWindow::updateTitle() {
    QStringList names;
    for (const QString& file : m_model->files())
        names << QFileInfo(file).fileName();
    setWindowTitle(names.isEmpty() ? tr("History") : tr("History — %1").arg(names.join(", ")));
}

void HistoryWindow::showMessage(const QString& text) {
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
    updateTitle();
}

void HistoryWindow::applyFilter() {
    FilterSpec query;
    if (m_mainFilters->isChecked()) {
        query.kind = FilterSpec::MainFilters;
        std::tie(query.filter1, query.filter2) = m_mainFilterSource();
    } else {
        query.kind = m_regex->isChecked() ? FilterSpec::Regex : FilterSpec::Text;
        query.text = m_text->text();
        query.matchCase = m_matchCase->isChecked();
    }
    FilterError error;
    if (!m_model->setFilter(query, &error)) {
        m_text->setStyleSheet(QStringLiteral("QLineEdit { background: #FFD8D8; }"));
        showMessage(error.position >= 0
                        ? tr("Not used: %1 (at position %2); the last good filter stays.")
                              .arg(error.what)
                              .arg(error.position + 1)
                        : tr("Not used: %1; the last good filter stays.").arg(error.what));
        return;
    }
    m_text->setStyleSheet(QString());
    if (m_message->text().startsWith(tr("Not used:")))
        showMessage(QString());
    updateCount();
}

void HistoryWindow::updateCount() {
    QString text;
    if (m_model->filtering()) {
        text = tr("%L1 matching lines").arg(m_model->matchCount());
        if (m_model->filterRunning())
            text += tr(" (%1 %)").arg(int(m_model->filterProgress() * 100));
    } else {
        text = tr("%L1 lines").arg(m_model->allRowCount());
    }
    if (!m_model->indexed() && m_model->totalBytes() > 0)
        text +=
            tr(", reading %1 %")
                .arg(int(100.0 * double(m_model->indexedBytes()) / double(m_model->totalBytes())));
    m_count->setText(text);
    m_cancel->setVisible(m_model->filterRunning());
}

void HistoryWindow::jumpToMatch(bool backward) {
    if (!m_model->filtering())
        return;
    const int64_t current = m_view->currentRow();
    if (m_model->onlyMatching()) {
        m_view->setCurrentRow(current < 0 ? (backward ? m_model->rowCount() - 1 : 0)
                                          : current + (backward ? -1 : 1));
        return;
    }
    const int64_t from =
        current >= 0 ? m_model->allRowOf(current) : (backward ? m_model->allRowCount() : -1);
    const int64_t next = m_model->nextMatch(from, backward);
    if (next >= 0)
        m_view->setCurrentRow(next, false);
}

void HistoryWindow::showInContext(int64_t row) {
    const int64_t all = m_model->allRowOf(row);
    m_only->setChecked(false);
    m_view->setCurrentRow(all, true);
    m_view->setFocus();
}

bool HistoryWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & Qt::ControlModifier)) {
            jumpToMatch(key->modifiers() & Qt::ShiftModifier);
            return true;
        }
        if (key->key() == Qt::Key_Down || key->key() == Qt::Key_PageDown ||
            key->key() == Qt::Key_Up || key->key() == Qt::Key_PageUp) {
            QApplication::sendEvent(m_view, event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void HistoryWindow::chooseFiles() {
    const QStringList files = QFileDialog::getOpenFileNames(this, tr("Open a log"), m_logFolder,
                                                            tr("Logs (*.log);;All files (*)"));
    if (files.isEmpty())
        return;
    auto* window = new HistoryWindow(parentWidget());
    window->setLogFolder(m_logFolder);
    window->setMainFilterSource(m_mainFilterSource);
    window->openFiles(files);
    window->show();
}

HistoryWindow* ShowLogHistory(QWidget* owner, VOxaLogger* logger,
                              std::function<std::pair<QString, QString>()> mainFilters) {
    const QString name = QStringLiteral("LogHistory");
    auto* window =
        owner ? owner->findChild<HistoryWindow*>(name, Qt::FindDirectChildrenOnly) : nullptr;
    if (!window) {
        window = new HistoryWindow(owner);
        window->setObjectName(name);
        if (logger) {
            window->setLogFolder(
                QFileInfo(logger->MakeFileName(QStringLiteral("x"))).absolutePath());
            window->followLogger(logger);
        }
        window->setMainFilterSource(std::move(mainFilters));
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

int RunLogViewer(const QStringList& files, const QString& logFolder) {
    auto* window = new HistoryWindow;
    window->setLogFolder(logFolder);
    QStringList chosen = files;
    if (chosen.isEmpty())
        chosen = QFileDialog::getOpenFileNames(nullptr, HistoryWindow::tr("Open a log"), logFolder,
                                               HistoryWindow::tr("Logs (*.log);;All files (*)"));
    if (chosen.isEmpty())
        return 0;
    window->openFiles(chosen);
    window->show();
    return QApplication::exec();
}

} // namespace history
