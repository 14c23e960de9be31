#pragma once
// Finds the texts a window cuts off with the fonts of this machine: captions
// of labels, buttons, check boxes and group boxes, and the items of list-only
// combo boxes, each against the room its control has. Used by the window
// tests to check that every text fits.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QWidget>

namespace testsupport {

inline QString describe(const QWidget* w, const QString& text, int need, int have) {
    return QStringLiteral("%1 \"%2\": needs %3 px, has %4")
        .arg(w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                       : w->objectName(),
             text)
        .arg(need)
        .arg(have);
}

// Each text of window (and its visible children) that does not fit, described.
inline QStringList ClippedTexts(const QWidget* window) {
    QStringList clipped;
    for (const QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || w->width() <= 0)
            continue;
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            if (label->text().isEmpty() || label->wordWrap() || label->textFormat() == Qt::RichText)
                continue;
            const int need = label->fontMetrics().horizontalAdvance(label->text());
            const int have = label->contentsRect().width() - 2 * label->margin();
            if (need > have)
                clipped << describe(w, label->text(), need, have);
        } else if (const auto* push = qobject_cast<const QPushButton*>(w)) {
            if (push->text().isEmpty())
                continue;
            // The text and the style's margins (the style's wish for at least
            // 80 pixels is no text of the button).
            const QStyle* style = push->style();
            const int margins = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, push) +
                                2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, push);
            const QSize text = push->fontMetrics().size(Qt::TextShowMnemonic, push->text());
            if (text.width() + margins > push->width() || text.height() > push->height())
                clipped << describe(w, push->text(), text.width() + margins, push->width());
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            if (button->text().isEmpty())
                continue;
            const QSize need = button->sizeHint();
            if (need.width() > button->width() || need.height() > button->height())
                clipped << describe(w, button->text(), need.width(), button->width());
        } else if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
            if (combo->isEditable() || combo->count() == 0)
                continue;
            const int need = combo->sizeHint().width();
            if (need > combo->width())
                clipped << describe(w, combo->itemText(0), need, combo->width());
        } else if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
            if (group->title().isEmpty())
                continue;
            QStyleOptionGroupBox option;
            option.initFrom(group);
            option.text = group->title();
            option.subControls = QStyle::SC_GroupBoxLabel;
            const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                               QStyle::SC_GroupBoxLabel, group);
            if (title.right() >= group->width())
                clipped << describe(w, group->title(), title.right() + 1, group->width());
        }
    }
    return clipped;
}

} // namespace testsupport
