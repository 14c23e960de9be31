#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::RegHive;
using platform::Registry;
namespace RegType = platform::RegType;
using platform::RegValue;

namespace {

const QString kKey = QStringLiteral("Software\\Oxatek\\Dralvo_v1-7\\Settings");

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Points the user and machine hives at fresh temporary folders.
class RegistryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        m_configHome = m_home.path() + QStringLiteral("/config");
        m_machineDir = m_home.path() + QStringLiteral("/xdg2");
        setenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome).constData(), 1);
        const QString dirs = m_home.path() + QStringLiteral("/xdg1:") + m_machineDir;
        setenv("XDG_CONFIG_DIRS", QFile::encodeName(dirs).constData(), 1);
    }
    QString userFile() const { return m_configHome + QStringLiteral("/Oxatek/user.reg"); }
    QString machineFile() const { return m_machineDir + QStringLiteral("/Oxatek/machine.reg"); }

    QTemporaryDir m_home;
    QString m_configHome;
    QString m_machineDir;
};

} // namespace

TEST_F(RegistryFixture, HivePathsFollowTheEnvironment) {
    EXPECT_EQ(Registry::userHiveFile(), userFile());
    EXPECT_TRUE(Registry::machineHiveFile().isEmpty()); // no machine hive anywhere yet
    writeFile(machineFile(), "REGEDIT4\r\n\r\n");
    EXPECT_EQ(Registry::machineHiveFile(), machineFile());

    unsetenv("XDG_CONFIG_HOME");
    const QByteArray oldHome = qgetenv("HOME");
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(Registry::userHiveFile(), QStringLiteral("/home/someone/.config/Oxatek/user.reg"));
    unsetenv("HOME");
    EXPECT_TRUE(Registry::userHiveFile().isEmpty());
    Registry noHive(RegHive::CurrentUser);
    EXPECT_FALSE(noHive.setString(kKey, QStringLiteral("a"), QStringLiteral("b")));
    EXPECT_FALSE(noHive.value(kKey, QStringLiteral("a")).has_value());
    setenv("HOME", oldHome.constData(), 1);
}

TEST_F(RegistryFixture, ReadsHandWrittenExportText) {
    writeFile(userFile(), "REGEDIT4\r\n"
                          "\r\n"
                          "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7]\r\n"
                          "\r\n"
                          "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\Settings]\r\n"
                          "\"StartCmd\"=\"a:/app \\\"x\\\"\\\\main.jad\"\r\n"
                          "\"Count\"=dword:0000001e\r\n"
                          "@=\"default\"\r\n"
                          "\"Path\"=hex(2):25,54,4d,50,25,00\r\n"
                          "\"Blob\"=hex:01,02,\\\r\n"
                          "  ff\r\n"
                          "\"Multi\"=hex(7):61,00,00\r\n"
                          "\r\n"
                          "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\OxaTerminalHistory\\"
                          "termData]\r\n"
                          "\"1\"=\"second\"\r\n"
                          "\"0\"=\"first\""); // no line end at the end of the file
    Registry reg(RegHive::CurrentUser);
    EXPECT_EQ(reg.value(kKey, QStringLiteral("startcmd"))->text(),
              QStringLiteral("a:/app \"x\"\\main.jad"));
    const auto count = reg.value(kKey.toLower(), QStringLiteral("COUNT"));
    ASSERT_TRUE(count.has_value());
    EXPECT_EQ(count->dword(), 30u);
    EXPECT_EQ(reg.value(kKey, QString())->text(), QStringLiteral("default"));
    EXPECT_EQ(reg.value(kKey, QStringLiteral("Path"))->type, RegType::ExpandString);
    EXPECT_EQ(reg.value(kKey, QStringLiteral("Path"))->text(), QStringLiteral("%TMP%"));
    EXPECT_EQ(reg.value(kKey, QStringLiteral("Blob"))->data, QByteArray("\x01\x02\xff", 3));
    EXPECT_EQ(reg.value(kKey, QStringLiteral("Multi"))->type, RegType::MultiString);

    QStringList names;
    for (const RegValue& v : reg.values(QStringLiteral("Software\\Missing")))
        names << v.name;
    EXPECT_TRUE(names.isEmpty());
    const QString history =
        QStringLiteral("\\Software\\Oxatek\\Dralvo_v1-7\\OxaTerminalHistory\\termData");
    for (const RegValue& v : reg.values(history))
        names << v.name + QLatin1Char('=') + v.text();
    EXPECT_EQ(names, (QStringList{"1=second", "0=first"}));
    EXPECT_EQ(reg.subKeys(QStringLiteral("Software\\Oxatek\\Dralvo_v1-7")),
              (QStringList{"Settings", "OxaTerminalHistory"}));
    EXPECT_TRUE(reg.keyExists(QStringLiteral("SOFTWARE\\oxatek")));
    EXPECT_FALSE(reg.keyExists(QStringLiteral("Software\\Other")));
}

