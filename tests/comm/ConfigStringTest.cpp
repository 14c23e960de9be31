#include <gtest/gtest.h>

#include "ConfigTestSupport.h"
#include "comm/VOXComm32.h"
#include "comm/VOXComm32Tables.h"

using configtest::makeMainWindowComponent;
using configtest::Pty;
using configtest::snapshot;
using configtest::Snapshot;

namespace {

QString fields(std::initializer_list<const char*> parts) {
    QStringList quoted;
    for (const char* p : parts)
        quoted << QStringLiteral("\"%1\"").arg(QString::fromLatin1(p));
    return quoted.join(QLatin1Char(','));
}

} // namespace

TEST(ConfigString, StartValuesAndTheirRoundTrip) {
    TVOXComm32 c;
    makeMainWindowComponent(c);
    const QString expected = fields({"COM1", "115200", "8", "1", "None", "1/1 1/1", "10 0 0 0 0"});
    EXPECT_EQ(c.GetConfigAsString(), expected);

    const Snapshot before = snapshot(c);
    c.SetConfigAsString(c.GetConfigAsString());
    EXPECT_EQ(snapshot(c), before);
    EXPECT_EQ(c.GetConfigAsString(), expected);
}

TEST(ConfigString, UnchangedStringStillOpensAClosedPortWithAutoReconnect) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    TVOXComm32 c;
    c.SetAutoReconnect(false);
    c.SetCommPort(pty.path());
    ASSERT_FALSE(c.IsCommOpen());
    ASSERT_TRUE(c.StartComm());
    c.StopComm();
    c.SetAutoReconnect(false);
    // Switched on while closed would open at once, so set it through loading.
    c.BeginLoading();
    c.SetAutoReconnect(true);
    ASSERT_FALSE(c.IsCommOpen());

    c.SetConfigAsString(c.GetConfigAsString());
    EXPECT_TRUE(c.IsCommOpen());
    c.StopComm();
}

TEST(ConfigString, EveryFieldTravelsToAnotherComponent) {
    // Walk each enumeration through all its values while the others vary too.
    for (int i = 0; i < kBaudRateCount; ++i) {
        TVOXComm32 a, b;
        a.SetAutoReconnect(false);
        b.SetAutoReconnect(false);
        a.SetCommPort(QStringLiteral("ttyUSB%1").arg(i));
        a.SetBaudRate(TBaudRate(i));
        a.SetDataBits(TDataBits(i % kDataBitsCount));
        a.SetStopBits(TStopBits(i % kStopBitsCount));
        a.SetParity(TParity((i + 1) % kParityCount));
        a.Signals()->SetDTRControl(VOxaSignalControl_DTR(i % 3));
        a.Signals()->SetDTR(i % 2 == 0);
        a.Signals()->SetRTSControl(VOxaSignalControl_RTS(i % 4));
        a.Signals()->SetRTS(i % 3 == 0);
        for (int t = 0; t < 5; ++t)
            a.Timeouts()->SetTimeout(t, i == 19 ? 2147483647u - uint32_t(t)
                                                : uint32_t(i * 1000 + t * 7));

        b.SetConfigAsString(a.GetConfigAsString());
        Snapshot sa = snapshot(a), sb = snapshot(b);
        EXPECT_EQ(sb, sa) << "round " << i << ": " << a.GetConfigAsString().toStdString();
        EXPECT_EQ(b.GetConfigAsString(), a.GetConfigAsString());
    }
}

TEST(ConfigString, TimeoutAboveTheSignedRangeIsWrittenButNotTakenBack) {
    TVOXComm32 a, b;
    a.SetAutoReconnect(false);
    b.SetAutoReconnect(false);
    a.Timeouts()->SetReadTotalConst(4294967295u);
    a.Timeouts()->SetWriteTotalMult(2147483648u);
    a.Timeouts()->SetWriteTotalConst(2147483647u);
    b.Timeouts()->SetReadTotalConst(77);
    EXPECT_EQ(a.GetConfigAsString(), fields({"COM1", "19200", "8", "1", "None", "1/1 1/1",
                                             "10 4294967295 0 2147483647 2147483648"}));

    b.SetConfigAsString(a.GetConfigAsString());
    EXPECT_EQ(b.Timeouts()->ReadTotalConst(), 77u);
    EXPECT_EQ(b.Timeouts()->WriteTotalMult(), 0u);
    EXPECT_EQ(b.Timeouts()->WriteTotalConst(), 2147483647u);

    // A current value above the range is kept, whatever the field says
    // when it is not a number in the range.
    b.Timeouts()->SetReadTotalConst(3000000000u);
    b.SetConfigAsString(fields({"*", "", "", "", "", "", "x 4294967296 y 1 -"}));
    EXPECT_EQ(b.Timeouts()->ReadTotalConst(), 3000000000u);
    EXPECT_EQ(b.Timeouts()->ReadInterval(), 10u);
    EXPECT_EQ(b.Timeouts()->WriteTotalConst(), 1u);
    EXPECT_EQ(b.Timeouts()->WriteTotalMult(), 0u);
}

