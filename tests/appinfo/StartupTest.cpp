#include "appinfo/VOxaAppInfo.h"
#include "platform/Ticks.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

class TestAppInfo : public VOxaAppInfo {
public:
    using VOxaAppInfo::VOxaAppInfo;
    bool MessageLoopRunning() const override { return loopRunning; }
    using VOxaAppInfo::StartupTimerTick;
    bool loopRunning = false;
};

// A form whose own show handling is logged next to the component's event.
class LoggingForm : public QWidget {
public:
    QStringList* log = nullptr;

protected:
    void showEvent(QShowEvent* e) override {
        log->append("form shown");
        QWidget::showEvent(e);
    }
};

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setTickSource([this] { return now; });
    }
    void TearDown() override {
        platform::setTickSource({});
        VOxaAppInfo::UnregisterClass("TfrmSplash");
        VOxaAppInfo::UnregisterClass("TStringList");
    }
    uint32_t now = 1000;
};

} // namespace

TEST_F(StartupTest, PhaseEndsOnFirstTickOnceTheLoopRunsAndNotWhileInhibited) {
    TestAppInfo info;
    int fired = 0;
    info.OnApplRunning = [&](QObject* sender) {
        EXPECT_EQ(sender, &info);
        ++fired;
    };
    info.Loaded();
    EXPECT_FALSE(info.IsApplicationRunning());
    info.StartupTimerTick(); // the message loop has not started
    EXPECT_FALSE(info.IsApplicationRunning());
    info.loopRunning = true;
    info.SetInhibitApplRunning(true);
    info.StartupTimerTick();
    EXPECT_FALSE(info.IsApplicationRunning());
    EXPECT_EQ(fired, 0);
    info.SetInhibitApplRunning(false);
    info.StartupTimerTick();
    EXPECT_TRUE(info.IsApplicationRunning());
    EXPECT_EQ(fired, 1);
    info.StartupTimerTick();
    EXPECT_EQ(fired, 1);
}

TEST_F(StartupTest, TheRealTimerEndsThePhaseInsideTheEventLoop) {
    VOxaAppInfo info;
    bool fired = false;
    info.OnApplRunning = [&](QObject*) {
        fired = true;
        QCoreApplication::exit(0);
    };
    // A safety net only, gone with the test: its exit must not reach a later one.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(fired);
    EXPECT_TRUE(info.IsApplicationRunning());
}

TEST_F(StartupTest, OwnerFirstShowFiresOnceBeforeTheFormsOwnHandler) {
    QStringList log;
    LoggingForm form;
    form.log = &log;
    auto* info = new TestAppInfo(&form);
    info->OnOwnerFirstShow = [&](QObject* sender) {
        EXPECT_EQ(sender, info);
        log.append("first show");
    };
    info->BeginLoading();
    info->Loaded();
    form.show();
    form.hide();
    form.show();
    EXPECT_EQ(log, (QStringList{"first show", "form shown", "form shown"}));
}

TEST_F(StartupTest, SplashFormStaysItsMinimumTimeThenTheOwnerAppears) {
    QWidget* splash = nullptr;
    VOxaAppInfo::RegisterFormClass("TfrmSplash", [&](QObject*) {
        splash = new QWidget;
        splash->setObjectName("frmSplash");
        return splash;
    });
    QWidget owner;
    auto* info = new TestAppInfo(&owner);
    info->SetSplashFormClass("tfrmsplash"); // class names ignore letter case
    info->SetSplashMinTime(2000);
    info->SetMainVisible(true);
    QStringList order;
    info->OnApplRunning = [&](QObject*) {
        order << (info->SplashForm() ? "running, splash up" : "running, splash gone");
    };
    info->Loaded();
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(info->SplashForm(), splash);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_FALSE(owner.isVisible());

    info->loopRunning = true;
    now += 1000;
    info->StartupTimerTick();
    EXPECT_EQ(order, QStringList{"running, splash up"});
    EXPECT_FALSE(info->IsApplicationRunning());
    now += 1000; // exactly the minimum time: not yet
    info->StartupTimerTick();
    EXPECT_FALSE(info->IsApplicationRunning());
    now += 1;
    info->StartupTimerTick();
    EXPECT_TRUE(info->IsApplicationRunning());
    EXPECT_EQ(info->SplashForm(), nullptr);
    EXPECT_TRUE(owner.isVisible());
    EXPECT_EQ(order.size(), 1);
}

TEST_F(StartupTest, UnknownOrNonFormSplashClassRaisesTheRegistrationHint) {
    const QString expected = QStringLiteral(
        "Please add the following statement:\r\n"
        "RegisterClass(__classid(TfrmMissing)); or RegisterClass(TfrmMissing) {unit Classes}\r\n"
        "after Application->Initialize");
    QWidget owner;
    TestAppInfo info(&owner);
    info.SetSplashFormClass("TfrmMissing");
    try {
        info.Loaded();
        ADD_FAILURE() << "no error raised";
    } catch (const EOxaAppInfoError& e) {
        EXPECT_EQ(e.Message().toStdString(), expected.toStdString());
    }

    VOxaAppInfo::RegisterNonFormClass("TStringList");
    TestAppInfo other(&owner);
    other.SetSplashFormClass("TStringList");
    EXPECT_THROW(other.Loaded(), EOxaAppInfoError);
    EXPECT_EQ(other.SplashForm(), nullptr);
}