TEST_F(RegistryFixture, WritesExactExportTextThatReadsBackAfterRestart) {
    {
        Registry reg(RegHive::CurrentUser);
        ASSERT_TRUE(reg.setString(kKey, QStringLiteral("StartCmd"), QStringLiteral("a\\b \"c\"")));
        ASSERT_TRUE(reg.setDword(kKey, QStringLiteral("Count"), 0xFFFFFFFEu));
        ASSERT_TRUE(reg.setString(kKey, QStringLiteral("Name"), QStringLiteral("Terminál")));
        RegValue bin;
        bin.name = QStringLiteral("Bin");
        bin.type = RegType::Binary;
        bin.data = QByteArray("\x00\xab", 2);
        ASSERT_TRUE(reg.setValue(kKey, bin));
        ASSERT_TRUE(reg.setString(kKey, QString(), QStringLiteral("def")));
        // Same name in other letter case: first spelling and place kept.
        ASSERT_TRUE(reg.setDword(kKey, QStringLiteral("COUNT"), 30));
        ASSERT_TRUE(
            reg.setValue(kKey, RegValue::fromString(QStringLiteral("Exp"), QStringLiteral("%A%"),
                                                    RegType::ExpandString)));
        ASSERT_TRUE(reg.setString(QStringLiteral("Software\\Oxatek\\Other"),
                                  QStringLiteral("Lines"), QStringLiteral("one\r\ntwo")));
    }
    const QByteArray expected = "REGEDIT4\r\n"
                                "\r\n"
                                "[HKEY_CURRENT_USER\\Software]\r\n"
                                "\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Oxatek]\r\n"
                                "\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7]\r\n"
                                "\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\Settings]\r\n"
                                "\"StartCmd\"=\"a\\\\b \\\"c\\\"\"\r\n"
                                "\"Count\"=dword:0000001e\r\n"
                                "\"Name\"=\"Termin\xc3\xa1l\"\r\n"
                                "\"Bin\"=hex:00,ab\r\n"
                                "@=\"def\"\r\n"
                                "\"Exp\"=hex(2):25,41,25,00\r\n"
                                "\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Oxatek\\Other]\r\n"
                                "\"Lines\"=hex(1):6f,6e,65,0d,0a,74,77,6f,00\r\n"
                                "\r\n";
    EXPECT_EQ(readFile(userFile()), expected);

    Registry again(RegHive::CurrentUser); // a later run reads the same values
    EXPECT_EQ(again.value(kKey, QStringLiteral("startcmd"))->text(), QStringLiteral("a\\b \"c\""));
    EXPECT_EQ(again.value(kKey, QStringLiteral("count"))->dword(), 30u);
    EXPECT_EQ(again.value(kKey, QStringLiteral("Name"))->text(), QStringLiteral("Terminál"));
    EXPECT_EQ(
        again.value(QStringLiteral("Software\\Oxatek\\Other"), QStringLiteral("Lines"))->text(),
        QStringLiteral("one\r\ntwo"));

    // Rewriting unchanged values leaves the bytes alone.
    ASSERT_TRUE(again.setDword(kKey, QStringLiteral("Count"), 30));
    EXPECT_EQ(readFile(userFile()), expected);
}

