#include "util/Timer.h"

#include <limits>

Timer::Timer(QObject* owner) : TComponent(owner) {
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (OnTimer)
            OnTimer(this);
    });
    update();
}

void Timer::SetInterval(uint32_t ms) {
    if (ms == m_interval)
        return;
    m_interval = ms;
    update();
}

void Timer::SetEnabled(bool enabled) {
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    update();
}

void Timer::Loaded() {
    TComponent::Loaded();
    update();
}

void Timer::update() {
    m_timer.stop();
    if (!m_enabled || m_interval == 0 || IsLoading())
        return;
    const uint32_t capped = std::min<uint32_t>(m_interval, std::numeric_limits<int>::max());
    m_timer.start(int(capped));
}
