#include "appinfo/VOxaAppInfo.h"
#include "platform/Registry.h"

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>

#include <memory>

#include "TestHives.h"

using platform::RegHive;
using platform::Registry;
using platform::RegValue;

namespace {

const QString kForms = QStringLiteral("Software\\Oxatek\\Dralvo_v1-7\\Options\\Forms");

// Records the order in which forms are restored (the scaling hook runs first
// for each of them).
class RecordingAppInfo : public VOxaAppInfo {
public:
    using VOxaAppInfo::VOxaAppInfo;
    void FixPixelsPerInch(QWidget* form, const TFixPpiParams& params) override {
        restored << form->objectName();
        VOxaAppInfo::FixPixelsPerInch(form, params);
    }
    bool MessageLoopRunning() const override { return loopRunning; }
    using VOxaAppInfo::StartupTimerTick;

    QStringList restored;
    bool loopRunning = false;
};

class PlacementTest : public HiveFixture {
protected:
    void SetUp() override {
        HiveFixture::SetUp();
        info = std::make_unique<RecordingAppInfo>();
        info->SetAppName(QStringLiteral("Dralvo_v1-7"));
        VOxaAppInfo::SetTopLevelWindowOrderProvider([this] { return stacking; });
        area = QGuiApplication::primaryScreen()->availableGeometry();
    }
    void TearDown() override {
        VOxaAppInfo::SetTopLevelWindowOrderProvider({});
        forms.clear();
    }
    QWidget* makeForm(const QString& name, const QRect& geometry) {
        forms.push_back(std::make_unique<QWidget>());
        QWidget* w = forms.back().get();
        w->setObjectName(name);
        w->setGeometry(geometry);
        return w;
    }
    void saveRect(const QString& name, const QRect& r, int visible = -1, int state = 1) {
        Registry(RegHive::CurrentUser)
            .setValues(kForms + QLatin1Char('\\') + name,
                       {RegValue::fromDword("Visible", uint32_t(visible)),
                        RegValue::fromDword("WindowState", uint32_t(state)),
                        RegValue::fromDword("Left", uint32_t(r.x())),
                        RegValue::fromDword("Top", uint32_t(r.y())),
                        RegValue::fromDword("Width", uint32_t(r.width())),
                        RegValue::fromDword("Height", uint32_t(r.height()))});
    }
    std::optional<int> stored(const QString& form, const QString& value) {
        const auto v = Registry(RegHive::CurrentUser).value(kForms + "\\" + form, value);
        if (!v)
            return std::nullopt;
        return int(v->dword());
    }

    std::unique_ptr<RecordingAppInfo> info;
    std::vector<std::unique_ptr<QWidget>> forms;
    QList<QWidget*> stacking;
    QRect area;
};

} // namespace

TEST_F(PlacementTest, WithoutSavedPlacementAFormIsOnlyFittedIntoTheWorkArea) {
    ASSERT_GT(area.width(), 100);
    // Larger than the work area and partly left of it: shrunk, then moved in.
    QWidget* big = makeForm("frmBig", QRect(area.x() - 50, area.y() + 40, area.width() + 300, 200));
    // Fits, but hangs over the bottom-right corner: only moved.
    QWidget* corner =
        makeForm("frmCorner", QRect(area.right() - 100, area.bottom() - 50, 300, 200));
    // Already inside: untouched.
    QWidget* inside = makeForm("frmInside", QRect(area.x() + 10, area.y() + 20, 300, 200));
    info->RestoreFormPlacement();
    EXPECT_EQ(big->geometry(), QRect(area.x(), area.y() + 40, area.width(), 200));
    EXPECT_EQ(corner->geometry(), QRect(area.right() + 1 - 300, area.bottom() + 1 - 200, 300, 200));
    EXPECT_EQ(inside->geometry(), QRect(area.x() + 10, area.y() + 20, 300, 200));
    EXPECT_FALSE(inside->isVisible());
}

TEST_F(PlacementTest, SavedRectangleIsAppliedUnchangedEvenOffScreen) {
    QWidget* form = makeForm("frmMain", QRect(10, 10, 200, 100));
    const QRect offScreen(area.right() + 2000, area.bottom() + 1500, 420, 310);
    saveRect("FRMMAIN", offScreen); // key names compare without letter case
    info->RestoreFormPlacement();
    EXPECT_EQ(form->geometry(), offScreen);
}

