#include "terminal/QuickSendBar.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

QuickSendBar::QuickSendBar(QWidget* parent) : QWidget(parent) {
    m_grid = new QGridLayout(this);
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setHorizontalSpacing(2);
    m_grid->setVerticalSpacing(1);
    m_edit = new QPushButton(tr("Edit ..."), this);
    m_edit->setToolTip(tr("Edit the quick-send buttons and the reactions to received lines"));
    m_stop = new QPushButton(tr("Stop"), this);
    m_stop->setToolTip(tr("Stop the running sequence"));
    m_stop->setEnabled(false);
    m_status = new QLabel(this);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QPushButton* b : {m_edit, m_stop})
        b->setAutoDefault(false);
    connect(m_edit, &QPushButton::clicked, this, &QuickSendBar::editRequested);
    connect(m_stop, &QPushButton::clicked, this, &QuickSendBar::stopRequested);
    setButtons({}, {});
    setStatus(QString(), false);
}

void QuickSendBar::setButtons(const QStringList& labels, const QStringList& hints) {
    for (QPushButton* b : m_buttons)
        delete b;
    m_buttons.clear();
    for (int i = 0; i < labels.size(); ++i) {
        auto* b = new QPushButton(labels[i], this);
        b->setObjectName(QStringLiteral("QuickSend%1").arg(i + 1));
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::NoFocus); // pressing one leaves the focus where it was
        b->setMinimumWidth(20);
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        if (i < hints.size())
            b->setToolTip(hints[i]);
        connect(b, &QPushButton::clicked, this, [this, i] { emit pressed(i); });
        m_grid->addWidget(b, i / Columns, i % Columns);
        m_buttons.push_back(b);
    }
    const int rows = std::max(2, (int(labels.size()) + Columns - 1) / Columns);
    m_grid->addWidget(m_edit, 0, Columns);
    m_grid->addWidget(m_stop, 1, Columns);
    m_grid->addWidget(m_status, rows, 0, 1, Columns + 1);
    for (int c = 0; c < Columns; ++c)
        m_grid->setColumnStretch(c, 1);
}

void QuickSendBar::setStatus(const QString& text, bool running) {
    m_status->setText(text);
    m_status->setToolTip(text);
    m_stop->setEnabled(running);
}

QString QuickSendBar::status() const {
    return m_status->text();
}
