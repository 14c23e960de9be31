#include "widgets/ComboBoxes.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPalette>

bool SelectComboItem(QComboBox* combo, const QString& text) {
    int found = -1;
    for (int i = combo->count() - 1; i >= 0 && found < 0; --i)
        if (combo->itemText(i) == text)
            found = i;
    for (int i = combo->count() - 1; i >= 0 && found < 0; --i)
        if (combo->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            found = i;

    const bool editable = combo->isEditable();
    if (found >= 0 || text.isEmpty() || editable)
        combo->setCurrentIndex(found);
    if (found < 0) {
        if (!editable)
            return false;
        combo->setEditText(text);
    }
    return true;
}

QColor ComboFontColor(const QComboBox* combo) {
    return combo->palette().color(QPalette::Text);
}

void SetComboFontColor(QComboBox* combo, QColor color) {
    if (ComboFontColor(combo) == color)
        return;
    // Changing the look must not disturb what the user is typing.
    QLineEdit* edit = combo->lineEdit();
    const QString text = combo->currentText();
    const int selStart = edit ? edit->selectionStart() : -1;
    const int selLength = edit ? int(edit->selectedText().size()) : 0;
    QPalette palette = combo->palette();
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    combo->setPalette(palette);
    if (edit) {
        if (edit->text() != text)
            edit->setText(text);
        if (selStart >= 0)
            edit->setSelection(selStart, selLength);
    }
}
