#pragma once
// The daily log writer: one record line per terminal line, each stamped with
// date and time and marked with the line type's log prefix.
//
// Writes are gathered: every record produced while the program handles one
// event (a received chunk, a timer tick, a click) is collected in a buffer and
// written with one write as soon as control returns to the event loop. The
// bytes in the file are exactly those that one write per record would give.
// Close(), a day change and the destructor write the gathered records first; a
// buffer reaching FlushThreshold is written at once; callers may call Flush()
// at the end of a batch. A failed write closes the file (the next record
// reopens it).
// Without a running event loop on the logger's thread (tools, tests without
// QCoreApplication::exec) each record is written at once.
#include <QDateTime>
#include <QFlags>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "terminal/LineTypes.h"
#include "util/Component.h"

class TOxaFileStream;

// How the file name is formed and when a new file is started. Ordinals are stored.
enum VOxaLoggerNewFileStyle : int {
    volnfDisabled = 0, // nothing is logged while no file is open
    volnfExact = 1,    // LogPath as is (+ date when it names a directory only)
    volnfOnOpen = 2,   // every "*" replaced by the date (date appended without "*")
    volnfDaily = 3,    // as volnfOnOpen, and a new file when the date changes
};

enum VOxaLoggerOption : int {
    volofDate = 1,         // each record line starts with the time stamp and ": "
    volofLinetype = 2,     // the line type's log prefix follows
    voloDisableAppend = 4, // an existing file is not appended to (fallback names are used)
    voloSmoothAppend = 8,  // appending to a non-empty file starts without a line break
};
Q_DECLARE_FLAGS(VOxaLoggerOptions, VOxaLoggerOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(VOxaLoggerOptions)

class VOxaLogger : public TComponent {
    Q_OBJECT
public:
    // Gathered records are written at once when they reach this many bytes.
    static constexpr int FlushThreshold = 256 * 1024;

    explicit VOxaLogger(QObject* owner = nullptr);
    ~VOxaLogger() override; // ends the open line and closes the file

    // ---- published properties ----
    // File name pattern. On Linux a backslash is a path separator, so
    // "logs\Dralvo_*.log" names logs/Dralvo_YYYY-MM-DD.log under the current
    // directory. Assigning closes the open file and allows a new open attempt.
    QString LogPath() const { return m_logPath; }
    void SetLogPath(const QString& value);
    // Assigning allows a new open attempt; an open file stays open.
    VOxaLoggerNewFileStyle NewFileStyle() const { return m_newFileStyle; }
    void SetNewFileStyle(VOxaLoggerNewFileStyle value);
    // Flags-and-attributes for opening the file; FILE_FLAG_WRITE_THROUGH (the
    // default, 0x80000000) makes every write reach the disk before it returns.
    // Takes effect at the next open.
    uint32_t NewFileOpenFlags() const { return m_newFileOpenFlags; }
    void SetNewFileOpenFlags(uint32_t value) { m_newFileOpenFlags = value; }
    VOxaLoggerOptions Options() const { return m_options; }
    void SetOptions(VOxaLoggerOptions value) { m_options = value; }

    // ---- operations ----
    // Writes one piece of a line: count bytes of data, unrendered, of the given
    // line type. Pieces of the same type join one record line until the line
    // is ended. VOxaTerminal_lt_NoType, or any value outside the line type
    // table, ends the open line (data ignored); it never opens a file.
    // preformatted: write the data without the line type's conversion (hex
    // digits, escapes). Errors are swallowed.
    void logData(int lineType, const char* data, int count, bool preformatted);
    void logData(int lineType, const QByteArray& data, bool preformatted) {
        logData(lineType, data.constData(), int(data.size()), preformatted);
    }
    // Writes the gathered records now.
    void Flush();
    // Flushes, ends the open line and closes the file.
    void Close();
    // Opens the file for the date token ("yyyy-mm-dd") unless one is open,
    // trying the fallback names; true when a file is open afterwards.
    bool Open2(const QString& token);
    // The full file name for a token (see NewFileStyle), against the current directory.
    QString MakeFileName(const QString& token) const;

    // ---- run-time state (read-only) ----
    bool IsOpen() const { return m_stream != nullptr; }
    QString FileName() const { return m_fileName; }       // of the open file, empty when closed
    QString currentDate() const { return m_currentDate; } // token of the open file
    bool openFailed() const { return m_openFailed; }
    int prevLineType() const { return m_prevLineType; }
    int pendingRN() const { return m_pendingRN; }
    int FileHandle() const;                           // descriptor of the open file, -1 when closed
    int BufferedBytes() const { return int(m_used); } // gathered, not yet written

    // The local time of each record (its date() and time() are used); the
    // system clock when not set (empty function).
    using Clock = std::function<QDateTime()>;
    void SetClock(Clock clock) { m_clock = std::move(clock); }

    // The name used in fallback file names: the executable's file name without
    // its extension.
    static QString ProgramName();

protected:
    // Writes count bytes to the open file at once; when fewer were written the
    // rest is written once more. Returns the number of bytes written in all
    // (-1 when nothing could be written).
    int64_t WriteLog(const char* data, int64_t count);

private:
    struct Stamp {
        int64_t day;    // days since 1970-01-01, local
        int msecsOfDay; // 0 .. 86399999
    };
    Stamp now();
    const QByteArray& dateText(int64_t day);
    void appendStamp(const Stamp& stamp);
    void appendData(const LineTypeRow& row, const char* data, int count, bool preformatted);
    char* grow(size_t extra);
    void append(const char* data, size_t count);
    void appended();
    bool writeBuffer();
    bool tryOpen(const QString& name, uint32_t disposition);

    QString m_logPath = QStringLiteral("C:\\");
    VOxaLoggerNewFileStyle m_newFileStyle = volnfOnOpen;
    uint32_t m_newFileOpenFlags = 0x80000000u;
    VOxaLoggerOptions m_options = VOxaLoggerOptions(volofDate | volofLinetype);

    std::unique_ptr<TOxaFileStream> m_stream;
    QString m_fileName;
    QString m_currentDate;
    int64_t m_currentDay = INT64_MIN;
    bool m_openFailed = false;
    int m_prevLineType = VOxaTerminal_lt_NoType;
    int m_pendingRN = 1;

    std::vector<char> m_buffer; // gathered record bytes; its size is the capacity kept
    size_t m_used = 0;          // bytes of m_buffer in use
    bool m_flushPosted = false;

    Clock m_clock;
    // Cached local-time offset of the system clock and the UTC span it is valid for.
    int64_t m_offsetMs = 0;
    int64_t m_offsetFrom = 1;
    int64_t m_offsetUntil = 0;
    // Cached date text of the last stamp's day.
    int64_t m_textDay = INT64_MIN;
    QByteArray m_dateText;
    QByteArray m_timeSeparator;
};
