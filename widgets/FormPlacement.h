#pragma once
// Keeping windows on the screen's work area and centring them (user-interface
// thread only).
#include <QPoint>
#include <QRect>
#include <QSize>

class QObject;
class QWidget;

bool GetWorkArea(QRect& rect, bool primaryOnly);
void KeepFormOnScreen(QWidget* form, bool primaryOnly);
void CenterForm(QWidget* form, QWidget* reference, bool primaryOnly);
QWidget* OwnerForm(QObject* component);
// The placement arithmetic behind KeepFormOnScreen and CenterForm, free of widgets:
// a form larger than the area is shrunk to it, then moved until it lies inside.
QRect KeepRectOnScreen(QRect form, const QRect& area);
// The top-left corner that puts the centre of a form of the given size on center.
QPoint CenteredTopLeft(const QSize& form, const QPoint& center);
