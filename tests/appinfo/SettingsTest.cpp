#include "appinfo/VOxaAppInfo.h"
#include "platform/Registry.h"

#include "TestHives.h"

using platform::RegHive;
using platform::Registry;
namespace RegType = platform::RegType;

namespace {

class SettingsTest : public HiveFixture {
protected:
    void SetUp() override {
        HiveFixture::SetUp();
        info.SetAppName(QStringLiteral("Dralvo_v1-7"));
    }
    VOxaAppInfo info;
    const QString key = QStringLiteral("Software\\Oxatek\\Dralvo_v1-7\\Port");
};

} // namespace

TEST(VOxaAppInfoProperties, DefaultsAndRegistryPathBackslash) {
    VOxaAppInfo info;
    EXPECT_EQ(info.AppName(), QStringLiteral("[Unknown]"));
    EXPECT_EQ(info.RegistryPath(), QStringLiteral("Software\\Oxatek\\"));
    EXPECT_FALSE(info.InhibitApplRunning());
    EXPECT_FALSE(info.ResizeNonresizeable());
    EXPECT_TRUE(info.SplashFormClass().isEmpty());
    EXPECT_TRUE(info.MainVisible());
    EXPECT_TRUE(info.SplashVisible());
    EXPECT_EQ(info.SplashMinTime(), 0u);
    EXPECT_EQ(info.ExceptionList().Count(), 0);
    EXPECT_FALSE(info.IsApplicationRunning());

    info.SetRegistryPath(QStringLiteral("Software\\Other"));
    EXPECT_EQ(info.RegistryPath(), QStringLiteral("Software\\Other\\"));
    info.SetRegistryPath(QStringLiteral("Software\\Kept\\"));
    EXPECT_EQ(info.RegistryPath(), QStringLiteral("Software\\Kept\\"));
    info.SetAppName(QStringLiteral("App"));
    EXPECT_EQ(info.SectionKey(QStringLiteral("Settings")),
              QStringLiteral("Software\\Kept\\App\\Settings"));
    EXPECT_EQ(info.PlacementKey(), QStringLiteral("Software\\Kept\\App\\Options\\Forms\\"));

    TCustomFormList list;
    list.Add(QStringLiteral("frmAbout"));
    info.SetExceptionList(list);
    list.Clear(); // assigning copied the names
    EXPECT_TRUE(info.ExceptionList().Contains(QStringLiteral("FRMABOUT")));
    EXPECT_FALSE(info.ExceptionList().Contains(QStringLiteral("frmMain")));
}

TEST_F(SettingsTest, LayeredReadsPreferUserOverMachineOverDefault) {
    writeFile(machineFile(), "REGEDIT4\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Oxatek\\Dralvo_v1-7\\Port]\r\n"
                             "\"ComPort\"=\"COM3\"\r\n"
                             "\"MachineOnly\"=\"m\"\r\n"
                             "\"Baudrate\"=dword:0000000a\r\n"
                             "\"Parity\"=\"2\"\r\n"
                             "\"StopBits\"=\"1\"\r\n"
                             "\"Blob\"=hex:01,02\r\n"
                             "\"Spaced\"=\" 12\"\r\n"
                             "\"Big\"=\"2147483648\"\r\n"
                             "\"Low\"=\"-2147483648\"\r\n"
                             "\"Plus\"=\"+12\"\r\n\r\n");
    writeFile(userFile(), "REGEDIT4\r\n\r\n"
                          "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\Port]\r\n"
                          "\"comport\"=\"COM7\"\r\n"
                          "\"AllBits\"=dword:ffffffff\r\n"
                          "\"StopBits\"=\"two\"\r\n"
                          "\"Expand\"=hex(2):25,41,25,00\r\n\r\n");
    const QString port = QStringLiteral("Port");
    EXPECT_EQ(info.ReadLayeredString(port, "ComPort", "COM1"), QStringLiteral("COM7"));
    EXPECT_EQ(info.ReadLayeredString(port, "MachineOnly", "d"), QStringLiteral("m"));
    EXPECT_EQ(info.ReadLayeredString(port, "Missing", "d"), QStringLiteral("d"));
    EXPECT_EQ(info.ReadLayeredString(port, "Baudrate", "d"), QStringLiteral("10"));
    EXPECT_EQ(info.ReadLayeredString(port, "Expand", "d"), QStringLiteral("%A%"));
    EXPECT_EQ(info.ReadLayeredString(port, "Blob", "d"), QStringLiteral("d")); // other type ignored
    // The same 32-bit number: unsigned in the layered read, signed in the user read.
    EXPECT_EQ(info.ReadLayeredString(port, "AllBits", "d"), QStringLiteral("4294967295"));
    EXPECT_EQ(info.ReadUserString(port, "AllBits", "d"), QStringLiteral("-1"));

    EXPECT_EQ(info.ReadLayeredInteger(port, "Baudrate", 13), 10);
    EXPECT_EQ(info.ReadLayeredInteger(port, "Parity", 0), 2); // decimal text accepted
    // The user's "two" is not a number, so the machine's "1" stands.
    EXPECT_EQ(info.ReadLayeredInteger(port, "StopBits", 0), 1);
    EXPECT_EQ(info.ReadLayeredInteger(port, "ComPort", 5), 5);
    EXPECT_EQ(info.ReadLayeredInteger(port, "AllBits", 5), -1);
    EXPECT_EQ(info.ReadLayeredInteger(port, "Missing", 5), 5);
    // Only an optionally signed decimal number within 32 bits counts.
    EXPECT_EQ(info.ReadLayeredInteger(port, "Spaced", 5), 5);
    EXPECT_EQ(info.ReadLayeredInteger(port, "Big", 5), 5);
    EXPECT_EQ(info.ReadLayeredInteger(port, "Low", 5), -2147483647 - 1);
    EXPECT_EQ(info.ReadLayeredInteger(port, "Plus", 5), 12);

    // The user reads do not look at the machine hive.
    EXPECT_EQ(info.ReadUserString(port, "MachineOnly", "d"), QStringLiteral("d"));
    EXPECT_EQ(info.ReadUserInteger(port, "Baudrate", 13), 13);
    EXPECT_EQ(info.ReadUserInteger(port, "StopBits", 7), 7);
    EXPECT_EQ(info.ReadUserInteger(port, "AllBits", 7), -1);
}

