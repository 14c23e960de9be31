// Quick-send texts as steps, and the runner on the test's own clock.
#include <QStringList>
#include <gtest/gtest.h>

#include "macros/QuickSend.h"
#include "macros/Sequence.h"
#include "macros/SequenceRunner.h"

using namespace macros;

namespace {

Sequence parse(const QString& text) {
    ParseError error;
    Sequence s = ParseSequence(text, &error);
    EXPECT_TRUE(error.ok()) << error.message.toStdString();
    return s;
}

// A runner whose sends, steps and end are written down.
struct Recorder {
    SequenceRunner runner;
    QList<QByteArray> sent;
    QStringList steps;
    int finished = 0;
    bool completed = false;
    QString reason;
    Recorder() {
        runner.send = [this](const QByteArray& b) { sent << b; };
        runner.onStep = [this](int, const Step& step) { steps << step.describe(); };
        runner.onFinished = [this](bool done, const QString& why) {
            ++finished;
            completed = done;
            reason = why;
        };
    }
};

} // namespace

TEST(Sequence, StepsOfEachKindAndEveryBadLineNamed) {
    const Sequence s = parse("AT+CFUN=1,1\n# restart\n\nwait 500\nhex 41 54 0d\n"
                             "expect OK 2000\nexpect /^\\+CSQ: \\d+/ 100\nsend wait\n");
    ASSERT_EQ(s.steps.size(), 6u);
    EXPECT_EQ(s.steps[0].bytes, QByteArray("AT+CFUN=1,1\r"));
    EXPECT_EQ(s.steps[1].kind, Step::Wait);
    EXPECT_EQ(s.steps[1].ms, 500);
    EXPECT_EQ(s.steps[1].line, 4);
    EXPECT_EQ(s.steps[2].bytes, QByteArray("AT\r"));
    EXPECT_EQ(s.steps[3].describe(), "expect OK (2000 ms)");
    EXPECT_TRUE(s.steps[4].regex);
    EXPECT_EQ(s.steps[5].bytes, QByteArray("wait\r"));
    EXPECT_TRUE(parse("AT").single());

    struct Bad {
        const char* text;
        int line;
        const char* says;
    };
    const Bad bad[] = {
        {"AT\nwait", 2, "wait needs a time"},
        {"wait -5", 1, "-5 ms is outside 0 to 600000 ms"},
        {"wait 99999999999", 1, "outside"},
        {"wait soon", 1, "\"soon\" is not a number"},
        {"AT\n\nexpect OK", 3, "expect needs a text and a time-out"},
        {"expect OK 0", 1, "outside 1 to"},
        {"expect /a(b/ 100", 1, "does not compile"},
        {"expect /open 100", 1, "ends with /"},
        {"hex 4", 1, "pairs of digits"},
        {"hex zz", 1, "\u201cz\u201d is not a hexadecimal digit"},
    };
    for (const Bad& b : bad) {
        ParseError error;
        EXPECT_TRUE(ParseSequence(QString::fromUtf8(b.text), &error).steps.empty()) << b.text;
        EXPECT_EQ(error.line, b.line) << b.text;
        EXPECT_TRUE(error.message.contains(QString::fromUtf8(b.says)))
            << b.text << ": " << error.message.toStdString();
    }
    ParseError error;
    ParseSequence(QString(10240, u'x'), &error);
    EXPECT_TRUE(error.message.contains("10240 characters")) << error.message.toStdString();
    ParseSequence(QString::fromUtf8("AT\nAT\u010c"), &error);
    EXPECT_EQ(error.line, 2);
}

