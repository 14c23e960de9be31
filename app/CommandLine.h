#pragma once
// The program's command line: dralvo [OPTIONS] [PORT]. --help and --version
// answer on standard output and end the program; an option the program does
// not know, a second port, or an option's bad value is refused with a
// one-line reason on standard error and exit status 2, before any window
// opens. The toolkit's own options (-platform, -style, ...) pass through to
// the toolkit.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// What the command line asks of this run.
struct StartOptions {
    bool headless = false;       // no window: status lines to standard error
    QString port;                // the port for this run; empty: the stored one
    bool start = false;          // connect as "Connect & Start" rather than "Connect"
    std::optional<int> baudRate; // ordinal of TBaudRate
    QString config;              // a configuration string of the port dialog
    QString logDir;              // the folder of the daily logs
    QString settingsFile;        // the user hive to use instead of the usual one
    QString name;                // names the instance: control socket, window titles
    // --view FILE...: the log viewer instead of the console (no port), with
    // these files (none: a file chooser asks for them).
    std::optional<QStringList> viewFiles;
};

// The outcome of reading the command line: the exit status when the program
// is to end at once (--help, --version, a refusal), otherwise the options.
struct CommandLineAnswer {
    std::optional<int> exitStatus;
    StartOptions options;
};

// Creates no window, so it also answers without a display. Reports on
// standard output (help, version) and standard error (refusals).
CommandLineAnswer ReadCommandLine(int argc, char** argv);

// The same without printing: args as the program got them (the program name
// first); the text to print goes to *output, on standard error when *toStderr.
CommandLineAnswer ParseCommandLine(const QStringList& args, QString* output, bool* toStderr);

// The name an instance may carry: letters, digits and "._-@", at most 64
// characters, so it fits a socket name and a unit's instance.
bool IsValidInstanceName(const QString& name);

class TVOXComm32;

namespace app {
class Session;

// The control socket's name without its folder and ".ctl": the program's key,
// and "@NAME" for a named instance.
QString ControlSocketBaseName(const StartOptions& options);
// The log file pattern: DIR/Dralvo_*.log for --log-dir, otherwise where the
// logs go for a start in currentDir (app/LogLocation.h).
QString LogPatternFor(const StartOptions& options, const QString& currentDir,
                      const QString& homeDir);
// The port, speed and configuration string of the command line, applied over
// the stored ones (the string first, then the speed, then the port).
void ApplyPortOptions(const StartOptions& options, TVOXComm32* comm);
// A message number as the window answers it: 1025 presses Start (1), 1024
// Disconnect (2), anything else 0.
int AnswerControlMessage(Session& session, uint32_t message);
} // namespace app
