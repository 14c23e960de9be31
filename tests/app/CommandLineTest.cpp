#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "app/CommandLine.h"
#include "comm/VOXComm32Types.h"

namespace {

CommandLineAnswer parse(const QStringList& args, QString* output = nullptr) {
    QString text;
    bool toStderr = false;
    CommandLineAnswer answer = ParseCommandLine(QStringList{"dralvo"} + args, &text, &toStderr);
    if (output)
        *output = text;
    return answer;
}

} // namespace

TEST(CommandLine, TakesThePortAndEveryOption) {
    QTemporaryDir dir;
    const CommandLineAnswer a =
        parse({"--headless", "--start", "--baud", "9600", "--config",
               "\"*\",\"\",\"7\",\"2\",\"Even\",\"1/1 1/1\",\"10 0 0 0 0\"", "--log-dir",
               dir.filePath("logs"), "--settings", dir.filePath("bench.reg"), "--name", "rack-3",
               "/dev/ttyUSB0"});
    ASSERT_FALSE(a.exitStatus);
    EXPECT_TRUE(a.options.headless);
    EXPECT_TRUE(a.options.start);
    EXPECT_EQ(a.options.port, "/dev/ttyUSB0");
    EXPECT_EQ(a.options.baudRate, int(TBaudRate::___9600));
    EXPECT_EQ(a.options.logDir, dir.filePath("logs"));
    EXPECT_EQ(a.options.settingsFile, dir.filePath("bench.reg"));
    EXPECT_EQ(a.options.name, "rack-3");
    // No arguments at all: the usual start.
    EXPECT_FALSE(parse({}).exitStatus);
    EXPECT_TRUE(parse({}).options.port.isEmpty());
}

TEST(CommandLine, RefusesBadValuesWithOneLineAndStatus2) {
    QTemporaryDir dir;
    QFile file(dir.filePath("plain"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {{"--baud", "12345"}, "--baud: '12345' is not one of 110, 300,"},
        {{"--baud", "fast"}, "--baud: 'fast'"},
        {{"--config", "\"COM1\",\"115200\",\"9\""}, "--config: the data bits \"9\""},
        {{"--config", "\"COM1\",\"115201\""}, "--config: the speed \"115201\""},
        {{"--config", "\"COM1\",\"\",\"8\",\"3\""}, "--config: the stop bits \"3\""},
        {{"--config", "\"COM1\",\"\",\"8\",\"1\",\"Strange\""}, "--config: the parity"},
        {{"--config", "\"COM1\",\"\",\"8\",\"1\",\"None\",\"9/1 1/1\""}, "line controls"},
        {{"--config", "\"COM1\",\"\",\"\",\"\",\"\",\"\",\"10 x\""}, "time-outs"},
        {{"--log-dir", dir.filePath("plain")}, "--log-dir: "},
        {{"--settings", dir.path()}, "--settings: "},
        {{"--name", "a/b"}, "--name: 'a/b'"},
        {{"--name", QString(65, 'n')}, "--name: "},
        {{"/dev/ttyUSB0", "/dev/ttyUSB1"}, "one port only"},
        {{"--frobnicate"}, "frobnicate"},
        {{"--baud"}, "baud"},
    };
    for (const auto& c : cases) {
        QString output;
        const CommandLineAnswer a = parse(c.args, &output);
        EXPECT_EQ(a.exitStatus, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(output.startsWith("dralvo: ")) << output.toStdString();
        EXPECT_TRUE(output.contains(QLatin1String(c.says))) << output.toStdString();
        EXPECT_EQ(output.count('\n'), 1) << output.toStdString();
    }
}

TEST(CommandLine, HelpNamesWhatIsKeptAndVersionAnswers) {
    QString output;
    EXPECT_EQ(parse({"--help"}, &output).exitStatus, 0);
    for (const char* option : {"--headless", "--start", "--baud", "--config", "--log-dir",
                               "--settings", "--name", "PORT", "Kept in the settings at close"})
        EXPECT_TRUE(output.contains(QLatin1String(option))) << option;
    EXPECT_FALSE(output.contains("platformtheme"));
    EXPECT_EQ(parse({"--version"}, &output).exitStatus, 0);
    EXPECT_TRUE(output.startsWith("dralvo ")) << output.toStdString();
}