TEST_F(PlacementTest, SaveAndRestoreRoundTripWithStackingOrder) {
    QWidget* a = makeForm("frmMain", QRect(30, 40, 500, 400));
    QWidget* b = makeForm("termData_Form", QRect(100, 120, 400, 450));
    QWidget* unnamed = makeForm("", QRect(0, 0, 50, 50));
    a->show();
    b->show();
    unnamed->show();
    stacking = {b, unnamed, a}; // the terminal window on top
    info->SaveFormPlacement();

    const auto zorder = Registry(RegHive::CurrentUser).value(kForms, "ZOrder");
    ASSERT_TRUE(zorder.has_value());
    EXPECT_EQ(zorder->text(), QStringLiteral("termData_Form|frmMain"));
    EXPECT_EQ(stored("frmMain", "Visible"), -1);
    EXPECT_EQ(stored("frmMain", "WindowState"), 1);
    EXPECT_EQ(stored("frmMain", "Left"), 30);
    EXPECT_EQ(stored("frmMain", "Top"), 40);
    EXPECT_EQ(stored("frmMain", "Width"), 500);
    EXPECT_EQ(stored("frmMain", "Height"), 400);
    EXPECT_EQ(stored("termData_Form", "Left"), 100);
    EXPECT_EQ(stored("termData_Form", "MinLeft"), -1);
    EXPECT_TRUE(Registry(RegHive::CurrentUser).subKeys(kForms).size() == 2);
    EXPECT_TRUE(readFile(userFile()).contains("\"Visible\"=dword:ffffffff\r\n"));

    // A later run: the windows start elsewhere, the stacking order differs.
    a->setGeometry(0, 0, 100, 100);
    b->setGeometry(0, 0, 100, 100);
    stacking = {a, b};
    info->RestoreFormPlacement();
    EXPECT_EQ(a->geometry(), QRect(30, 40, 500, 400));
    EXPECT_EQ(b->geometry(), QRect(100, 120, 400, 450));
    // Restored from the bottom up, so the form saved top-most comes last.
    EXPECT_EQ(info->restored, (QStringList{"frmMain", "termData_Form"}));
}

TEST_F(PlacementTest, ExcludedAndUnnamedFormsAreNeitherSavedNorRestored) {
    QWidget* main = makeForm("frmMain", QRect(30, 40, 500, 400));
    QWidget* skipped = makeForm("frmSkip", QRect(50, 60, 200, 100));
    QWidget* unnamed = makeForm("", QRect(70, 80, 200, 100));
    QWidget* notNow = makeForm("frmNotNow", QRect(90, 100, 200, 100));
    for (QWidget* w : {main, skipped, unnamed, notNow})
        w->show();
    info->ExceptionList().Add("FRMSKIP");
    info->SaveFormPlacement("frmNotNow");

    Registry user(RegHive::CurrentUser);
    EXPECT_EQ(user.subKeys(kForms), QStringList{"frmMain"});
    const QString zorder = user.value(kForms, "ZOrder")->text();
    EXPECT_FALSE(zorder.contains("frmSkip", Qt::CaseInsensitive));
    EXPECT_FALSE(zorder.contains("||"));
    EXPECT_TRUE(zorder.contains("frmMain"));
    EXPECT_TRUE(zorder.contains("frmNotNow")); // excluded from saving only

    saveRect("frmSkip", QRect(500, 500, 300, 300));
    info->RestoreFormPlacement();
    EXPECT_EQ(skipped->geometry(), QRect(50, 60, 200, 100));
    EXPECT_FALSE(info->restored.contains("frmSkip"));
    EXPECT_FALSE(info->restored.contains(""));
    EXPECT_EQ(unnamed->geometry(), QRect(70, 80, 200, 100));
}

TEST_F(PlacementTest, FixedBorderKeepsItsSizeUnlessResizeNonresizeable) {
    forms.push_back(std::make_unique<QDialog>());
    auto* dialog = static_cast<QDialog*>(forms.back().get());
    dialog->setObjectName("frmCfgAdv");
    dialog->setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    dialog->setGeometry(100, 100, 250, 150);
    QWidget* borderless = makeForm("frmSplash", QRect(5, 6, 120, 80));
    borderless->setWindowFlag(Qt::FramelessWindowHint);
    saveRect("frmCfgAdv", QRect(40, 50, 600, 500));
    saveRect("frmSplash", QRect(400, 300, 600, 500));

    info->RestoreFormPlacement();
    EXPECT_EQ(dialog->geometry(), QRect(40, 50, 250, 150));
    EXPECT_EQ(borderless->geometry(), QRect(5, 6, 120, 80));

    RecordingAppInfo other;
    other.SetAppName("Dralvo_v1-7");
    other.SetResizeNonresizeable(true);
    other.RestoreFormPlacement();
    EXPECT_EQ(dialog->geometry(), QRect(40, 50, 600, 500));
    EXPECT_EQ(borderless->geometry(), QRect(400, 300, 600, 500));
}

