// The installed program as a user gets it from "cmake --install": the tree it
// lands in, the validators of the desktop files, and the installed program
// started from another folder.
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString AppId = QStringLiteral(DRALVO_APP_ID);

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome run(const QString& program, const QStringList& args, int timeoutMs = 60000,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
            const QString& workDir = QString()) {
    QProcess process;
    process.setProcessEnvironment(env);
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.start(program, args);
    Outcome result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("timed out");
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err += QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// One installation per test program, into its own temporary prefix.
class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new QTemporaryDir;
        s_prefix = s_dir->path() + QStringLiteral("/prefix");
        s_install = run(QStringLiteral(DRALVO_CMAKE),
                        {QStringLiteral("--install"), QStringLiteral(DRALVO_BINARY_DIR),
                         QStringLiteral("--prefix"), s_prefix});
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_EQ(s_install.exitCode, 0) << s_install.err.toStdString(); }
    static QString file(const QString& relative) { return s_prefix + QLatin1Char('/') + relative; }

    static QTemporaryDir* s_dir;
    static QString s_prefix;
    static Outcome s_install;
};
QTemporaryDir* Installed::s_dir = nullptr;
QString Installed::s_prefix;
Outcome Installed::s_install;

TEST_F(Installed, TreeHoldsProgramsSoundDesktopFilesAndManualPages) {
    for (const char* name : {"dralvo", "dralvo-msg", "gsmsim"}) {
        const QString program = QString::fromLatin1(name);
        const QFileInfo info(file("bin/" + program));
        EXPECT_TRUE(info.isFile() && info.isExecutable()) << program.toStdString();
        EXPECT_TRUE(QFileInfo(file("share/man/man1/" + program + ".1.gz")).size() > 0)
            << program.toStdString();
    }
    EXPECT_GT(QFileInfo(file("share/dralvo/beep.wav")).size(), 44);
    EXPECT_TRUE(QFileInfo(file("share/applications/" + AppId + ".desktop")).isFile());
    EXPECT_TRUE(QFileInfo(file("share/metainfo/" + AppId + ".metainfo.xml")).isFile());
    EXPECT_TRUE(QFileInfo(file("share/icons/hicolor/scalable/apps/dralvo.svg")).isFile());
    // The user unit starts the installed program without a window, on /dev/<instance>.
    QFile unit(file("lib/systemd/user/dralvo@.service"));
    ASSERT_TRUE(unit.open(QIODevice::ReadOnly));
    const QByteArray unitText = unit.readAll();
    EXPECT_TRUE(unitText.contains("\nExecStart=" + QFile::encodeName(file("bin/dralvo")) +
                                  " --headless --name %i "))
        << unitText.toStdString();
    EXPECT_TRUE(unitText.contains(" /dev/%I\n"));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString name = QStringLiteral("share/icons/hicolor/%1x%1/apps/dralvo.png").arg(size);
        QFile png(file(name));
        ASSERT_TRUE(png.open(QIODevice::ReadOnly)) << name.toStdString();
        // The PNG header's width and height: each size is what its folder says.
        const QByteArray head = png.read(24);
        ASSERT_EQ(head.left(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
        const auto be32 = [&](int at) {
            return (uchar(head[at]) << 24) | (uchar(head[at + 1]) << 16) |
                   (uchar(head[at + 2]) << 8) | uchar(head[at + 3]);
        };
        EXPECT_EQ(be32(16), size) << name.toStdString();
        EXPECT_EQ(be32(20), size) << name.toStdString();
    }
}

TEST_F(Installed, DesktopEntryAndMetainfoPassTheirValidators) {
    const QString desktopValidate = QStandardPaths::findExecutable("desktop-file-validate");
    const QString appstream = QStandardPaths::findExecutable("appstreamcli");
    if (desktopValidate.isEmpty() && appstream.isEmpty())
        GTEST_SKIP() << "neither desktop-file-validate nor appstreamcli is installed";
    if (!desktopValidate.isEmpty()) {
        const Outcome r = run(desktopValidate, {file("share/applications/" + AppId + ".desktop")});
        EXPECT_EQ(r.exitCode, 0) << (r.out + r.err).toStdString();
        EXPECT_EQ(r.out + r.err, QString()) << "hints or warnings";
    }
    if (!appstream.isEmpty()) {
        const Outcome r = run(appstream, {"validate", "--no-net", "--no-color",
                                          file("share/metainfo/" + AppId + ".metainfo.xml")});
        EXPECT_EQ(r.exitCode, 0) << (r.out + r.err).toStdString();
    }
}

TEST_F(Installed, ProgramAnswersItsCommandLine) {
    const Outcome version = run(file("bin/dralvo"), {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("dralvo " DRALVO_VERSION "\n"));

    const Outcome help = run(file("bin/dralvo"), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--version")) << help.out.toStdString();

    const Outcome unknown = run(file("bin/dralvo"), {"--no-such-option"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.out, QString());
    EXPECT_TRUE(unknown.err.contains("no-such-option")) << unknown.err.toStdString();
}

// Started from "/" (as from a desktop menu), with the no-data alarm due soon:
// the installed program finds its own sound and logs in the state folder. A
// stand-in "aplay" early in PATH records what it was asked to play.
TEST_F(Installed, ProgramStartedFromRootFindsItsSoundAndLogsInTheStateFolder) {
    QTemporaryDir home;
    const QString config = home.path() + "/config";
    const QString bin = home.path() + "/bin";
    const QString played = home.path() + "/played";
    ASSERT_TRUE(QDir().mkpath(config + "/Oxatek") && QDir().mkpath(bin));
    QFile hive(config + "/Oxatek/user.reg");
    ASSERT_TRUE(hive.open(QIODevice::WriteOnly));
    hive.write("REGEDIT4\r\n\r\n"
               "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\Advanced]\r\n"
               "\"Alarm\"=dword:00000001\r\n"
               "\"AlarmDelay\"=dword:000000c8\r\n\r\n");
    hive.close();
    QFile aplay(bin + "/aplay");
    ASSERT_TRUE(aplay.open(QIODevice::WriteOnly));
    aplay.write(("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + played + ".new' && mv '" + played +
                 ".new' '" + played + "'\n")
                    .toLocal8Bit());
    aplay.close();
    aplay.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", config);
    env.insert("XDG_STATE_HOME", home.path() + "/state");
    env.insert("XDG_RUNTIME_DIR", home.path());
    env.insert("PATH", bin + ":" + env.value("PATH"));
    QProcess program;
    program.setProcessEnvironment(env);
    const bool rootHadLogs = QFileInfo::exists("/logs");
    program.setWorkingDirectory("/");
    program.setStandardInputFile(QProcess::nullDevice());
    program.start(file("bin/dralvo"), {});
    ASSERT_TRUE(program.waitForStarted());

    // The sound plays 200 ms after the window shows; the program keeps running.
    bool heard = false;
    for (int i = 0; i < 500 && !heard && program.state() == QProcess::Running; ++i) {
        program.waitForFinished(20);
        heard = QFileInfo::exists(played);
    }
    program.terminate();
    EXPECT_TRUE(program.waitForFinished(10000));
    ASSERT_TRUE(heard) << program.readAllStandardError().toStdString();
    QFile args(played);
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLocal8Bit(args.readAll()),
              "-q\n" + QFileInfo(file("share/dralvo/beep.wav")).canonicalFilePath() + "\n");

    // Its log is in the state folder, not in /logs.
    QFile log(home.path() + "/state/Dralvo/logs/Dralvo_" +
              QDate::currentDate().toString("yyyy-MM-dd") + ".log");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << log.fileName().toStdString();
    EXPECT_TRUE(log.readAll().contains(": A -- WARNING: NO DATA -- (sound)\r\n"));
    if (!rootHadLogs) {
        EXPECT_FALSE(QFileInfo::exists("/logs"));
    }
}

} // namespace
