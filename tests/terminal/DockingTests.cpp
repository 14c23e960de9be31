// Placement of the terminal window: floating bounds, docking into a page
// control, close actions, the taskbar option and placement across a restart.
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

#include "appinfo/VOxaAppInfo.h"
#include "terminal/TerminalWindow.h"
#include "terminal/VOxaTerminal.h"
#include "util/OxaUtils.h"
#include "widgets/FormPlacement.h"

namespace {

// An owner form with a terminal, optionally with a page control as dock site.
struct DockFixture {
    std::unique_ptr<QWidget> owner = std::make_unique<QWidget>();
    QTabWidget* pages = nullptr;
    VOxaTerminal* term = nullptr;

    explicit DockFixture(bool withPages) {
        owner->setObjectName(QStringLiteral("frmMain"));
        owner->resize(600, 500);
        if (withPages) {
            pages = new QTabWidget(owner.get());
            pages->setGeometry(10, 10, 300, 250);
        }
        term = new VOxaTerminal(owner.get());
        term->SetName(QStringLiteral("termData"));
    }
    // Loads the terminal as the owner's stored description would.
    template <class F> void load(F&& properties) {
        term->BeginLoading();
        if (pages)
            term->SetParentPageControl(pages);
        term->SetVisible(true);
        properties(term);
        term->Loaded();
    }
    void load() {
        load([](VOxaTerminal*) {});
    }
    TerminalWindow* form() const { return term->Form(); }
    QPushButton* undockButton() const { return form()->BtnUndock(); }
};

QRect floatingRect(VOxaTerminal* term) {
    return QRect(term->Form()->pos(), term->Form()->size());
}

QByteArray readAllLogs(const QString& dir) {
    QByteArray all;
    for (const QString& name : QDir(dir).entryList(QDir::Files)) {
        QFile f(dir + u'/' + name);
        if (f.open(QIODevice::ReadOnly))
            all += f.readAll();
    }
    return all;
}

void deleteDeferred() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

TEST(TerminalDocking, MainWindowConfigurationFloatsAndStaysOpen) {
    DockFixture f(false);
    f.load();
    QRect area;
    ASSERT_TRUE(GetWorkArea(area, false));
    // The window frame, decoration included, is fitted into the work area.
    const QSize decoration = f.form()->frameGeometry().size() - f.form()->size();
    const QRect frame =
        KeepRectOnScreen(QRect(QPoint(500, 300), QSize(400, 450) + decoration), area);
    const QRect expected(frame.topLeft(), frame.size() - decoration);
    EXPECT_TRUE(f.form()->isWindow());
    EXPECT_TRUE(f.form()->isVisible());
    EXPECT_EQ(f.form()->frameGeometry(), frame);
    EXPECT_EQ(floatingRect(f.term), expected);
    EXPECT_EQ(
        QRect(f.term->FormLeft(), f.term->FormTop(), f.term->FormWidth(), f.term->FormHeight()),
        expected);
    EXPECT_FALSE(f.term->Docked());
    EXPECT_FALSE(f.undockButton()->isEnabled());
    // Without the taskbar option it is a tool window of the owner.
    EXPECT_EQ(f.form()->windowType(), Qt::Tool);
    EXPECT_EQ(f.form()->parentWidget(), f.owner.get());

    // Closing with the default action leaves the window open and floating.
    EXPECT_FALSE(f.form()->close());
    ASSERT_NE(f.form(), nullptr);
    EXPECT_TRUE(f.form()->isVisible());
    EXPECT_TRUE(f.form()->isWindow());
    EXPECT_FALSE(f.undockButton()->isEnabled());

    // The user moves the window: reading the bounds follows it.
    f.form()->move(expected.x() - 30, expected.y() - 20);
    EXPECT_EQ(f.term->FormLeft(), expected.x() - 30);
    EXPECT_EQ(f.term->FormTop(), expected.y() - 20);
    f.term->SetFormWidth(250);
    EXPECT_EQ(f.form()->width(), 250);
}

TEST(TerminalDocking, WindowOutsideTheWorkAreaIsMovedAndShrunk) {
    DockFixture f(false);
    QRect area;
    ASSERT_TRUE(GetWorkArea(area, false));
    f.load([&](VOxaTerminal* t) {
        t->SetFormLeft(area.right() + 200);
        t->SetFormTop(area.bottom() + 100);
        t->SetFormWidth(area.width() + 50);
        t->SetFormHeight(200);
    });
    const QRect frame = f.form()->frameGeometry();
    EXPECT_EQ(frame.left(), area.left());
    EXPECT_EQ(frame.width(), area.width());
    EXPECT_EQ(frame.bottom(), area.bottom());
    EXPECT_EQ(f.form()->height(), 200);
}

TEST(TerminalDocking, UndockButtonFloatsAndCloseDocksBack) {
    DockFixture f(true);
    f.load([](VOxaTerminal* t) {
        t->SetFormLeft(40);
        t->SetFormTop(50);
        t->SetFormWidth(380);
        t->SetFormHeight(420);
    });
    // Docked: a page of the page control, filling it.
    ASSERT_EQ(f.pages->count(), 1);
    EXPECT_EQ(f.pages->widget(0), f.form());
    EXPECT_FALSE(f.form()->isWindow());
    EXPECT_TRUE(f.term->Docked());
    EXPECT_TRUE(f.undockButton()->isEnabled());
    EXPECT_TRUE(f.form()->property(DockedFormProperty).toBool());
    EXPECT_EQ(f.term->FormWidth(), 380);
    f.term->SetCaption(QStringLiteral("Terminal"));
    EXPECT_EQ(f.pages->tabText(0), QStringLiteral("Terminal"));

    // A width assigned while docked leaves the page alone and applies on undocking.
    f.owner->show();
    const QSize pageSize = f.form()->size();
    f.term->SetFormWidth(333);
    EXPECT_EQ(f.form()->size(), pageSize);
    EXPECT_EQ(f.term->FormWidth(), 333);
    EXPECT_EQ(f.form()->property(UndockedSizeProperty).toSize(), QSize(333, 420));

    f.undockButton()->click();
    EXPECT_TRUE(f.form()->isWindow());
    EXPECT_TRUE(f.form()->isVisible());
    EXPECT_EQ(f.pages->count(), 0);
    EXPECT_EQ(floatingRect(f.term), QRect(40, 50, 333, 420));
    EXPECT_FALSE(f.term->Docked());
    EXPECT_FALSE(f.undockButton()->isEnabled());
    EXPECT_FALSE(f.form()->property(DockedFormProperty).toBool());

    // Moved while floating, then closed: back on the page, the bounds kept.
    f.form()->move(70, 80);
    EXPECT_FALSE(f.form()->close());
    ASSERT_EQ(f.pages->count(), 1);
    EXPECT_EQ(f.pages->currentWidget(), f.form());
    EXPECT_TRUE(f.term->Docked());
    EXPECT_TRUE(f.undockButton()->isEnabled());
    EXPECT_EQ(f.term->FormLeft(), 70);
    EXPECT_EQ(f.term->FormTop(), 80);
    EXPECT_EQ(f.term->FormWidth(), 333);

    f.term->SetDocked(false);
    EXPECT_EQ(floatingRect(f.term), QRect(70, 80, 333, 420));
    // Removing the page control floats a docked window as well.
    f.term->SetDocked(true);
    EXPECT_EQ(f.pages->count(), 1);
    f.term->SetParentPageControl(nullptr);
    EXPECT_TRUE(f.form()->isWindow());
    EXPECT_EQ(f.pages->count(), 0);
}

TEST(TerminalDocking, DockedTerminalIsDestroyedOffItsPage) {
    DockFixture f(true);
    f.load();
    ASSERT_EQ(f.pages->count(), 1);
    QPointer<TerminalWindow> form = f.form();
    delete f.term;
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(f.pages->count(), 0);
}

TEST(TerminalDocking, CloseActionsHideMinimizeAndFree) {
    {
        DockFixture f(false);
        f.load([](VOxaTerminal* t) { t->SetTermCloseAction(trmcaHide); });
        EXPECT_TRUE(f.form()->close());
        EXPECT_FALSE(f.form()->isVisible());
        EXPECT_FALSE(f.term->Visible());
        f.term->SetVisible(true);
        EXPECT_TRUE(f.form()->isVisible());
    }
    {
        DockFixture f(false);
        f.load([](VOxaTerminal* t) { t->SetTermCloseAction(trmcaMinimize); });
        EXPECT_FALSE(f.form()->close());
        EXPECT_TRUE(f.form()->windowState() & Qt::WindowMinimized);
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        DockFixture f(true);
        f.load([&](VOxaTerminal* t) {
            t->SetTermCloseAction(trmcaFree);
            t->SetLoggerFilename(dir.path() + QStringLiteral("/term_*.log"));
            t->SetDocked(false);
        });
        f.term->AddLine("before close", VOxaTerminal_ltInText);
        EXPECT_TRUE(f.form()->close());
        deleteDeferred();
        EXPECT_EQ(f.term->Form(), nullptr);
        EXPECT_EQ(f.term->RichEdit(), nullptr);
        EXPECT_EQ(f.term->ParentPageControl(), nullptr);
        // Without a window the display calls do nothing; logging goes on.
        f.term->AddLine("after close", VOxaTerminal_ltInText);
        f.term->Clear();
        f.term->SetDocked(true);
        f.term->SetVisible(true);
        f.term->FlushDisplay();
        EXPECT_EQ(f.pages->count(), 0);
    }
    const QByteArray logged = readAllLogs(dir.path());
    EXPECT_TRUE(logged.contains("before close")) << logged.constData();
    EXPECT_TRUE(logged.contains("after close")) << logged.constData();
}

TEST(TerminalDocking, TaskbarOptionChoosesTheWindowKind) {
    DockFixture f(true);
    f.load([](VOxaTerminal* t) {
        t->SetShowOnTaskbar(true);
        t->SetFormLeft(30);
        t->SetFormTop(40);
    });
    // Docked, the option waits for the window to float.
    EXPECT_FALSE(f.form()->isWindow());
    f.undockButton()->click();
    EXPECT_EQ(f.form()->windowType(), Qt::Window);
    EXPECT_EQ(f.form()->parentWidget(), nullptr);
    EXPECT_TRUE(f.form()->isVisible());
    EXPECT_EQ(floatingRect(f.term), QRect(30, 40, 400, 450));

    f.term->SetShowOnTaskbar(false);
    EXPECT_EQ(f.form()->windowType(), Qt::Tool);
    EXPECT_EQ(f.form()->parentWidget(), f.owner.get());
    EXPECT_TRUE(f.form()->isVisible());
    EXPECT_EQ(floatingRect(f.term), QRect(30, 40, 400, 450));

    f.term->SetFormOnTop(true);
    f.term->SetShowOnTaskbar(true);
    EXPECT_EQ(f.form()->parentWidget(), nullptr);
    EXPECT_TRUE(f.form()->windowFlags() & Qt::WindowStaysOnTopHint);
    // A window of its own still goes with the terminal.
    QPointer<TerminalWindow> form = f.form();
    f.owner.reset();
    EXPECT_TRUE(form.isNull());
}

TEST(TerminalDocking, BoundsSurviveARestart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    const auto withAppInfo = [](DockFixture& f) {
        auto* info = new VOxaAppInfo(f.owner.get());
        info->SetAppName(QStringLiteral("Dralvo_v1-7"));
        return info;
    };
    {
        DockFixture floating(false);
        VOxaAppInfo* info = withAppInfo(floating);
        floating.load();
        floating.term->SetFormLeft(60);
        floating.term->SetFormTop(70);
        floating.term->SetFormWidth(380);
        floating.term->SetFormHeight(300);
        info->SaveFormPlacement();
    }
    {
        DockFixture floating(false);
        VOxaAppInfo* info = withAppInfo(floating);
        floating.load();
        info->RestoreFormPlacement();
        EXPECT_EQ(QRect(floating.term->FormLeft(), floating.term->FormTop(),
                        floating.term->FormWidth(), floating.term->FormHeight()),
                  QRect(60, 70, 380, 300));
        EXPECT_TRUE(floating.form()->isVisible());
    }
    {
        DockFixture docked(true);
        VOxaAppInfo* info = withAppInfo(docked);
        docked.load();
        docked.term->SetFormWidth(350);
        docked.term->SetFormHeight(320);
        info->SaveFormPlacement();
    }
    {
        DockFixture docked(true);
        VOxaAppInfo* info = withAppInfo(docked);
        docked.load([](VOxaTerminal* t) {
            t->SetFormLeft(20);
            t->SetFormTop(30);
        });
        info->RestoreFormPlacement();
        EXPECT_EQ(docked.pages->count(), 1);
        EXPECT_EQ(docked.term->FormWidth(), 350);
        docked.term->SetDocked(false);
        EXPECT_EQ(floatingRect(docked.term), QRect(20, 30, 350, 320));
    }
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST(TerminalDocking, ReturningToTheProgramFocusesTheOwnerWindow) {
    for (const bool onTaskbar : {true, false}) {
        DockFixture f(false);
        f.load([&](VOxaTerminal* t) { t->SetShowOnTaskbar(onTaskbar); });
        f.owner->show();
        f.form()->activateWindow();
        f.form()->ManualLine()->setFocus();
        QCoreApplication::processEvents();
        if (QApplication::activeWindow() != f.form())
            GTEST_SKIP() << "the platform does not activate windows";
        auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        emit app->applicationStateChanged(Qt::ApplicationInactive);
        emit app->applicationStateChanged(Qt::ApplicationActive);
        QCoreApplication::processEvents();
        // With a taskbar entry of its own the terminal would keep the focus;
        // as a tool window it goes with the owner anyway and keeps it.
        EXPECT_EQ(QApplication::activeWindow(), onTaskbar ? f.owner.get() : f.form())
            << "onTaskbar " << onTaskbar;
    }
}

TEST(TerminalDocking, DockedPageIsHiddenAndShownWithVisible) {
    DockFixture f(true);
    f.pages->addTab(new QWidget, QStringLiteral("other"));
    f.load();
    f.owner->show();
    const int page = f.pages->indexOf(f.form());
    ASSERT_GE(page, 0);
    ASSERT_TRUE(f.form()->isVisible());
    f.term->SetVisible(false);
    EXPECT_FALSE(f.pages->isTabVisible(page));
    EXPECT_FALSE(f.form()->isVisible());
    EXPECT_FALSE(f.term->Visible());
    EXPECT_EQ(f.pages->indexOf(f.form()), page); // still docked
    f.term->SetVisible(true);
    EXPECT_TRUE(f.pages->isTabVisible(page));
    EXPECT_EQ(f.pages->currentWidget(), f.form());
    EXPECT_TRUE(f.form()->isVisible());
}

TEST(TerminalDocking, DragsTheTabOutAndTheWindowBackOntoThePageControl) {
    DockFixture f(true);
    f.load([](VOxaTerminal* t) {
        t->SetFormWidth(300);
        t->SetFormHeight(280);
    });
    f.owner->move(50, 50);
    f.owner->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.owner.get()));
    QTabBar* tabs = f.pages->tabBar();
    const QPoint grab = tabs->tabRect(f.pages->indexOf(f.form())).center();

