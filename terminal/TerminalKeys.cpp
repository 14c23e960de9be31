#include "terminal/TerminalKeys.h"

namespace terminal {

KeyAction ClassifyKey(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    const Qt::KeyboardModifiers mods =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool ctrlOrAlt = mods & (Qt::ControlModifier | Qt::AltModifier);
    if (mods == Qt::NoModifier) {
        switch (key) {
        case Qt::Key_PageUp:
            return KeyAction::PageUp;
        case Qt::Key_PageDown:
            return KeyAction::PageDown;
        case Qt::Key_Up:
            return KeyAction::LineUp;
        case Qt::Key_Down:
            return KeyAction::LineDown;
        case Qt::Key_Backspace:
            return KeyAction::Backspace;
        default:
            break;
        }
    }
    if (key == Qt::Key_F3 && !ctrlOrAlt)
        return mods & Qt::ShiftModifier ? KeyAction::FindPrevious : KeyAction::FindNext;
    if (key == Qt::Key_F && mods == Qt::ControlModifier)
        return KeyAction::Find;
    if (key == Qt::Key_H && mods == Qt::ControlModifier)
        return KeyAction::History;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !ctrlOrAlt)
        return KeyAction::Enter;
    if (key == Qt::Key_Z && (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier))
        return KeyAction::CtrlZ;
    if (key == Qt::Key_Escape)
        return KeyAction::Escape;
    // A character the operator types: no shortcut, no control character.
    if (text.isEmpty() || ctrlOrAlt || (mods & Qt::MetaModifier))
        return KeyAction::None;
    const char16_t first = text.at(0).unicode();
    if (first < 0x20 || first == 0x7F)
        return KeyAction::None;
    return first == u' ' ? KeyAction::Blank : KeyAction::Character;
}

} // namespace terminal
