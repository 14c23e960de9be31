#include "terminal/LogWriter.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/File.h"
#include "util/OxaUtils.h"

namespace terminal {

namespace {

// One write takes at most this much of what is waiting.
constexpr size_t kMaxJoinedBytes = 8 * 1024 * 1024;
// While a file is open it is compared with its name at least this often ...
constexpr auto kNameCheckPeriod = std::chrono::milliseconds(500);
// ... and as soon as this much has been written since the last time, which
// bounds what is kept to be written again.
constexpr size_t kMaxTail = 1024 * 1024;

class StreamLogFile final : public LogFile {
public:
    explicit StreamLogFile(std::unique_ptr<TOxaFileStream> stream) : m_stream(std::move(stream)) {}
    int64_t write(const char* data, int64_t count, int& error) override {
        errno = 0;
        const int64_t n = m_stream->Write(data, count);
        error = errno;
        return n;
    }
    int64_t seekEnd() override { return m_stream->Seek(0, 2); }
    int handle() const override { return m_stream->Handle(); }
    bool truncate(int64_t size) override { return m_stream->SetSize(size); }
    NameState nameState(const QString& name) const override {
        const std::optional<platform::FileIdentity> own = m_stream->Identity();
        if (!own)
            return NameState::Named;
        const platform::PathStatus at = platform::pathStatus(name);
        if (!at.exists) // a look-up that fails for another reason tells nothing
            return at.error == ENOENT || at.error == ENOTDIR ? NameState::Gone : NameState::Named;
        return at.identity.device == own->device && at.identity.inode == own->inode
                   ? NameState::Named
                   : NameState::Replaced;
    }

private:
    std::unique_ptr<TOxaFileStream> m_stream;
};

// Marks of bytes appended at offset base of a buffer.
void appendMarks(std::vector<LogMark>& to, const std::vector<LogMark>& marks, size_t base) {
    for (LogMark m : marks) {
        m.offset += uint32_t(base);
        to.push_back(m);
    }
}

} // namespace

std::unique_ptr<LogFile> openLogFile(const QString& name, uint32_t disposition, uint32_t flags,
                                     int& error) {
    try {
        auto stream = std::make_unique<TOxaFileStream>(name, GENERIC_WRITE, FILE_SHARE_READ,
                                                       disposition, flags);
        error = 0;
        return std::make_unique<StreamLogFile>(std::move(stream));
    } catch (const EFCreateError& e) {
        error = e.errorCode() ? e.errorCode() : EIO;
    } catch (...) {
        error = EIO;
    }
    return nullptr;
}

void LogLoss::add(const LogLoss& other) {
    records += other.records;
    since = std::min(since, other.since);
}

void LogLoss::add(int64_t count, int64_t at) {
    if (count <= 0)
        return;
    records += count;
    since = std::min(since, at);
}

// ---- the owner's side ------------------------------------------------------------------

LogWriter::LogWriter(LogFileOpener opener, std::function<void()> wake)
    : m_opener(std::move(opener)), m_wake(std::move(wake)), m_thread([this] { run(); }) {}

LogWriter::~LogWriter() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_work.notify_one();
    m_thread.join();
}

void LogWriter::push(Item item) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_backlog += int64_t(item.bytes.size());
        m_queue.push_back(std::move(item));
    }
    m_work.notify_one();
}

void LogWriter::open(uint64_t generation, LogOpenRequest request) {
    Item item;
    item.kind = Item::Open;
    item.generation = generation;
    item.open = std::move(request);
    push(std::move(item));
}

void LogWriter::write(uint64_t generation, std::vector<char> bytes, std::vector<LogMark> marks,
                      bool endsWhole, bool confirm) {
    Item item;
    item.kind = Item::Data;
    item.generation = generation;
    item.bytes = std::move(bytes);
    item.marks = std::move(marks);
    item.endsWhole = endsWhole;
    item.confirm = confirm;
    push(std::move(item));
}

void LogWriter::close(uint64_t generation) {
    Item item;
    item.kind = Item::Close;
    item.generation = generation;
    push(std::move(item));
}

void LogWriter::waitWritten() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

int64_t LogWriter::backlog() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_backlog;
}

std::vector<LogReport> LogWriter::takeReports() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wakePending = false;
    return std::exchange(m_reports, {});
}

LogLoss LogWriter::takeLoss() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_loss, {});
}

bool LogWriter::hasLoss() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_loss.empty();
}

int LogWriter::handle() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handle;
}

