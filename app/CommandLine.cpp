#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "appinfo/FileVersionInfo.h"

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

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

std::optional<int> AnswerCommandLine(int argc, char** argv) {
    if (argc <= 1)
        return std::nullopt;

    // A plain application object is enough to parse and to read our own
    // version block; the window's application object comes after it.
    QCoreApplication application(argc, argv);
    TFileVersionInfo versionInfo;
    const QString version = versionInfo.ProductVersion();
    const QString program = QCoreApplication::applicationName();

    QCommandLineParser parser;
    // "-platform xcb", as the toolkit spells its options, is one long option.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Serial debug console for a Java application on a GSM module.\n"
                       "Settings: ${XDG_CONFIG_HOME:-~/.config}/Oxatek/user.reg\n"
                       "Logs: ./logs, or ${XDG_STATE_HOME:-~/.local/state}/Dralvo/logs when "
                       "started from / or the home folder"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption versionOption(
        QStringList{QStringLiteral("v"), QStringLiteral("version")},
        QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(versionOption);
    for (const ToolkitOption& option : ToolkitOptions) {
        QCommandLineOption toolkit(QString::fromLatin1(option.name));
        if (option.takesValue)
            toolkit.setValueName(QStringLiteral("value"));
        toolkit.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(toolkit);
    }

    const auto usageError = [&](const QString& message) {
        print(stderr, program + QStringLiteral(": ") + message + QStringLiteral("\nTry '") +
                          program + QStringLiteral(" --help' for more information.\n"));
        return ExitUsage;
    };
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'.")
                              .arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(versionOption)) {
        print(stdout, program + QLatin1Char(' ') + version + QLatin1Char('\n'));
        return 0;
    }
    return std::nullopt; // only toolkit options: a normal start
}
