#pragma once
// Helpers for combo boxes (user-interface thread only).
#include <QColor>
#include <QString>

class QComboBox;

// Selects the item with the text (an exact match first, then any letter case);
// an editable box without such an item shows the text. False when a box that
// is not editable has no such item.
bool SelectComboItem(QComboBox* combo, const QString& text);

// The box's font colour; changing it keeps the text and its selection.
void SetComboFontColor(QComboBox* combo, QColor color);
QColor ComboFontColor(const QComboBox* combo);
