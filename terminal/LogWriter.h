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
// for. When an open or a write fails the file is cut back to its last whole
// record and closed, and every record of that generation not in the file is
// dropped and counted as not logged, each once; the owner hears of the failure
// through a report and opens anew.
//
// A file can lose its name while it is open (deleted, moved away, or another
// file put in its place): records written after that would be gone with it.
// The writer compares the open file with its name at least once a second and
// after every failed write; when they differ it opens the name afresh (folder
// and fallback names as at the open), writes one record saying so, and writes
// again every record that went to the file since it last had its name.
#include <QString>
#include <chrono>
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
    // Cuts the file to size bytes.
    virtual bool truncate(int64_t size) = 0;
    // Whether name still names this file: Named, Gone (deleted or moved
    // away) or Replaced (another file is there now). Named when it cannot tell.
    enum class NameState { Named, Gone, Replaced };
    virtual NameState nameState(const QString& name) const = 0;
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

// Where a record begins in bytes handed over. Everything in front of it is
// whole records, so a failed write cuts the file back to a record's start.
// records and lostSince are what losing the record loses: 1 and its stamp for
// a record of the terminal's, the count it reports for a "not logged" record.
struct LogMark {
    uint32_t offset;   // of the record's first byte (after the line break ending the previous)
    uint32_t records;  // not logged when this record is lost
    int64_t stamp;     // the record's time stamp (local ms, as LogLoss::since)
    int64_t lostSince; // the first of those records
};

// The record saying that the file lost its name: replaced (another file took
// its place) or gone; since is the stamp of the first record written to it
// since it last had its name, INT64_MAX when none was. Ends with CR LF. Made
// on the writer's thread.
using LogMovedRecord = std::function<std::vector<char>(bool replaced, int64_t since)>;

struct LogOpenRequest {
    QString folder; // made first; when it cannot be made nothing is opened
    struct Name {
        QString name;
        uint32_t disposition;
    };
    std::vector<Name> names; // tried in order until one opens
    uint32_t flags = 0;
    bool smoothAppend = false;  // no line break in front of the first record of a non-empty file
    LogMovedRecord movedRecord; // none: a file that loses its name is not followed
};

// What the writer tells its owner.
struct LogReport {
    enum Kind {
        Opened,       // fileName is open
        FolderFailed, // the folder of fileName could not be made
        OpenFailed,   // none of the names opened; fileName is the first
        WriteFailed,  // a write to fileName failed; the file is closed
        Written,      // a batch that asked for it has been written
        Moved,        // the file lost its name; logging goes on in fileName
    };
    Kind kind;
    uint64_t generation;
    QString fileName;
    int error = 0;         // errno-style reason
    bool replaced = false; // Moved: another file took the name (else deleted or moved away)
};

// Records on their way into a log file, taken at one moment (for a viewer that
// shows the log while it is written): the file's size when they were taken,
// and the bytes queued or being written for it, which go right after that
// size. Of many bytes only the newest are taken; omitted says how many lie
// between the file's end and the first byte of bytes.
struct LogPending {
    QString fileName; // empty while the file is being opened (or none is)
    uint64_t generation = 0;
    int64_t fileSize = -1; // -1 while the file is being opened
    int64_t omitted = 0;
    std::vector<char> bytes;
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
    // Queues finished record bytes. marks: where the records that begin in
    // them begin (a piece continuing a line has none); endsWhole: the bytes end
    // with a line's end; confirm: report Written.
    void write(uint64_t generation, std::vector<char> bytes, std::vector<LogMark> marks,
               bool endsWhole, bool confirm);
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
    // What waits for the file of generation (0: the open one), at most
    // maxBytes of it (the newest). more: moreCount bytes the owner has
    // gathered for that file and not yet handed over.
    LogPending pending(int64_t maxBytes, uint64_t generation = 0, const char* more = nullptr,
                       size_t moreCount = 0) const;

private:
    struct Item {
        enum Kind { Open, Data, Close } kind = Data;
        uint64_t generation = 0;
        LogOpenRequest open;
        std::vector<char> bytes;
        std::vector<LogMark> marks;
        bool endsWhole = false;
        bool confirm = false;
    };
    void push(Item item);
    void run();
    void doOpen(const Item& item);
    // Opens the first of the request's names that opens; false after a
    // report of the failure.
    bool openFile(uint64_t generation, const LogOpenRequest& request);
    void doClose();
    void doWrite(std::vector<Item>& batch);
    // Writes records at the end of the open file; a failure cuts the file back
    // to its last whole record and closes it. False when it failed.
    bool writeRecords(const char* data, size_t count, const std::vector<LogMark>& marks,
                      bool endsWhole);
    // Writes count bytes to the open file; when fewer were written the rest is
    // written once more. Returns the number of bytes written in all; error
    // holds the reason of a failure.
    int64_t writeLog(const char* data, int64_t count, int& error);
    // The file still has its name (the records before its last whole one are
    // safe then); when it lost it, logging goes on in a new file, and the
    // records of the unwritten bytes given (those of a failed write) with it.
    // The unwritten bytes are data from skip to count; marks count from data.
    bool checkName(const char* data = nullptr, size_t skip = 0, size_t count = 0,
                   const std::vector<LogMark>* marks = nullptr, bool endsWhole = false);
    void moveToNewFile(bool replaced, std::vector<char> bytes, std::vector<LogMark> marks,
                       bool endsWhole);
    void lose(const std::vector<LogMark>& marks, size_t from = 0);
    void report(LogReport report);
    void publish();

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
    // The open file as pending() tells it: kept in step with the items being
    // written, so that a byte is either in the file or among the pending ones.
    QString m_shownName;
    uint64_t m_shownGeneration = 0;
    int64_t m_shownSize = 0;
    bool m_shownLeadingBreak = false;
    const std::vector<Item>* m_inFlight = nullptr;

    // Used by the writer's thread only.
    std::unique_ptr<LogFile> m_file;
    uint64_t m_generation = 0; // of m_file
    QString m_fileName;
    LogOpenRequest m_request;    // of m_file, to open it afresh
    bool m_leadingBreak = false; // the first record of a non-empty file starts a new line
    std::vector<char> m_joined;
    std::vector<LogMark> m_joinedMarks;
    int64_t m_end = 0;    // file offset after the last byte written
    int64_t m_whole = 0;  // file offset where the last whole record ends
    LogMark m_openMark{}; // the record begun at m_whole and written in part
    bool m_openRecord = false;
    // What was written since the file last had its name, from a record's
    // start on: written again when the name is found gone.
    std::vector<char> m_tail;
    std::vector<LogMark> m_tailMarks; // offsets from m_tail's start
    int64_t m_tailAt = 0;             // file offset of m_tail's first byte
    std::chrono::steady_clock::time_point m_nextCheck;

    std::thread m_thread; // last: starts once everything above exists
};

} // namespace terminal
