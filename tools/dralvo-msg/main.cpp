// dralvo-msg: presses Start or Disconnect in a running Dralvo from another
// program or a script, and prints the window's answer.
#include <cstdio>
#include <cstring>
#include <string>

#include "DralvoVersion.h"
#include "platform/ControlChannel.h"

namespace {

constexpr uint32_t MessageStart = 0x0401;      // acts as "Connect & Start"
constexpr uint32_t MessageDisconnect = 0x0400; // acts as "Disconnect"

int usage() {
    std::fprintf(stderr,
                 "usage: dralvo-msg [--socket PATH] start|disconnect|NUMBER\n"
                 "  start       press \"Connect & Start\" (message 1025)\n"
                 "  disconnect  press \"Disconnect\" (message 1024)\n"
                 "  NUMBER      any message number, decimal or 0x hexadecimal\n"
                 "Prints the window's answer: 1 for start, 2 for disconnect, 0 otherwise.\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QString socketPath =
        platform::controlSocketPath(platform::controlSocketDir(), QStringLiteral(DRALVO_APP_KEY));
    const char* command = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--socket") == 0) {
            if (i + 1 >= argc)
                return usage();
            socketPath = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strncmp(argv[i], "--socket=", 9) == 0) {
            socketPath = QString::fromLocal8Bit(argv[i] + 9);
        } else if (command == nullptr) {
            command = argv[i];
        } else {
            return usage();
        }
    }
    if (command == nullptr || socketPath.isEmpty())
        return usage();

    uint32_t message = 0;
    if (std::strcmp(command, "start") == 0) {
        message = MessageStart;
    } else if (std::strcmp(command, "disconnect") == 0) {
        message = MessageDisconnect;
    } else if (auto number = platform::parseControlMessage(QByteArray(command))) {
        message = *number;
    } else {
        return usage();
    }

    QString error;
    const long long result =
        platform::sendControlMessage(socketPath, QByteArray::number(message), &error);
    if (result < 0) {
        std::fprintf(stderr, "dralvo-msg: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    std::printf("%lld\n", result);
    return 0;
}
