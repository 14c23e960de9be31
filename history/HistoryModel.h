#pragma once
// The history of one or more log files as rows: every line, or only the lines
// matching a filter, plus the records still on their way to the disk when the
// history follows the program's own log. No widget: the view only adapts it.
//
// Indexing and filtering run on a pool of worker threads at a low priority,
// over positioned reads of the files; results come back to the model's thread
// in file order, so the first screen of matches is there long before the end
// of a large file has been read. A filter change cancels what runs.
//
// refresh() (every RefreshMs while files are shown, and soon after lookSoon())
// follows each file: it
// indexes what was appended, filters the new lines, and notices a file that
// was truncated (read anew), replaced or rotated (the new file at the name is
// shown), or deleted (what was read stays). A log is never written.
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "history/LineIndex.h"
#include "history/LineMatcher.h"
#include "platform/File.h"
#include "terminal/LogWriter.h"

namespace history {

class WorkerPool;

class HistoryModel : public QObject {
    Q_OBJECT
public:
    static constexpr int RefreshMs = 100;
    // Looks asked for by lookSoon() are at least this far apart.
    static constexpr int LookGapMs = 20;
    // Bytes of a line that are shown, matched and copied at most.
    static constexpr int64_t MaxLineBytes = 16 << 20;
    // Records on their way to the disk that are shown at most.
    static constexpr int64_t MaxPendingBytes = 4 << 20;

    // What the numbering of rows and lines can hold: the view's scroll bar
    // counts rows in an int, the filter keeps line numbers in 32 bits. Beyond
    // them the rows are not shown and the lines not filtered, and a notice
    // says so. (Lower limits let a test show that without a log of 100 GB.)
    struct Limits {
        int64_t rows = INT32_MAX;
        int64_t filterLines = UINT32_MAX;
    };

    explicit HistoryModel(QObject* parent = nullptr);
    void setLimits(const Limits& limits) { m_limits = limits; }
    ~HistoryModel() override;

    // Adds a log file after those shown; false with the reason (a folder, a
    // FIFO or a device is refused, as every file the program opens).
    bool addFile(const QString& path, QString* error = nullptr);
    // Follows the program's own log: the file the logger writes (added when
    // it opens one) and the records it has not yet written.
    using PendingSource = std::function<terminal::LogPending(int64_t maxBytes)>;
    void setLiveSource(PendingSource source);
    QStringList files() const;

    // Looks at the files now (the timer does so every RefreshMs).
    void refresh();
    // Looks at the files and the live source from the event loop, soon: when
    // the loop is next idle, at most every LookGapMs (any number of calls
    // before then make one look). For the live source to say it has new
    // records, so that they need not wait for the timer.
    void lookSoon();
    // Whether every file has been read to its end (as far as refresh() knew it).
    bool indexed() const;
    // Bytes read so far and bytes to read, over all files.
    int64_t indexedBytes() const;
    int64_t totalBytes() const;

    // ---- filter ----
    // Takes a new filter; false (error set) when it cannot be used, and the
    // last good one stays.
    bool setFilter(const FilterSpec& query, FilterError* error = nullptr);
    const FilterSpec& filter() const { return m_query; }
    bool filtering() const { return !m_query.empty(); }
    void setOnlyMatching(bool only);
    bool onlyMatching() const { return m_onlyMatching && filtering(); }
    // Lines matching so far, and whether the filter is still at work.
    int64_t matchCount() const;
    bool filterRunning() const;
    double filterProgress() const; // 0 .. 1
    void cancelFilter();
    // The stretches of a row's text that match, for highlighting.
    void matchRanges(const QByteArray& text, std::vector<std::pair<int, int>>& out) const;

    // ---- rows (only the matching ones when onlyMatching()) ----
    int64_t rowCount() const;
    // The row's bytes without its line break, at most maxBytes of them;
    // length gets the full length.
    QByteArray rowText(int64_t row, int64_t maxBytes, int64_t* length = nullptr) const;
    // Asks for the first maxBytes + 2 bytes of rows [first, first + count)
    // to be brought from the disk at once, before they are read one by one
    // (a screen of rows scattered over a log that is no longer all in the
    // page cache waits for the disk once, not once a row).
    void prefetchRows(int64_t first, int64_t count, int64_t maxBytes) const;
    // Rows in the numbering of all lines, and back (filtered row of the
    // first match at or after allRow; rowCount() when none).
    int64_t allRowOf(int64_t row) const;
    int64_t rowOfAll(int64_t allRow) const;
    int64_t allRowCount() const;
    // The next matching line after allRow (before it when backward), in the
    // numbering of all lines; -1 when there is none.
    int64_t nextMatch(int64_t allRow, bool backward) const;

    // Bytes the index takes.
    int64_t indexMemory() const;

signals:
    // Rows were added at the end or the last rows changed.
    void rowsChanged();
    // Rows are numbered anew (a filter, a truncated or replaced file).
    void rowsReset();
    void filterStateChanged();
    void indexStateChanged();
    // Something the user should know about a file.
    void notice(const QString& text);

protected:
    void customEvent(QEvent* event) override;

private:
    struct Run;
    struct Segment;
    bool openSegment(Segment& segment, QString* error);
    void watch(Segment& segment, int index);
    void restart(Segment& segment, int index, const QString& why);
    void indexMore(Segment& segment, int index);
    void indexPieceDone(int index, const std::shared_ptr<Run>& run);
    void buildTail(Segment& segment, bool live, const terminal::LogPending* pending);
    void filterMore(Segment& segment, int index);
    void filterPieceDone(int index, const std::shared_ptr<Run>& run);
    // False when the file ended before the lines did.
    bool filterLines(LineMatcher& matcher, const Segment& segment, int64_t from, int64_t to,
                     std::vector<uint32_t>& found) const;
    void takeAhead(Segment& segment);
    void checkRowLimit();
    void filterTail(Segment& segment);
    void restartFilter();
    void cancelRuns(Segment& segment, bool index, bool filter);
    int64_t tailRows(const Segment& segment) const;
    int64_t segmentRows(const Segment& segment) const;
    int64_t segmentMatches(const Segment& segment) const;
    // Segment and row within it for a row of all lines.
    bool locate(int64_t allRow, int& segment, int64_t& local) const;
    QByteArray segmentRowText(const Segment& segment, int64_t local, int64_t maxBytes,
                              int64_t* length) const;

    std::vector<std::unique_ptr<Segment>> m_segments;
    PendingSource m_live;
    FilterSpec m_query;
    std::unique_ptr<LineMatcher> m_matcher; // on this thread: tails and highlights
    uint64_t m_filterGeneration = 0;
    bool m_onlyMatching = false;
    bool m_rowLimitTold = false;
    Limits m_limits;
    std::unique_ptr<WorkerPool> m_pool;
    QTimer m_timer;
    QTimer m_soon; // the look lookSoon() asked for
    QElapsedTimer m_lastLook;
};

} // namespace history