TEST_F(RegistryFixture, DeletesValuesAndKeysWithTheirSubkeys) {
    Registry reg(RegHive::CurrentUser);
    const QString hist = QStringLiteral("Software\\Oxatek\\App\\OxaTerminalHistory\\termData");
    ASSERT_TRUE(reg.setString(hist, QStringLiteral("0"), QStringLiteral("at")));
    ASSERT_TRUE(
        reg.setString(hist + QStringLiteral("\\Deeper"), QStringLiteral("x"), QStringLiteral("y")));
    ASSERT_TRUE(reg.setString(QStringLiteral("Software\\Oxatek\\App"), QStringLiteral("Keep"),
                              QStringLiteral("1")));
    EXPECT_TRUE(reg.deleteValue(QStringLiteral("Software\\Oxatek\\App"), QStringLiteral("KEEP")));
    EXPECT_FALSE(reg.deleteValue(QStringLiteral("Software\\Oxatek\\App"), QStringLiteral("Keep")));

    EXPECT_TRUE(reg.deleteKey(hist.toUpper()));
    EXPECT_FALSE(reg.keyExists(hist));
    EXPECT_FALSE(reg.keyExists(hist + QStringLiteral("\\Deeper")));
    EXPECT_TRUE(reg.keyExists(QStringLiteral("Software\\Oxatek\\App\\OxaTerminalHistory")));
    EXPECT_FALSE(reg.deleteKey(hist));

    EXPECT_FALSE(reg.keyExists(QStringLiteral("Software\\New")));
    EXPECT_FALSE(reg.openKey(QStringLiteral("Software\\New"), false));
    EXPECT_TRUE(reg.openKey(QStringLiteral("Software\\New"), true));
    EXPECT_TRUE(reg.keyExists(QStringLiteral("software\\new")));
    EXPECT_TRUE(reg.values(QStringLiteral("Software\\New")).isEmpty());
}

TEST_F(RegistryFixture, MachineHiveIsReadOnly) {
    writeFile(machineFile(), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Oxatek]\r\n"
                             "\"A\"=\"m\"\r\n\r\n");
    const QByteArray before = readFile(machineFile());
    Registry machine(RegHive::LocalMachine);
    EXPECT_TRUE(machine.isReadOnly());
    EXPECT_EQ(machine.value(QStringLiteral("Software\\Oxatek"), QStringLiteral("a"))->text(),
              QStringLiteral("m"));
    EXPECT_FALSE(machine.setString(QStringLiteral("Software\\Oxatek"), QStringLiteral("A"),
                                   QStringLiteral("changed")));
    EXPECT_FALSE(machine.deleteValue(QStringLiteral("Software\\Oxatek"), QStringLiteral("A")));
    EXPECT_FALSE(machine.deleteKey(QStringLiteral("Software\\Oxatek")));
    EXPECT_EQ(readFile(machineFile()), before);
    // Keys of the user's branch in the same file are not the machine's.
    EXPECT_FALSE(Registry(RegHive::CurrentUser).keyExists(QStringLiteral("Software\\Oxatek")));
}