LogPending LogWriter::pending(int64_t maxBytes, uint64_t generation, const char* more,
                              size_t moreCount) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    LogPending out;
    // The file asked for last; while its open waits in the queue, its name and
    // size are not known yet.
    out.generation = generation ? generation : m_shownGeneration;
    const bool open = !m_shownName.isEmpty() && m_shownGeneration == out.generation;
    out.fileName = open ? m_shownName : QString();
    out.fileSize = open ? m_shownSize : -1;
    struct Part {
        const char* data;
        int64_t size;
    };
    std::vector<Part> parts;
    int64_t total = 0;
    const auto add = [&](const char* data, int64_t size) {
        if (size <= 0)
            return;
        parts.push_back({data, size});
        total += size;
    };
    static const char leadingBreak[] = "\r\n";
    const bool leading = open && m_shownLeadingBreak;
    if (leading)
        add(leadingBreak, 2);
    // The records of that file in the order they go into it: the ones being
    // written, the queued ones, the owner's gathered ones.
    const auto take = [&](const Item& item) {
        if (item.kind == Item::Data && item.generation == out.generation)
            add(item.bytes.data(), int64_t(item.bytes.size()));
    };
    if (m_inFlight)
        for (const Item& item : *m_inFlight)
            take(item);
    for (const Item& item : m_queue)
        take(item);
    add(more, int64_t(moreCount));
    // The line break in front of the first record comes only with a record.
    if (leading && total == 2)
        return out;
    out.omitted = std::max<int64_t>(0, total - std::max<int64_t>(0, maxBytes));
    out.bytes.reserve(size_t(total - out.omitted));
    int64_t skip = out.omitted;
    for (const Part& part : parts) {
        if (skip >= part.size) {
            skip -= part.size;
            continue;
        }
        out.bytes.insert(out.bytes.end(), part.data + skip, part.data + part.size);
        skip = 0;
    }
    return out;
}

void LogWriter::publish() {
    // With m_mutex held, on the writer's thread, once an item is done: what it
    // wrote is in the file (m_end) and no longer among the pending items.
    m_inFlight = nullptr;
    m_shownName = m_file ? m_fileName : QString();
    m_shownGeneration = m_generation;
    m_shownSize = m_end;
    m_shownLeadingBreak = m_leadingBreak;
}

// ---- the writer's thread ------------------------------------------------------------------

void LogWriter::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        const auto ready = [this] { return m_stop || !m_queue.empty(); };
        if (m_file)
            m_work.wait_until(lock, m_nextCheck, ready);
        else
            m_work.wait(lock, ready);
        if (m_queue.empty()) {
            if (m_stop)
                break; // stopping, and everything is done
            // Nothing to write, and the time to look at the file's name has come.
            m_busy = true;
            lock.unlock();
            checkName();
            lock.lock();
            m_busy = false;
            publish();
            m_idle.notify_all();
            continue;
        }
        // Everything of the same kind that waits goes at once: a run of
        // records of one file becomes one write.
        std::vector<Item> batch;
        size_t bytes = 0;
        const Item::Kind kind = m_queue.front().kind;
        do {
            bytes += m_queue.front().bytes.size();
            batch.push_back(std::move(m_queue.front()));
            m_queue.pop_front();
        } while (kind == Item::Data && !m_queue.empty() && m_queue.front().kind == Item::Data &&
                 m_queue.front().generation == batch.front().generation &&
                 bytes + m_queue.front().bytes.size() <= kMaxJoinedBytes);
        m_busy = true;
        m_inFlight = &batch;
        lock.unlock();

        switch (kind) {
        case Item::Open:
            doOpen(batch.front());
            break;
        case Item::Close:
            if (batch.front().generation == m_generation)
                doClose();
            break;
        case Item::Data:
            doWrite(batch);
            break;
        }

        lock.lock();
        m_backlog -= int64_t(bytes);
        m_busy = false;
        publish();
        if (m_queue.empty())
            m_idle.notify_all();
    }
    lock.unlock();
    doClose();
    m_idle.notify_all();
}

void LogWriter::report(LogReport report) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.push_back(std::move(report));
        wake = !m_wakePending;
        m_wakePending = true;
    }
    if (wake && m_wake)
        m_wake();
}

// The records of the marks from index from on are not logged.
void LogWriter::lose(const std::vector<LogMark>& marks, size_t from) {
    if (from >= marks.size())
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (size_t i = from; i < marks.size(); ++i)
        m_loss.add(marks[i].records, marks[i].lostSince);
}

void LogWriter::doClose() {
    m_file.reset();
    m_fileName.clear();
    m_openRecord = false;
    m_tail.clear();
    m_tailMarks.clear();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handle = -1;
}

