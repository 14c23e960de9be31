#include "Modem.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace gsmsim {

void LineAssembler::feed(const char* data, size_t size, std::vector<std::string>& lines) {
    for (size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            if (!m_partial.empty())
                lines.push_back(std::move(m_partial));
            m_partial.clear();
            continue;
        }
        m_partial += c;
        if (m_partial.size() >= maxLine) { // no terminator in sight: cut it here
            lines.push_back(std::move(m_partial));
            m_partial.clear();
        }
    }
}

namespace {

std::string lowered(const std::string& text) {
    std::string result = text;
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return result;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

std::string answerCommand(const std::string& line) {
    std::string out = line + "\r\n";
    std::string command = lowered(line);
    while (!command.empty() && (command.back() == ' ' || command.back() == '\t'))
        command.pop_back();
    if (command == "at" || startsWith(command, "at^scfg=")) {
        out += "OK\r\n";
    } else if (startsWith(command, "at^sjra=")) {
        const std::string path = line.substr(std::string("at^sjra=").size());
        out += "OK\r\n";
        out += "Application autostart set: " + path + "\r\n";
        out += "JVM: loading " + path + "\r\n";
        out += "[main] INFO  demo.App - application started\r\n";
        out += "[main] INFO  demo.App - waiting for network registration\r\n";
    } else {
        out += "ERROR\r\n";
    }
    return out;
}

std::string bootBanner() {
    return "\r\n"
           "GSM module simulator (gsmsim) powered on\r\n"
           "Firmware 01.100, Java runtime ready\r\n"
           "[main] INFO  demo.App - starting\r\n";
}

std::string debugLine(uint64_t n) {
    char buffer[160];
    switch (n % 4) {
    case 1:
        std::snprintf(buffer, sizeof buffer,
                      "[main] DEBUG demo.App - heartbeat %llu, free memory %llu bytes\r\n",
                      static_cast<unsigned long long>(n),
                      static_cast<unsigned long long>(400000 - (n * 37) % 90000));
        break;
    case 2:
        std::snprintf(buffer, sizeof buffer,
                      "[gps] DEBUG demo.GpsReader - fix lat=50.%04llu lon=14.%04llu sats=%llu\r\n",
                      static_cast<unsigned long long>(750 + n % 100),
                      static_cast<unsigned long long>(4370 + n % 50),
                      static_cast<unsigned long long>(4 + n % 6));
        break;
    case 3:
        std::snprintf(buffer, sizeof buffer,
                      "[net] DEBUG demo.NetMonitor - signal -%llu dBm, registered\r\n",
                      static_cast<unsigned long long>(60 + n % 30));
        break;
    default:
        std::snprintf(buffer, sizeof buffer, "[io] DEBUG demo.Watchdog - kick %llu\r\n",
                      static_cast<unsigned long long>(n / 4));
        break;
    }
    return buffer;
}

std::string floodLine(uint64_t seq, size_t length, const std::string& tag) {
    char head[32];
    const int n =
        std::snprintf(head, sizeof head, "SEQ %07llu ", static_cast<unsigned long long>(seq));
    std::string line(head, size_t(n));
    if (!tag.empty())
        line += tag + ' ';
    if (line.size() + 2 <= length)
        line.append(length - 2 - line.size(), 'x');
    else
        line.pop_back(); // shorter than the number itself: only the number
    line += "\r\n";
    return line;
}

} // namespace gsmsim