TEST_F(RegistryFixture, MalformedFileLoadsWhatIsReadableAndLosesNothingOnWrite) {
    const QByteArray original = "REGEDIT4\n"
                                "\n"
                                "this line is garbage\n"
                                "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\Settings]\n"
                                "\"Good\"=\"yes\"\n"
                                "\"Odd\"=qword:12\n"
                                "\"Number\"=dword:zz\n"
                                "; a comment\n"
                                "\"Other\"=dword:00000005\n"
                                "\"Cut\"=\"no closing quote";
    writeFile(userFile(), original);
    testing::internal::CaptureStderr();
    Registry reg(RegHive::CurrentUser);
    EXPECT_EQ(reg.value(kKey, QStringLiteral("Good"))->text(), QStringLiteral("yes"));
    EXPECT_EQ(reg.value(kKey, QStringLiteral("Other"))->dword(), 5u);
    EXPECT_FALSE(reg.value(kKey, QStringLiteral("Odd")).has_value());
    EXPECT_FALSE(reg.value(kKey, QStringLiteral("Number")).has_value());
    EXPECT_FALSE(reg.value(kKey, QStringLiteral("Cut")).has_value());
    reg.values(kKey); // a second read: no second message
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("user.reg"), std::string::npos) << messages;
    EXPECT_NE(messages.find("could not be read"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("user.reg"), messages.rfind("user.reg")) << "reported twice";

    ASSERT_TRUE(reg.setString(kKey, QStringLiteral("New"), QStringLiteral("value")));
    const QByteArray after = readFile(userFile());
    for (const char* kept :
         {"this line is garbage\r\n", "\"Odd\"=qword:12\r\n", "\"Number\"=dword:zz\r\n",
          "; a comment\r\n", "\"Cut\"=\"no closing quote\r\n", "\"Good\"=\"yes\"\r\n",
          "\"Other\"=dword:00000005\r\n", "\"New\"=\"value\"\r\n"})
        EXPECT_TRUE(after.contains(kept)) << kept << "\n" << after.constData();
    EXPECT_TRUE(after.startsWith("REGEDIT4\r\n"));
    EXPECT_EQ(reg.value(kKey, QStringLiteral("Good"))->text(), QStringLiteral("yes"));
}

TEST_F(RegistryFixture, UnreadableFileIsNeverReplaced) {
    // A UTF-16 export is not something this registry understands: reads are
    // empty and writes refuse rather than replace it.
    const QByteArray utf16("\xff\xfeW\0i\0n\0\r\0\n\0", 12);
    writeFile(userFile(), utf16);
    testing::internal::CaptureStderr();
    Registry reg(RegHive::CurrentUser);
    EXPECT_FALSE(reg.keyExists(QStringLiteral("Software")));
    EXPECT_FALSE(reg.setString(kKey, QStringLiteral("A"), QStringLiteral("b")));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(readFile(userFile()), utf16);
}

TEST_F(RegistryFixture, MissingOrReadOnlyFolderGivesDefaultsAndFailingWrites) {
    // A regular file where the folder should be: not writable even for root.
    writeFile(m_home.path() + QStringLiteral("/plainfile"), "x");
    setenv("XDG_CONFIG_HOME",
           QFile::encodeName(m_home.path() + QStringLiteral("/plainfile/sub")).constData(), 1);
    Registry reg(RegHive::CurrentUser);
    EXPECT_FALSE(reg.value(kKey, QStringLiteral("A")).has_value());
    EXPECT_TRUE(reg.values(kKey).isEmpty());
    EXPECT_FALSE(reg.setString(kKey, QStringLiteral("A"), QStringLiteral("b")));
    EXPECT_FALSE(reg.openKey(kKey, true));
    EXPECT_FALSE(reg.deleteKey(kKey));

    // A folder that cannot be written (skipped for root, who may write anyway).
    if (geteuid() != 0) {
        const QString ro = m_home.path() + QStringLiteral("/ro");
        QDir().mkpath(ro + QStringLiteral("/Oxatek"));
        writeFile(ro + QStringLiteral("/Oxatek/user.reg"),
                  "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"A\"=\"1\"\r\n\r\n");
        chmod(QFile::encodeName(ro + QStringLiteral("/Oxatek")).constData(), 0555);
        setenv("XDG_CONFIG_HOME", QFile::encodeName(ro).constData(), 1);
        Registry roReg(RegHive::CurrentUser);
        EXPECT_EQ(roReg.value(QStringLiteral("K"), QStringLiteral("A"))->text(), "1");
        EXPECT_FALSE(roReg.setString(QStringLiteral("K"), QStringLiteral("A"), "2"));
        chmod(QFile::encodeName(ro + QStringLiteral("/Oxatek")).constData(), 0755);
    }
}

