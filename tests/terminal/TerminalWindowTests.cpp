// The terminal window: controls, keyboard rules, the send line and its history.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <vector>

#include "appinfo/VOxaAppInfo.h"
#include "terminal/QuickSendBar.h"
#include "terminal/TerminalWindow.h"
#include "terminal/VOxaTerminal.h"

namespace {

struct Sent {
    QByteArray data;
    bool includesCR;
};

struct WindowFixture {
    QWidget owner;
    VOxaTerminal* term;
    TerminalWindow* w;
    std::vector<Sent> sent;
    WindowFixture() {
        term = new VOxaTerminal(&owner);
        term->SetName(QStringLiteral("termData"));
        term->SetShowHexEdit(true);
        term->OnTermSendData = [this](VOxaTerminal*, const uint8_t* data, int count, bool cr) {
            sent.push_back({QByteArray(reinterpret_cast<const char*>(data), count), cr});
        };
        w = term->Form();
    }
    void key(QWidget* target, int k, Qt::KeyboardModifiers mods = Qt::NoModifier,
             const QString& text = QString()) {
        QKeyEvent press(QEvent::KeyPress, k, mods, text);
        QApplication::sendEvent(target, &press);
    }
    void type(QWidget* target, const QString& text) {
        for (QChar c : text)
            key(target, c.toUpper().unicode(), Qt::NoModifier, QString(c));
    }
    QLineEdit* manualEdit() { return w->ManualLine()->lineEdit(); }
};

} // namespace

TEST(TerminalWindow, ControlsCarryNamesCaptionsAndBounds) {
    WindowFixture f;
    EXPECT_EQ(f.w->objectName(), QStringLiteral("termData_Form"));
    EXPECT_EQ(f.w->ManualLine()->objectName(), QStringLiteral("termData_ManualLine"));
    EXPECT_EQ(f.w->SendLineButton()->objectName(), QStringLiteral("termData_SendLinebutton"));
    EXPECT_EQ(f.w->DebugOutTime()->objectName(), QStringLiteral("termData_DebugOutTime"));
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("Terminal"));
    EXPECT_EQ(f.w->BtnDirect()->text(), QStringLiteral("Direct"));
    EXPECT_EQ(f.w->SendLineButton()->toolTip(),
              QStringLiteral("Send the line with its line end (CR, or Ctrl+Z / Esc as typed)"));
    EXPECT_EQ(f.w->BtnUndock()->toolTip(), QStringLiteral("Undock the terminal window"));
    EXPECT_FALSE(f.w->BtnUndock()->isEnabled());
    EXPECT_EQ(f.w->RGroupMode()->title(), QStringLiteral("Mode"));
    f.term->SetCaption(QStringLiteral("Traffic"));
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("Traffic"));
    f.term->SetName(QStringLiteral("other"));
    EXPECT_EQ(f.w->RichEdit()->objectName(), QStringLiteral("other_RichEdit"));
    EXPECT_EQ(f.w->ClearButton()->text(), QStringLiteral("Clear"));

    // Design layout, then the hex line layouts and the anchors.
    f.w->resize(TerminalWindow::DesignWidth, TerminalWindow::DesignHeight);
    f.w->relayout(f.w->size());
    f.term->ApplyHexEditLayout();
    // The quick-send buttons take their height from the display's design
    // height, right above the send line.
    const int bar = f.w->QuickSend()->height() + 2;
    EXPECT_GT(bar, 40);
    EXPECT_EQ(f.w->RichEdit()->height(), 333 - bar);
    EXPECT_EQ(f.w->ManualLine()->geometry().top(), 335);
    EXPECT_EQ(f.w->QuickSend()->geometry().bottom() + 2, 334);
    f.term->SetShowHexEdit(false);
    EXPECT_EQ(f.w->RichEdit()->height(), 356 - bar);
    EXPECT_EQ(f.w->ManualLine()->geometry().top(), 358);
    f.w->resize(TerminalWindow::DesignWidth + 100, TerminalWindow::DesignHeight + 50);
    f.w->relayout(f.w->size());
    EXPECT_EQ(f.w->RichEdit()->geometry(), QRect(0, 0, 498, 406 - bar));
    EXPECT_EQ(f.w->QuickSend()->width(), 494);
    EXPECT_EQ(f.w->ManualLine()->geometry(), QRect(2, 408, 496, 21));
    EXPECT_EQ(f.w->ClearButton()->geometry(), QRect(8, 470, 75, 25));
}

