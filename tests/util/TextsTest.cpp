#include "util/OxaUtils.h"

#include <gtest/gtest.h>

namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray result;
    for (int v : values)
        result.append(char(v));
    return result;
}

QString timeText(int decimals, bool duration, int minHourDigits, double value) {
    QString text = QStringLiteral("stale");
    TimeToText(decimals, duration, minHourDigits, text, value);
    return text;
}

// A time of day as a day fraction, built from seconds.
double dayValue(double seconds) {
    return 46000.0 + seconds / 86400.0;
}

QString format(const QString& templ, const std::vector<VarRec>& values) {
    QString text = QStringLiteral("stale");
    FormatPositional(templ, values, text);
    return text;
}

} // namespace

TEST(BoolTexts, ExactDigitsAndWordsInAnyCase) {
    EXPECT_EQ(BoolTo01(true), QStringLiteral("1"));
    EXPECT_EQ(BoolTo01(false), QStringLiteral("0"));
    for (bool def : {false, true}) {
        EXPECT_FALSE(TextToBool(QStringLiteral("0"), def));
        EXPECT_TRUE(TextToBool(QStringLiteral("1"), def));
        EXPECT_TRUE(TextToBool(QStringLiteral("TRUE"), def));
        EXPECT_FALSE(TextToBool(QStringLiteral("fAlSe"), def));
        EXPECT_EQ(TextToBool(QStringLiteral("yes"), def), def);
        EXPECT_EQ(TextToBool(QStringLiteral(" 1"), def), def);
        EXPECT_EQ(TextToBool(QStringLiteral("01"), def), def);
        EXPECT_EQ(TextToBool(QString(), def), def);
    }
}

TEST(HexTexts, DigitsPairUpSingleDigitsAndOtherCharactersStandAlone) {
    EXPECT_EQ(HexTextToBytes(QStringLiteral("0D 0A 41")), bytes({0x0D, 0x0A, 0x41}));
    EXPECT_EQ(HexTextToBytes(QStringLiteral("ABC")), bytes({0xAB, 0x0C}));
    EXPECT_EQ(HexTextToBytes(QStringLiteral("1G")), bytes({0x01, 'G'}));
    EXPECT_EQ(HexTextToBytes(QStringLiteral("7 AT")), bytes({0x07, 0x0A, 'T'}));
    EXPECT_EQ(HexTextToBytes(QStringLiteral("ff\t0a\r\n")), bytes({0xFF, 0x0A}));
    EXPECT_TRUE(HexTextToBytes(QString()).isEmpty());
    EXPECT_TRUE(HexTextToBytes(QStringLiteral(" \t\r\n")).isEmpty());
}

TEST(HexTexts, BytesBecomeUpperCaseDigitsEachFollowedByABlank) {
    EXPECT_EQ(BytesToHexText(bytes({13, 10})), QStringLiteral("0D 0A "));
    EXPECT_EQ(BytesToHexText(bytes({0xAB, 0x00, 0xFF})), QStringLiteral("AB 00 FF "));
    EXPECT_EQ(BytesToHexText(QByteArray()), QString());

    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    EXPECT_EQ(HexTextToBytes(BytesToHexText(all)), all);
}

TEST(HexTexts, DigitValuesAndCharacters) {
    EXPECT_EQ(HexDigitValue(QLatin1Char('0'), -1), 0);
    EXPECT_EQ(HexDigitValue(QLatin1Char('f'), -1), 15);
    EXPECT_EQ(HexDigitValue(QLatin1Char('F'), -1), 15);
    EXPECT_EQ(HexDigitValue(QLatin1Char('g'), -7), -7);
    EXPECT_EQ(HexDigitChar(9), QLatin1Char('9'));
    EXPECT_EQ(HexDigitChar(10), QLatin1Char('A'));
    EXPECT_EQ(HexDigitChar(16), QLatin1Char('?'));
    EXPECT_EQ(HexDigitChar(-1), QLatin1Char('?'));
}

TEST(TimeTexts, HoursDigitsAndMilliseconds) {
    const QString s = LocaleTimeSeparator();
    ASSERT_EQ(s.size(), 1);
    EXPECT_FALSE(s[0].isLetterOrNumber());

    const double t = dayValue(9 * 3600 + 5 * 60 + 7.042);
    EXPECT_EQ(timeText(3, false, 1, t), "9" + s + "05" + s + "07.042");
    EXPECT_EQ(timeText(3, false, 2, t), "09" + s + "05" + s + "07.042");
    EXPECT_EQ(timeText(3, false, 1, t + 6.0 / 24), "15" + s + "05" + s + "07.042");
    EXPECT_EQ(timeText(0, false, 1, t), "9" + s + "05" + s + "07");
    EXPECT_EQ(timeText(1, false, 1, t), "9" + s + "05" + s + "07.0");
    // A duration keeps whole days as hours.
    EXPECT_EQ(timeText(0, true, 1, 30.0 / 24), "30" + s + "00" + s + "00");
    EXPECT_EQ(timeText(2, true, 1, 1.5 / 86400), "0" + s + "00" + s + "01.50");
}

TEST(TimeTexts, RoundingAtSecondAndDayBoundaries) {
    const QString s = LocaleTimeSeparator();
    const double base = 3 * 3600 + 25 * 60 + 59;
    EXPECT_EQ(timeText(3, false, 1, dayValue(base + 0.9994)), "3" + s + "25" + s + "59.999");
    // Rounding up to the full second carries into the seconds, minutes and hours.
    EXPECT_EQ(timeText(3, false, 1, dayValue(base + 0.99951)), "3" + s + "26" + s + "00.000");
    EXPECT_EQ(timeText(3, false, 1, dayValue(base + 0.9996)), "3" + s + "26" + s + "00.000");
    // Within half a millisecond of midnight.
    EXPECT_EQ(timeText(3, false, 1, 46000.0 + 1.0 - 0.0004 / 86400),
              "24" + s + "00" + s + "00.000");
    EXPECT_EQ(timeText(3, false, 1, 46000.0 + 1.0 - 0.0006 / 86400),
              "23" + s + "59" + s + "59.999");
}

