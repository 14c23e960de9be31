#pragma once
// Border traits of a form shared by the placement and the scaling correction.
class QWidget;

namespace appinfo {

// False for a frameless window.
bool hasBorder(const QWidget* form);
// A border the user can drag: not frameless, not a fixed-size dialog, and not
// held at one size by equal minimum and maximum.
bool isSizeable(const QWidget* form);

} // namespace appinfo
