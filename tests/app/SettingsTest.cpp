// Loading and saving the main window's settings: defaults, layering of the
// machine and user hives, value types, histories and the port parameters.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "SettingsFixture.h"
#include "app/ModuleCommands.h"
#include "comm/VOXComm32.h"
#include "util/Timer.h"
#include <sys/stat.h>

namespace {

using platform::RegType::Dword;
using platform::RegType::String;

using Settings = SettingsFixture;

QStringList items(const QComboBox* combo) {
    QStringList result;
    for (int i = 0; i < combo->count(); ++i)
        result << combo->itemText(i);
    return result;
}

TEST_F(Settings, FirstRunWithEmptyRegistryGivesEveryDefault) {
    create();
    EXPECT_EQ(frm->edtStartCmd->text(), "a:/appmain2.jad");
    EXPECT_EQ(frm->commMain->CommPort(), "COM1");
    EXPECT_EQ(frm->commMain->BaudRate(), TBaudRate::_115200);
    EXPECT_EQ(frm->commMain->Parity(), TParity::None);
    EXPECT_EQ(frm->commMain->StopBits(), TStopBits::_1);
    EXPECT_EQ(frm->cmbFilter1->currentText(), "");
    EXPECT_EQ(frm->cmbFilter2->currentText(), "");
    EXPECT_EQ(frm->cmbFilter1->count(), 0);
    EXPECT_EQ(frm->cmbFilter2->count(), 0);
    EXPECT_FALSE(frm->chkStrict->isChecked());

    EXPECT_FALSE(dlg->chkAutostart->isChecked());
    EXPECT_FALSE(dlg->chkAutoMark->isChecked());
    EXPECT_FALSE(dlg->chkAutoCmd->isChecked());
    EXPECT_FALSE(dlg->chkBinaryLogEnable->isChecked());
    EXPECT_FALSE(dlg->chkAlarm->isChecked());
    EXPECT_EQ(dlg->edtAutostartDelay->text(), "500");
    EXPECT_EQ(dlg->edtMarkDelay->text(), "30000");
    EXPECT_EQ(dlg->edtAutoCmdDelay->text(), "30000");
    EXPECT_EQ(dlg->edtAlarmDelay->text(), "30000");
    // The dialog's own "AT" is replaced by the stored default before anyone sees it.
    EXPECT_EQ(dlg->edtAutoCmd->text(), "at");

    // All automation is off.
    for (Timer* timer : {frm->tmrAutoStartDelayed, frm->tmrAutoMark, frm->tmrAutoCmd, frm->tmrAlarm,
                         frm->tmrAlarmRepeat})
        EXPECT_FALSE(timer->IsRunning()) << timer->Name().toStdString();
    EXPECT_EQ(frm->tmrAutoStartDelayed->Interval(), 500u);
    EXPECT_EQ(frm->tmrAutoMark->Interval(), 30000u);
}

TEST_F(Settings, CloseStoresEveryValueWithItsTypeAndTheNextRunLoadsThem) {
    create();
    frm->edtStartCmd->setText("a:/other.jad");
    frm->cmbFilter1->setEditText("%err");
    frm->cmbFilter2->setEditText("JSR");
    frm->chkStrict->setChecked(true);
    dlg->chkAutostart->setChecked(true);
    dlg->edtAutostartDelay->setText("1500");
    dlg->chkAutoMark->setChecked(true);
    dlg->edtMarkDelay->setText("60000");
    dlg->chkAutoCmd->setChecked(true);
    dlg->edtAutoCmdDelay->setText("+250");
    dlg->edtAutoCmd->setText("at+cgmr");
    dlg->chkAlarm->setChecked(true);
    dlg->edtAlarmDelay->setText("-1");
    closeWindow();

    struct Expected {
        const char* section;
        const char* name;
        uint32_t type;
        QVariant value;
    };
    const Expected expected[] = {
        {"Settings", "StartCmd", String, "a:/other.jad"},
        {"Settings", "Filter1", String, "%err"},
        {"Settings", "Filter2", String, "JSR"},
        {"Settings", "FilterStrict", Dword, 1u},
        {"Advanced", "AutoStart", Dword, 1u},
        {"Advanced", "AutoStartDelay", Dword, 1500u},
        {"Advanced", "AutoMark", Dword, 1u},
        {"Advanced", "AutoMarkDelay", Dword, 60000u},
        {"Advanced", "AutoCmd", Dword, 1u},
        {"Advanced", "AutoCmdDelay", Dword, 250u},
        {"Advanced", "AutoCmdText", String, "at+cgmr"},
        {"Advanced", "CreateBinLog", Dword, 0u},
        {"Advanced", "Alarm", Dword, 1u},
        {"Advanced", "AlarmDelay", Dword, 0xffffffffu},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        const auto value = userValue(e.section, e.name);
        ASSERT_TRUE(value.has_value());
        ASSERT_EQ(value->type, e.type);
        if (e.type == String)
            EXPECT_EQ(value->text(), e.value.toString());
        else
            EXPECT_EQ(value->dword(), e.value.toUInt());
    }
    const auto config = userValue("Port", "ConfigString");
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->type, String);
    EXPECT_TRUE(config->text().startsWith("\"COM1\",\"115200\"")) << config->text().toStdString();
    // The separate port values are read, never written.
    for (const char* name : {"ComPort", "Baudrate", "Parity", "StopBits"})
        EXPECT_FALSE(userValue("Port", name).has_value()) << name;

