// Placement of the terminal window: floating bounds, docking as a page of a
// page control, visibility, the taskbar option and what its close button does.
//
// A docked window is a child widget on a page of the page control; it carries
// the dynamic properties of the application-info component so that placement
// saving keeps treating it as a form and stores its floating size.
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QMetaObject>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>
#include <QWindow>

#include "appinfo/VOxaAppInfo.h"
#include "terminal/PageTabDrag.h"
#include "terminal/TerminalDisplay.h"
#include "terminal/TerminalWindow.h"
#include "terminal/VOxaTerminal.h"
#include "util/OxaUtils.h"
#include "widgets/FormPlacement.h"

// ---- helpers ------------------------------------------------------------------------------

QWidget* VOxaTerminal::ownerWindow() const {
    auto* owner = qobject_cast<QWidget*>(Owner());
    return owner ? owner->window() : nullptr;
}

QTabWidget* VOxaTerminal::dockSite() const {
    if (!m_form || m_form->isWindow())
        return nullptr;
    // A page of a tab widget sits in the tab widget's stack.
    QWidget* stack = m_form->parentWidget();
    auto* pages = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
    return pages && pages->indexOf(m_form) >= 0 ? pages : nullptr;
}

bool VOxaTerminal::isFloating() const {
    return m_form && m_form->isWindow();
}

void VOxaTerminal::rememberFloatingBounds() {
    if (!isFloating())
        return;
    m_formLeft = m_form->x();
    m_formTop = m_form->y();
    m_formWidth = m_form->width();
    m_formHeight = m_form->height();
}

// ---- docking --------------------------------------------------------------------------------

bool VOxaTerminal::Docked() {
    // While the owner is being loaded the window has not been placed yet;
    // the stored value is what counts then.
    if (m_form && !IsLoading())
        m_docked = !isFloating();
    return m_docked;
}

void VOxaTerminal::SetDocked(bool value) {
    if (value == m_docked)
        return;
    m_docked = value;
    ApplyDocking();
}

void VOxaTerminal::SetParentPageControl(QTabWidget* value) {
    if (value == m_parentPageControl)
        return;
    m_parentPageControl = value;
    ApplyDocking();
}

void VOxaTerminal::ApplyDocking() {
    if (!m_form || (IsLoading() && !m_destroying))
        return;
    if (m_parentPageControl && m_docked)
        dockInto(m_parentPageControl);
    else if (!isFloating())
        undock();
    m_form->BtnUndock()->setEnabled(!isFloating());
}

