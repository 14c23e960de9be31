#pragma once
// The daily log writer: one record line per terminal line, each stamped with
// date and time and marked with the line type's log prefix.
//
// The logger decides every byte on the caller's thread (records, prefixes,
// joining of split lines, day change, file names); a writer thread of its own
// (terminal/LogWriter.h) makes the folder, opens, writes and closes the file,
// so the caller never waits for the disk. Records of one event (a received
// chunk, a timer tick, a click) are gathered and handed over together when
// control returns to the event loop; a batch reaching FlushThreshold is handed
// over at once. The bytes in the file are exactly those that one write per
// record would give.
// Without a running event loop on the logger's thread (tools, tests without
// QCoreApplication::exec) each record is written before logData returns.
//
// Nothing is lost silently: a record that cannot be logged (no folder, no
// rights, a full disk, a file that cannot be opened under any of its names, or
// more than MaxBacklog bytes waiting for a slow disk) is counted, once per
// line, and once writing works again one record says how many were not logged
// and since when. A record reaches the file whole or not at all. OnLogFault
// tells the owner when such a fault begins and when it is over. A file that is
// deleted, moved away or replaced while it is open is noticed within a second:
// the log goes on in a new file, with what went to the nameless one.
//
// A record is one line of the file, and it belongs to the day of its first
// piece: a line that begins before midnight ends in that day's file.
#include <QDateTime>
#include <QFlags>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "terminal/LineTypes.h"
#include "terminal/LogWriter.h"
#include "util/Component.h"

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

class VOxaLogger;

// A logging fault begins (failing true: the file, or the file that could not
// be made, and the reason in words) or is over (failing false: records reach
// the file again and the "not logged" record has been written). failing false
// with a reason: the open file lost its name (the reason says how) and
// logging goes on in fileName, which starts with a record saying so and holds
// again what went to the nameless file.
using TLogFaultEvent = std::function<void(VOxaLogger* Sender, bool failing, const QString& fileName,
                                          const QString& reason)>;
// A log file has been opened: the day's file, or the fallback name used when
// that one is taken.
using TLogFileEvent = std::function<void(VOxaLogger* Sender, const QString& fileName)>;

class VOxaLogger : public TComponent {
    Q_OBJECT
public:
    // Gathered records are handed to the writer at once when they reach this many bytes.
    static constexpr int FlushThreshold = 256 * 1024;
    // Bytes that may wait for the disk before whole records are dropped.
    static constexpr int64_t DefaultMaxBacklog = 64 * 1024 * 1024;

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
    // Past this many bytes waiting for the disk, whole records are dropped
    // (and counted) until half of it has been written.
    int64_t MaxBacklog() const { return m_maxBacklog; }
    void SetMaxBacklog(int64_t value) { m_maxBacklog = value; }

    // ---- events ----
    TLogFaultEvent OnLogFault;
    TLogFileEvent OnFileOpened;

    // ---- operations ----
    // Writes one piece of a line: count bytes of data, unrendered, of the given
    // line type. Pieces of the same type join one record line until the line
    // is ended. VOxaTerminal_lt_NoType, or any value outside the line type
    // table, ends the open line (data ignored); it never opens a file.
    // preformatted: write the data without the line type's conversion (hex
    // digits, escapes). stampMs is the time the data stand for (milliseconds
    // since 1970-01-01 UTC, for received data the moment their first byte was
    // read); a record line carries the stamp of its first piece, and its day
    // picks the day's file. StampNow: the logger's clock at the call. Errors
    // are swallowed.
    static constexpr int64_t StampNow = INT64_MIN;
    void logData(int lineType, const char* data, int count, bool preformatted,
                 int64_t stampMs = StampNow);
    void logData(int lineType, const QByteArray& data, bool preformatted,
                 int64_t stampMs = StampNow) {
        logData(lineType, data.constData(), int(data.size()), preformatted, stampMs);
    }
    // Hands the gathered records to the writer now (and, without a running
    // event loop, waits until they are written).
    void Flush();
    // Returns once everything handed over has been written (or found
    // unwritable). Waits for the disk: not for the event loop's work.
    void WaitWritten();
    // Flushes, ends the open line and closes the file.
    void Close();
    // Opens the file for the date token ("yyyy-mm-dd") unless one is open,
    // trying the fallback names; true when a file is open afterwards. With a
    // running event loop the open is done by the writer and true means it has
    // been asked for: a failure arrives later and takes the failure path.
    bool Open2(const QString& token);
    // The full file name for a token (see NewFileStyle), against the current directory.
    QString MakeFileName(const QString& token) const;

