#pragma once
// The module's side of the conversation, free of any I/O: collecting command
// lines, answering them, and the texts the module prints by itself.
#include <cstdint>
#include <string>
#include <vector>

namespace gsmsim {

// Collects received bytes into command lines ended by CR or LF.
class LineAssembler {
public:
    // Appends complete, non-empty lines found in data to lines.
    void feed(const char* data, size_t size, std::vector<std::string>& lines);
    void clear() { m_partial.clear(); }

private:
    static constexpr size_t maxLine = 4096;
    std::string m_partial;
};

// The echo and the answer to one command line, every line ended by CR LF.
std::string answerCommand(const std::string& line);

// The start-up lines printed when the module has been powered on.
std::string bootBanner();

// The n-th periodic diagnostic line of the Java application (n from 1).
std::string debugLine(uint64_t n);

// Flood line number seq, then tag and a blank when tag is not empty, padded
// with 'x' to length bytes including CR LF.
std::string floodLine(uint64_t seq, size_t length, const std::string& tag = {});

} // namespace gsmsim
