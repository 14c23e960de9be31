#include "widgets/FormPlacement.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {
bool haveGuiApplication() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}
} // namespace

bool GetWorkArea(QRect& rect, bool primaryOnly) {
    QScreen* primary = haveGuiApplication() ? QGuiApplication::primaryScreen() : nullptr;
    if (primaryOnly) {
        if (!primary)
            return false;
        rect = primary->availableGeometry();
        return true;
    }
    rect = primary ? primary->availableGeometry() : QRect(0, 0, 640, 480);
    bool any = primary != nullptr;
    if (haveGuiApplication()) {
        for (QScreen* screen : QGuiApplication::screens()) {
            rect = rect.united(screen->availableGeometry());
            any = true;
        }
    }
    return any;
}

QRect KeepRectOnScreen(QRect form, const QRect& area) {
    if (form.width() > area.width())
        form.setWidth(area.width());
    if (form.height() > area.height())
        form.setHeight(area.height());
    // Right and bottom edges counted exclusively, as left + width.
    if (form.x() + form.width() > area.x() + area.width())
        form.moveLeft(area.x() + area.width() - form.width());
    if (form.y() + form.height() > area.y() + area.height())
        form.moveTop(area.y() + area.height() - form.height());
    if (form.x() < area.x())
        form.moveLeft(area.x());
    if (form.y() < area.y())
        form.moveTop(area.y());
    return form;
}

QPoint CenteredTopLeft(const QSize& form, const QPoint& center) {
    // Integer division rounds toward zero, as the halves should.
    return QPoint(center.x() - form.width() / 2, center.y() - form.height() / 2);
}

void KeepFormOnScreen(QWidget* form, bool primaryOnly) {
    // A window here has no preferred-monitor setting to clear: its screen
    // follows its position.
    QRect area;
    if (!form || !GetWorkArea(area, primaryOnly))
        return;
    const QRect frame = form->frameGeometry();
    const QRect fitted = KeepRectOnScreen(frame, area);
    if (fitted.size() != frame.size()) {
        // The frame is larger than the client area by the decoration.
        const QSize client = form->size();
        form->resize(client.width() - (frame.width() - fitted.width()),
                     client.height() - (frame.height() - fitted.height()));
    }
    if (fitted.topLeft() != frame.topLeft())
        form->move(fitted.topLeft());
}

void CenterForm(QWidget* form, QWidget* reference, bool primaryOnly) {
    if (!form)
        return;
    QPoint center(320, 240);
    QRect area;
    if (reference) {
        const QRect r = reference->frameGeometry();
        center = QPoint(r.x() + r.width() / 2, r.y() + r.height() / 2);
    } else if (GetWorkArea(area, primaryOnly)) {
        center = QPoint(area.x() + area.width() / 2, area.y() + area.height() / 2);
    }
    form->move(CenteredTopLeft(form->frameGeometry().size(), center));
    KeepFormOnScreen(form, false);
}

QWidget* OwnerForm(QObject* component) {
    for (QObject* o = component; o; o = o->parent())
        if (auto* widget = qobject_cast<QWidget*>(o); widget && widget->isWindow())
            return widget;
    return nullptr;
}
