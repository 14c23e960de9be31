// One language by the user's locale: English in an English or C locale,
// Czech in a Czech one (the terminal window with its Czech texts as they have
// always been), and the same settings and log bytes in both.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DeskTest.h"
#include "app/Translations.h"
#include "terminal/TerminalFindBar.h"

namespace {

const QString QmDir = QStringLiteral(DRALVO_BINARY_DIR "/translations");

class DeskLanguage : public DeskTest {
protected:
    void TearDown() override {
        DeskTest::TearDown();
        app::InstallTranslations(QLocale::c());
    }

    // The same afternoon in the given language: settings changed, lines
    // received and marked, the window closed; the settings file and the log
    // as they are afterwards.
    std::pair<QByteArray, QByteArray> session(const QLocale& locale) {
        SetUp();
        app::InstallTranslations(locale, QmDir);
        beforeShow = [this] {
            const QDateTime at = QDateTime::fromMSecsSinceEpoch(m_clockMs);
            frm->termData->SetClock([this] { return m_clockMs; });
            frm->termData->Logger()->SetClock([at] { return at; });
        };
        create();
        frm->cmbFilter1->setEditText("%err");
        QTest::mouseClick(frm->chkStrict, Qt::LeftButton);
        receive("an error\r\nnoise\r\n");
        QTest::mouseClick(frm->chkStrict, Qt::LeftButton);
        frm->btnFreezeRun->click();
        receive("frozen\r\n");
        frm->btnFreezeRun->click();
        frm->session->Mark();
        frm->termData->Form()->setManualText("AT");
        frm->termData->SendLine();
        frm->close();
        QFile hive(TestWorkDir() + "/config/Oxatek/user.reg");
        EXPECT_TRUE(hive.open(QIODevice::ReadOnly));
        const QByteArray settings = hive.readAll();
        return {settings, closeAndReadLog()};
    }
};

} // namespace

TEST_F(DeskLanguage, EnglishOrCzechByTheLocaleWithTheSameSettingsAndLog) {
    // English and C locales load nothing: the texts are the code's own.
    EXPECT_EQ(app::InstallTranslations(QLocale::c(), QmDir), QString());
    EXPECT_EQ(app::InstallTranslations(QLocale(QLocale::English, QLocale::UnitedStates), QmDir),
              QString());
    create();
    TerminalWindow* term = frm->termData->Form();
    EXPECT_EQ(term->SendLineButton()->text(), "Send");
    EXPECT_EQ(term->BtnDirect()->text(), "Direct");
    EXPECT_EQ(term->ClearButton()->text(), "Clear");
    EXPECT_EQ(term->BtnUndock()->text(), "Undock window");
    EXPECT_EQ(term->BtnDirect()->toolTip(), "Send the line without a line end");
    EXPECT_TRUE(term->ManualLine()->toolTip().contains("Ctrl+Z ends it with 0x1A"));
    EXPECT_TRUE(term->ManualLine()->toolTip().contains("Esc with 0x1B"));
    EXPECT_EQ(term->FindBar()->findChild<QLabel*>()->text(), "Find:");
    EXPECT_EQ(dlg->windowTitle(), "Advanced configuration");
    frm->btnFreezeRun->click();
    EXPECT_EQ(frm->btnFreezeRun->text(), "&Run");
    EXPECT_TRUE(frm->cmbFilter1->toolTip().contains("%err marks every line that contains err"));
    frm.reset();

    // Czech: the terminal window as it always was, the rest Czech too.
    EXPECT_TRUE(app::InstallTranslations(QLocale(QLocale::Czech, QLocale::Czechia), QmDir)
                    .endsWith("dralvo_cs.qm"));
    create();
    term = frm->termData->Form();
    EXPECT_EQ(term->windowTitle(), QString::fromUtf8("Terminál"));
    EXPECT_EQ(term->SendLineButton()->text(), "Odeslat");
    EXPECT_EQ(term->SendLineButton()->toolTip(), QString::fromUtf8("Odeslat s odřádkováním"));
    EXPECT_EQ(term->BtnDirect()->text(), QString::fromUtf8("Přímo"));
    EXPECT_EQ(term->BtnDirect()->toolTip(), QString::fromUtf8("Odeslat bez odřádkování"));
    EXPECT_EQ(term->ClearButton()->text(), "Vymazat");
    EXPECT_EQ(term->ClearButton()->toolTip(), "Vymazat historii");
    EXPECT_EQ(term->BtnUndock()->text(), "Uvolnit okno");
    EXPECT_EQ(term->BtnUndock()->toolTip(), QString::fromUtf8("Uvolnit okno terminálu"));
    EXPECT_EQ(term->RGroupMode()->title(), QString::fromUtf8("Režim"));
    EXPECT_EQ(term->FindBar()->findChild<QLabel*>()->text(), "Hledat:");
    EXPECT_EQ(frm->btnConnect->text(), QString::fromUtf8("&Připojit"));
    EXPECT_EQ(dlg->windowTitle(), QString::fromUtf8("Rozšířené nastavení"));
    EXPECT_EQ(frm->lblOutState->text(), "Odpojeno");
    // Object names do not change with the language.
    EXPECT_EQ(frm->btnConnect->objectName(), "btnConnect");
    EXPECT_EQ(term->SendLineButton()->objectName(), "termData_SendLinebutton");
    frm.reset();

    // The same work in both languages leaves the same bytes behind.
    const auto english = session(QLocale::c());
    const auto czech = session(QLocale(QLocale::Czech, QLocale::Czechia));
    EXPECT_FALSE(english.first.isEmpty());
    EXPECT_TRUE(english.second.contains("-- Strict from")) << english.second.toStdString();
    EXPECT_TRUE(english.second.contains("-- Frozen from"));
    EXPECT_TRUE(english.second.contains(": Disconnected"));
    EXPECT_EQ(english.first, czech.first);
    EXPECT_EQ(english.second.toStdString(), czech.second.toStdString());
}