    // ---- run-time state (read-only) ----
    bool IsOpen() const { return m_open; }
    // Of the open file; empty when closed and until the writer has opened it.
    QString FileName() const { return m_fileName; }
    QString currentDate() const { return m_currentDate; } // token of the open file
    bool openFailed() const { return m_openFailed; }
    int prevLineType() const { return m_prevLineType; }
    int pendingRN() const { return m_pendingRN; }
    int FileHandle() const;                           // descriptor of the open file, -1 when closed
    int BufferedBytes() const { return int(m_used); } // gathered, not yet handed over
    int64_t Backlog() const;                          // handed over, not yet written
    bool LogFaulty() const { return m_faulty; }       // a fault is going on
    // The records not yet in the file (gathered here, or queued for and being
    // written by the writer), the newest maxBytes of them, with the file they
    // go into and its size when they were taken: for a view of the log that
    // misses nothing the terminal has shown. Empty while no file is open;
    // without a file name (and size) while the writer is still opening it.
    terminal::LogPending PendingRecords(int64_t maxBytes) const;

    // Opens the files (the real log file when not set); for tests.
    void SetFileOpener(terminal::LogFileOpener opener) { m_opener = std::move(opener); }

    // The local time of each record (its date() and time() are used); the
    // system clock when not set (empty function).
    using Clock = std::function<QDateTime()>;
    void SetClock(Clock clock) { m_clock = std::move(clock); }

    // The name used in fallback file names: the executable's file name without
    // its extension.
    static QString ProgramName();

signals:
    // Records were handed to the writer: PendingRecords (and then the file)
    // holds more. Once for the records of an event, as they are handed over
    // together; for a view of the log that shows them without polling.
    void recordsQueued();

private:
    struct Stamp {
        int64_t day;    // days since 1970-01-01, local
        int msecsOfDay; // 0 .. 86399999
    };
    Stamp now();
    Stamp localStamp(int64_t utcMs);
    static int64_t localMs(const Stamp& stamp) { return stamp.day * 86400000 + stamp.msecsOfDay; }
    terminal::LogMovedRecord movedRecordMaker() const;
    const QByteArray& dateText(int64_t day);
    char* putStamp(char* p, const Stamp& stamp);
    void appendStamp(const Stamp& stamp);
    void appendData(const LineTypeRow& row, const char* data, int count, bool preformatted);
    char* grow(size_t extra);
    void append(const char* data, size_t count);
    void appended();
    bool waitsForWrites() const;
    terminal::LogWriter& writer();
    void handOver();
    void handleReports();
    void closeState();
    bool tooMuchWaiting();
    void noteLost(int lineType, const Stamp& stamp, bool endsLine);
    bool lossPending() const;
    void appendLossNotice(const Stamp& stamp);
    void beginFault(const QString& fileName, const QString& reason);

    QString m_logPath = QStringLiteral("C:\\");
    VOxaLoggerNewFileStyle m_newFileStyle = volnfOnOpen;
    uint32_t m_newFileOpenFlags = 0x80000000u;
    VOxaLoggerOptions m_options = VOxaLoggerOptions(volofDate | volofLinetype);

    int64_t m_maxBacklog = DefaultMaxBacklog;

    bool m_open = false;       // a file is open, or its open has been asked for
    uint64_t m_generation = 0; // of the file asked for last
    QString m_fileName;
    QString m_currentDate;
    int64_t m_currentDay = INT64_MIN;
    bool m_openFailed = false;
    int m_prevLineType = VOxaTerminal_lt_NoType;
    int m_pendingRN = 1;

    std::vector<char> m_buffer; // gathered record bytes; its size is the capacity kept
    size_t m_used = 0;          // bytes of m_buffer in use
    std::vector<terminal::LogMark> m_batchMarks; // where the gathered records begin
    bool m_flushPosted = false;

    // Records not logged (beyond those the writer counts), and the state of
    // the record being dropped.
    terminal::LogLoss m_loss;
    int m_lostLineType = VOxaTerminal_lt_NoType;
    int m_lostRest = VOxaTerminal_lt_NoType; // type of a line whose start was lost with its file
    bool m_dropping = false;                 // too much is waiting for the disk
    bool m_faulty = false;

    terminal::LogFileOpener m_opener;
    std::unique_ptr<terminal::LogWriter> m_writer;

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