void VOxaTerminal::dockInto(QTabWidget* pages) {
    if (dockSite() == pages)
        return;
    QSize undockedSize(m_formWidth, m_formHeight);
    if (isFloating()) {
        rememberFloatingBounds();
        undockedSize = QSize(m_formWidth, m_formHeight);
        m_form->setWindowState(m_form->windowState() &
                               ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    } else if (const QVariant v = m_form->property(UndockedSizeProperty); v.isValid()) {
        undockedSize = v.toSize(); // moving from one page control to another
    }
    m_form->setProperty(DockedFormProperty, true);
    m_form->setProperty(UndockedSizeProperty, undockedSize);
    // The page control takes the window as a page and makes it fill the page.
    const int index = pages->addTab(m_form, m_form->windowTitle());
    pages->setCurrentIndex(index);
    m_form->setVisible(true);
    applyFormVisible();
    // Dragging the page's tab out of the page control floats the window there.
    m_tabDrag = std::make_unique<PageTabDrag>(pages, m_form, [this](QPoint at) {
        QMetaObject::invokeMethod(
            this, [this, at] { tabDropped(at); }, Qt::QueuedConnection);
    });
    dockingEnded();
}

void VOxaTerminal::tabDropped(QPoint at) {
    if (!m_form || isFloating())
        return;
    m_formLeft = at.x();
    m_formTop = at.y();
    SetDocked(false);
    if (isFloating() && m_showOnTaskbar)
        ApplyTaskbarStyle(true);
}

void VOxaTerminal::formMoveEnded() {
    // A floating window dropped on its dock site goes in: the pointer, which
    // dragged the window by its title bar, is over both. A move the program
    // made itself is no drop.
    if (!isFloating() || IsLoading() || m_destroying || !m_parentPageControl ||
        !m_parentPageControl->isVisible() || m_form->pos() == m_placedAt)
        return;
    const QPoint pointer = QCursor::pos();
    const QRect site(m_parentPageControl->mapToGlobal(QPoint(0, 0)), m_parentPageControl->size());
    if (site.contains(pointer) && m_form->frameGeometry().contains(pointer))
        SetDocked(true);
}

void VOxaTerminal::notePlacement() {
    if (isFloating())
        m_placedAt = m_form->pos();
}

void VOxaTerminal::undock() {
    const bool wasShown = m_form->isVisible();
    if (const QVariant v = m_form->property(UndockedSizeProperty); v.isValid()) {
        m_formWidth = v.toSize().width();
        m_formHeight = v.toSize().height();
    }
    m_tabDrag.reset();
    if (QTabWidget* pages = dockSite())
        pages->removeTab(pages->indexOf(m_form));
    m_form->setProperty(DockedFormProperty, QVariant());
    m_form->setProperty(UndockedSizeProperty, QVariant());
    // Out of the page as a hidden window of its own; the taskbar option then
    // decides what kind of window it is.
    m_form->setParent(nullptr, Qt::Window);
    if (m_destroying)
        return; // the window is about to go
    applyFloatingStyle();
    m_form->resize(m_formWidth, m_formHeight);
    m_form->move(m_formLeft, m_formTop);
    notePlacement();
    if (wasShown || m_visible) {
        m_visible = true;
        m_form->show();
    }
    dockingEnded();
}

void VOxaTerminal::dockingEnded() {
    if (!m_form)
        return;
    m_form->BtnUndock()->setEnabled(!isFloating());
    if (isFloating() && m_showOnTaskbar)
        ApplyTaskbarStyle(true);
}

void VOxaTerminal::UndockClick() {
    SetDocked(false);
    QCoreApplication::processEvents();
    if (isFloating() && m_showOnTaskbar)
        ApplyTaskbarStyle(true);
}

// ---- taskbar --------------------------------------------------------------------------------

void VOxaTerminal::applyFloatingStyle() {
    if (!isFloating())
        return;
    // Without an owner window there is nothing to be a tool window of.
    QWidget* parent = m_showOnTaskbar ? nullptr : ownerWindow();
    if (parent == m_form)
        parent = nullptr;
    const Qt::WindowType type = parent ? Qt::Tool : Qt::Window;
    if (m_form->parentWidget() == parent && m_form->windowType() == type &&
        m_form->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == m_formOnTop)
        return;
    const QPoint pos = m_form->pos();
    const QSize size = m_form->size();
    const bool wasShown = m_form->isVisible();
    const Qt::WindowStates state = m_form->windowState();
    Qt::WindowFlags flags = type;
    if (m_formOnTop)
        flags |= Qt::WindowStaysOnTopHint;
    m_form->setParent(parent, flags);
    m_form->resize(size);
    m_form->move(pos);
    notePlacement();
    m_form->setWindowState(state);
    if (wasShown)
        m_form->show();
}

void VOxaTerminal::ApplyTaskbarStyle(bool reactivate) {
    if (IsLoading() || m_destroying || !isFloating())
        return;
    const bool wasActive = m_form->isActiveWindow();
    QPointer<QWidget> otherActive = wasActive ? nullptr : QApplication::activeWindow();
    applyFloatingStyle();
    // A window that changed between top-level and tool window is a new window
    // to the window manager: give the activation back to whoever had it.
    if (wasActive) {
        if (reactivate)
            QCoreApplication::processEvents();
        if (m_form && m_form->isVisible())
            m_form->activateWindow();
    } else if (otherActive && otherActive != m_form) {
        otherActive->activateWindow();
    }
}

void VOxaTerminal::SetShowOnTaskbar(bool value) {
    if (value == m_showOnTaskbar)
        return;
    m_showOnTaskbar = value;
    ApplyTaskbarStyle(false);
}

void VOxaTerminal::formActivated() {
    // Keep the window kind in line with the option; changing it here, inside
    // the activation, would pull the window away under the event.
    if (isFloating() && !IsLoading())
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_destroying)
                    applyFloatingStyle();
            },
            Qt::QueuedConnection);
}

void VOxaTerminal::watchApplicationState() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    connect(app, &QGuiApplication::focusWindowChanged, this, [this](QWindow*) {
        if (QWidget* active = QApplication::activeWindow())
            m_lastActiveWindow = active;
    });
    connect(app, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive) {
                    m_activeAtDeactivate = m_lastActiveWindow;
                    return;
                }
                // A floating window with its own taskbar entry would otherwise
                // keep the focus although the user came back to the program.
                QWidget* focus = QApplication::focusWidget();
                QWidget* owner = ownerWindow();
                if (m_form && m_activeAtDeactivate == m_form && focus &&
                    m_form->isAncestorOf(focus) && m_showOnTaskbar && owner) {
                    owner->activateWindow();
                    owner->setFocus();
                }
            });
}