TEST_F(SettingsTest, UserReadsCreateTheSectionKey) {
    Registry user(RegHive::CurrentUser);
    EXPECT_FALSE(user.keyExists(QStringLiteral("Software\\Oxatek\\Dralvo_v1-7\\Advanced")));
    EXPECT_EQ(info.ReadUserInteger("Advanced", "AutoStartDelay", 500), 500);
    EXPECT_TRUE(user.keyExists(QStringLiteral("Software\\Oxatek\\Dralvo_v1-7\\Advanced")));
    EXPECT_EQ(info.ReadUserString("Settings", "Filter1", ""), QString());
    EXPECT_TRUE(user.keyExists(QStringLiteral("Software\\Oxatek\\Dralvo_v1-7\\Settings")));
    // The layered reads only look.
    info.ReadLayeredString("Other", "x", "");
    EXPECT_FALSE(user.keyExists(QStringLiteral("Software\\Oxatek\\Dralvo_v1-7\\Other")));
}

TEST_F(SettingsTest, WritesKeepStringsStringsAndReadBack) {
    writeFile(userFile(), "REGEDIT4\r\n\r\n"
                          "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\Advanced]\r\n"
                          "\"AlarmDelay\"=\"30000\"\r\n\r\n");
    const QString adv = QStringLiteral("Advanced");
    EXPECT_TRUE(info.WriteUserInteger(adv, "alarmdelay", 45000));
    EXPECT_TRUE(info.WriteUserInteger(adv, "AutoMarkDelay", -2));
    EXPECT_TRUE(info.WriteUserBool(adv, "Alarm", true));
    EXPECT_TRUE(info.WriteUserBool(adv, "AutoCmd", false));
    EXPECT_TRUE(info.WriteUserString(adv, "AutoCmdText", QStringLiteral("at+cpas")));

    Registry user(RegHive::CurrentUser);
    const QString advKey = QStringLiteral("Software\\Oxatek\\Dralvo_v1-7\\Advanced");
    const auto delay = user.value(advKey, "AlarmDelay");
    ASSERT_TRUE(delay.has_value());
    EXPECT_EQ(delay->type, RegType::String);
    EXPECT_EQ(delay->text(), QStringLiteral("45000"));
    EXPECT_EQ(user.value(advKey, "AutoMarkDelay")->type, RegType::Dword);
    EXPECT_EQ(user.value(advKey, "AutoMarkDelay")->dword(), 0xFFFFFFFEu);
    EXPECT_EQ(user.value(advKey, "Alarm")->dword(), 1u);
    EXPECT_EQ(user.value(advKey, "AutoCmd")->dword(), 0u);

    const QByteArray text = readFile(userFile());
    EXPECT_TRUE(text.contains("\"AlarmDelay\"=\"45000\"\r\n")) << text.constData();
    EXPECT_TRUE(text.contains("\"AutoMarkDelay\"=dword:fffffffe\r\n")) << text.constData();

    // Another instance (a restart) reads the same values.
    VOxaAppInfo later;
    later.SetAppName(QStringLiteral("Dralvo_v1-7"));
    EXPECT_EQ(later.ReadUserInteger(adv, "AlarmDelay", 0), 45000);
    EXPECT_EQ(later.ReadUserInteger(adv, "AutoMarkDelay", 0), -2);
    EXPECT_EQ(later.ReadUserString(adv, "AutoCmdText", "at"), QStringLiteral("at+cpas"));

    EXPECT_TRUE(later.DeleteUserValue(adv, "AUTOCMDTEXT"));
    EXPECT_EQ(later.ReadUserString(adv, "AutoCmdText", "at"), QStringLiteral("at"));
    EXPECT_FALSE(later.DeleteUserValue(adv, "AutoCmdText"));
}

TEST_F(SettingsTest, UnwritableConfigFolderGivesDefaultsWithoutCrash) {
    writeFile(m_dir.path() + "/plain", "x");
    setenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + "/plain/sub").constData(), 1);
    EXPECT_EQ(info.ReadUserString("Settings", "StartCmd", "a:/appmain2.jad"),
              QStringLiteral("a:/appmain2.jad"));
    EXPECT_EQ(info.ReadUserInteger("Advanced", "AutoStartDelay", 500), 500);
    EXPECT_EQ(info.ReadLayeredInteger("Port", "Baudrate", 13), 13);
    EXPECT_FALSE(info.WriteUserString("Settings", "StartCmd", "x"));
    EXPECT_FALSE(info.WriteUserInteger("Advanced", "AutoStartDelay", 1));
    EXPECT_FALSE(info.WriteUserBool("Advanced", "Alarm", true));
    EXPECT_FALSE(info.DeleteUserValue("Advanced", "Alarm"));
    info.SaveFormPlacement();
    info.RestoreFormPlacement();
}