void LogWriter::doOpen(const Item& item) {
    doClose();
    m_generation = item.generation;
    m_request = item.open;
    if (openFile(item.generation, m_request))
        report({LogReport::Opened, item.generation, m_fileName, 0});
}

bool LogWriter::openFile(uint64_t generation, const LogOpenRequest& request) {
    if (request.names.empty())
        return false;
    errno = 0;
    if (!QDir().mkpath(request.folder)) {
        const int error = errno ? errno : ENOENT;
        report({LogReport::FolderFailed, generation, request.names.front().name, error});
        return false;
    }
    int firstError = 0;
    for (const LogOpenRequest::Name& name : request.names) {
        int error = 0;
        m_file = m_opener(name.name, name.disposition, request.flags, error);
        if (m_file) {
            m_fileName = name.name;
            break;
        }
        if (!firstError)
            firstError = error ? error : EIO;
    }
    if (!m_file) {
        report({LogReport::OpenFailed, generation, request.names.front().name, firstError});
        return false;
    }
    const int64_t size = std::max<int64_t>(m_file->seekEnd(), 0);
    m_leadingBreak = size > 0 && !request.smoothAppend;
    m_end = m_whole = m_tailAt = size;
    m_openRecord = false;
    m_tail.clear();
    m_tailMarks.clear();
    m_nextCheck = std::chrono::steady_clock::now() + kNameCheckPeriod;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_handle = m_file->handle();
    }
    return true;
}

void LogWriter::doWrite(std::vector<Item>& batch) {
    const uint64_t generation = batch.front().generation;
    if (!m_file || generation != m_generation) {
        // The file of these records failed (or was never opened).
        for (const Item& item : batch)
            lose(item.marks);
        return;
    }
    const bool confirm =
        std::any_of(batch.begin(), batch.end(), [](const Item& i) { return i.confirm; });
    bool written = false;
    if (batch.size() == 1 && !m_leadingBreak) {
        // A single item is written from its own buffer.
        const Item& item = batch.front();
        written = writeRecords(item.bytes.data(), item.bytes.size(), item.marks, item.endsWhole);
    } else {
        m_joined.clear();
        m_joinedMarks.clear();
        if (m_leadingBreak)
            m_joined.assign({'\r', '\n'});
        for (const Item& item : batch) {
            appendMarks(m_joinedMarks, item.marks, m_joined.size());
            m_joined.insert(m_joined.end(), item.bytes.begin(), item.bytes.end());
        }
        written =
            writeRecords(m_joined.data(), m_joined.size(), m_joinedMarks, batch.back().endsWhole);
        // Keep the join buffer for the next batch unless one huge batch blew it up.
        if (m_joined.capacity() > kMaxJoinedBytes / 2) {
            std::vector<char>().swap(m_joined);
            std::vector<LogMark>().swap(m_joinedMarks);
        }
    }
    if (written && confirm && m_file)
        report({LogReport::Written, generation, m_fileName, 0});
}

bool LogWriter::writeRecords(const char* data, size_t count, const std::vector<LogMark>& marks,
                             bool endsWhole) {
    // The line break in front of the first record of a non-empty file is the
    // caller's first two bytes; it is not written again with the records.
    const size_t prefix = m_leadingBreak ? 2 : 0;
    m_leadingBreak = false;
    const int64_t base = m_end;
    int error = 0;
    const int64_t done = count ? writeLog(data, int64_t(count), error) : 0;
    m_end = base + std::max<int64_t>(done, 0);
    if (done >= int64_t(count)) {
        // Where the file now holds whole records only, and the record begun there.
        if (endsWhole) {
            m_whole = m_end;
            m_openRecord = false;
        } else if (!marks.empty()) {
            m_whole = base + marks.back().offset;
            m_openMark = marks.back();
            m_openRecord = true;
        }
        // Kept until the name is seen again.
        if (m_request.movedRecord && count > prefix) {
            if (m_tail.empty())
                m_tailAt = base + int64_t(prefix);
            const size_t at = m_tail.size();
            m_tail.insert(m_tail.end(), data + prefix, data + count);
            for (LogMark m : marks) {
                m.offset = uint32_t(at + m.offset - prefix);
                m_tailMarks.push_back(m);
            }
        }
        if ((std::chrono::steady_clock::now() >= m_nextCheck || m_tail.size() > kMaxTail) &&
            !checkName())
            return m_file != nullptr;
        return true;
    }

    // A file that lost its name takes the blame first: the records go on in
    // the new file, these among them.
    if (!checkName(data, prefix, count, &marks, endsWhole))
        return m_file != nullptr;

    // Every record not wholly in the file is lost, each counted once: the file
    // is cut back to the start of the first of them, so that it ends with a
    // whole record, and closed.
    int64_t cut = m_whole;
    size_t firstLost = marks.size();
    for (size_t i = marks.size(); i-- > 0;) {
        if (int64_t(marks[i].offset) <= std::max<int64_t>(done, 0)) {
            cut = base + marks[i].offset;
            firstLost = i;
            break;
        }
    }
    if (firstLost == marks.size()) {
        firstLost = 0;
        if (m_openRecord)
            lose({m_openMark});
    }
    lose(marks, firstLost);
    if (m_end > cut)
        m_file->truncate(cut);
    const QString name = m_fileName;
    doClose();
    report({LogReport::WriteFailed, m_generation, name, error ? error : EIO});
    return false;
}