    // The page's tab dragged out of the page control: the window floats there.
    const QPoint drop = tabs->mapFromGlobal(f.owner->mapToGlobal(QPoint(450, 300)));
    QTest::mousePress(tabs, Qt::LeftButton, {}, grab);
    QTest::mouseMove(tabs, grab + QPoint(30, 0));
    QTest::mouseMove(tabs, drop);
    QTest::mouseRelease(tabs, Qt::LeftButton, {}, drop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.form()->isWindow(); }));
    EXPECT_EQ(f.pages->count(), 0);
    EXPECT_EQ(f.form()->pos(), tabs->mapToGlobal(drop));
    EXPECT_EQ(f.form()->size(), QSize(300, 280));

    // The program's own placement is no drop, even with the pointer over both.
    QSignalSpy moveEnded(f.form(), &TerminalWindow::moveEnded);
    const QRect site(f.pages->mapToGlobal(QPoint(0, 0)), f.pages->size());
    QCursor::setPos(site.center());
    f.term->SetFormLeft(site.center().x() - 20);
    f.term->SetFormTop(site.center().y() - 20);
    ASSERT_TRUE(moveEnded.wait(5000));
    EXPECT_TRUE(f.form()->isWindow());

    // Moved by the operator (the window manager reports the move) and let go
    // over the page control: it docks.
    moveEnded.clear();
    f.form()->move(site.center() - QPoint(30, 25));
    ASSERT_TRUE(moveEnded.wait(5000));
    ASSERT_EQ(QCursor::pos(), site.center());
    EXPECT_FALSE(f.form()->isWindow());
    EXPECT_EQ(f.pages->indexOf(f.form()), 0);
    EXPECT_TRUE(f.term->Docked());
}
