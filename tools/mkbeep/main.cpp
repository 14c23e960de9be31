// mkbeep: writes the alarm sound, a short sine beep as a 16-bit mono PCM WAV
// file, so the build needs no binary asset.
//
//   mkbeep <output.wav> [frequency-hz] [duration-ms]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

constexpr uint32_t SampleRate = 22050;
constexpr double Pi = 3.14159265358979323846;

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v & 0xff));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t((v >> (8 * i)) & 0xff));
}

void putTag(std::vector<uint8_t>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

// The samples of the beep: a sine with short fades at both ends, so the
// speaker does not click.
std::vector<int16_t> beep(double frequency, uint32_t durationMs) {
    const uint32_t count = SampleRate * durationMs / 1000;
    const uint32_t fade = SampleRate / 200; // 5 ms
    std::vector<int16_t> samples(count);
    for (uint32_t i = 0; i < count; ++i) {
        double gain = 0.5;
        if (i < fade)
            gain *= double(i) / fade;
        else if (count - i <= fade)
            gain *= double(count - i - 1) / fade;
        samples[i] =
            int16_t(std::lround(gain * 32767.0 * std::sin(2.0 * Pi * frequency * i / SampleRate)));
    }
    return samples;
}

std::vector<uint8_t> wavFile(const std::vector<int16_t>& samples) {
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    std::vector<uint8_t> out;
    putTag(out, "RIFF");
    put32(out, 36 + dataBytes);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16); // size of the format chunk
    put16(out, 1);  // PCM
    put16(out, 1);  // mono
    put32(out, SampleRate);
    put32(out, SampleRate * 2); // bytes per second
    put16(out, 2);              // bytes per frame
    put16(out, 16);             // bits per sample
    putTag(out, "data");
    put32(out, dataBytes);
    for (int16_t s : samples)
        put16(out, uint16_t(s));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: mkbeep <output.wav> [frequency-hz] [duration-ms]\n");
        return 2;
    }
    const double frequency = argc > 2 ? std::atof(argv[2]) : 880.0;
    const long duration = argc > 3 ? std::atol(argv[3]) : 150;
    // Longer than the 500 ms alarm rhythm would make the beeps overlap.
    if (frequency <= 0 || frequency >= SampleRate / 2.0 || duration <= 0 || duration > 400) {
        std::fprintf(stderr, "mkbeep: frequency or duration out of range\n");
        return 2;
    }
    const std::vector<uint8_t> bytes = wavFile(beep(frequency, uint32_t(duration)));
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "mkbeep: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
