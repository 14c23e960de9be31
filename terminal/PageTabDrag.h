#pragma once
// Watches the tab bar of a page control for the tab of one page being
// dragged out of the page control, and reports where it was dropped. The
// page control has no drag of its own for this; the watch sees the press on
// the page's tab and the release outside the page control.
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>

class QTabBar;
class QTabWidget;
class QWidget;

class PageTabDrag : public QObject {
public:
    // dropped is called with the global drop point.
    PageTabDrag(QTabWidget* pages, QWidget* page, std::function<void(QPoint)> dropped);
    ~PageTabDrag() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QTabWidget> m_pages;
    // The bar is held on its own: the watch may end while the page control is
    // already being destroyed, when it is no longer a page control to ask.
    QPointer<QTabBar> m_bar;
    QPointer<QWidget> m_page;
    std::function<void(QPoint)> m_dropped;
    bool m_pressed = false;
    QPoint m_pressAt;
};