    create();
    EXPECT_EQ(frm->edtStartCmd->text(), "a:/other.jad");
    EXPECT_EQ(frm->cmbFilter1->currentText(), "%err");
    EXPECT_EQ(frm->cmbFilter2->currentText(), "JSR");
    EXPECT_TRUE(frm->chkStrict->isChecked());
    EXPECT_TRUE(dlg->chkAutostart->isChecked());
    EXPECT_EQ(dlg->edtAutostartDelay->text(), "1500");
    EXPECT_EQ(dlg->edtAutoCmdDelay->text(), "250");
    EXPECT_EQ(dlg->edtAutoCmd->text(), "at+cgmr");
    EXPECT_EQ(dlg->edtAlarmDelay->text(), "-1");
    EXPECT_TRUE(frm->tmrAutoStartDelayed->Enabled());
    EXPECT_EQ(frm->tmrAutoStartDelayed->Interval(), 1500u);
}

TEST_F(Settings, MachineStartCommandIsUsedUntilTheUserHasOne) {
    ASSERT_TRUE(machine().setString(key("Settings"), "StartCmd", "a:/site.jad"));
    create();
    EXPECT_EQ(frm->edtStartCmd->text(), "a:/site.jad");
    closeWindow();
    // The first close gives the user a value of their own.
    ASSERT_TRUE(userValue("Settings", "StartCmd").has_value());
    EXPECT_EQ(userValue("Settings", "StartCmd")->text(), "a:/site.jad");

    setUserString("Settings", "StartCmd", "a:/mine.jad");
    create();
    EXPECT_EQ(frm->edtStartCmd->text(), "a:/mine.jad");
}

TEST_F(Settings, FlagsCountAsSetOnlyForTheValueOne) {
    setUserDword("Settings", "FilterStrict", 2);
    setUserDword("Advanced", "AutoMark", 0xffffffffu);
    setUserDword("Advanced", "Alarm", 1);
    // Integers stored as decimal text are read too.
    setUserString("Advanced", "AutoCmd", "1");
    create();
    EXPECT_FALSE(frm->chkStrict->isChecked());
    EXPECT_FALSE(dlg->chkAutoMark->isChecked());
    EXPECT_TRUE(dlg->chkAlarm->isChecked());
    EXPECT_TRUE(dlg->chkAutoCmd->isChecked());
    closeWindow();
    EXPECT_EQ(userValue("Settings", "FilterStrict")->dword(), 0u);
    EXPECT_EQ(userValue("Advanced", "AutoMark")->dword(), 0u);
    // A value that exists as a string stays one.
    EXPECT_EQ(userValue("Advanced", "AutoCmd")->type, String);
    EXPECT_EQ(userValue("Advanced", "AutoCmd")->text(), "1");
}

TEST_F(Settings, HistoryGapsCloseOnLoadAndStaleNumbersGoOnSave) {
    setUserString("Filter1History", "0", "first");
    setUserString("Filter1History", "1", "second");
    setUserString("Filter1History", "5", "fifth");
    setUserString("Filter2History", "3", "only");
    setUserString("Filter2History", "9", "");
    setUserString("Settings", "Filter1", "typed");
    create();
    EXPECT_EQ(items(frm->cmbFilter1), QStringList({"first", "second", "fifth"}));
    EXPECT_EQ(items(frm->cmbFilter2), QStringList({"only"}));
    // Loading the list leaves the stored filter texts alone.
    EXPECT_EQ(frm->cmbFilter1->currentText(), "typed");
    EXPECT_EQ(frm->cmbFilter2->currentText(), "");
    closeWindow();

    const QList<platform::RegValue> history1 = user().values(key("Filter1History"));
    ASSERT_EQ(history1.size(), 3);
    EXPECT_EQ(userValue("Filter1History", "0")->text(), "first");
    EXPECT_EQ(userValue("Filter1History", "1")->text(), "second");
    EXPECT_EQ(userValue("Filter1History", "2")->text(), "fifth");
    EXPECT_FALSE(userValue("Filter1History", "5").has_value());
    EXPECT_EQ(user().values(key("Filter2History")).size(), 1);
    EXPECT_EQ(userValue("Filter2History", "0")->text(), "only");
    EXPECT_EQ(userValue("Settings", "Filter1")->text(), "typed");
}