int64_t LogWriter::writeLog(const char* data, int64_t count, int& error) {
    error = 0;
    if (count <= 0)
        return 0;
    const int64_t written = m_file->write(data, count, error);
    if (written >= count)
        return written;
    // One more attempt, for the part not yet written (writing the whole buffer
    // again would repeat the bytes a short write did put into the file).
    const int64_t done = std::max<int64_t>(written, 0);
    int again = 0;
    const int64_t more = m_file->write(data + done, count - done, again);
    if (again)
        error = again;
    return more > 0 ? done + more : done;
}

bool LogWriter::checkName(const char* data, size_t skip, size_t count,
                          const std::vector<LogMark>* marks, bool endsWhole) {
    m_nextCheck = std::chrono::steady_clock::now() + kNameCheckPeriod;
    if (!m_file || !m_request.movedRecord)
        return true;
    const LogFile::NameState state = m_file->nameState(m_fileName);
    if (state == LogFile::NameState::Named) {
        // Everything up to the last whole record is under the name: only the
        // record begun since is kept.
        const size_t keep =
            size_t(std::clamp<int64_t>(m_whole - m_tailAt, 0, int64_t(m_tail.size())));
        m_tail.erase(m_tail.begin(), m_tail.begin() + ptrdiff_t(keep));
        m_tailMarks.erase(std::remove_if(m_tailMarks.begin(), m_tailMarks.end(),
                                         [keep](const LogMark& m) { return m.offset < keep; }),
                          m_tailMarks.end());
        for (LogMark& m : m_tailMarks)
            m.offset -= uint32_t(keep);
        m_tailAt += int64_t(keep);
        return true;
    }
    std::vector<char> bytes = std::move(m_tail);
    std::vector<LogMark> all = std::move(m_tailMarks);
    bool whole = m_end == m_whole;
    if (data && count > skip) {
        // The bytes of the failed write follow the tail; their marks count
        // from data, which starts skip bytes before them.
        for (LogMark m : *marks) {
            m.offset = uint32_t(bytes.size() + m.offset - skip);
            all.push_back(m);
        }
        bytes.insert(bytes.end(), data + skip, data + count);
        whole = endsWhole;
    }
    moveToNewFile(state == LogFile::NameState::Replaced, std::move(bytes), std::move(all), whole);
    return false;
}

void LogWriter::moveToNewFile(bool replaced, std::vector<char> bytes, std::vector<LogMark> marks,
                              bool endsWhole) {
    const uint64_t generation = m_generation;
    const LogOpenRequest request = m_request;
    doClose();
    if (!openFile(generation, request)) {
        // What went to the nameless file since is lost with it: counted.
        lose(marks);
        return;
    }
    // The record itself stands for no record received (and has no stamp here).
    const auto first = std::find_if(marks.begin(), marks.end(),
                                    [](const LogMark& m) { return m.stamp != INT64_MAX; });
    std::vector<char> record =
        request.movedRecord(replaced, first == marks.end() ? INT64_MAX : first->stamp);
    const size_t prefix = m_leadingBreak ? 2 : 0;
    std::vector<char> all;
    all.reserve(prefix + record.size() + bytes.size());
    if (prefix)
        all.assign({'\r', '\n'});
    std::vector<LogMark> allMarks;
    allMarks.push_back({uint32_t(prefix), 0, INT64_MAX, INT64_MAX});
    all.insert(all.end(), record.begin(), record.end());
    appendMarks(allMarks, marks, all.size());
    all.insert(all.end(), bytes.begin(), bytes.end());
    report({LogReport::Moved, generation, m_fileName, 0, replaced});
    // The new file is compared with the name as soon as this is in it.
    m_nextCheck = std::chrono::steady_clock::now();
    writeRecords(all.data(), all.size(), allMarks, endsWhole || bytes.empty());
}

} // namespace terminal