TEST(SequenceRunner, WaitsExpectsTimesOutAndStopsOnTheCallersClock) {
    const Sequence s = parse("AT\nwait 500\nATI\nexpect /^OK$/ 2000\nAT+CSQ");
    // Success: the sends around a wait and an expect.
    Recorder ok;
    ok.runner.start(s, 1000);
    EXPECT_EQ(ok.sent, QList<QByteArray>({"AT\r"}));
    EXPECT_EQ(ok.runner.dueMs(), 1500);
    ok.runner.poll(1499);
    EXPECT_EQ(ok.sent.size(), 1);
    ok.runner.poll(1500);
    EXPECT_EQ(ok.sent, QList<QByteArray>({"AT\r", "ATI\r"}));
    ok.runner.lineReceived("ATI", 1600);    // the echo
    ok.runner.lineReceived("not OK", 1700); // contains OK, but not the whole line
    EXPECT_TRUE(ok.runner.running());
    ok.runner.lineReceived("OK", 1800);
    EXPECT_EQ(ok.sent.last(), QByteArray("AT+CSQ\r"));
    EXPECT_FALSE(ok.runner.running());
    EXPECT_EQ(ok.finished, 1);
    EXPECT_TRUE(ok.completed);
    EXPECT_EQ(ok.steps.size(), 5);
    EXPECT_EQ(ok.steps[3], "expect /^OK$/ (2000 ms)");

    // Time-out: the expect gives up with its reason, nothing more is sent.
    Recorder late;
    late.runner.start(s, 0);
    late.runner.lineReceived("OK", 400); // comes before the expect begins: no help
    late.runner.poll(500);
    late.runner.poll(2499);
    EXPECT_TRUE(late.runner.running());
    late.runner.poll(2500);
    EXPECT_FALSE(late.runner.running());
    EXPECT_FALSE(late.completed);
    EXPECT_EQ(late.reason, "step 4 (line 4): no line with /^OK$/ within 2000 ms");
    EXPECT_EQ(late.sent.size(), 2);

    // Stop during the wait: nothing more goes out, the reason names the step.
    Recorder stopped;
    stopped.runner.start(s, 0);
    stopped.runner.stop();
    stopped.runner.poll(10000);
    EXPECT_EQ(stopped.sent.size(), 1);
    EXPECT_EQ(stopped.finished, 1);
    EXPECT_EQ(stopped.reason, "stopped at step 2 of 5");
}

TEST(QuickSend, ButtonsCheckStoreAndTravelAsAFile) {
    const QuickSendButtons defaults = DefaultQuickSendButtons();
    ASSERT_GE(defaults.size(), size_t(kQuickSendKeys));
    for (int i = 0; i < int(defaults.size()); ++i)
        EXPECT_EQ(CheckButton(defaults[size_t(i)], i), QString()) << i;

    EXPECT_EQ(CheckButton({QString(10240, u'x'), "AT"}, 2),
              "Button 3 (" + QString(32, u'x') + "): the label has 10240 characters, at most 32");
    EXPECT_EQ(CheckButton({"Reset", "AT\nwait -1"}, 0),
              "Button 1 (Reset), line 2: -1 ms is outside 0 to 600000 ms");

    const QString text = "AT\\1\nwait 5\n  indented";
    EXPECT_EQ(DecodeButtonText(EncodeButtonText(text)), text);
    EXPECT_FALSE(EncodeButtonText(text).contains('\n'));

    QString error;
    EXPECT_EQ(ParseMacroFile(FormatMacroFile(defaults), &error), defaults);
    EXPECT_EQ(error, QString());

    struct Bad {
        QByteArray file;
        const char* says;
    };
    const QByteArray good = FormatMacroFile(defaults);
    const Bad bad[] = {
        {good.left(good.size() - 6), "ends without its \"@end\" line"},
        {QByteArray("@button A\nAT\0\x01\x02", 15) + "\n@end\n", "Line 2: the file is not text"},
        {"@button A\nAT\xff\n@end\n", "not UTF-8"},
        {QByteArray(kMaxMacroFileBytes + 1, 'a'), "at most 1048576"},
        {"AT\n@end\n", "Line 1: a macro file begins with"},
        {"@button R\nwait x\n@end\n", "Button 1 (R), line 1: \"x\" is not a number"},
    };
    for (const Bad& b : bad) {
        EXPECT_TRUE(ParseMacroFile(b.file, &error).empty());
        EXPECT_TRUE(error.contains(b.says)) << b.says << " / " << error.toStdString();
    }
}
