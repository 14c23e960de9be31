// The desk's settings: kept across a close, defaults for a hive that has
// none, and rules that cannot run kept as they were stored.
#include <QComboBox>

#include "DeskTest.h"
#include "app/Desk.h"
#include "app/DeskSettings.h"
#include "appinfo/VOxaAppInfo.h"
#include "platform/Registry.h"

namespace {
const QString Key = QStringLiteral("Software\\Oxatek\\Dralvo_v1-7\\");
}

TEST_F(DeskTest, ButtonsAndRulesAreKeptAndAnOlderHiveGetsTheDefaults) {
    // A hive of an older version: settings, but no quick-send entries.
    {
        platform::Registry user(platform::RegHive::CurrentUser);
        ASSERT_TRUE(user.setString(Key + "Settings", "Filter1", "%err"));
        ASSERT_TRUE(user.setString(Key + "Reactions", "Rules", "/a(/ => alarm"));
    }
    create();
    EXPECT_EQ(frm->desk->Buttons(), macros::DefaultQuickSendButtons());
    EXPECT_EQ(frm->cmbFilter1->currentText(), "%err");
    // The stored rule cannot run: it is not in force, the user is told, and
    // it is written back as it was.
    EXPECT_TRUE(frm->desk->Reactions().empty());
    EXPECT_TRUE(frm->NoticeText().startsWith("Reactions, line 1: the regular expression /a(/"))
        << frm->NoticeText().toStdString();

    macros::QuickSendButtons buttons = {
        {"Two lines", "AT\\q\nwait 5"}, {"", ""}, {"Hex", "hex 1A"}};
    frm->desk->SetButtons(buttons);
    frm->close();
    {
        platform::Registry user(platform::RegHive::CurrentUser);
        EXPECT_EQ(user.value(Key + "QuickSend", "Count")->dword(), 3u);
        EXPECT_EQ(user.value(Key + "QuickSend", "Text1")->text(), "AT\\\\q\\nwait 5");
        EXPECT_EQ(user.value(Key + "Reactions", "Rules")->text(), "/a(/ => alarm");
    }
    frm.reset();
    create();
    EXPECT_EQ(frm->desk->Buttons(), buttons);
    // A shorter list leaves no stale entries behind.
    frm->desk->SetButtons({buttons[0]});
    frm->close();
    platform::Registry user(platform::RegHive::CurrentUser);
    EXPECT_EQ(user.value(Key + "QuickSend", "Count")->dword(), 1u);
    EXPECT_FALSE(user.value(Key + "QuickSend", "Label3").has_value());
    EXPECT_FALSE(user.value(Key + "QuickSend", "Text2").has_value());
}