TEST_F(Settings, HistoryOfTenRoundTripsAndAShorterListRemovesTheRest) {
    create();
    for (int i = 0; i < 10; ++i)
        frm->cmbFilter2->addItem(QString("item %1").arg(i));
    closeWindow();
    EXPECT_EQ(user().values(key("Filter2History")).size(), 10);

    create();
    ASSERT_EQ(frm->cmbFilter2->count(), 10);
    EXPECT_EQ(frm->cmbFilter2->itemText(9), "item 9");
    frm->cmbFilter2->removeItem(0);
    frm->cmbFilter2->removeItem(0);
    closeWindow();
    EXPECT_EQ(user().values(key("Filter2History")).size(), 8);
    EXPECT_EQ(userValue("Filter2History", "0")->text(), "item 2");
    EXPECT_FALSE(userValue("Filter2History", "8").has_value());
    EXPECT_FALSE(userValue("Filter2History", "9").has_value());
}

TEST_F(Settings, SeparatePortValuesHoldUntilTheConfigurationStringExists) {
    setUserString("Port", "ComPort", "COM7");
    setUserDword("Port", "Baudrate", 6);
    create();
    EXPECT_EQ(frm->commMain->CommPort(), "COM7");
    EXPECT_EQ(frm->commMain->BaudRate(), TBaudRate::___9600);
    closeWindow();
    const auto config = userValue("Port", "ConfigString");
    ASSERT_TRUE(config.has_value());
    EXPECT_TRUE(config->text().startsWith("\"COM7\",\"9600\"")) << config->text().toStdString();

    // From now on the configuration string decides.
    setUserString("Port", "ComPort", "COM9");
    setUserDword("Port", "Baudrate", 13);
    create();
    EXPECT_EQ(frm->commMain->CommPort(), "COM7");
    EXPECT_EQ(frm->commMain->BaudRate(), TBaudRate::___9600);
}

TEST_F(Settings, PortOrdinalsOutOfRangeAreIgnored) {
    setUserDword("Port", "Baudrate", 20);
    setUserDword("Port", "Parity", 5);
    setUserDword("Port", "StopBits", 3);
    setUserString("Port", "ComPort", "ttyUSB3");
    create();
    EXPECT_EQ(frm->commMain->CommPort(), "ttyUSB3");
    EXPECT_EQ(frm->commMain->BaudRate(), TBaudRate::_115200);
    EXPECT_EQ(frm->commMain->Parity(), TParity::None);
    EXPECT_EQ(frm->commMain->StopBits(), TStopBits::_1);
    frm.reset();

    setUserDword("Port", "Baudrate", 19);
    setUserDword("Port", "Parity", 2);
    setUserDword("Port", "StopBits", 2);
    create();
    EXPECT_EQ(frm->commMain->BaudRate(), TBaudRate::_1000000);
    EXPECT_EQ(frm->commMain->Parity(), TParity::Even);
    EXPECT_EQ(frm->commMain->StopBits(), TStopBits::_2);
}

TEST_F(Settings, DelaysThatAreNoIntegersAreSavedAsTheirDefaults) {
    create();
    dlg->edtAutostartDelay->setText("");
    dlg->edtMarkDelay->setText("abc");
    dlg->edtAutoCmdDelay->setText("4294967296");
    dlg->edtAlarmDelay->setText("12 ");
    closeWindow();
    EXPECT_EQ(userValue("Advanced", "AutoStartDelay")->dword(), 500u);
    EXPECT_EQ(userValue("Advanced", "AutoMarkDelay")->type, Dword);
    EXPECT_EQ(userValue("Advanced", "AutoMarkDelay")->dword(), 30000u);
    EXPECT_EQ(userValue("Advanced", "AutoCmdDelay")->dword(), 30000u);
    EXPECT_EQ(userValue("Advanced", "AlarmDelay")->dword(), 30000u);
}

TEST_F(Settings, NothingIsStoredBeforeTheWindowCloses) {
    // A complete hive from an earlier run.
    create();
    closeWindow();
    const QByteArray before = readFile(userHiveFile());
    ASSERT_FALSE(before.isEmpty());

    create();
    frm->edtStartCmd->setText("changed");
    dlg->chkAlarm->setChecked(true);
    frm->cmbFilter1->addItem("new");
    frm->ApplyAdvancedSettings();
    // The program ends without closing its window, as in a crash.
    frm.reset();
    EXPECT_EQ(readFile(userHiveFile()), before);
}

