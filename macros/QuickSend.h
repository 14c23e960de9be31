#pragma once
// The quick-send buttons: each has a label and a text, which is one line to
// send or a sequence (see Sequence.h). F1 to F12 press the first twelve. They
// are kept in the settings hive and can be exported to and imported from a
// text file:
//
//   # Dralvo quick-send buttons
//   @button Signal
//   AT+CSQ
//   @button Reset
//   AT+CFUN=1,1
//   wait 5000
//   AT
//   expect OK 2000
//   @end
#include <QByteArray>
#include <QString>
#include <vector>

#include "macros/Sequence.h"

namespace macros {

struct QuickSendButton {
    QString label;
    QString text;
    bool operator==(const QuickSendButton&) const = default;
};
using QuickSendButtons = std::vector<QuickSendButton>;

constexpr int kQuickSendKeys = 12;       // F1 to F12
constexpr int kMaxQuickSendButtons = 24; // what the bar shows
constexpr int kMaxLabelChars = 32;
constexpr int kMaxButtonTextChars = 65536;
constexpr qsizetype kMaxMacroFileBytes = 1 << 20;

// The buttons of a hive that has none yet.
QuickSendButtons DefaultQuickSendButtons();

// What is wrong with a button, naming it and the line of its text; empty
// when it can be saved and run (an empty text is an unused button).
QString CheckButton(const QuickSendButton& button, int index);

// The file form of buttons, and back. A file that is not text, is cut short
// (no @end), too large, or holds a button that CheckButton refuses gives no
// buttons and a message naming the line.
QByteArray FormatMacroFile(const QuickSendButtons& buttons);
QuickSendButtons ParseMacroFile(const QByteArray& bytes, QString* error);

// A button's text in one settings value (line breaks and backslashes
// escaped), and back.
QString EncodeButtonText(const QString& text);
QString DecodeButtonText(const QString& stored);

} // namespace macros
