#include "history/HistoryModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <mutex>

#include "history/LineScan.h"
#include "history/WorkerPool.h"
#include "platform/FileMapping.h"

namespace history {

namespace {

// Work of one job: large enough that handing it over costs nothing, small
// enough that the first results come at once and a cancel is quick.
constexpr int64_t IndexPieceBytes = 32 << 20;
constexpr int64_t FilterPieceBytes = 4 << 20;
constexpr int64_t FilterBlockBytes = 1 << 20;
// Growth read and filtered on the model's thread instead of a worker (a
// live log's last records): less than a millisecond of work.
constexpr int64_t SyncIndexBytes = 1 << 20;
constexpr int64_t SyncFilterBytes = 1 << 20;

QString cleanPath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

// A run's pieces are fixed before its jobs start; each job takes the next
// piece not yet taken, so all workers share a run to its end, and the model
// takes the results back in file order.
struct HistoryModel::Run {
    struct Piece {
        int64_t from = 0, to = 0; // bytes (index) or lines (filter)
        std::vector<uint32_t> out;
        ScanResult scan;
        bool done = false;
        bool whole = true; // false: the file ended before the piece did
    };
    std::atomic<bool> cancel{false};
    std::atomic<size_t> taken{0}; // pieces handed to a job
    std::mutex mutex;
    std::vector<Piece> pieces;
    size_t next = 0; // first piece not yet taken by the model
};

namespace {

// What a filter job matches one piece with.
struct PieceScan {
    LineMatcher* matcher;
    const int64_t* starts; // count + 1 line starts
    size_t count;
    int64_t firstLine;
    const char* mapped; // the piece's bytes mapped (from starts[0]), or null: read them
    const platform::File* file;
    std::vector<char>* block;
    std::vector<uint32_t>* hits;
    std::vector<uint32_t>* found;
    const std::atomic<bool>* cancel;
    bool whole = true; // false: the file was shorter than the index (truncated meanwhile)
};

// Matches the lines of a piece a block at a time (a line longer than
// MaxLineBytes only in its first MaxLineBytes). Plain code over the bytes, so
// that it may run on a mapping under platform::guardedRead.
void scanPiece(void* context) {
    PieceScan& c = *static_cast<PieceScan*>(context);
    const int64_t* starts = c.starts;
    size_t i = 0;
    while (i < c.count && !c.cancel->load(std::memory_order_relaxed)) {
        size_t j = i + 1;
        while (j < c.count && starts[j + 1] - starts[i] <= FilterBlockBytes)
            ++j;
        const int64_t want = std::min(starts[j] - starts[i], HistoryModel::MaxLineBytes);
        const char* bytes;
        if (c.mapped) {
            bytes = c.mapped + (starts[i] - starts[0]);
        } else {
            if (int64_t(c.block->size()) < want)
                c.block->resize(size_t(want));
            if (c.file->readAt(starts[i], c.block->data(), want) < want) {
                c.whole = false;
                return;
            }
            bytes = c.block->data();
        }
        c.hits->clear();
        c.matcher->findLines(bytes, starts[i], starts[i] + want, starts + i, j - i, *c.hits);
        for (uint32_t k : *c.hits)
            c.found->push_back(uint32_t(c.firstLine + int64_t(i) + k));
        i = j;
    }
}

} // namespace

struct HistoryModel::Segment {
    QString path;
    std::shared_ptr<platform::File> file;
    platform::FileIdentity identity;
    LineIndex index;
    std::shared_ptr<Run> indexRun;
    int64_t knownSize = 0;
    bool deletedTold = false;
    bool midRecordTold = false;
    // The filter's results: matching lines, and how far they are known.
    std::vector<uint32_t> matches;
    int64_t filterQueuedTo = 0;
    int64_t filteredTo = 0;
    // Matches of lines [aheadFrom, aheadTo), filtered while runs before them
    // were still at work; they follow matches once those are in.
    std::vector<uint32_t> ahead;
    int64_t aheadFrom = 0, aheadTo = 0;
    bool filterLimitTold = false;
    // A reader met the end of the file before the end of what was indexed:
    // the file was cut short, even if it has grown past that again since.
    bool cutShort = false;
    std::deque<std::shared_ptr<Run>> filterRuns;
    // The rows after the last line feed: the unterminated rest of the file
    // and, for the program's own log, the records on their way to it.
    QByteArray tail;
    std::vector<int> tailStarts;
    std::vector<uint32_t> tailMatches;
};

HistoryModel::HistoryModel(QObject* parent)
    : QObject(parent), m_pool(std::make_unique<WorkerPool>(QThread::idealThreadCount())) {
    m_matcher = LineMatcher::make(m_query, nullptr);
    m_timer.setInterval(RefreshMs);
    // A coarse timer may fire up to 5 % late, on top of the wait for the
    // next look at the files that a new line already has.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &HistoryModel::refresh);
    m_soon.setSingleShot(true);
    m_soon.setTimerType(Qt::PreciseTimer);
    connect(&m_soon, &QTimer::timeout, this, &HistoryModel::refresh);
}

HistoryModel::~HistoryModel() {
    m_timer.stop();
    m_soon.stop();
    for (auto& segment : m_segments)
        cancelRuns(*segment, true, true);
    m_pool.reset(); // the jobs still running end; their results are not posted
}

QStringList HistoryModel::files() const {
    QStringList out;
    for (const auto& segment : m_segments)
        out << segment->path;
    return out;
}

bool HistoryModel::openSegment(Segment& segment, QString* error) {
    auto file = std::make_shared<platform::File>();
    const int rc =
        file->open(segment.path, platform::GENERIC_READ,
                   platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE, platform::OPEN_EXISTING);
    if (rc != 0) {
        if (error)
            *error = tr("%1 cannot be opened: %2").arg(segment.path, platform::fileErrorText(rc));
        return false;
    }
    segment.file = std::move(file);
    if (const auto id = segment.file->identity())
        segment.identity = *id;
    segment.knownSize = segment.identity.size;
    return true;
}

bool HistoryModel::addFile(const QString& path, QString* error) {
    auto segment = std::make_unique<Segment>();
    segment->path = cleanPath(path);
    if (!openSegment(*segment, error))
        return false;
    m_segments.push_back(std::move(segment));
    const int index = int(m_segments.size()) - 1;
    indexMore(*m_segments.back(), index);
    if (!m_timer.isActive())
        m_timer.start();
    emit rowsChanged();
    emit indexStateChanged();
    return true;
}

void HistoryModel::setLiveSource(PendingSource source) {
    m_live = std::move(source);
    if (!m_timer.isActive())
        m_timer.start();
    refresh();
}

// ---- following the files ---------------------------------------------------------------

void HistoryModel::lookSoon() {
    if (m_soon.isActive())
        return;
    const int64_t since = m_lastLook.isValid() ? m_lastLook.elapsed() : LookGapMs;
    m_soon.start(int(std::clamp<int64_t>(LookGapMs - since, 0, LookGapMs)));
}

void HistoryModel::customEvent(QEvent* event) {
    // The workers' results come as events of their own.
    if (!WorkerPool::deliver(event))
        QObject::customEvent(event);
}

void HistoryModel::refresh() {
    // This look is the one asked for, and the next by the timer is a whole
    // period away: files that change only through the live source are not
    // looked at more often for having a timer too.
    m_soon.stop();
    m_lastLook.restart();
    if (m_timer.isActive())
        m_timer.start();
    terminal::LogPending pending;
    bool live = false;
    if (m_live) {
        pending = m_live(MaxPendingBytes);
        live = pending.generation != 0 || !pending.fileName.isEmpty();
        if (!pending.fileName.isEmpty()) {
            const QString name = cleanPath(pending.fileName);
            const bool known = std::any_of(m_segments.begin(), m_segments.end(),
                                           [&](const auto& s) { return s->path == name; });
            if (!known) {
                QString error;
                if (!addFile(name, &error))
                    emit notice(error);
            }
        }
    }
    for (int i = 0; i < int(m_segments.size()); ++i) {
        Segment& segment = *m_segments[size_t(i)];
        watch(segment, i);
        indexMore(segment, i);
        const bool ownLog =
            live && (pending.fileName.isEmpty() ? i + 1 == int(m_segments.size())
                                                : cleanPath(pending.fileName) == segment.path);
        const QByteArray before = segment.tail;
        buildTail(segment, ownLog, ownLog ? &pending : nullptr);
        if (segment.tail != before) {
            filterTail(segment);
            emit rowsChanged();
        }
    }
    checkRowLimit();
}

void HistoryModel::watch(Segment& segment, int index) {
    const std::optional<platform::FileIdentity> open = segment.file->identity();
    const platform::PathStatus path = platform::pathStatus(segment.path);
    if (!path.exists) {
        if (!segment.deletedTold)
            emit notice(tr("%1 was deleted; what was read stays shown.").arg(segment.path));
        segment.deletedTold = true;
    } else if (open && path.regular &&
               (path.identity.device != open->device || path.identity.inode != open->inode)) {
        // Rotated or replaced: the name now holds another file, and that one is shown.
        auto replacement = std::make_unique<Segment>();
        replacement->path = segment.path;
        QString error;
        if (openSegment(*replacement, &error)) {
            cancelRuns(segment, true, true);
            segment.file = replacement->file;
            segment.identity = replacement->identity;
            segment.knownSize = replacement->knownSize;
            restart(segment, index,
                    tr("%1 was replaced (or rotated); the new file is shown.").arg(segment.path));
        }
        return;
    } else {
        segment.deletedTold = false;
    }
    if (!open)
        return;
    if (segment.cutShort || open->size < segment.index.scanned() ||
        open->size < segment.knownSize) {
        segment.knownSize = open->size;
        restart(segment, index, tr("%1 was truncated; it is read anew.").arg(segment.path));
        return;
    }
    segment.knownSize = open->size;
}

void HistoryModel::restart(Segment& segment, int index, const QString& why) {
    cancelRuns(segment, true, true);
    segment.index.clear();
    segment.matches.clear();
    segment.filterQueuedTo = segment.filteredTo = 0;
    segment.ahead.clear();
    segment.aheadFrom = segment.aheadTo = 0;
    segment.tail.clear();
    segment.tailStarts.clear();
    segment.tailMatches.clear();
    segment.midRecordTold = false;
    segment.cutShort = false;
    emit notice(why);
    emit rowsReset();
    indexMore(segment, index);
}

void HistoryModel::cancelRuns(Segment& segment, bool index, bool filter) {
    if (index && segment.indexRun) {
        segment.indexRun->cancel = true;
        segment.indexRun.reset();
    }
    if (filter) {
        for (auto& run : segment.filterRuns)
            run->cancel = true;
        segment.filterRuns.clear();
    }
}

bool HistoryModel::indexed() const {
    return std::all_of(m_segments.begin(), m_segments.end(), [](const auto& s) {
        return !s->indexRun && s->index.scanned() >= s->knownSize;
    });
}

int64_t HistoryModel::indexedBytes() const {
    int64_t sum = 0;
    for (const auto& s : m_segments)
        sum += s->index.scanned();
    return sum;
}

int64_t HistoryModel::totalBytes() const {
    int64_t sum = 0;
    for (const auto& s : m_segments)
        sum += s->knownSize;
    return sum;
}

int64_t HistoryModel::indexMemory() const {
    int64_t sum = 0;
    for (const auto& s : m_segments)
        sum += s->index.memoryBytes() +
               int64_t((s->matches.capacity() + s->ahead.capacity()) * sizeof(uint32_t));
    return sum;
}

void HistoryModel::indexMore(Segment& segment, int index) {
    if (segment.indexRun)
        return;
    const int64_t from = segment.index.scanned();
    const int64_t to = segment.knownSize;
    if (to <= from)
        return;
    if (to - from <= SyncIndexBytes) {
        std::vector<uint32_t> feeds;
        const std::atomic<bool> never{false};
        const ScanResult scan = findLineFeeds(*segment.file, from, to, feeds, never);
        segment.index.add(from, feeds.data(), feeds.size(), from + scan.scanned);
        filterMore(segment, index);
        if (!feeds.empty())
            emit rowsChanged();
        return;
    }
    auto run = std::make_shared<Run>();
    for (int64_t at = from; at < to; at += IndexPieceBytes) {
        Run::Piece piece;
        piece.from = at;
        piece.to = std::min(to, at + IndexPieceBytes);
        run->pieces.push_back(std::move(piece));
    }
    segment.indexRun = run;
    const std::shared_ptr<platform::File> file = segment.file;
    const size_t jobs = std::min(run->pieces.size(), size_t(m_pool->threads()));
    for (size_t j = 0; j < jobs; ++j)
        m_pool->start([this, run, file, index] {
            for (size_t p; (p = run->taken++) < run->pieces.size() && !run->cancel;) {
                std::vector<uint32_t> feeds;
                Run::Piece& piece = run->pieces[p]; // its bounds do not change
                const ScanResult scan =
                    findLineFeeds(*file, piece.from, piece.to, feeds, run->cancel);
                {
                    std::lock_guard<std::mutex> lock(run->mutex);
                    piece.out = std::move(feeds);
                    piece.scan = scan;
                    piece.done = true;
                }
                if (!run->cancel)
                    WorkerPool::post(this, [this, index, run] { indexPieceDone(index, run); });
            }
        });
    emit indexStateChanged();
}

void HistoryModel::indexPieceDone(int index, const std::shared_ptr<Run>& run) {
    Segment& segment = *m_segments[size_t(index)];
    if (segment.indexRun != run)
        return;
    bool added = false;
    {
        std::lock_guard<std::mutex> lock(run->mutex);
        while (run->next < run->pieces.size() && run->pieces[run->next].done) {
            Run::Piece& piece = run->pieces[run->next++];
            segment.index.add(piece.from, piece.out.data(), piece.out.size(),
                              piece.from + piece.scan.scanned);
            std::vector<uint32_t>().swap(piece.out);
            added = true;
            if (piece.from + piece.scan.scanned < piece.to) {
                // The file ended early (truncated meanwhile) or could not be read.
                if (piece.scan.error)
                    emit notice(tr("%1 cannot be read: %2")
                                    .arg(segment.path, platform::fileErrorText(piece.scan.error)));
                else
                    segment.cutShort = true;
                run->next = run->pieces.size();
                run->cancel = true;
            }
        }
    }
    if (run->next == run->pieces.size())
        segment.indexRun.reset();
    if (added) {
        filterMore(segment, index);
        emit rowsChanged();
    }
    if (!segment.indexRun) {
        buildTail(segment, false, nullptr);
        filterTail(segment);
        emit rowsChanged();
        emit indexStateChanged();
    }
    checkRowLimit();
}

void HistoryModel::buildTail(Segment& segment, bool live, const terminal::LogPending* pending) {
    if (segment.indexRun || segment.index.scanned() < segment.knownSize)
        return; // the rows after the last line feed are known once all was read
    const int64_t end = segment.index.start(segment.index.lines());
    const int64_t size = std::min(segment.knownSize, end + MaxLineBytes);
    QByteArray tail(int(size - end), Qt::Uninitialized);
    const int64_t n = segment.file->readAt(end, tail.data(), tail.size());
    tail.truncate(int(std::max<int64_t>(n, 0)));
    if (!live && !tail.isEmpty() && !segment.midRecordTold && !m_live) {
        segment.midRecordTold = true;
        emit notice(tr("%1 ends in the middle of a record (no line break after its last line).")
                        .arg(segment.path));
    }
    if (live && pending && !pending->bytes.empty()) {
        const char* bytes = pending->bytes.data();
        int64_t count = int64_t(pending->bytes.size());
        if (pending->fileSize < 0) {
            // For a file still being opened: after everything of this one.
            if (!tail.isEmpty() && !tail.endsWith('\n'))
                tail += "\r\n";
        } else if (pending->omitted > 0) {
            // The disk is far behind: the newest records only, from a line start.
            const char* feed = static_cast<const char*>(std::memchr(bytes, '\n', size_t(count)));
            const int64_t skip = feed ? feed - bytes + 1 : count;
            bytes += skip;
            count -= skip;
            if (!tail.isEmpty() && !tail.endsWith('\n'))
                tail += "\r\n";
            tail += "-- " +
                    tr("%1 bytes on their way to the disk are not shown")
                        .arg(pending->omitted + skip)
                        .toLatin1() +
                    " --\r\n";
        } else {
            // The pending bytes go at fileSize; what the file holds already is skipped.
            const int64_t skip = std::max<int64_t>(0, segment.knownSize - pending->fileSize);
            bytes += std::min(skip, count);
            count -= std::min(skip, count);
        }
        tail.append(bytes, int(count));
    }
    segment.tail = tail;
    segment.tailStarts.clear();
    for (int at = 0; at < tail.size();) {
        segment.tailStarts.push_back(at);
        const int feed = int(tail.indexOf('\n', at));
        if (feed < 0)
            break;
        at = feed + 1;
    }
}

int64_t HistoryModel::tailRows(const Segment& segment) const {
    return int64_t(segment.tailStarts.size());
}

// ---- filter ----------------------------------------------------------------------------

bool HistoryModel::setFilter(const FilterSpec& query, FilterError* error) {
    if (query == m_query)
        return true;
    std::unique_ptr<LineMatcher> matcher = LineMatcher::make(query, error);
    if (!matcher)
        return false;
    m_query = query;
    m_matcher = std::move(matcher);
    restartFilter();
    return true;
}

void HistoryModel::setOnlyMatching(bool only) {
    if (only == m_onlyMatching)
        return;
    m_onlyMatching = only;
    emit rowsReset();
    checkRowLimit();
}

void HistoryModel::restartFilter() {
    ++m_filterGeneration;
    for (int i = 0; i < int(m_segments.size()); ++i) {
        Segment& segment = *m_segments[size_t(i)];
        cancelRuns(segment, false, true);
        segment.matches.clear();
        segment.filterQueuedTo = segment.filteredTo = 0;
        segment.ahead.clear();
        segment.aheadFrom = segment.aheadTo = 0;
        filterMore(segment, i);
        filterTail(segment);
    }
    emit rowsReset();
    emit filterStateChanged();
}

void HistoryModel::cancelFilter() {
    for (auto& segment : m_segments) {
        cancelRuns(*segment, false, true);
        takeAhead(*segment); // what was not filtered before them stays so
    }
    emit filterStateChanged();
}

void HistoryModel::takeAhead(Segment& segment) {
    if (segment.aheadTo <= segment.aheadFrom)
        return;
    segment.matches.insert(segment.matches.end(), segment.ahead.begin(), segment.ahead.end());
    segment.filteredTo = segment.aheadTo;
    segment.ahead.clear();
    segment.aheadFrom = segment.aheadTo = 0;
}

void HistoryModel::filterMore(Segment& segment, int index) {
    if (!filtering())
        return;
    const int64_t from = segment.filterQueuedTo;
    // Line numbers are kept in 32 bits: a log of more lines is filtered up to there.
    const int64_t to = std::min(segment.index.lines(), m_limits.filterLines);
    if (segment.index.lines() > m_limits.filterLines && !segment.filterLimitTold) {
        segment.filterLimitTold = true;
        emit notice(tr("%1 has more lines than the filter can number; only the first %L2 "
                       "lines are filtered.")
                        .arg(segment.path)
                        .arg(m_limits.filterLines));
    }
    if (to <= from)
        return;
    const int64_t bytes = segment.index.start(to) - segment.index.start(from);
    // A live log's new lines are filtered here and now, also while a long run
    // is still at work on what came before: their matches are shown at once,
    // after those found so far (the run's fill in before them).
    const bool ahead = segment.aheadTo > segment.aheadFrom;
    if (bytes <= SyncFilterBytes && (!ahead || segment.aheadTo == from)) {
        std::vector<uint32_t> found;
        if (!filterLines(*m_matcher, segment, from, to, found))
            segment.cutShort = true; // the next look at the file reads it anew
        if (segment.filterRuns.empty() && !ahead) {
            segment.matches.insert(segment.matches.end(), found.begin(), found.end());
            segment.filteredTo = to;
        } else {
            if (!ahead)
                segment.aheadFrom = from;
            segment.ahead.insert(segment.ahead.end(), found.begin(), found.end());
            segment.aheadTo = to;
        }
        segment.filterQueuedTo = to;
        if (!found.empty()) {
            if (onlyMatching())
                emit rowsChanged();
            emit filterStateChanged();
        }
        return;
    }
    const int64_t perLine = std::max<int64_t>(1, bytes / (to - from));
    const int64_t linesPerPiece = std::clamp<int64_t>(FilterPieceBytes / perLine, 1, 1 << 20);
    auto run = std::make_shared<Run>();
    for (int64_t at = from; at < to; at += linesPerPiece) {
        Run::Piece piece;
        piece.from = at;
        piece.to = std::min(to, at + linesPerPiece);
        run->pieces.push_back(std::move(piece));
    }
    segment.filterQueuedTo = to;
    segment.filterRuns.push_back(run);
    const std::shared_ptr<platform::File> file = segment.file;
    const LineIndex lines = segment.index; // shares the offsets; grows apart from here
    std::shared_ptr<const LineMatcher> prototype = m_matcher->clone();
    const size_t jobs = std::min(run->pieces.size(), size_t(m_pool->threads()));
    for (size_t j = 0; j < jobs; ++j)
        m_pool->start([this, run, file, lines, prototype, index] {
            // One matcher and one buffer a job, for all the pieces it takes.
            std::unique_ptr<LineMatcher> matcher = prototype->clone();
            const bool mappable = matcher->readsMappedSafely();
            std::vector<int64_t> starts;
            std::vector<uint32_t> hits;
            std::vector<char> block;
            platform::FileMapping mapping;
            for (size_t p; (p = run->taken++) < run->pieces.size() && !run->cancel;) {
                Run::Piece& piece = run->pieces[p]; // its bounds do not change
                lines.starts(piece.from, piece.to - piece.from + 1, starts);
                std::vector<uint32_t> found;
                PieceScan scan{matcher.get(), starts.data(), size_t(piece.to - piece.from),
                               piece.from,    nullptr,       file.get(),
                               &block,        &hits,         &found,
                               &run->cancel};
                // Mapped, the bytes are matched where the page cache holds
                // them, without a copy; a file cut short meanwhile ends the
                // scan there, as a short read would.
                const int64_t length = starts.back() - starts.front();
                if (mappable && mapping.map(*file, starts.front(), length)) {
                    scan.mapped = mapping.data();
                    if (!platform::guardedRead(mapping.data(), length, scanPiece, &scan))
                        scan.whole = false;
                    mapping.unmap();
                } else {
                    scanPiece(&scan);
                }
                {
                    std::lock_guard<std::mutex> lock(run->mutex);
                    piece.out = std::move(found);
                    piece.whole = scan.whole;
                    piece.done = true;
                }
                if (!run->cancel)
                    WorkerPool::post(this, [this, index, run] { filterPieceDone(index, run); });
            }
        });
    emit filterStateChanged();
}

bool HistoryModel::filterLines(LineMatcher& matcher, const Segment& segment, int64_t from,
                               int64_t to, std::vector<uint32_t>& found) const {
    std::vector<int64_t> starts;
    segment.index.starts(from, to - from + 1, starts);
    std::vector<char> block;
    std::vector<uint32_t> hits;
    const std::atomic<bool> never{false};
    PieceScan scan{&matcher, starts.data(), size_t(to - from),
                   from,     nullptr,       segment.file.get(),
                   &block,   &hits,         &found,
                   &never};
    scanPiece(&scan);
    return scan.whole;
}

void HistoryModel::filterPieceDone(int index, const std::shared_ptr<Run>& run) {
    Segment& segment = *m_segments[size_t(index)];
    if (std::find(segment.filterRuns.begin(), segment.filterRuns.end(), run) ==
        segment.filterRuns.end())
        return;
    bool added = false, cut = false;
    while (!segment.filterRuns.empty()) {
        Run& front = *segment.filterRuns.front();
        std::lock_guard<std::mutex> lock(front.mutex);
        while (front.next < front.pieces.size() && front.pieces[front.next].done) {
            Run::Piece& piece = front.pieces[front.next++];
            cut = cut || !piece.whole;
            segment.matches.insert(segment.matches.end(), piece.out.begin(), piece.out.end());
            std::vector<uint32_t>().swap(piece.out);
            segment.filteredTo = piece.to;
            added = true;
            // The lines filtered ahead follow on directly.
            if (segment.filteredTo == segment.aheadFrom)
                takeAhead(segment);
        }
        if (front.next < front.pieces.size())
            break;
        segment.filterRuns.pop_front();
    }
    if (cut) {
        // Cut short under the reader: what the index holds is no longer the file.
        segment.cutShort = true;
        watch(segment, index);
        return;
    }
    if (added) {
        // Rows change only when just the matching ones are shown.
        if (onlyMatching())
            emit rowsChanged();
        emit filterStateChanged();
        checkRowLimit();
    }
}

void HistoryModel::filterTail(Segment& segment) {
    segment.tailMatches.clear();
    if (!filtering())
        return;
    for (size_t k = 0; k < segment.tailStarts.size(); ++k) {
        const int start = segment.tailStarts[k];
        const int end = k + 1 < segment.tailStarts.size() ? segment.tailStarts[k + 1]
                                                          : int(segment.tail.size());
        const char* line = segment.tail.constData() + start;
        if (m_matcher->matches(line, contentLength(line, size_t(end - start))))
            segment.tailMatches.push_back(uint32_t(k));
    }
}

int64_t HistoryModel::matchCount() const {
    int64_t sum = 0;
    for (const auto& s : m_segments)
        sum += segmentMatches(*s);
    return sum;
}

bool HistoryModel::filterRunning() const {
    return std::any_of(m_segments.begin(), m_segments.end(),
                       [](const auto& s) { return !s->filterRuns.empty(); });
}

double HistoryModel::filterProgress() const {
    int64_t done = 0, all = 0;
    for (const auto& s : m_segments) {
        done += s->index.start(s->filteredTo);
        all += s->index.start(s->index.lines());
    }
    return all > 0 ? double(done) / double(all) : 1.0;
}

void HistoryModel::matchRanges(const QByteArray& text,
                               std::vector<std::pair<int, int>>& out) const {
    if (filtering())
        m_matcher->ranges(text.constData(), size_t(text.size()), out);
}

// ---- rows --------------------------------------------------------------------------------

int64_t HistoryModel::segmentRows(const Segment& segment) const {
    return segment.index.lines() + tailRows(segment);
}

int64_t HistoryModel::segmentMatches(const Segment& segment) const {
    return int64_t(segment.matches.size() + segment.ahead.size() + segment.tailMatches.size());
}

int64_t HistoryModel::allRowCount() const {
    int64_t sum = 0;
    for (const auto& s : m_segments)
        sum += segmentRows(*s);
    return sum;
}

int64_t HistoryModel::rowCount() const {
    return std::min(onlyMatching() ? matchCount() : allRowCount(), m_limits.rows);
}

void HistoryModel::checkRowLimit() {
    const int64_t rows = onlyMatching() ? matchCount() : allRowCount();
    if (rows <= m_limits.rows) {
        m_rowLimitTold = false;
    } else if (!m_rowLimitTold) {
        m_rowLimitTold = true;
        emit notice(tr("Only the first %L1 rows can be shown; the %L2 after them are out of "
                       "the view's reach.")
                        .arg(m_limits.rows)
                        .arg(rows - m_limits.rows));
    }
}

bool HistoryModel::locate(int64_t allRow, int& segment, int64_t& local) const {
    for (size_t i = 0; i < m_segments.size(); ++i) {
        const int64_t rows = segmentRows(*m_segments[i]);
        if (allRow < rows) {
            segment = int(i);
            local = allRow;
            return allRow >= 0;
        }
        allRow -= rows;
    }
    return false;
}

int64_t HistoryModel::allRowOf(int64_t row) const {
    if (!onlyMatching())
        return row;
    int64_t base = 0;
    for (const auto& s : m_segments) {
        const int64_t n = int64_t(s->matches.size());
        if (row < n)
            return base + s->matches[size_t(row)];
        row -= n;
        const int64_t a = int64_t(s->ahead.size());
        if (row < a)
            return base + s->ahead[size_t(row)];
        row -= a;
        const int64_t t = int64_t(s->tailMatches.size());
        if (row < t)
            return base + s->index.lines() + s->tailMatches[size_t(row)];
        row -= t;
        base += segmentRows(*s);
    }
    return -1;
}

int64_t HistoryModel::rowOfAll(int64_t allRow) const {
    if (!onlyMatching())
        return allRow;
    int64_t base = 0, rows = 0;
    for (const auto& s : m_segments) {
        const int64_t segmentAll = segmentRows(*s);
        if (allRow < base + segmentAll) {
            const int64_t local = std::max<int64_t>(0, allRow - base);
            // Every line in matches comes before every line in ahead.
            if (local < s->index.lines())
                return rows +
                       (std::lower_bound(s->matches.begin(), s->matches.end(), uint64_t(local)) -
                        s->matches.begin()) +
                       (std::lower_bound(s->ahead.begin(), s->ahead.end(), uint64_t(local)) -
                        s->ahead.begin());
            const uint32_t tailRow = uint32_t(local - s->index.lines());
            return rows + int64_t(s->matches.size() + s->ahead.size()) +
                   (std::lower_bound(s->tailMatches.begin(), s->tailMatches.end(), tailRow) -
                    s->tailMatches.begin());
        }
        base += segmentAll;
        rows += segmentMatches(*s);
    }
    return rows;
}

int64_t HistoryModel::nextMatch(int64_t allRow, bool backward) const {
    if (!filtering())
        return -1;
    // Through the numbering of matching rows: the first match after allRow,
    // or the last before it.
    const bool only = m_onlyMatching;
    const_cast<HistoryModel*>(this)->m_onlyMatching = true;
    const int64_t count = matchCount();
    int64_t row = rowOfAll(allRow);
    int64_t result = -1;
    if (backward) {
        if (row > 0)
            result = allRowOf(row - 1);
    } else {
        if (row < count && allRowOf(row) == allRow)
            ++row;
        if (row < count)
            result = allRowOf(row);
    }
    const_cast<HistoryModel*>(this)->m_onlyMatching = only;
    return result;
}

QByteArray HistoryModel::segmentRowText(const Segment& segment, int64_t local, int64_t maxBytes,
                                        int64_t* length) const {
    const int64_t lines = segment.index.lines();
    if (local >= lines) {
        const size_t k = size_t(local - lines);
        if (k >= segment.tailStarts.size())
            return {};
        const int start = segment.tailStarts[k];
        const int end = k + 1 < segment.tailStarts.size() ? segment.tailStarts[k + 1]
                                                          : int(segment.tail.size());
        const int content =
            int(contentLength(segment.tail.constData() + start, size_t(end - start)));
        if (length)
            *length = content;
        return segment.tail.mid(start, int(std::min<int64_t>(content, maxBytes)));
    }
    const int64_t start = segment.index.start(local);
    const int64_t full = segment.index.start(local + 1) - start; // with the line feed
    int64_t content = full - 1;
    const int64_t want = std::min(full, maxBytes + 2);
    QByteArray bytes(int(want), Qt::Uninitialized);
    const int64_t n = segment.file->readAt(start, bytes.data(), want);
    bytes.truncate(int(std::max<int64_t>(n, 0)));
    if (n == full) {
        content = int64_t(contentLength(bytes.constData(), size_t(n)));
    } else if (content > 0) {
        char before = 0;
        if (segment.file->readAt(start + full - 2, &before, 1) == 1 && before == '\r')
            --content;
    }
    if (length)
        *length = content;
    bytes.truncate(int(std::min(content, maxBytes)));
    return bytes;
}

void HistoryModel::prefetchRows(int64_t first, int64_t count, int64_t maxBytes) const {
    first = std::max<int64_t>(first, 0);
    const int64_t end = std::min(first + count, rowCount());
    // Rows of one file close to each other are asked for as one stretch
    // (the lines between them cost less than a request of their own).
    constexpr int64_t Gap = 64 << 10;
    const platform::File* file = nullptr;
    int64_t from = 0, to = 0;
    const auto ask = [&] {
        if (file && to > from)
            file->willRead(from, to - from);
    };
    for (int64_t row = first; row < end; ++row) {
        int segment = 0;
        int64_t local = 0;
        if (!locate(allRowOf(row), segment, local))
            continue;
        const Segment& s = *m_segments[size_t(segment)];
        if (local >= s.index.lines())
            continue; // after the last line feed: in memory
        const int64_t start = s.index.start(local);
        const int64_t stop = std::min(s.index.start(local + 1), start + maxBytes + 2);
        if (file == s.file.get() && start >= from && start <= to + Gap) {
            to = std::max(to, stop);
            continue;
        }
        ask();
        file = s.file.get();
        from = start;
        to = stop;
    }
    ask();
}

QByteArray HistoryModel::rowText(int64_t row, int64_t maxBytes, int64_t* length) const {
    if (length)
        *length = 0;
    int segment = 0;
    int64_t local = 0;
    if (!locate(allRowOf(row), segment, local))
        return {};
    return segmentRowText(*m_segments[size_t(segment)], local, maxBytes, length);
}

} // namespace history