TEST_F(RegistryFixture, TwoProcessesWritingAtOnceBothKeepTheirValues) {
    constexpr int kEach = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            Registry reg(RegHive::CurrentUser);
            bool ok = true;
            for (int i = 0; i < kEach; ++i)
                ok = reg.setDword(kKey, QStringLiteral("P%1_%2").arg(c).arg(i), uint32_t(i)) && ok;
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Registry reg(RegHive::CurrentUser);
    const QList<RegValue> all = reg.values(kKey);
    EXPECT_EQ(all.size(), 2 * kEach);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kEach; ++i) {
            const auto v = reg.value(kKey, QStringLiteral("P%1_%2").arg(c).arg(i));
            ASSERT_TRUE(v.has_value()) << c << " " << i;
            EXPECT_EQ(v->dword(), uint32_t(i));
        }
}

TEST_F(RegistryFixture, InterruptedWriteNeverLeavesATornFile) {
    Registry reg(RegHive::CurrentUser);
    ASSERT_TRUE(reg.setString(kKey, QStringLiteral("Before"), QStringLiteral("kept")));
    const QByteArray before = readFile(userFile());

    // A writer killed after writing its temporary file and before renaming it.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Registry::setBeforeRenameHook([] {
            raise(SIGKILL);
            return true;
        });
        Registry(RegHive::CurrentUser).setString(kKey, QStringLiteral("Lost"), "x");
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(readFile(userFile()), before);

    // A rename that fails: the write reports failure, the hive stays as it was
    // and no temporary file is left.
    Registry::setBeforeRenameHook([] { return false; });
    EXPECT_FALSE(reg.setString(kKey, QStringLiteral("Lost"), QStringLiteral("x")));
    Registry::setBeforeRenameHook({});
    EXPECT_EQ(readFile(userFile()), before);
    EXPECT_FALSE(QFile::exists(userFile() + QStringLiteral(".tmp")));

    // The next writer (despite the killed one's leftovers and lock) succeeds.
    EXPECT_TRUE(reg.setString(kKey, QStringLiteral("After"), QStringLiteral("ok")));
    EXPECT_EQ(reg.value(kKey, QStringLiteral("Before"))->text(), QStringLiteral("kept"));
    EXPECT_EQ(reg.value(kKey, QStringLiteral("After"))->text(), QStringLiteral("ok"));
    EXPECT_FALSE(reg.value(kKey, QStringLiteral("Lost")).has_value());
}