TEST(ConfigString, NegativeTimeoutIsTakenAsItsUnsignedBitPattern) {
    TVOXComm32 c;
    c.SetAutoReconnect(false);
    c.SetConfigAsString(fields({"*", "", "", "", "", "", "-1 -2147483648 -2147483649 0 0"}));
    EXPECT_EQ(c.Timeouts()->ReadInterval(), 4294967295u);
    EXPECT_EQ(c.Timeouts()->ReadTotalConst(), 2147483648u);
    EXPECT_EQ(c.Timeouts()->ReadTotalMult(), 0u) << "below the signed range: kept";
}

struct ExampleCase {
    const char* name;
    QString config;
    std::function<void(Snapshot&)> expectChange; // applied to the snapshot taken before
};

TEST(ConfigString, ExampleStringsSetExactlyTheirFields) {
    const std::vector<ExampleCase> cases = {
        {"full example", fields({"COM3", "9600", "7", "2", "Even", "0/0 3/1", "100 5 2 50 10"}),
         [](Snapshot& s) {
             s.port = "COM3";
             s.baud = TBaudRate::___9600;
             s.dataBits = TDataBits::_7;
             s.stopBits = TStopBits::_2;
             s.parity = TParity::Even;
             s.dtrControl = VOxaSignalControl_DTROff;
             s.dtr = false;
             s.rtsControl = VOxaSignalControl_RTSToggle;
             s.rts = true;
             s.timeouts = {100, 5, 2, 50, 10};
         }},
        {"asterisk keeps the port, 1234 is no rate", fields({"*", "1234"}), [](Snapshot&) {}},
        {"blank after a comma shifts the fields", QStringLiteral("\"COM1\", \"9600\""),
         [](Snapshot&) {}},
        {"parity names are case-sensitive", fields({"*", "", "", "1.50", "none", "1/TRUE 1/fAlSe"}),
         [](Snapshot& s) {
             s.dtr = true;
             s.rts = false;
         }},
        {"NONE is no parity either", fields({"*", "", "", "", "NONE"}), [](Snapshot&) {}},
        {"DTR control 3 ignored, RTS control 3 is Toggle", fields({"*", "", "", "", "", "3 3"}),
         [](Snapshot& s) { s.rtsControl = VOxaSignalControl_RTSToggle; }},
        {"pair without slash is all control", fields({"*", "", "", "", "", "2 2/"}),
         [](Snapshot& s) {
             s.dtrControl = VOxaSignalControl_DTRHandshake;
             s.rtsControl = VOxaSignalControl_RTSHandshake;
         }},
        {"unquoted fields and a tab", QStringLiteral("COM7\t57600,5,1.5,Space"),
         [](Snapshot& s) {
             s.port = "COM7";
             s.baud = TBaudRate::__57600;
             s.dataBits = TDataBits::_5;
             s.stopBits = TStopBits::_1_5;
             s.parity = TParity::Space;
         }},
        {"quoted port with doubled quote and separators", QStringLiteral("\"a \"\"b\"\", c\""),
         [](Snapshot& s) { s.port = "a \"b\", c"; }},
        {"unclosed quote reads as empty", QStringLiteral("\"COM9,600"), [](Snapshot&) {}},
        {"text after a closing quote starts the next field", QStringLiteral("\"COM9\"600"),
         [](Snapshot& s) {
             s.port = "COM9";
             s.baud = TBaudRate::____600;
         }},
        {"character codes make a field", QStringLiteral("#67#79#77#53,#57#54#48#48"),
         [](Snapshot& s) {
             s.port = "COM5";
             s.baud = TBaudRate::___9600;
         }},
        {"empty string", QString(), [](Snapshot&) {}},
        {"only an asterisk", QStringLiteral("*"), [](Snapshot&) {}},
        {"numbers with junk", fields({"*", "9600x", "+7", "", "", "", "+5 5.0 0x10 99999999999 7"}),
         [](Snapshot& s) {
             s.dataBits = TDataBits::_7;
             s.timeouts = {5, 0, 0, 0, 7};
         }},
    };
    for (const ExampleCase& example : cases) {
        TVOXComm32 c;
        makeMainWindowComponent(c);
        Snapshot expected = snapshot(c);
        example.expectChange(expected);
        c.SetConfigAsString(example.config);
        EXPECT_EQ(snapshot(c), expected) << example.name;
    }
}

TEST(ConfigString, ChangedStringRestartsAnOpenPortOnlyWithAutoReconnect) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    TVOXComm32 c;
    c.SetAutoReconnect(false);
    c.SetCommPort(pty.path());
    ASSERT_TRUE(c.StartComm());

    // Nothing changed: the open port stays open.
    c.SetConfigAsString(c.GetConfigAsString());
    EXPECT_TRUE(c.IsCommOpen());

    // A changed rate closes it; without AutoReconnect it stays closed.
    c.SetConfigAsString(QStringLiteral("\"*\",\"9600\""));
    EXPECT_EQ(c.BaudRate(), TBaudRate::___9600);
    EXPECT_FALSE(c.IsCommOpen());
    EXPECT_EQ(c.GetConnectionState(), CommStateDisconnected);

    // With AutoReconnect the port comes back with the new rate.
    ASSERT_TRUE(c.StartComm());
    c.BeginLoading(); // only store the flag
    c.SetAutoReconnect(true);
    c.SetConfigAsString(QStringLiteral("\"*\",\"4800\""));
    EXPECT_EQ(c.BaudRate(), TBaudRate::___4800);
    EXPECT_TRUE(c.IsCommOpen());
    c.StopComm();
}
