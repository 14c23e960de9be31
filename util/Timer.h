#pragma once
#include <QTimer>
#include <cstdint>
#include <functional>

#include "util/Component.h"

// A timer with the classic component rules, which differ from QTimer:
// - an interval of 0 never fires;
// - assigning the interval it already has, or enabling a running timer, keeps
//   the running period;
// - a new interval, or disabling and enabling again, starts a fresh period.
class Timer : public TComponent {
    Q_OBJECT
public:
    explicit Timer(QObject* owner = nullptr);

    uint32_t Interval() const { return m_interval; }
    void SetInterval(uint32_t ms);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    // True while a period is actually running (enabled, interval above 0, loaded).
    bool IsRunning() const { return m_timer.isActive(); }

    std::function<void(Timer* sender)> OnTimer;

    void Loaded() override;

private:
    void update();

    QTimer m_timer;
    uint32_t m_interval = 1000;
    bool m_enabled = true;
};