TEST_F(Settings, SaveCutShortLeavesAReadableHiveWithTheEarlierValues) {
    setUserString("Settings", "StartCmd", "old");
    setUserString("Advanced", "AutoCmdText", "old cmd");
    create();
    frm->edtStartCmd->setText("new");
    dlg->edtAutoCmd->setText("new cmd");
    // The first change of the hive succeeds, every later one is lost, as when
    // the program dies in the middle of saving.
    int writes = 0;
    platform::Registry::setBeforeRenameHook([&] { return ++writes <= 1; });
    frm->SaveSettings();
    platform::Registry::setBeforeRenameHook({});
    frm.reset();
    EXPECT_GT(writes, 1);

    EXPECT_TRUE(readFile(userHiveFile()).startsWith("REGEDIT4\r\n"));
    EXPECT_EQ(userValue("Settings", "StartCmd")->text(), "new");
    EXPECT_EQ(userValue("Advanced", "AutoCmdText")->text(), "old cmd");
    EXPECT_FALSE(userValue("Port", "ConfigString").has_value());
    // The next run starts from what was stored.
    create();
    EXPECT_EQ(frm->edtStartCmd->text(), "new");
    EXPECT_EQ(dlg->edtAutoCmd->text(), "old cmd");
}

// Bytes that are not UTF-8 (a Latin-1 "é") in a start command and a filter come
// back from a session byte for byte.
TEST_F(Settings, EightBitTextSurvivesASessionByteForByte) {
    QDir().mkpath(TestWorkDir() + "/config/Oxatek");
    const QByteArray section = "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\Settings]\r\n";
    QFile hive(userHiveFile());
    ASSERT_TRUE(hive.open(QIODevice::WriteOnly));
    hive.write("REGEDIT4\r\n\r\n" + section +
               "\"StartCmd\"=\"a:/caf\xe9.jad\"\r\n\"Filter1\"=\"\xe9t\xe9 \xc3\xa9\"\r\n\r\n");
    hive.close();
    create();
    closeWindow();
    const QByteArray after = readFile(userHiveFile());
    EXPECT_TRUE(after.contains("\"StartCmd\"=\"a:/caf\xe9.jad\"\r\n")) << after.toStdString();
    EXPECT_TRUE(after.contains("\"Filter1\"=\"\xe9t\xe9 \xc3\xa9\"\r\n")) << after.toStdString();
}

// A hive that cannot be read is moved aside at start, the window says so and
// where the old copy is, and the session's settings go to a fresh hive at
// close. A read-only hive makes the close say which file could not be saved
// and why, and stays as it was.
TEST_F(Settings, UnreadableHiveIsKeptAsideAndReadOnlyHiveFailsTheSaveVisibly) {
    QDir().mkpath(TestWorkDir() + "/config/Oxatek");
    const QByteArray garbage("\0\x01"
                             "binary\xff",
                             9);
    {
        QFile hive(userHiveFile());
        ASSERT_TRUE(hive.open(QIODevice::WriteOnly));
        hive.write(garbage);
    }
    create();
    const QString notice = frm->NoticeText();
    EXPECT_TRUE(notice.contains(userHiveFile() + ".bad-")) << notice.toStdString();
    EXPECT_TRUE(notice.contains("could not be read")) << notice.toStdString();
    const QStringList aside =
        QDir(TestWorkDir() + "/config/Oxatek").entryList({"user.reg.bad-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readFile(TestWorkDir() + "/config/Oxatek/" + aside.first()), garbage);
    frm->edtStartCmd->setText("kept.jad");
    closeWindow();
    EXPECT_EQ(userValue("Settings", "StartCmd")->text(), "kept.jad");

    QStringList shown;
    app::setIoErrorReporter([&](QWidget*, const QString& message) { shown << message; });
    ASSERT_EQ(::chmod(QFile::encodeName(userHiveFile()).constData(), 0444), 0);
    const QByteArray before = readFile(userHiveFile());
    create();
    EXPECT_TRUE(frm->NoticeText().contains("read-only")) << frm->NoticeText().toStdString();
    frm->edtStartCmd->setText("lost.jad");
    closeWindow();
    app::setIoErrorReporter({});
    ::chmod(QFile::encodeName(userHiveFile()).constData(), 0644);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown.first().contains(userHiveFile() + ": the file is read-only"))
        << shown.first().toStdString();
    EXPECT_EQ(readFile(userHiveFile()), before);
}

} // namespace
