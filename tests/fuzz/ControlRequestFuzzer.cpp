// Feeds arbitrary bytes, in arbitrary chunks as a client may send them, to the
// control socket's request reader and checks that the answer depends on the
// first line only, comes as soon as it can, and never changes afterwards.
// Input: byte 0 seeds the chunk sizes, the rest is what the client sends.
#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "platform/ControlChannel.h"

using platform::ControlChannel;
using platform::ControlRequest;
using platform::readControlRequest;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const QByteArray sent(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const ControlRequest whole = readControlRequest(sent);
    const qsizetype end = sent.indexOf('\n');
    FUZZ_CHECK(whole.complete == (end >= 0 || sent.size() > ControlChannel::MaxLineLength));
    if (whole.message) {
        FUZZ_CHECK(end >= 0 && end <= ControlChannel::MaxLineLength);
        FUZZ_CHECK(platform::parseControlMessage(sent.left(end)) == whole.message);
        // The number's own texts read back as the same number.
        FUZZ_CHECK(platform::parseControlMessage(QByteArray::number(*whole.message)) ==
                   whole.message);
        FUZZ_CHECK(platform::parseControlMessage("0x" + QByteArray::number(*whole.message, 16) +
                                                 "\r\n") == whole.message);
    }

    // The server sees the bytes as they arrive and looks at most at the
    // first MaxLineLength + 1 of them.
    uint32_t seed = data[0] | 1u;
    QByteArray received;
    bool answered = false;
    for (qsizetype at = 0; at < sent.size() && !answered;) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        const qsizetype n = std::min<qsizetype>(1 + seed % 40, sent.size() - at);
        received += sent.mid(at, n);
        at += n;
        const ControlRequest now =
            readControlRequest(received.left(ControlChannel::MaxLineLength + 1));
        if (now.complete) {
            answered = true;
            FUZZ_CHECK(now.message == whole.message);
        }
    }
    FUZZ_CHECK(answered == whole.complete);
    return 0;
}
