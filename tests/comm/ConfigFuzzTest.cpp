// Hostile and random configuration strings: nothing crashes, nothing is read
// beyond the text, and a field that is not understood leaves its property.
#include <gtest/gtest.h>
#include <random>

#include "ConfigTestSupport.h"
#include "comm/VOXComm32.h"
#include "comm/VOXComm32Tables.h"
#include "util/OxaUtils.h"

using configtest::snapshot;
using configtest::Snapshot;

namespace {

// Bytes that matter to the reader, mixed with arbitrary ones.
QString randomText(std::mt19937& rng, int maxLength) {
    static const char interesting[] = "\",\t #()/*0123456789-+.NoneEvenCOM";
    std::uniform_int_distribution<int> length(0, maxLength);
    std::uniform_int_distribution<int> pick(0, 3);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_int_distribution<int> inList(0, int(sizeof interesting) - 2);
    QString text;
    for (int n = length(rng); n > 0; --n)
        text += pick(rng) == 0 ? QChar(char16_t(anyByte(rng))) : QChar(interesting[inList(rng)]);
    return text;
}

bool validState(const Snapshot& s) {
    return int(s.baud) < kBaudRateCount && int(s.dataBits) < kDataBitsCount &&
           int(s.stopBits) < kStopBitsCount && int(s.parity) < kParityCount &&
           s.dtrControl <= VOxaSignalControl_DTRHandshake &&
           s.rtsControl <= VOxaSignalControl_RTSToggle;
}

} // namespace

TEST(ConfigFuzz, TokenReaderStaysInsideRandomText) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 5000; ++round) {
        const QString original = randomText(rng, 80);
        QString text = original;
        // Every call leaves a tail of what it was given; a reader that stops
        // consuming ends the walk.
        for (int calls = 0; calls <= original.size() + 1 && !text.isEmpty(); ++calls) {
            const QString before = text;
            bool more = true;
            const QString token = ExtractToken(text, more);
            ASSERT_TRUE(before.endsWith(text)) << original.toStdString();
            ASSERT_LE(token.size(), before.size());
            if (text == before)
                break;
        }
    }
}

TEST(ConfigFuzz, RandomStringsKeepAValidStateThatTravels) {
    std::mt19937 rng(8122026);
    int compared = 0;
    for (int round = 0; round < 3000; ++round) {
        TVOXComm32 a, b;
        a.SetAutoReconnect(false); // random names must never open a device
        b.SetAutoReconnect(false);
        const QString config = randomText(rng, 120);
        a.SetConfigAsString(config);
        const Snapshot sa = snapshot(a);
        ASSERT_TRUE(validState(sa)) << config.toStdString();
        ASSERT_FALSE(sa.open);

        // What the component holds survives its own string, apart from the
        // known losses: a port name with a quote, timeouts above the signed
        // range.
        b.SetConfigAsString(a.GetConfigAsString());
        if (sa.port.contains(QLatin1Char('"')))
            continue; // the quote ends the field early and shifts the rest
        Snapshot sb = snapshot(b);
        for (size_t t = 0; t < 5; ++t)
            if (sa.timeouts[t] > 2147483647u && sb.timeouts[t] == 10u * (t == 0))
                sb.timeouts[t] = sa.timeouts[t];
        ASSERT_EQ(sb, sa) << config.toStdString();
        ++compared;
    }
    EXPECT_GT(compared, 1000) << "too few strings left something to compare";
}