TEST(TimeTexts, DecimalsBeyondMillisecondsDropEdgeNoise) {
    const QString s = LocaleTimeSeparator();
    // One below the full scale counts as the next second, exactly 1 as zero.
    EXPECT_EQ(timeText(4, true, 1, 5.99991 / 86400), "0" + s + "00" + s + "06.0000");
    EXPECT_EQ(timeText(4, true, 1, 5.0001 / 86400), "0" + s + "00" + s + "05.0000");
    EXPECT_EQ(timeText(4, true, 1, 5.0002 / 86400), "0" + s + "00" + s + "05.0002");
    // More than 7 decimals are clamped to 7.
    EXPECT_EQ(timeText(9, true, 1, 5.25 / 86400), "0" + s + "00" + s + "05.2500000");
}

TEST(TimeTexts, DateTimeValueCountsDaysFromTheClassicEpoch) {
    EXPECT_DOUBLE_EQ(DateTimeToValue(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_DOUBLE_EQ(DateTimeToValue(QDateTime(QDate(1900, 1, 1), QTime(18, 0))), 2.75);
    const QString s = LocaleTimeSeparator();
    QString text;
    TimeToText(3, false, 1, text,
               DateTimeToValue(QDateTime(QDate(2026, 3, 1), QTime(9, 5, 7, 42))));
    EXPECT_EQ(text, "9" + s + "05" + s + "07.042");
}

TEST(PositionalFormat, PlainPlaceholdersPercentAndStrayCharacters) {
    EXPECT_EQ(format(QStringLiteral("%2:%1"), {"a", "b"}), QStringLiteral("b:a"));
    EXPECT_EQ(format(QStringLiteral("%1: (%2,%3)->(%4)"), {"frm", 10, int64_t(20)}),
              QStringLiteral("frm: (10,20)->()"));
    EXPECT_EQ(format(QStringLiteral("100%% %1%"), {"sure"}), QStringLiteral("100% sure%"));
    EXPECT_EQ(format(QStringLiteral("%x%"), {}), QStringLiteral("x%"));
    EXPECT_EQ(format(QStringLiteral("a%0b%3c"), {1, 2}), QStringLiteral("abc"));
    EXPECT_EQ(format(QStringLiteral("%(2)%(1)"), {"a", "b"}), QStringLiteral("ba"));
    EXPECT_EQ(format(QStringLiteral("%(2"), {"a", "b"}), QStringLiteral("(2"));
    EXPECT_EQ(format(QStringLiteral("%12"), {"x"}), QString());
    EXPECT_EQ(format(QStringLiteral("%01"), {"x"}), QStringLiteral("x"));
}

TEST(PositionalFormat, FillWidthAndAlignment) {
    EXPECT_EQ(format(QStringLiteral("[%8:1]"), {"abc"}), QStringLiteral("[     abc]"));
    EXPECT_EQ(format(QStringLiteral("[%-8:1]"), {"abc"}), QStringLiteral("[-----abc]"));
    EXPECT_EQ(format(QStringLiteral("[%--8:1]"), {"abc"}), QStringLiteral("[abc-----]"));
    EXPECT_EQ(format(QStringLiteral("[%---8:1]"), {"abc"}), QStringLiteral("[--abc---]"));
    EXPECT_EQ(format(QStringLiteral("[%0008:(1)]"), {"abc"}), QStringLiteral("[00abc000]"));
    EXPECT_EQ(format(QStringLiteral("[%06:1]"), {42}), QStringLiteral("[000042]"));
    EXPECT_EQ(format(QStringLiteral("[%  6:1]"), {42}), QStringLiteral("[42    ]"));
    // Longer text is not cut.
    EXPECT_EQ(format(QStringLiteral("[%--2:1]"), {"abcdef"}), QStringLiteral("[abcdef]"));
}

TEST(PositionalFormat, ValueTexts) {
    EXPECT_EQ(VarRecToText(VarRec(false), 0), QStringLiteral("False"));
    EXPECT_EQ(VarRecToText(VarRec(QChar(0x17E)), 0), QString(QChar(0x17E)));
    EXPECT_EQ(VarRecToText(VarRec(int64_t(-9000000000)), 0), QStringLiteral("-9000000000"));
    EXPECT_EQ(VarRecToText(VarRec(1.5), 0), QStringLiteral("1.5"));
    EXPECT_EQ(VarRecToText(VarRec(1.5), 6), QStringLiteral("   1.5"));
    EXPECT_EQ(VarRecToText(VarRec(VarRec::Pointer{reinterpret_cast<const void*>(0xBEEF)}), 0),
              QStringLiteral(":0000BEEF"));
    EXPECT_EQ(VarRecToText(VarRec(VarRec::Interface{reinterpret_cast<const void*>(0x12)}), 0),
              QStringLiteral("I00000012"));
    EXPECT_EQ(VarRecToText(VarRec(VarRec::ObjectRef{"TfrmMain"}), 0), QStringLiteral("(TfrmMain)"));
    EXPECT_EQ(VarRecToText(VarRec(VarRec::ClassName{"TfrmMain"}), 0), QStringLiteral("TfrmMain"));
    // A float placeholder with a width is padded by the number formatting itself.
    EXPECT_EQ(format(QStringLiteral("[%-7:1]"), {2.25}), QStringLiteral("[   2.25]"));
}
