#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <cstdio>

#include "DralvoVersion.h"
#include "app/LogLocation.h"
#include "app/Session.h"
#include "appinfo/FileVersionInfo.h"
#include "comm/VOXComm32.h"
#include "comm/VOXComm32Tables.h"

namespace {

constexpr int ExitUsage = 2;

// Options the toolkit reads itself when the window starts; accepted here so
// they keep working, and left out of the help text.
struct ToolkitOption {
    const char* name;
    bool takesValue;
};
constexpr ToolkitOption ToolkitOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},
    {"qwindowtitle", true},    {"session", true},
    {"display", true},         {"geometry", true},
    {"style", true},           {"stylesheet", true},
    {"reverse", false},        {"widgetcount", false},
};

// Where the translation tool and the program find these texts.
struct CommandLineTexts {
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
};

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QString baudRateList() {
    QStringList rates;
    for (uint32_t rate : kBaudRateValues)
        rates << QString::number(rate);
    return rates.join(QStringLiteral(", "));
}

} // namespace

bool IsValidInstanceName(const QString& name) {
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9._@-]{1,64}$"));
    return allowed.match(name).hasMatch() && name != QLatin1String(".") &&
           name != QLatin1String("..");
}

CommandLineAnswer ParseCommandLine(const QStringList& args, QString* output, bool* toStderr) {
    CommandLineAnswer answer;
    *toStderr = false;
    output->clear();
    if (args.size() <= 1)
        return answer;
    const QString program =
        args.isEmpty() ? QStringLiteral("dralvo") : QFileInfo(args.first()).fileName();

    QCommandLineParser parser;
    // "-platform xcb", as the toolkit spells its options, is one long option.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(CommandLineTexts::tr(
        "Serial debug console for a Java application on a GSM module.\n"
        "Settings: ${XDG_CONFIG_HOME:-~/.config}/Oxatek/user.reg\n"
        "Logs: ./logs, or ${XDG_STATE_HOME:-~/.local/state}/Dralvo/logs when "
        "started from / or the home folder\n"
        "Kept in the settings at close: PORT, --baud and --config (the port's settings, "
        "as the window stores them). For this run only: --start, --headless, --log-dir, "
        "--settings, --name. A headless run does not save the settings at its end."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  CommandLineTexts::tr("Show this help and exit."));
    const QCommandLineOption versionOption(
        QStringList{QStringLiteral("v"), QStringLiteral("version")},
        CommandLineTexts::tr("Show the version and exit."));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        CommandLineTexts::tr(
            "Run without a window (no display needed): connect at once, log, answer the "
            "control socket; status lines go to standard error. SIGTERM or SIGINT ends it."));
    const QCommandLineOption start(
        QStringLiteral("start"),
        CommandLineTexts::tr("Connect as \"Connect & Start\" does (not as \"Connect\")."));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  CommandLineTexts::tr("The port's speed in bit/s."),
                                  QStringLiteral("N"));
    const QCommandLineOption config(
        QStringLiteral("config"),
        CommandLineTexts::tr(
            "The port's configuration string, as the port dialog exports it, e.g. "
            "'\"COM1\",\"115200\",\"8\",\"1\",\"None\",\"1/1 1/1\",\"10 0 0 0 0\"' (an empty "
            "field keeps its value)."),
        QStringLiteral("STRING"));
    const QCommandLineOption logDir(
        QStringLiteral("log-dir"),
        CommandLineTexts::tr("Write the daily logs into DIR (made when missing)."),
        QStringLiteral("DIR"));
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        CommandLineTexts::tr("Use FILE as the settings file (the user hive)."),
        QStringLiteral("FILE"));
    const QCommandLineOption name(
        QStringLiteral("name"),
        CommandLineTexts::tr(
            "Name this instance: its control socket is Dralvo_v1-7@NAME.ctl (dralvo-msg --name "
            "NAME reaches it) and its windows' titles carry NAME."),
        QStringLiteral("NAME"));
    const QCommandLineOption view(
        QStringLiteral("view"),
        CommandLineTexts::tr("Show log files (the FILE arguments, or chosen in a dialog) in the "
                             "history view, without a port."));
    for (const QCommandLineOption* option : {&help, &versionOption, &headless, &start, &baud,
                                             &config, &logDir, &settings, &name, &view})
        parser.addOption(*option);
    parser.addPositionalArgument(
        QStringLiteral("PORT"),
        CommandLineTexts::tr(
            "The port for this run, connected at once: a device path (/dev/ttyUSB0, "
            "/dev/serial/by-id/...), a name under /dev (ttyACM0) or COMn. With --view: log "
            "files."),
        QStringLiteral("[PORT | --view FILE...]"));
    for (const ToolkitOption& option : ToolkitOptions) {
        QCommandLineOption toolkit(QString::fromLatin1(option.name));
        if (option.takesValue)
            toolkit.setValueName(QStringLiteral("value"));
        toolkit.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(toolkit);
    }

    const auto refuse = [&](const QString& message) {
        *toStderr = true;
        *output = program + QStringLiteral(": ") + message + QLatin1Char('\n');
        answer.exitStatus = ExitUsage;
        return answer;
    };
    if (!parser.parse(args))
        return refuse(parser.errorText() + CommandLineTexts::tr(" Try '%1 --help'.").arg(program));
    if (parser.isSet(help)) {
        *output = parser.helpText();
        answer.exitStatus = 0;
        return answer;
    }
    if (parser.isSet(versionOption)) {
        TFileVersionInfo versionInfo;
        *output = program + QLatin1Char(' ') + versionInfo.ProductVersion() + QLatin1Char('\n');
        answer.exitStatus = 0;
        return answer;
    }

    StartOptions& o = answer.options;
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(view)) {
        o.viewFiles = positional;
        return answer;
    }
    if (positional.size() > 1)
        return refuse(CommandLineTexts::tr("one port only, not also '%1'.").arg(positional.at(1)));
    if (!positional.isEmpty()) {
        o.port = positional.first();
        if (o.port.trimmed().isEmpty() || o.port.contains(QLatin1Char('"')))
            return refuse(CommandLineTexts::tr("'%1' is no port name.").arg(o.port));
    }
    o.headless = parser.isSet(headless);
    o.start = parser.isSet(start);
    if (parser.isSet(baud)) {
        bool ok = false;
        const qlonglong value = parser.value(baud).toLongLong(&ok);
        const int index = ok ? BaudRateIndexOf(value) : -1;
        if (index < 0)
            return refuse(CommandLineTexts::tr("--baud: '%1' is not one of %2.")
                              .arg(parser.value(baud), baudRateList()));
        o.baudRate = index;
    }
    if (parser.isSet(config)) {
        o.config = parser.value(config);
        const QString problem = ConfigStringProblem(o.config);
        if (!problem.isEmpty())
            return refuse(QStringLiteral("--config: ") + problem);
    }
    if (parser.isSet(logDir)) {
        o.logDir = parser.value(logDir);
        const QFileInfo info(o.logDir);
        if (o.logDir.isEmpty())
            return refuse(CommandLineTexts::tr("--log-dir: the folder's name is empty."));
        if (info.exists() && !info.isDir())
            return refuse(CommandLineTexts::tr("--log-dir: '%1' is not a folder.").arg(o.logDir));
        o.logDir = info.absoluteFilePath();
    }
    if (parser.isSet(settings)) {
        o.settingsFile = parser.value(settings);
        const QFileInfo info(o.settingsFile);
        if (o.settingsFile.isEmpty())
            return refuse(CommandLineTexts::tr("--settings: the file's name is empty."));
        if (info.isDir())
            return refuse(
                CommandLineTexts::tr("--settings: '%1' is a folder.").arg(o.settingsFile));
        o.settingsFile = info.absoluteFilePath();
    }
    if (parser.isSet(name)) {
        o.name = parser.value(name);
        if (!IsValidInstanceName(o.name))
            return refuse(
                CommandLineTexts::tr("--name: '%1' is not a name of up to 64 letters, digits and "
                                     "'._-@'.")
                    .arg(o.name));
    }
    return answer;
}