TEST(ConfigFuzz, GarbageFieldLeavesOnlyItsOwnPropertyAlone) {
    // A field made of characters that are no number, name or line state.
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> garbageChar(0, 11);
    static const char garbage[] = "!?@%&;:-xyzQ";
    for (int round = 0; round < 400; ++round) {
        TVOXComm32 source, target;
        source.SetAutoReconnect(false);
        target.SetAutoReconnect(false);
        source.SetCommPort(QStringLiteral("COM%1").arg(round + 2));
        source.SetBaudRate(TBaudRate(round % kBaudRateCount));
        source.SetDataBits(TDataBits(round % 4));
        source.SetStopBits(TStopBits(1 + round % 2));
        source.SetParity(TParity(1 + round % 4));
        source.Signals()->SetDTRControl(VOxaSignalControl_DTR(round % 3 == 1 ? 0 : 2));
        source.Signals()->SetDTR(false);
        source.Signals()->SetRTSControl(VOxaSignalControl_RTS(round % 2 == 0 ? 0 : 3));
        source.Signals()->SetRTS(false);
        for (int t = 0; t < 5; ++t)
            source.Timeouts()->SetTimeout(t, uint32_t(round * 10 + t + 1));

        QString junk;
        for (int n = 1 + round % 9; n > 0; --n)
            junk += QLatin1Char(garbage[garbageChar(rng)]);
        const int field = 1 + round % 7; // 1 = port ... 7 = timeouts
        QStringList fields = source.GetConfigAsString().split(QStringLiteral("\",\""));
        fields[field - 1] = junk;
        QString config = fields.join(QStringLiteral("\",\""));
        if (field == 1)
            config = QLatin1Char('"') + config;
        if (field == 7)
            config += QLatin1Char('"');

        const Snapshot before = snapshot(target);
        target.SetConfigAsString(config);
        Snapshot expected = snapshot(source);
        switch (field) {
        case 1:
            // A garbage port name is still a name: only the port field takes any text.
            expected.port = junk;
            break;
        case 2:
            expected.baud = before.baud;
            break;
        case 3:
            expected.dataBits = before.dataBits;
            break;
        case 4:
            expected.stopBits = before.stopBits;
            break;
        case 5:
            expected.parity = before.parity;
            break;
        case 6:
            expected.dtrControl = before.dtrControl;
            expected.dtr = before.dtr;
            expected.rtsControl = before.rtsControl;
            expected.rts = before.rts;
            break;
        case 7:
            expected.timeouts = before.timeouts;
            break;
        }
        ASSERT_EQ(snapshot(target), expected) << config.toStdString();
    }
}

TEST(ConfigFuzz, HugeAndHostileStrings) {
    const int megabyte = 1 << 20;
    struct Case {
        const char* name;
        QString config;
        QString port; // expected port afterwards
        TBaudRate baud;
    };
    const std::vector<Case> cases = {
        {"unbalanced quote over a megabyte", QLatin1Char('"') + QString(megabyte, QLatin1Char('A')),
         QStringLiteral("COM1"), TBaudRate::__19200},
        {"megabyte of digits as the rate",
         QStringLiteral("\"COM4\",\"") + QString(megabyte, QLatin1Char('9')) + QLatin1Char('"'),
         QStringLiteral("COM4"), TBaudRate::__19200},
        {"megabyte of character codes",
         QStringLiteral("#67#79#77#56,") + QStringLiteral("#999999999999").repeated(megabyte / 13),
         QStringLiteral("COM8"), TBaudRate::__19200},
        {"megabyte of separators", QString(megabyte, QLatin1Char(',')) + QStringLiteral("9600"),
         QStringLiteral("COM1"), TBaudRate::__19200},
        {"megabyte of open brackets", QStringLiteral("(").repeated(megabyte),
         QStringLiteral("(").repeated(megabyte - 1), TBaudRate::__19200},
        {"megabyte port name",
         QLatin1Char('"') + QString(megabyte, QLatin1Char('P')) + QStringLiteral("\",\"300\""),
         QString(megabyte, QLatin1Char('P')), TBaudRate::____300},
        {"nul and high characters",
         QStringLiteral("\"CO\0M\",\"\xFF\xFE\",\"8\"") + QChar(0xFFFF) + QChar(0xD800),
         QStringLiteral("CO\0M"), TBaudRate::__19200},
        {"huge numbers in every numeric field",
         QStringLiteral("*,99999999999999999999,-99999999999999999999,1,None,"
                        "\"99999999999/1 -1/0\",\"18446744073709551616 1e9 0x7fffffff\""),
         QStringLiteral("COM1"), TBaudRate::__19200},
    };
    for (const Case& c : cases) {
        TVOXComm32 comm;
        comm.SetAutoReconnect(false);
        comm.SetConfigAsString(c.config);
        EXPECT_EQ(comm.CommPort().size(), c.port.size()) << c.name;
        EXPECT_TRUE(comm.CommPort() == c.port) << c.name;
        EXPECT_EQ(comm.BaudRate(), c.baud) << c.name;
        EXPECT_TRUE(validState(snapshot(comm))) << c.name;
        EXPECT_EQ(comm.Timeouts()->ReadInterval(), 10u) << c.name;
    }
}