TEST_F(RegistryFixture, ReplacingKeepsTheFilesRightsAndSymbolicLink) {
    const QString real = m_home.path() + QStringLiteral("/dotfiles/user.reg");
    writeFile(real, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"A\"=\"1\"\r\n\r\n");
    chmod(QFile::encodeName(real).constData(), 0600);
    QDir().mkpath(m_configHome + QStringLiteral("/Oxatek"));
    ASSERT_TRUE(QFile::link(real, userFile()));

    Registry reg(RegHive::CurrentUser);
    ASSERT_TRUE(reg.setString(QStringLiteral("K"), QStringLiteral("B"), QStringLiteral("2")));
    EXPECT_TRUE(QFileInfo(userFile()).isSymLink());
    EXPECT_TRUE(readFile(real).contains("\"B\"=\"2\"\r\n"));
    struct stat st;
    ASSERT_EQ(stat(QFile::encodeName(real).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(reg.value(QStringLiteral("K"), QStringLiteral("A"))->text(), QStringLiteral("1"));
}

// Garbage, a FIFO or a folder at the hive's path reads as empty without ever
// blocking and is never written over; set aside, it makes room for a fresh
// hive and stays beside it. A read-only hive fails writes with a reason.
TEST_F(RegistryFixture, UnreadableHiveIsSetAsideAndReadOnlyOneRefusesWrites) {
    const QByteArray garbage("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    for (int kind = 0; kind < 3; ++kind) {
        QDir(m_configHome).removeRecursively();
        QDir().mkpath(m_configHome + QStringLiteral("/Oxatek"));
        const QByteArray path = QFile::encodeName(userFile());
        if (kind == 0)
            writeFile(userFile(), garbage);
        else if (kind == 1)
            ASSERT_EQ(mkfifo(path.constData(), 0600), 0);
        else
            ASSERT_TRUE(QDir().mkpath(userFile()));
        testing::internal::CaptureStderr();
        Registry reg(RegHive::CurrentUser);
        EXPECT_FALSE(reg.value(kKey, QStringLiteral("A")).has_value());
        EXPECT_FALSE(reg.setString(kKey, QStringLiteral("A"), QStringLiteral("b"))) << kind;
        EXPECT_TRUE(reg.errorString().startsWith(userFile())) << reg.errorString().toStdString();

        const Registry::Check check = reg.setAsideUnreadable();
        testing::internal::GetCapturedStderr();
        EXPECT_FALSE(check.readable);
        EXPECT_FALSE(check.problem.isEmpty());
        ASSERT_TRUE(check.setAsidePath.startsWith(userFile() + QStringLiteral(".bad-")))
            << check.setAsidePath.toStdString();
        struct stat st {};
        ASSERT_EQ(lstat(QFile::encodeName(check.setAsidePath).constData(), &st), 0);
        EXPECT_EQ(kind == 0   ? S_ISREG(st.st_mode)
                  : kind == 1 ? S_ISFIFO(st.st_mode)
                              : S_ISDIR(st.st_mode),
                  true);
        if (kind == 0) {
            EXPECT_EQ(readFile(check.setAsidePath), garbage);
        }
        ASSERT_TRUE(reg.setString(kKey, QStringLiteral("A"), QStringLiteral("b")));
        EXPECT_TRUE(readFile(userFile()).startsWith("REGEDIT4\r\n"));
        EXPECT_TRUE(reg.setAsideUnreadable().setAsidePath.isEmpty()); // nothing more to do
    }

    // Read-only: no write bit at all, which holds for root too.
    chmod(QFile::encodeName(userFile()).constData(), 0444);
    const QByteArray before = readFile(userFile());
    Registry reg(RegHive::CurrentUser);
    EXPECT_FALSE(reg.setString(kKey, QStringLiteral("A"), QStringLiteral("changed")));
    EXPECT_EQ(reg.errorString(), userFile() + QStringLiteral(": the file is read-only"));
    EXPECT_FALSE(reg.setAsideUnreadable().writable);
    EXPECT_EQ(readFile(userFile()), before);
    EXPECT_EQ(reg.value(kKey, QStringLiteral("A"))->text(), QStringLiteral("b"));
}

// A hive is parsed once, but a hand edit (here of the same size) is seen at
// the next access, and a write keeps it.
TEST_F(RegistryFixture, HandEditIsSeenAtTheNextAccessAndKeptByWrites) {
    Registry reg(RegHive::CurrentUser);
    ASSERT_TRUE(reg.setString(kKey, QStringLiteral("A"), QStringLiteral("1")));
    EXPECT_EQ(reg.value(kKey, QStringLiteral("A"))->text(), QStringLiteral("1"));
    QByteArray text = readFile(userFile());
    text.replace("\"A\"=\"1\"", "\"A\"=\"2\"");
    QFile file(userFile());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_EQ(file.write(text), text.size()); // in place: same file, same size
    file.close();
    EXPECT_EQ(reg.value(kKey, QStringLiteral("A"))->text(), QStringLiteral("2"));
    ASSERT_TRUE(reg.setString(kKey, QStringLiteral("B"), QStringLiteral("3")));
    EXPECT_TRUE(readFile(userFile()).contains("\"A\"=\"2\"\r\n\"B\"=\"3\"\r\n"));
}
