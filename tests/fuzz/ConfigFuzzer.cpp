// Feeds arbitrary bytes to SetConfigAsString and checks that the component
// keeps a valid state that survives its own configuration string.
#include <QCoreApplication>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "comm/VOXComm32.h"
#include "comm/VOXComm32Tables.h"

namespace {

bool sameSettings(const TVOXComm32& a, const TVOXComm32& b) {
    if (a.CommPort() != b.CommPort() || a.BaudRate() != b.BaudRate() ||
        a.DataBits() != b.DataBits() || a.StopBits() != b.StopBits() || a.Parity() != b.Parity())
        return false;
    const VOXComm32Signals &sa = *a.Signals(), &sb = *b.Signals();
    if (sa.DTRControl() != sb.DTRControl() || sa.DTR() != sb.DTR() ||
        sa.RTSControl() != sb.RTSControl() || sa.RTS() != sb.RTS())
        return false;
    for (int i = 0; i < 5; ++i) {
        const uint32_t ta = a.Timeouts()->GetTimeout(i), tb = b.Timeouts()->GetTimeout(i);
        // Above the signed range a timeout is written but not taken back.
        if (ta != tb && ta <= 2147483647u)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString config =
        QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    TVOXComm32 a;
    a.SetAutoReconnect(false); // an arbitrary name must never open a device
    a.SetConfigAsString(config);
    FUZZ_CHECK(!a.IsCommOpen());
    FUZZ_CHECK(int(a.BaudRate()) < kBaudRateCount && int(a.DataBits()) < kDataBitsCount &&
               int(a.StopBits()) < kStopBitsCount && int(a.Parity()) < kParityCount);
    FUZZ_CHECK(a.Signals()->DTRControl() <= VOxaSignalControl_DTRHandshake &&
               a.Signals()->RTSControl() <= VOxaSignalControl_RTSToggle);

    // A quote in the port name ends its field early; nothing else is lost.
    if (!a.CommPort().contains(QLatin1Char('"'))) {
        TVOXComm32 b;
        b.SetAutoReconnect(false);
        b.SetConfigAsString(a.GetConfigAsString());
        FUZZ_CHECK(sameSettings(a, b));
    }
    return 0;
}
