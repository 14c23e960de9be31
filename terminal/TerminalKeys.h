#pragma once
// What a key press means to the terminal window, before it is known which
// control has the focus. The window's handler for each control then decides
// what the action does there (or leaves the key to the control).
#include <QString>
#include <Qt>

namespace terminal {

enum class KeyAction {
    None,         // not one of the window's keys: the control handles it
    Enter,        // Return or Enter, Shift allowed
    CtrlZ,        // character 26
    Escape,       // character 27
    Backspace,    // without modifiers
    Blank,        // the space bar, without Ctrl or Alt
    Character,    // any other character the operator types
    PageUp,       // the navigation keys, only without Shift, Ctrl and Alt
    PageDown,     //
    LineUp,       // Arrow Up
    LineDown,     // Arrow Down
    Find,         // Ctrl+F
    FindNext,     // F3
    FindPrevious, // Shift+F3
    History,      // Ctrl+H: the history of the whole log
};

KeyAction ClassifyKey(int key, Qt::KeyboardModifiers modifiers, const QString& text);

} // namespace terminal
