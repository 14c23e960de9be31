#include "terminal/LogWriter.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "util/OxaUtils.h"

namespace terminal {

namespace {

// One write takes at most this much of what is waiting.
constexpr size_t kMaxJoinedBytes = 8 * 1024 * 1024;

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

private:
    std::unique_ptr<TOxaFileStream> m_stream;
};

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

void LogWriter::write(uint64_t generation, std::vector<char> bytes, int64_t records,
                      int64_t firstStamp, LogLoss carried, bool confirm) {
    Item item;
    item.kind = Item::Data;
    item.generation = generation;
    item.bytes = std::move(bytes);
    item.records = records;
    item.firstStamp = firstStamp;
    item.carried = carried;
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

// ---- the writer's thread ------------------------------------------------------------------

void LogWriter::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_work.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty())
            break; // stopping, and everything is done
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

void LogWriter::lose(const Item& item) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_loss.add(item.records, item.firstStamp);
    m_loss.add(item.carried);
}

void LogWriter::doClose() {
    m_file.reset();
    m_fileName.clear();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handle = -1;
}

void LogWriter::doOpen(const Item& item) {
    doClose();
    m_generation = item.generation;
    const LogOpenRequest& request = item.open;
    if (request.names.empty())
        return;
    errno = 0;
    if (!QDir().mkpath(request.folder)) {
        const int error = errno ? errno : ENOENT;
        report({LogReport::FolderFailed, item.generation, request.names.front().name, error});
        return;
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
        report({LogReport::OpenFailed, item.generation, request.names.front().name, firstError});
        return;
    }
    const int64_t size = m_file->seekEnd();
    m_leadingBreak = size > 0 && !request.smoothAppend;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_handle = m_file->handle();
    }
    report({LogReport::Opened, item.generation, m_fileName, 0});
}

void LogWriter::doWrite(std::vector<Item>& batch) {
    const uint64_t generation = batch.front().generation;
    if (!m_file || generation != m_generation) {
        // The file of these records failed (or was never opened).
        for (const Item& item : batch)
            lose(item);
        return;
    }
    // The records as one buffer; a single item is written from its own.
    const char* data = nullptr;
    size_t total = 0;
    const bool join = batch.size() > 1 || m_leadingBreak;
    if (join) {
        m_joined.clear();
        if (m_leadingBreak)
            m_joined.assign({'\r', '\n'});
        for (const Item& item : batch)
            m_joined.insert(m_joined.end(), item.bytes.begin(), item.bytes.end());
        data = m_joined.data();
        total = m_joined.size();
    } else {
        data = batch.front().bytes.data();
        total = batch.front().bytes.size();
    }
    const size_t prefix = m_leadingBreak ? 2 : 0;
    m_leadingBreak = false;

    int error = 0;
    const int64_t done = writeLog(data, int64_t(total), error);
    if (done >= int64_t(total)) {
        if (std::any_of(batch.begin(), batch.end(), [](const Item& i) { return i.confirm; }))
            report({LogReport::Written, generation, m_fileName, 0});
        // Keep the join buffer for the next batch unless one huge batch blew it up.
        if (m_joined.capacity() > kMaxJoinedBytes / 2)
            std::vector<char>().swap(m_joined);
        return;
    }

    // Every record not wholly in the file is lost; the file's line is ended
    // (when it can be) and the file closed, as a failed write always did.
    size_t end = prefix;
    for (const Item& item : batch) {
        end += item.bytes.size();
        if (int64_t(end) > done)
            lose(item);
    }
    if (total < 2 || data[total - 2] != '\r' || data[total - 1] != '\n') {
        int ignored = 0;
        m_file->write("\r\n", 2, ignored);
    }
    const QString name = m_fileName;
    doClose();
    report({LogReport::WriteFailed, generation, name, error ? error : EIO});
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

} // namespace terminal