TEST_F(PlacementTest, VisibilityFollowsSavedStateAndRunningApplication) {
    QWidget* shownNow = makeForm("frmShown", QRect(10, 10, 100, 100));
    QWidget* hiddenNow = makeForm("frmHidden", QRect(10, 10, 100, 100));
    shownNow->show();
    saveRect("frmShown", QRect(20, 20, 100, 100), 0);
    saveRect("frmHidden", QRect(30, 30, 100, 100), -1);

    info->RestoreFormPlacement();         // still starting up
    EXPECT_FALSE(shownNow->isVisible());  // saved as hidden
    EXPECT_FALSE(hiddenNow->isVisible()); // not running and not visible yet
    EXPECT_EQ(hiddenNow->geometry(), QRect(30, 30, 100, 100));
    // The program shows its window after the restore; nothing hides it again.
    hiddenNow->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(hiddenNow->isVisible());
    hiddenNow->hide();

    info->loopRunning = true;
    info->StartupTimerTick();
    ASSERT_TRUE(info->IsApplicationRunning());
    info->RestoreFormPlacement();
    QCoreApplication::processEvents();
    EXPECT_TRUE(hiddenNow->isVisible());
    EXPECT_FALSE(shownNow->isVisible());
}

TEST_F(PlacementTest, MinimizedAndMaximizedStatesComeBack) {
    QWidget* form = makeForm("frmMain", QRect(10, 10, 300, 200));
    saveRect("frmMain", QRect(60, 70, 320, 240), -1, 3);
    form->show();
    info->RestoreFormPlacement();
    EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(form->normalGeometry(), QRect(60, 70, 320, 240));

    info->SaveFormPlacement();
    EXPECT_EQ(stored("frmMain", "WindowState"), 3);
    EXPECT_EQ(stored("frmMain", "Width"), 320);
}

TEST_F(PlacementTest, DockedFormKeepsOnlyItsUndockedSize) {
    QWidget* host = makeForm("frmHost", QRect(0, 0, 600, 400));
    auto* docked = new QWidget(host);
    docked->setObjectName("termData_Form");
    docked->setProperty(DockedFormProperty, true);
    docked->setProperty(UndockedSizeProperty, QSize(400, 450));
    host->show();
    info->SaveFormPlacement();
    EXPECT_EQ(stored("termData_Form", "Width"), 400);
    EXPECT_EQ(stored("termData_Form", "Height"), 450);
    EXPECT_FALSE(stored("termData_Form", "Left").has_value());

    saveRect("termData_Form", QRect(1, 2, 333, 222));
    info->RestoreFormPlacement();
    EXPECT_EQ(docked->property(UndockedSizeProperty).toSize(), QSize(333, 222));
    EXPECT_EQ(docked->parentWidget(), host);
}

TEST(ImprovedForm, ChildrenFollowTheirAnchorsWhenTheWindowComesOutSmaller) {
    QWidget form;
    form.resize(400, 300);
    auto make = [&](int anchors) {
        auto* w = new QWidget(&form);
        w->setGeometry(10, 20, 100, 50);
        w->setProperty("anchors", anchors);
        return w;
    };
    QWidget* plain = new QWidget(&form);
    plain->setGeometry(10, 20, 100, 50);
    QWidget* stretch = make(akLeft | akTop | akRight | akBottom);
    QWidget* rightOnly = make(akTop | akRight);
    QWidget* bottomOnly = make(akLeft | akBottom);
    AdjustChildrenToActualSize(&form, QSize(400, 300), QSize(390, 280));
    EXPECT_EQ(plain->geometry(), QRect(10, 20, 100, 50));
    EXPECT_EQ(stretch->geometry(), QRect(10, 20, 90, 30));
    EXPECT_EQ(rightOnly->geometry(), QRect(0, 20, 100, 50));
    EXPECT_EQ(bottomOnly->geometry(), QRect(10, 0, 100, 50));
}

TEST(ImprovedForm, AMainWindowFormShowsWithItsChildrenInPlace) {
    VOxaImprovedForm<QMainWindow> form;
    auto* child = new QWidget(&form);
    child->setGeometry(5, 6, 50, 40);
    form.resize(300, 200);
    form.show();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(child->geometry(), QRect(5, 6, 50, 40)); // created at the requested size
    EXPECT_TRUE(form.CloseQuery());
}

TEST(ImprovedForm, EndOfSessionAsksTheCloseQueryUntilItAgrees) {
    struct Form : VOxaImprovedForm<QWidget> {
        int asked = 0;
        bool CloseQuery() override { return ++asked >= 3; }
    } form;
    // Something for the waiting loop to process between the questions.
    QTimer ticker;
    ticker.start(1);
    form.EndSessionQuery();
    EXPECT_EQ(form.asked, 3);
}
