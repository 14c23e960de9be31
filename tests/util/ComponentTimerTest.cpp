#include "util/Component.h"
#include "util/OxaUtils.h"
#include "util/Timer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

class Recorder : public TComponent {
public:
    Recorder(QObject* owner, std::vector<QString>* log, const char* name)
        : TComponent(owner), m_log(log) {
        SetName(QString::fromLatin1(name));
    }
    void Loaded() override {
        TComponent::Loaded();
        m_log->push_back(Name());
    }

private:
    std::vector<QString>* m_log;
};

// Runs the event loop with a 200 ms period timer, applies change after 100 ms
// and returns how long after the change the first OnTimer came (-1: none
// within a second).
qint64 fireDelayAfter(const std::function<void(Timer&)>& change) {
    Timer timer;
    timer.SetInterval(200);
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 changedAt = -1, firedAt = -1;
    timer.OnTimer = [&](Timer*) {
        if (firedAt < 0 && changedAt >= 0)
            firedAt = clock.elapsed();
        loop.quit();
    };
    clock.start();
    timer.SetEnabled(false);
    timer.SetEnabled(true); // period starts now
    QTimer::singleShot(100, Qt::PreciseTimer, &loop, [&] {
        changedAt = clock.elapsed();
        change(timer);
    });
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    return firedAt < 0 ? -1 : firedAt - changedAt;
}

} // namespace

TEST(Component, LoadingFlagsOfDirectlyOwnedComponents) {
    std::vector<QString> log;
    QObject owner;
    auto* a = new Recorder(&owner, &log, "a");
    new QObject(&owner); // not a component: skipped
    auto* b = new Recorder(&owner, &log, "b");
    auto* grandchild = new Recorder(a, &log, "a1");

    TComponent::BeginLoadingAll(&owner);
    EXPECT_TRUE(a->IsLoading());
    EXPECT_TRUE(b->IsLoading());
    EXPECT_FALSE(grandchild->IsLoading());

    b->Loaded(); // finished early: not loaded twice
    log.clear();
    TComponent::LoadedAll(&owner);
    EXPECT_EQ(log, std::vector<QString>({"a"}));
    EXPECT_FALSE(a->IsLoading());
    EXPECT_EQ(a->Owner(), &owner);
    EXPECT_EQ(a->Name(), QStringLiteral("a"));
}

TEST(Timer, ZeroIntervalDisabledAndLoadingNeverRun) {
    Timer timer;
    int fired = 0;
    timer.OnTimer = [&](Timer* sender) {
        EXPECT_EQ(sender, &timer);
        ++fired;
    };
    timer.SetInterval(0);
    EXPECT_FALSE(timer.IsRunning());

    Timer disabled;
    disabled.OnTimer = timer.OnTimer;
    disabled.SetInterval(30);
    disabled.SetEnabled(false);

    Timer loading;
    loading.OnTimer = [&](Timer*) { ++fired; };
    loading.BeginLoading();
    loading.SetInterval(30);
    EXPECT_FALSE(loading.IsRunning());

    QEventLoop loop;
    QTimer::singleShot(150, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(fired, 0);

    loading.Loaded();
    EXPECT_TRUE(loading.IsRunning());
    EXPECT_EQ(loading.Interval(), 30u);
}

TEST(Timer, SameIntervalOrEnablingKeepsTheRunningPeriod) {
    // Kept, the period ends 100 ms after the change; restarted it would be 200 ms.
    const qint64 sameInterval = fireDelayAfter([](Timer& t) { t.SetInterval(200); });
    EXPECT_GE(sameInterval, 0);
    EXPECT_LT(sameInterval, 170);
    const qint64 enabledAgain = fireDelayAfter([](Timer& t) { t.SetEnabled(true); });
    EXPECT_GE(enabledAgain, 0);
    EXPECT_LT(enabledAgain, 170);
}

TEST(Timer, NewIntervalOrStopThenStartRestartsThePeriod) {
    const qint64 newInterval = fireDelayAfter([](Timer& t) { t.SetInterval(190); });
    EXPECT_GE(newInterval, 188);
    const qint64 stopStart = fireDelayAfter([](Timer& t) {
        t.SetEnabled(false);
        t.SetEnabled(true);
    });
    EXPECT_GE(stopStart, 198);
}

TEST(DebugNotify, SilentUnlessSwitchedOnAndAskedForInTheEnvironment) {
    const bool saved = debugNotifyEnabled;
    unsetenv("DRALVO_DEBUG");
    debugNotifyEnabled = true;
    testing::internal::CaptureStderr();
    DebugNotify(QStringLiteral("hidden"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    setenv("DRALVO_DEBUG", "1", 1);
    debugNotifyEnabled = false;
    testing::internal::CaptureStderr();
    DebugNotify(QStringLiteral("hidden"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    debugNotifyEnabled = true;
    testing::internal::CaptureStderr();
    DebugNotify(QStringLiteral("Undefined NewFileStyle"));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Undefined NewFileStyle"),
              std::string::npos);
    unsetenv("DRALVO_DEBUG");
    debugNotifyEnabled = saved;
}