// ---- floating bounds --------------------------------------------------------------------------

int VOxaTerminal::FormLeft() {
    if (isFloating())
        m_formLeft = m_form->x();
    return m_formLeft;
}

void VOxaTerminal::SetFormLeft(int value) {
    m_formLeft = value;
    if (m_form && (IsLoading() || isFloating())) {
        m_form->move(value, m_form->y());
        notePlacement();
    }
}

int VOxaTerminal::FormTop() {
    if (isFloating())
        m_formTop = m_form->y();
    return m_formTop;
}

void VOxaTerminal::SetFormTop(int value) {
    m_formTop = value;
    if (m_form && (IsLoading() || isFloating())) {
        m_form->move(m_form->x(), value);
        notePlacement();
    }
}

int VOxaTerminal::FormWidth() {
    if (isFloating())
        m_formWidth = m_form->width();
    else if (const QVariant v = m_form ? m_form->property(UndockedSizeProperty) : QVariant();
             v.isValid())
        m_formWidth = v.toSize().width();
    return m_formWidth;
}

void VOxaTerminal::SetFormWidth(int value) {
    m_formWidth = value;
    if (isFloating())
        m_form->resize(value, m_form->height());
    else if (m_form)
        m_form->setProperty(UndockedSizeProperty, QSize(value, FormHeight()));
}

int VOxaTerminal::FormHeight() {
    if (isFloating())
        m_formHeight = m_form->height();
    else if (const QVariant v = m_form ? m_form->property(UndockedSizeProperty) : QVariant();
             v.isValid())
        m_formHeight = v.toSize().height();
    return m_formHeight;
}

void VOxaTerminal::SetFormHeight(int value) {
    m_formHeight = value;
    if (isFloating())
        m_form->resize(m_form->width(), value);
    else if (m_form)
        m_form->setProperty(UndockedSizeProperty, QSize(FormWidth(), value));
}

void VOxaTerminal::formResized() {
    if (!IsLoading() && !m_destroying)
        rememberFloatingBounds();
}

void VOxaTerminal::fitIntoWorkArea() {
    if (isFloating()) {
        KeepFormOnScreen(m_form, false);
        return;
    }
    // Docked: fit the bounds it will float at.
    QRect area;
    if (!GetWorkArea(area, false))
        return;
    const QRect fitted =
        KeepRectOnScreen(QRect(m_formLeft, m_formTop, FormWidth(), FormHeight()), area);
    m_formLeft = fitted.x();
    m_formTop = fitted.y();
    SetFormWidth(fitted.width());
    SetFormHeight(fitted.height());
}

// ---- visibility ---------------------------------------------------------------------------------

bool VOxaTerminal::Visible() {
    // A floating window has a visibility of its own; a docked one is shown
    // or hidden with its page.
    if (isFloating() && !IsLoading())
        m_visible = m_form->isVisible();
    return m_visible;
}

void VOxaTerminal::SetVisible(bool value) {
    if (value == Visible())
        return;
    m_visible = value;
    if (m_form && !IsLoading())
        applyFormVisible();
}

void VOxaTerminal::applyFormVisible() {
    if (isFloating()) {
        m_form->setVisible(m_visible);
        return;
    }
    QTabWidget* pages = dockSite();
    if (!pages)
        return;
    const int index = pages->indexOf(m_form);
    pages->setTabVisible(index, m_visible);
    if (m_visible)
        pages->setCurrentIndex(index);
}

// ---- closing and destruction ------------------------------------------------------------------

void VOxaTerminal::formCloseRequested(QCloseEvent* event) {
    switch (m_termCloseAction) {
    case trmcaDock:
        // The window stays open; with a page control it goes back into it.
        event->ignore();
        SetDocked(true);
        break;
    case trmcaHide:
        event->accept();
        m_visible = false;
        break;
    case trmcaFree:
        // The terminal forgets the window when it is destroyed and goes on
        // logging without a display.
        event->accept();
        m_form->deleteLater();
        break;
    case trmcaMinimize:
        event->ignore();
        m_form->showMinimized();
        break;
    }
}

void VOxaTerminal::destroyWindow() {
    m_destroying = true;
    SetParentPageControl(nullptr); // takes the window out of its page
    if (m_form) {
        TerminalWindow* form = m_form;
        disconnect(form, nullptr, this, nullptr);
        forgetWindow();
        delete form;
    }
}