TEST(TerminalWindow, ModeGroupColumnsAndTimingFields) {
    WindowFixture f;
    f.w->resize(TerminalWindow::DesignWidth, TerminalWindow::DesignHeight);
    f.w->relayout(f.w->size());
    EXPECT_EQ(f.term->ModeIndex(), -1);
    f.term->SetModeItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    EXPECT_EQ(f.w->RGroupMode()->width(), 81);
    EXPECT_EQ(f.w->DebugInTime()->geometry().left(), 258);
    EXPECT_EQ(f.w->DebugInTime()->width(), 140);
    EXPECT_FALSE(f.w->RGroupMode()->isHidden());
    EXPECT_EQ(f.term->ModeIndex(), 0); // the first item is selected
    f.term->SetModeItems(
        {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    EXPECT_EQ(f.w->RGroupMode()->width(), 121);
    EXPECT_EQ(f.w->DebugOutTime()->geometry().left(), 298);
    EXPECT_EQ(f.w->DebugOutTime()->width(), 100);
    f.term->SetModeIndex(9);
    EXPECT_EQ(f.term->ModeIndex(), 3);
    f.term->SetModeIndex(-5);
    EXPECT_EQ(f.term->ModeIndex(), -1);
    f.term->SetModeItems({});
    EXPECT_TRUE(f.w->RGroupMode()->isHidden());
}

TEST(TerminalWindow, EnterSendsTheLineWithCarriageReturn) {
    WindowFixture f;
    f.key(f.manualEdit(), Qt::Key_Return);
    ASSERT_EQ(f.sent.size(), 1u);
    EXPECT_EQ(f.sent[0].data, QByteArray("\r"));
    EXPECT_TRUE(f.sent[0].includesCR);
    EXPECT_TRUE(f.w->history().isEmpty());

    f.type(f.manualEdit(), QStringLiteral("AT"));
    EXPECT_EQ(f.w->HexManualLine()->text(), QStringLiteral("41 54 "));
    f.key(f.manualEdit(), Qt::Key_Return);
    ASSERT_EQ(f.sent.size(), 2u);
    EXPECT_EQ(f.sent[1].data, QByteArray("AT\r"));
    EXPECT_TRUE(f.sent[1].includesCR);
    EXPECT_EQ(f.w->history().value(0), QStringLiteral("AT"));
    EXPECT_EQ(f.w->manualText(), QString());
    EXPECT_EQ(f.w->HexManualLine()->text(), QString());
    EXPECT_FALSE(f.term->HistorySaved());
}

TEST(TerminalWindow, CtrlZAndEscapeChooseTheTerminator) {
    WindowFixture f;
    f.type(f.manualEdit(), QStringLiteral("AT"));
    f.key(f.manualEdit(), Qt::Key_Z, Qt::ControlModifier, QString(QChar(26)));
    f.type(f.manualEdit(), QStringLiteral("AT"));
    f.key(f.manualEdit(), Qt::Key_Escape, Qt::NoModifier, QString(QChar(27)));
    ASSERT_EQ(f.sent.size(), 2u);
    EXPECT_EQ(f.sent[0].data, QByteArray("AT\x1A"));
    EXPECT_EQ(f.sent[1].data, QByteArray("AT\x1B"));
    EXPECT_TRUE(f.sent[1].includesCR);
    EXPECT_EQ(f.term->SendTerminator(), 0);
    EXPECT_EQ(f.w->history(), QStringList{QStringLiteral("AT")});
}

TEST(TerminalWindow, HexLineSendsBytesWithoutTerminator) {
    WindowFixture f;
    f.w->setHistory({QStringLiteral("old")});
    f.type(f.w->HexManualLine(), QStringLiteral("41 54"));
    EXPECT_EQ(f.w->manualText(), QStringLiteral("AT"));
    f.key(f.w->HexManualLine(), Qt::Key_Return);
    ASSERT_EQ(f.sent.size(), 1u);
    EXPECT_EQ(f.sent[0].data, QByteArray("AT"));
    EXPECT_FALSE(f.sent[0].includesCR);
    EXPECT_EQ(f.w->history(), QStringList{QStringLiteral("old")});
    EXPECT_EQ(f.w->manualText(), QString());

    // Bytes typed in hexadecimal are sent exactly, control bytes included.
    f.type(f.w->HexManualLine(), QStringLiteral("07 0a 1B"));
    f.key(f.w->HexManualLine(), Qt::Key_Return);
    ASSERT_EQ(f.sent.size(), 2u);
    EXPECT_EQ(f.sent[1].data, QByteArray("\x07\x0A\x1B"));

    // Text that is not hexadecimal pairs is refused, whichever key sends it:
    // the window says which character, nothing goes out, the text stays.
    for (const auto& [typed, named] :
         {std::pair{"zz", "\"z\" at position 1"}, std::pair{"41 5", "\"5\" at position 4"},
          std::pair{"41,54", "\",\" at position 3"}}) {
        f.type(f.w->HexManualLine(), QString::fromLatin1(typed));
        f.key(f.w->HexManualLine(), Qt::Key_Return);
        f.key(f.manualEdit(), Qt::Key_Return);
        EXPECT_EQ(f.sent.size(), 2u) << typed;
        EXPECT_EQ(f.w->HexManualLine()->text(), QString::fromLatin1(typed));
        EXPECT_TRUE(f.w->notice().contains(QString::fromLatin1(named)))
            << f.w->notice().toStdString();
        f.key(f.w->HexManualLine(), Qt::Key_Escape);
    }

    // Esc empties both lines.
    f.type(f.w->HexManualLine(), QStringLiteral("41"));
    f.key(f.w->HexManualLine(), Qt::Key_Escape);
    EXPECT_EQ(f.w->HexManualLine()->text(), QString());
    EXPECT_EQ(f.w->manualText(), QString());
    EXPECT_EQ(f.sent.size(), 2u);
}

TEST(TerminalWindow, TypingIntoTheDisplayEditsTheManualLine) {
    WindowFixture f;
    QPlainTextEdit* edit = f.w->RichEdit();
    f.type(edit, QStringLiteral("x "));
    EXPECT_EQ(f.w->manualText(), QStringLiteral("x "));
    EXPECT_EQ(f.w->HexManualLine()->text(), QStringLiteral("78 20 "));
    f.key(edit, Qt::Key_Backspace);
    f.key(edit, Qt::Key_Backspace);
    EXPECT_EQ(f.w->manualText(), QString());
    EXPECT_EQ(edit->toPlainText(), QString()); // nothing went into the display
    f.type(f.w->BtnDirect(), QStringLiteral("at"));
    f.key(f.w->BtnDirect(), Qt::Key_Return); // Enter sends with terminator even here
    ASSERT_EQ(f.sent.size(), 1u);
    EXPECT_EQ(f.sent[0].data, QByteArray("at\r"));
}

TEST(TerminalWindow, NavigationKeysScrollTheDisplay) {
    WindowFixture f;
    f.w->show();
    for (int i = 0; i < 300; ++i)
        f.term->AddLine(QByteArray::number(i), VOxaTerminal_ltInText);
    f.term->FlushDisplay();
    QApplication::processEvents();
    QScrollBar* bar = f.w->RichEdit()->verticalScrollBar();
    bar->setValue(100);
    f.key(f.w->ClearButton(), Qt::Key_Down);
    EXPECT_EQ(bar->value(), 101);
    f.key(f.w->RichEdit(), Qt::Key_Up);
    EXPECT_EQ(bar->value(), 100);
    f.key(f.manualEdit(), Qt::Key_PageDown);
    const int paged = bar->value();
    EXPECT_GE(paged, 100 + bar->pageStep() - 1);
    EXPECT_LE(paged, 100 + bar->pageStep() + 1);
    // With a modifier held the keys are left to the control.
    f.key(f.w->ClearButton(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(bar->value(), paged);
    // In the manual line Arrow Down opens the history.
    f.w->setHistory({QStringLiteral("a"), QStringLiteral("b")});
    f.key(f.manualEdit(), Qt::Key_Down);
    QAbstractItemView* list = f.w->ManualLine()->view();
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(bar->value(), paged);
    // Enter in the open list sends the chosen entry.
    list->setCurrentIndex(list->model()->index(1, 0));
    f.key(list, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    ASSERT_EQ(f.sent.size(), 1u);
    EXPECT_EQ(f.sent[0].data, QByteArray("b\r"));
    EXPECT_EQ(f.w->history().value(0), QStringLiteral("b"));
}

TEST(TerminalWindow, HistorySurvivesARestart) {
    QTemporaryDir dir;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    {
        WindowFixture f;
        VOxaAppInfo* info = new VOxaAppInfo(&f.owner);
        info->SetAppName(QStringLiteral("Dralvo_v1-7"));
        f.term->SetOxaAppInfo(info);
        f.term->LoadHistory();
        EXPECT_TRUE(f.term->HistorySaved());
        for (const char* text : {"2", "1", "0"}) {
            f.type(f.manualEdit(), QString::fromLatin1(text));
            f.key(f.manualEdit(), Qt::Key_Return);
        }
        EXPECT_FALSE(f.term->HistorySaved());
        QEvent deactivate(QEvent::WindowDeactivate);
        QApplication::sendEvent(f.w, &deactivate);
        EXPECT_TRUE(f.term->HistorySaved());
    }
    {
        WindowFixture f;
        VOxaAppInfo* info = new VOxaAppInfo(&f.owner);
        info->SetAppName(QStringLiteral("Dralvo_v1-7"));
        f.term->SetOxaAppInfo(info);
        f.term->Loaded();
        EXPECT_EQ(f.w->history(),
                  (QStringList{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")}));
    }
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST(TerminalWindow, LoadingCompletesInOrder) {
    QWidget owner;
    QFont font = owner.font();
    font.setPointSize(15);
    owner.setFont(font);
    VOxaTerminal* term = new VOxaTerminal(&owner);
    term->BeginLoading();
    term->SetFormLeft(20);
    term->SetFormTop(30);
    term->SetVisible(true);
    term->SetShowHexEdit(true);
    term->SetDebugWindowsVisible(true);
    EXPECT_FALSE(term->Form()->isVisible()); // only stored while loading
    QWidget* seenForm = nullptr;
    QPlainTextEdit* seenEdit = nullptr;
    bool visibleAtCreate = false;
    term->OnFormCreate = [&](VOxaTerminal*, QWidget* form, QPlainTextEdit* edit) {
        seenForm = form;
        seenEdit = edit;
        visibleAtCreate = form->isVisible();
        EXPECT_EQ(form->font().pointSize(), 15);
    };
    term->Loaded();
    EXPECT_EQ(seenForm, term->Form());
    EXPECT_EQ(seenEdit, term->RichEdit());
    EXPECT_TRUE(visibleAtCreate);
    EXPECT_EQ(term->FormLeft(), 20);
    EXPECT_EQ(term->FormTop(), 30);
    EXPECT_EQ(term->FormWidth(), 400);
    EXPECT_EQ(term->FormHeight(), 450);
    EXPECT_FALSE(term->Form()->HexManualLine()->isHidden());
    EXPECT_FALSE(term->Form()->DebugInTime()->isHidden());
    EXPECT_FALSE(term->Form()->BtnUndock()->isEnabled());
}
