#pragma once
// Log files for the history tests: written in the program's record format,
// appended to, truncated and replaced as a logger or a rotation would.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "history/HistoryModel.h"
#include "tests/support/WaitUntil.h"

namespace historytest {

inline QByteArray record(int i, const QByteArray& prefix, const QByteArray& data) {
    const int ms = 15 * 3600000 + i * 7;
    return QByteArray("2026-12-07 ") +
           QByteArray::number(ms / 3600000 % 24).rightJustified(2, '0') + ':' +
           QByteArray::number(ms / 60000 % 60).rightJustified(2, '0') + ':' +
           QByteArray::number(ms / 1000 % 60).rightJustified(2, '0') + '.' +
           QByteArray::number(ms % 1000).rightJustified(3, '0') + ": " + prefix + data + "\r\n";
}

// A log of count records of the kinds a session writes; every 97th record
// names an exception, every 13th holds 8-bit bytes, the rest is traffic.
inline QByteArray sessionLog(int count, int seed = 1) {
    QByteArray out;
    uint32_t x = uint32_t(seed);
    for (int i = 0; i < count; ++i) {
        x = x * 1103515245u + 12345u;
        const int kind = int((x >> 16) % 7);
        if (i % 97 == 5)
            out += record(i, "EG ", "[net] ERROR demo.Modem - NullPointerException at read");
        else if (i % 13 == 3)
            out +=
                record(i, "+ ", QByteArray("caf\xC9 \xE9t\xE9 Stra\xDF") + QByteArray::number(i));
        else if (kind == 0)
            out += record(i, "- ", "at^sjra=a:/appmain2.jad<#0D>");
        else if (kind == 1)
            out += record(i, "A ", "-- MARK --");
        else
            out += record(i, "+ ",
                          "[main] DEBUG demo.App - heartbeat " + QByteArray::number(x % 1000) +
                              ", free memory " + QByteArray::number(i) + " bytes");
    }
    return out;
}

// The lines of a log as the history shows them: split at line feeds, each
// without its line break; a rest without one is a line too.
inline std::vector<QByteArray> referenceLines(const QByteArray& log) {
    std::vector<QByteArray> lines;
    int at = 0;
    while (at < log.size()) {
        int feed = int(log.indexOf('\n', at));
        const int end = feed < 0 ? int(log.size()) : feed;
        QByteArray line = log.mid(at, end - at);
        if (feed >= 0 && line.endsWith('\r'))
            line.chop(1);
        lines.push_back(line);
        at = feed < 0 ? int(log.size()) : feed + 1;
    }
    return lines;
}

inline void writeFile(const QString& path, const QByteArray& bytes, bool append = false) {
    QFile f(path);
    ASSERT_TRUE(f.open(append ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

inline std::vector<QByteArray> rows(const history::HistoryModel& model) {
    std::vector<QByteArray> out;
    for (int64_t r = 0; r < model.rowCount(); ++r)
        out.push_back(model.rowText(r, history::HistoryModel::MaxLineBytes));
    return out;
}

// Refreshes until the model has read everything and the filter is done.
inline bool settle(history::HistoryModel& model) {
    return testsupport::WaitUntil(
        [&] {
            model.refresh();
            return model.indexed() && !model.filterRunning();
        },
        60000, 5);
}

} // namespace historytest
