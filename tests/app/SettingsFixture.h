#pragma once
// The main window with its advanced dialog on a registry of the test's making:
// the user hive and a machine hive in the test program's private folder, both
// emptied before each test.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QString>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

#include "TestEnv.h"
#include "app/FormCfgAdv.h"
#include "app/FormMain.h"
#include "platform/Registry.h"
#include "terminal/VOxaLogger.h"
#include "terminal/VOxaTerminal.h"

class SettingsFixture : public ::testing::Test {
protected:
    static constexpr const char* AppKey = "Software\\Oxatek\\Dralvo_v1-7\\";

    void SetUp() override {
        for (const char* folder : {"/config", "/xdg"}) {
            QDir(TestWorkDir() + folder).removeRecursively();
            QDir().mkpath(TestWorkDir() + folder);
        }
    }
    void TearDown() override { frm.reset(); }

    // Creates the window and its dialog and shows it: the settings load.
    void create() {
        frm = std::make_unique<TfrmMain>();
        dlg = new TfrmCfgAdv(frm.get());
        frm->SetCfgAdv(dlg);
        frm->show();
        QCoreApplication::processEvents();
    }
    // Closes the window as its close box does (the settings are saved) and
    // destroys it.
    void closeWindow() {
        frm->close();
        frm.reset();
        dlg = nullptr;
    }

    static platform::Registry user() { return platform::Registry(platform::RegHive::CurrentUser); }
    static QString userHiveFile() { return TestWorkDir() + "/config/Oxatek/user.reg"; }
    static platform::Registry machine() {
        return platform::Registry(TestWorkDir() + "/xdg/Oxatek/machine.reg",
                                  QStringLiteral("HKEY_LOCAL_MACHINE"), false);
    }
    static QString key(const QString& section) { return QLatin1String(AppKey) + section; }

    static std::optional<platform::RegValue> userValue(const QString& section,
                                                       const QString& name) {
        return user().value(key(section), name);
    }
    static void setUserString(const QString& section, const QString& name, const QString& text) {
        ASSERT_TRUE(user().setString(key(section), name, text));
    }
    static void setUserDword(const QString& section, const QString& name, uint32_t value) {
        ASSERT_TRUE(user().setDword(key(section), name, value));
    }

    static QByteArray readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString terminalText() {
        frm->termData->FlushDisplay();
        return frm->termData->RichEdit()->toPlainText();
    }
    int countInTerminal(const QString& what) { return int(terminalText().count(what)); }
    // What the terminal's logger has written so far.
    QByteArray logText() {
        VOxaLogger* logger = frm->termData->Logger();
        logger->Flush();
        return readFile(logger->FileName());
    }

    std::unique_ptr<TfrmMain> frm;
    TfrmCfgAdv* dlg = nullptr;
};
