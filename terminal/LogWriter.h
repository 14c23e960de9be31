#pragma once
// The log writer's own thread: everything that touches the log file (making its
// folder, opening it under one of its names, writing, closing) runs here, so the
// window's thread never waits for the disk. The logger decides every byte and
// hands over finished records; this thread writes them in order and, when the
// disk is slower than the records come, joins all that is waiting into one
// write (with write-through that is one sync for many records).
//
// Files are opened, written and closed in the order asked for. Each open
// starts a new generation; records belong to the generation they were made
// for. When an open or a write fails the file is closed and every record of
// that generation still to come is dropped and counted as not logged; the
// owner hears of the failure through a report and opens anew.
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace terminal {

// A file the writer writes: the log file, or a test's stand-in.
class LogFile {
public:
    virtual ~LogFile() = default;
    // Writes count bytes; returns the number written (short counts happen),
    // or -1 with error set to the errno-style reason.
    virtual int64_t write(const char* data, int64_t count, int& error) = 0;
    // Moves to the end and returns the size (-1 when unknown).
    virtual int64_t seekEnd() = 0;
    // The descriptor, -1 when there is none.
    virtual int handle() const { return -1; }
};

// Opens a file for writing records with a Win32 creation disposition and
// flags-and-attributes; nullptr with error set when it cannot.
using LogFileOpener = std::function<std::unique_ptr<LogFile>(
    const QString& name, uint32_t disposition, uint32_t flags, int& error)>;
// The real log file (shared for reading only, so a second writer fails).
std::unique_ptr<LogFile> openLogFile(const QString& name, uint32_t disposition, uint32_t flags,
                                     int& error);

// Records that were not logged: how many, and the local time of the first one
// (milliseconds since 1970-01-01 local time; INT64_MAX when none).
struct LogLoss {
    int64_t records = 0;
    int64_t since = INT64_MAX;
    bool empty() const { return records == 0; }
    void add(const LogLoss& other);
    void add(int64_t count, int64_t at);
};

struct LogOpenRequest {
    QString folder; // made first; when it cannot be made nothing is opened
    struct Name {
        QString name;
        uint32_t disposition;
    };
    std::vector<Name> names; // tried in order until one opens
    uint32_t flags = 0;
    bool smoothAppend = false; // no line break in front of the first record of a non-empty file
};

// What the writer tells its owner.
struct LogReport {
    enum Kind {
        Opened,       // fileName is open
        FolderFailed, // the folder of fileName could not be made
        OpenFailed,   // none of the names opened; fileName is the first
        WriteFailed,  // a write to fileName failed; the file is closed
        Written,      // a batch that asked for it has been written
    };
    Kind kind;
    uint64_t generation;
    QString fileName;
    int error = 0; // errno-style reason
};

class LogWriter {
public:
    // wake is called on the writer's thread when a report is waiting and the
    // previous ones have been taken.
    LogWriter(LogFileOpener opener, std::function<void()> wake);
    // Writes everything queued, closes the file and ends the thread.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Closes the open file (after what is queued) and opens another.
    void open(uint64_t generation, LogOpenRequest request);
    // Queues finished record bytes. records: record lines they hold (for the
    // count of what was not logged); firstStamp: local time of the first one;
    // carried: the losses a "not logged" record among these bytes reports,
    // counted again when the bytes are lost too; confirm: report Written.
    void write(uint64_t generation, std::vector<char> bytes, int64_t records, int64_t firstStamp,
               LogLoss carried, bool confirm);
    void close(uint64_t generation);
    // Returns once everything queued so far has been done.
    void waitWritten();

    // Bytes queued and not yet written.
    int64_t backlog() const;
    std::vector<LogReport> takeReports();
    // Records dropped here since the last call.
    LogLoss takeLoss();
    bool hasLoss() const;
    // Descriptor of the open file, -1 when none.
    int handle() const;

private:
    struct Item {
        enum Kind { Open, Data, Close } kind = Data;
        uint64_t generation = 0;
        LogOpenRequest open;
        std::vector<char> bytes;
        int64_t records = 0;
        int64_t firstStamp = INT64_MAX;
        LogLoss carried;
        bool confirm = false;
    };
    void push(Item item);
    void run();
    void doOpen(const Item& item);
    void doClose();
    void doWrite(std::vector<Item>& batch);
    // Writes count bytes to the open file; when fewer were written the rest is
    // written once more. Returns the number of bytes written in all; error
    // holds the reason of a failure.
    int64_t writeLog(const char* data, int64_t count, int& error);
    void lose(const Item& item);
    void report(LogReport report);

    LogFileOpener m_opener;
    std::function<void()> m_wake;

    mutable std::mutex m_mutex;
    std::condition_variable m_work; // items queued or stop
    std::condition_variable m_idle; // everything queued done
    std::deque<Item> m_queue;
    bool m_busy = false;
    bool m_stop = false;
    int64_t m_backlog = 0;
    std::vector<LogReport> m_reports;
    bool m_wakePending = false;
    LogLoss m_loss;
    int m_handle = -1;

    // Used by the writer's thread only.
    std::unique_ptr<LogFile> m_file;
    uint64_t m_generation = 0; // of m_file
    QString m_fileName;
    bool m_leadingBreak = false; // the first record of a non-empty file starts a new line
    std::vector<char> m_joined;

    std::thread m_thread; // last: starts once everything above exists
};

} // namespace terminal
