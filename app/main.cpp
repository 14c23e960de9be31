// Dralvo: a serial debugging console for a Java application on a GSM module.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>

#include "app/CommandLine.h"
#include "app/FormCfgAdv.h"
#include "app/FormMain.h"
#include "app/Headless.h"
#include "app/Translations.h"
#include "history/HistoryWindow.h"
#include "platform/ControlChannel.h"
#include "platform/Registry.h"
#include "platform/ThisProcess.h"

namespace {

int runWindow(int argc, char** argv, const StartOptions& options) {
    QApplication application(argc, argv);
    app::InstallTranslations(QLocale::system()); // before any window exists
    // Lets the desktop match the window to its menu entry (and its icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.oxatek.Dralvo"));
    // For desktops that show the window's own icon; built in, so a program run
    // from the build tree has it too.
    QIcon builtIn;
    for (const int size : {16, 24, 32, 48, 64, 128})
        builtIn.addFile(QStringLiteral(":/icons/dralvo-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("dralvo"), builtIn));
    application.setQuitOnLastWindowClosed(false); // the terminal window may stay open

    TfrmMain frmMain; // components created and loaded, FormCreate run
    auto* frmCfgAdv = new TfrmCfgAdv(&frmMain);
    frmMain.SetCfgAdv(frmCfgAdv);
    frmMain.SetStartOptions(options);
    // exit(), not quit(): quit() asks every window, and the terminal window
    // refuses to close (its close box docks it).
    QObject::connect(&frmMain, &TfrmMain::closed, &application, [] { QApplication::exit(0); });

    frmMain.CloseOnTerminationSignals();
    frmMain.ListenForControlMessages(platform::controlSocketDir());

    frmMain.show(); // FormShow: settings, port list, automation, the command line's port
    return application.exec();
}

// --view: the history of log files, no port; the chooser starts where the logs go.
int runViewer(int argc, char** argv, const StartOptions& options) {
    QApplication application(argc, argv);
    app::InstallTranslations(QLocale::system());
    QString pattern = app::LogPatternFor(options, QDir::currentPath(), QDir::homePath());
    pattern.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return history::RunLogViewer(*options.viewFiles, QFileInfo(pattern).absolutePath());
}

int runHeadless(int argc, char** argv, const StartOptions& options) {
    // No display, no platform plugin: an application object without a GUI.
    QCoreApplication application(argc, argv);
    app::InstallTranslations(QLocale::system());
    return RunHeadless(options);
}

} // namespace

int main(int argc, char** argv) {
    const CommandLineAnswer answer = ReadCommandLine(argc, argv);
    if (answer.exitStatus)
        return *answer.exitStatus; // --help, --version or a refusal
    const StartOptions& options = answer.options;
    platform::ignoreBrokenPipe();
    platform::raiseDescriptorLimit();
    if (!options.settingsFile.isEmpty())
        platform::Registry::setUserHiveFile(options.settingsFile);
    if (options.viewFiles)
        return runViewer(argc, argv, options);
    return options.headless ? runHeadless(argc, argv, options) : runWindow(argc, argv, options);
}
