// dralvo-msg: talks to a running Dralvo from another program or a script:
// presses Start or Disconnect, sends a message number, or makes a verb
// request (state, send, send-hex, mark, expect, tail) and prints the answer.
#include <QByteArray>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "DralvoVersion.h"
#include "platform/ControlChannel.h"
#include "platform/ControlVerbTable.h"

namespace {

constexpr int ExitFailed = 1; // no answer, a refusal or a time-out
constexpr int ExitUsage = 2;

void printHelp(FILE* out) {
    std::fprintf(out, "usage: dralvo-msg [--socket PATH | --name NAME] VERB [ARGUMENTS]\n"
                      "       dralvo-msg [--socket PATH | --name NAME] NUMBER\n"
                      "Verbs:\n");
    for (const platform::ControlVerbRow& row : platform::ControlVerbTable) {
        const std::string words =
            std::string(row.name) + (*row.arguments ? " " : "") + row.arguments;
        std::fprintf(out, "  %-22s %s\n", words.c_str(), row.help);
    }
    std::fprintf(out,
                 "  %-22s %s\n"
                 "Options:\n"
                 "  --socket PATH          the control socket to use\n"
                 "  --name NAME            the instance started with dralvo --name NAME (or the\n"
                 "                         number of a second instance's socket, NAME = its pid)\n"
                 "  --help                 show this help\n"
                 "Exit status: 0 answered, 1 not reached, refused or timed out, 2 usage error.\n",
                 "NUMBER", "any message number, decimal or 0x hexadecimal; prints the answer");
}

int usage(const char* why) {
    std::fprintf(stderr, "dralvo-msg: %s\n", why);
    printHelp(stderr);
    return ExitUsage;
}

const platform::ControlVerbRow* findVerb(const char* name) {
    for (const platform::ControlVerbRow& row : platform::ControlVerbTable)
        if (std::strcmp(row.name, name) == 0)
            return &row;
    return nullptr;
}

QString socketForName(const QString& name) {
    const QString dir = platform::controlSocketDir();
    const QString named =
        platform::controlSocketPath(dir, QStringLiteral(DRALVO_APP_KEY "@") + name);
    // A second instance without a name is known by its pid.
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (!QFileInfo::exists(named) && digits.match(name).hasMatch())
        return platform::controlSocketPath(dir, QStringLiteral(DRALVO_APP_KEY), name.toLongLong());
    return named;
}

} // namespace

int main(int argc, char** argv) {
    QString socketPath =
        platform::controlSocketPath(platform::controlSocketDir(), QStringLiteral(DRALVO_APP_KEY));
    std::vector<const char*> words;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!words.empty()) {
            words.push_back(arg); // everything after the verb is its argument
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            printHelp(stdout);
            return 0;
        } else if (std::strcmp(arg, "--socket") == 0 || std::strcmp(arg, "--name") == 0) {
            if (i + 1 >= argc)
                return usage("an option needs its value");
            const QString value = QString::fromLocal8Bit(argv[++i]);
            socketPath = arg[2] == 's' ? value : socketForName(value);
        } else if (std::strncmp(arg, "--socket=", 9) == 0) {
            socketPath = QString::fromLocal8Bit(arg + 9);
        } else if (std::strncmp(arg, "--name=", 7) == 0) {
            socketPath = socketForName(QString::fromLocal8Bit(arg + 7));
        } else if (arg[0] == '-' && arg[1] == '-') {
            return usage("unknown option");
        } else {
            words.push_back(arg);
        }
    }
    if (words.empty() || socketPath.isEmpty())
        return usage("nothing to send");

    QString error;
    const platform::ControlVerbRow* verb = findVerb(words.front());
    if (!verb || verb->message != 0) {
        // A message number: one answer line with the result.
        std::optional<uint32_t> message;
        if (verb)
            message = verb->message;
        else
            message = platform::parseControlMessage(QByteArray(words.front()));
        if (!message || words.size() > 1)
            return usage("not a verb or a message number");
        const long long result =
            platform::sendControlMessage(socketPath, QByteArray::number(*message), &error);
        if (result < 0) {
            std::fprintf(stderr, "dralvo-msg: %s\n", error.toLocal8Bit().constData());
            return ExitFailed;
        }
        std::printf("%lld\n", result);
        return 0;
    }

    const bool takesArguments = *verb->arguments != 0;
    const bool needsArguments = takesArguments && verb->arguments[0] != '[';
    if ((!takesArguments && words.size() > 1) || (needsArguments && words.size() < 2))
        return usage("wrong arguments for the verb");
    QByteArray request = verb->name;
    int timeoutMs = 5000;
    if (std::strcmp(verb->name, "expect") == 0) {
        if (words.size() > 3)
            return usage("expect takes REGEX and at most a TIMEOUT");
        double seconds = platform::ExpectDefaultTimeoutS;
        if (words.size() == 3) {
            char* end = nullptr;
            seconds = std::strtod(words[2], &end);
            if (end == words[2] || *end != 0 || !(seconds >= 0) || seconds > 2e6)
                return usage("the TIMEOUT is a number of seconds");
        }
        // The time-out always goes along, so an expression ending in a number
        // is never taken for one.
        request += ' ' + QByteArray(words[1]) + ' ' + QByteArray::number(seconds, 'g', 12);
        timeoutMs = int(seconds * 1000) + 5000;
    } else {
        for (size_t i = 1; i < words.size(); ++i)
            request += ' ' + QByteArray(words[i]);
        if (std::strcmp(verb->name, "tail") == 0)
            timeoutMs = -1;
    }
    if (request.contains('\n'))
        return usage("a request is one line");

    QByteArray answer;
    const bool streaming = timeoutMs < 0;
    const bool ended = platform::runControlRequest(
        socketPath, request,
        [&](const QByteArray& output) {
            if (streaming && !answer.startsWith("error: ")) {
                if (answer.isEmpty() && output.startsWith("error: ")) {
                    answer = output;
                    return;
                }
                std::fwrite(output.constData(), 1, size_t(output.size()), stdout);
                std::fflush(stdout);
                if (answer.isEmpty())
                    answer = "streaming";
                return;
            }
            answer += output;
        },
        &error, timeoutMs);
    if (!ended && answer.isEmpty()) {
        std::fprintf(stderr, "dralvo-msg: %s\n", error.toLocal8Bit().constData());
        return ExitFailed;
    }
    if (answer.startsWith("error: ") || answer.startsWith("timeout: ")) {
        std::fwrite(answer.constData(), 1, size_t(answer.size()), stderr);
        return ExitFailed;
    }
    if (!streaming)
        std::fwrite(answer.constData(), 1, size_t(answer.size()), stdout);
    return ended ? 0 : ExitFailed;
}
