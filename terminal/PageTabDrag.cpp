#include "terminal/PageTabDrag.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTabBar>
#include <QTabWidget>

PageTabDrag::PageTabDrag(QTabWidget* pages, QWidget* page, std::function<void(QPoint)> dropped)
    : m_pages(pages), m_bar(pages->tabBar()), m_page(page), m_dropped(std::move(dropped)) {
    m_bar->installEventFilter(this);
}

PageTabDrag::~PageTabDrag() {
    if (m_bar)
        m_bar->removeEventFilter(this);
}

bool PageTabDrag::eventFilter(QObject*, QEvent* event) {
    if (m_pages.isNull() || !m_bar || !m_page)
        return false;
    QTabBar* bar = m_bar;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const int tab = bar->tabAt(mouse->position().toPoint());
        m_pressed =
            mouse->button() == Qt::LeftButton && tab >= 0 && m_pages->widget(tab) == m_page.data();
        m_pressAt = mouse->globalPosition().toPoint();
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_pressed || mouse->button() != Qt::LeftButton)
            break;
        m_pressed = false;
        const QPoint at = mouse->globalPosition().toPoint();
        const QRect site(m_pages->mapToGlobal(QPoint(0, 0)), m_pages->size());
        if (!site.contains(at) &&
            (at - m_pressAt).manhattanLength() >= QApplication::startDragDistance())
            m_dropped(at); // may end this watch
        return false;
    }
    default:
        break;
    }
    return false;
}