CommandLineAnswer ReadCommandLine(int argc, char** argv) {
    if (argc <= 1)
        return {};
    // A plain application object is enough to parse and to read our own
    // version block; the program's application object comes after it.
    QCoreApplication application(argc, argv);
    QString output;
    bool toStderr = false;
    CommandLineAnswer answer = ParseCommandLine(QCoreApplication::arguments(), &output, &toStderr);
    if (!output.isEmpty())
        print(toStderr ? stderr : stdout, output);
    return answer;
}

namespace app {

QString ControlSocketBaseName(const StartOptions& options) {
    QString name = QStringLiteral(DRALVO_APP_KEY);
    if (!options.name.isEmpty())
        name += QLatin1Char('@') + options.name;
    return name;
}

QString LogPatternFor(const StartOptions& options, const QString& currentDir,
                      const QString& homeDir) {
    if (!options.logDir.isEmpty())
        return options.logDir + QStringLiteral("/Dralvo_*.log");
    return ChooseLogPlace(currentDir, homeDir, StateHome(homeDir)).pattern;
}

void ApplyPortOptions(const StartOptions& options, TVOXComm32* comm) {
    if (!options.config.isEmpty())
        comm->SetConfigAsString(options.config);
    if (options.baudRate)
        comm->SetBaudRate(TBaudRate(*options.baudRate));
    if (!options.port.isEmpty())
        comm->SetCommPort(options.port);
}

int AnswerControlMessage(Session& session, uint32_t message) {
    if (message == 0x0401) {
        session.Start();
        return 1;
    }
    if (message == 0x0400) {
        session.Disconnect();
        return 2;
    }
    return 0;
}

} // namespace app
