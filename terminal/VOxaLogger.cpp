#include "terminal/VOxaLogger.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/ThisProcess.h"
#include "platform/Ticks.h"
#include "util/OxaUtils.h"

namespace {

constexpr int64_t msPerDay = 86400000;
constexpr int64_t msPerMinute = 60000;
constexpr int64_t unixEpochJulianDay = 2440588; // 1970-01-01
constexpr int maxTrailingLineBreaks = 4;
const char hexDigits[] = "0123456789ABCDEF";

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if (a % b != 0 && ((a < 0) != (b < 0)))
        --q;
    return q;
}

char* putTwoDigits(char* p, int value) {
    *p++ = char('0' + value / 10);
    *p++ = char('0' + value % 10);
    return p;
}

QByteArray dateTextOf(int64_t day) {
    const QDate date = QDate::fromJulianDay(day + unixEpochJulianDay);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year(), date.month(), date.day());
    return QByteArray(text);
}

// The 23 characters "yyyy-mm-dd hh:mm:ss.zzz" (with the locale's separator).
char* putStampText(char* p, const QByteArray& date, const QByteArray& separator, int ms) {
    std::memcpy(p, date.constData(), size_t(date.size()));
    p += date.size();
    *p++ = ' ';
    p = putTwoDigits(p, ms / 3600000);
    std::memcpy(p, separator.constData(), size_t(separator.size()));
    p += separator.size();
    p = putTwoDigits(p, ms / 60000 % 60);
    std::memcpy(p, separator.constData(), size_t(separator.size()));
    p += separator.size();
    p = putTwoDigits(p, ms / 1000 % 60);
    *p++ = '.';
    *p++ = char('0' + ms % 1000 / 100);
    return putTwoDigits(p, ms % 100);
}

int64_t localMsOf(const QDateTime& dt) {
    return (dt.date().toJulianDay() - unixEpochJulianDay) * msPerDay +
           dt.time().msecsSinceStartOfDay();
}

QByteArray stampText(int64_t localMs, const QByteArray& separator) {
    const int64_t day = floorDiv(localMs, msPerDay);
    char text[64];
    char* end = putStampText(text, dateTextOf(day), separator, int(localMs - day * msPerDay));
    return QByteArray(text, int(end - text));
}

QString faultReason(terminal::LogReport::Kind kind, int error) {
    const QString system = qt_error_string(error);
    switch (kind) {
    case terminal::LogReport::FolderFailed:
        if (error == EEXIST || error == ENOTDIR)
            return QStringLiteral(
                "its folder cannot be created: a file of that name is in the way");
        return QStringLiteral("its folder cannot be created (") + system + QStringLiteral(")");
    case terminal::LogReport::OpenFailed:
        if (error == EWOULDBLOCK)
            return QStringLiteral("the file is in use by another program");
        return system;
    default:
        return system;
    }
}

} // namespace

VOxaLogger::VOxaLogger(QObject* owner) : TComponent(owner) {
    m_timeSeparator = LocaleTimeSeparator().toLocal8Bit().left(8);
    if (m_timeSeparator.isEmpty())
        m_timeSeparator = ":";
    Close();
}

VOxaLogger::~VOxaLogger() {
    Close();
    m_writer.reset(); // writes everything queued, then ends its thread
}

void VOxaLogger::SetLogPath(const QString& value) {
    Close();
    m_logPath = value;
    m_openFailed = false;
}

void VOxaLogger::SetNewFileStyle(VOxaLoggerNewFileStyle value) {
    m_newFileStyle = value;
    m_openFailed = false;
}

int VOxaLogger::FileHandle() const {
    return m_writer ? m_writer->handle() : -1;
}

int64_t VOxaLogger::Backlog() const {
    return m_writer ? m_writer->backlog() : 0;
}

terminal::LogPending VOxaLogger::PendingRecords(int64_t maxBytes) const {
    if (!m_writer || !m_open)
        return {};
    return m_writer->pending(maxBytes, m_generation, m_buffer.data(), m_used);
}

QString VOxaLogger::ProgramName() {
    QString path;
    if (QCoreApplication::instance())
        path = QCoreApplication::applicationFilePath();
    if (path.isEmpty())
        path = platform::executablePath();
    const QString name = QFileInfo(path).completeBaseName();
    return name.isEmpty() ? QStringLiteral("Dralvo") : name;
}

// ---- time stamps -----------------------------------------------------------------

VOxaLogger::Stamp VOxaLogger::now() {
    if (m_clock) {
        const QDateTime dt = m_clock();
        if (dt.isValid())
            return {dt.date().toJulianDay() - unixEpochJulianDay, dt.time().msecsSinceStartOfDay()};
    }
    return localStamp(platform::realTimeMs());
}

VOxaLogger::Stamp VOxaLogger::localStamp(int64_t utc) {
    // The local offset is looked up once a minute: converting every record
    // through the time-zone database would cost a stat of the zone file each.
    if (utc < m_offsetFrom || utc >= m_offsetUntil) {
        m_offsetMs = int64_t(QDateTime::fromMSecsSinceEpoch(utc).offsetFromUtc()) * 1000;
        m_offsetFrom = floorDiv(utc, msPerMinute) * msPerMinute;
        m_offsetUntil = m_offsetFrom + msPerMinute;
    }
    const int64_t local = utc + m_offsetMs;
    const int64_t day = floorDiv(local, msPerDay);
    return {day, int(local - day * msPerDay)};
}

const QByteArray& VOxaLogger::dateText(int64_t day) {
    if (day != m_textDay) {
        m_dateText = dateTextOf(day);
        m_textDay = day;
    }
    return m_dateText;
}

char* VOxaLogger::putStamp(char* p, const Stamp& stamp) {
    return putStampText(p, dateText(stamp.day), m_timeSeparator, stamp.msecsOfDay);
}

void VOxaLogger::appendStamp(const Stamp& stamp) {
    char* p = grow(size_t(dateText(stamp.day).size()) + 2 * size_t(m_timeSeparator.size()) + 16);
    p = putStamp(p, stamp);
    *p++ = ':';
    *p++ = ' ';
    m_used = size_t(p - m_buffer.data());
}

// ---- buffer ------------------------------------------------------------------------

char* VOxaLogger::grow(size_t extra) {
    if (m_used + extra > m_buffer.size())
        m_buffer.resize(std::max({m_buffer.size() * 2, m_used + extra, size_t(4096)}));
    return m_buffer.data() + m_used;
}

void VOxaLogger::append(const char* data, size_t count) {
    std::memcpy(grow(count), data, count);
    m_used += count;
}

bool VOxaLogger::waitsForWrites() const {
    // Without a running loop nobody would hear from the writer later: wait.
    return !QCoreApplication::instance() || thread()->loopLevel() == 0;
}

terminal::LogWriter& VOxaLogger::writer() {
    if (!m_writer) {
        terminal::LogFileOpener opener = m_opener ? m_opener : &terminal::openLogFile;
        m_writer = std::make_unique<terminal::LogWriter>(std::move(opener), [this] {
            // On the writer's thread: the reports are handled on ours.
            if (QCoreApplication::instance())
                QMetaObject::invokeMethod(
                    this, [this] { handleReports(); }, Qt::QueuedConnection);
        });
    }
    return *m_writer;
}

void VOxaLogger::appended() {
    // Gather the records of this event; the loop hands them over when the
    // event is done.
    if (m_used >= size_t(FlushThreshold) || waitsForWrites()) {
        Flush();
    } else if (!m_flushPosted) {
        m_flushPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_flushPosted = false;
                Flush();
            },
            Qt::QueuedConnection);
    }
}

void VOxaLogger::handOver() {
    if (m_used == 0)
        return;
    writer().write(m_generation, std::vector<char>(m_buffer.data(), m_buffer.data() + m_used),
                   std::exchange(m_batchMarks, {}), m_pendingRN == 2, m_faulty);
    m_used = 0;
    // Keep the buffer for the next batch unless one huge piece blew it up.
    if (m_buffer.size() > size_t(4 * FlushThreshold))
        std::vector<char>().swap(m_buffer);
    emit recordsQueued();
}

void VOxaLogger::Flush() {
    handOver();
    if (m_writer && waitsForWrites())
        WaitWritten();
}

void VOxaLogger::WaitWritten() {
    if (!m_writer)
        return;
    m_writer->waitWritten();
    handleReports();
}

void VOxaLogger::handleReports() {
    if (!m_writer)
        return;
    for (const terminal::LogReport& report : m_writer->takeReports()) {
        const bool current = m_open && report.generation == m_generation;
        switch (report.kind) {
        case terminal::LogReport::Opened:
            if (current) {
                m_fileName = report.fileName;
                if (OnFileOpened) {
                    TLogFileEvent handler = OnFileOpened; // the handler may replace itself
                    handler(this, m_fileName);
                }
            }
            break;
        case terminal::LogReport::Moved:
            if (current) {
                m_fileName = report.fileName;
                if (OnFileOpened) {
                    TLogFileEvent handler = OnFileOpened;
                    handler(this, m_fileName);
                }
                if (OnLogFault) {
                    TLogFaultEvent handler = OnLogFault;
                    handler(this, false, m_fileName,
                            report.replaced ? tr("another file took the name of the log file")
                                            : tr("the log file was deleted or moved away"));
                }
            }
            break;
        case terminal::LogReport::FolderFailed:
        case terminal::LogReport::OpenFailed:
        case terminal::LogReport::WriteFailed:
            if (current) {
                // What is gathered for that file is counted with its other
                // records; the next record tries again. A line still open
                // began in that file and is lost with it: the rest of it is
                // not logged as a record of its own.
                handOver();
                const int openLine = m_pendingRN == 0 ? m_prevLineType : VOxaTerminal_lt_NoType;
                closeState();
                m_lostRest = openLine;
                if (report.kind == terminal::LogReport::OpenFailed && m_newFileStyle == volnfExact)
                    m_openFailed = true;
            }
            beginFault(report.fileName, faultReason(report.kind, report.error));
            break;
        case terminal::LogReport::Written:
            if (m_faulty && !lossPending()) {
                m_faulty = false;
                if (OnLogFault) {
                    TLogFaultEvent handler = OnLogFault; // the handler may replace itself
                    handler(this, false, report.fileName, QString());
                }
            }
            break;
        }
    }
}

// ---- records not logged ------------------------------------------------------------------

void VOxaLogger::beginFault(const QString& fileName, const QString& reason) {
    if (m_faulty)
        return;
    m_faulty = true;
    if (OnLogFault) {
        TLogFaultEvent handler = OnLogFault;
        handler(this, true, fileName, reason);
    }
}

// A piece that is not logged. Pieces of one line count as one record.
void VOxaLogger::noteLost(int lineType, const Stamp& stamp, bool endsLine) {
    if (lineType != m_lostLineType)
        m_loss.add(1, localMs(stamp));
    m_lostLineType = endsLine ? int(VOxaTerminal_lt_NoType) : lineType;
}

bool VOxaLogger::lossPending() const {
    return !m_loss.empty() || (m_writer && m_writer->hasLoss());
}

// True while more than MaxBacklog bytes wait for the disk (and until half of
// them have been written): whole records are dropped then.
bool VOxaLogger::tooMuchWaiting() {
    if (!m_writer)
        return false;
    const int64_t waiting = m_writer->backlog() + int64_t(m_used);
    if (m_dropping) {
        if (waiting > m_maxBacklog / 2)
            return true;
        m_dropping = false;
        return false;
    }
    if (waiting <= m_maxBacklog)
        return false;
    m_dropping = true;
    // The line before ends here; what follows is dropped whole.
    const bool ended = m_pendingRN != 2;
    if (ended)
        append("\r\n", 2);
    m_prevLineType = VOxaTerminal_lt_NoType;
    m_pendingRN = 2;
    if (ended)
        appended();
    beginFault(m_fileName.isEmpty() ? MakeFileName(m_currentDate) : m_fileName,
               QStringLiteral("the disk does not keep up; records are being dropped"));
    return true;
}

// One line saying how many records were not logged and since when. The line
// being written ends first; the next record starts a line of its own.
void VOxaLogger::appendLossNotice(const Stamp& stamp) {
    terminal::LogLoss loss = std::exchange(m_loss, {});
    if (m_writer)
        loss.add(m_writer->takeLoss());
    if (loss.empty())
        return;
    if (m_pendingRN != 2)
        append("\r\n", 2);
    // When its bytes are lost, the records it reports are counted again.
    m_batchMarks.push_back({uint32_t(m_used), uint32_t(std::min<int64_t>(loss.records, UINT32_MAX)),
                            localMs(stamp), loss.since});
    if (m_options.testFlag(volofDate))
        appendStamp(stamp);
    if (m_options.testFlag(volofLinetype)) {
        const char* prefix = LineTypeInfo(VOxaTerminal_ltExtraA).logPrefix;
        append(prefix, std::strlen(prefix));
    }
    const int64_t sinceDay = floorDiv(loss.since, msPerDay);
    char since[64];
    char* end = putStamp(since, {sinceDay, int(loss.since - sinceDay * msPerDay)});
    const QByteArray text = "-- WARNING: " + QByteArray::number(qlonglong(loss.records)) +
                            " record(s) not logged since " + QByteArray(since, int(end - since)) +
                            " --\r\n";
    append(text.constData(), size_t(text.size()));
    m_prevLineType = VOxaTerminal_lt_NoType;
    m_pendingRN = 2;
}

// ---- records ------------------------------------------------------------------------

void VOxaLogger::appendData(const LineTypeRow& row, const char* data, int count,
                            bool preformatted) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    if (preformatted) {
        append(data, size_t(count));
        return;
    }
    switch (row.mode) {
    case LineTypeMode::Hex: {
        char* p = grow(size_t(count) * 3);
        for (int i = 0; i < count; ++i) {
            *p++ = hexDigits[bytes[i] >> 4];
            *p++ = hexDigits[bytes[i] & 15];
            *p++ = ' ';
        }
        m_used = size_t(p - m_buffer.data());
        break;
    }
    case LineTypeMode::Raw: {
        char* p = grow(size_t(count) * 4);
        for (int i = 0; i < count; ++i) {
            const unsigned char b = bytes[i];
            if (b == '\\') {
                *p++ = '\\';
                *p++ = '\\';
            } else if (b >= 0x20) {
                *p++ = char(b);
            } else {
                *p++ = '\\';
                switch (b) {
                case '\t':
                    *p++ = 't';
                    break;
                case '\n':
                    *p++ = 'n';
                    break;
                case '\r':
                    *p++ = 'r';
                    break;
                default:
                    *p++ = 'x';
                    *p++ = hexDigits[b >> 4];
                    *p++ = hexDigits[b & 15];
                }
            }
        }
        m_used = size_t(p - m_buffer.data());
        break;
    }
    case LineTypeMode::Text: {
        // Trailing line breaks were already cut off by the caller.
        char* p = grow(size_t(count) * 5);
        for (int i = 0; i < count; ++i) {
            const unsigned char b = bytes[i];
            if (b >= 0x20 && b < 0x80) {
                *p++ = char(b);
            } else {
                *p++ = '<';
                *p++ = '#';
                *p++ = hexDigits[b >> 4];
                *p++ = hexDigits[b & 15];
                *p++ = '>';
            }
        }
        m_used = size_t(p - m_buffer.data());
        break;
    }
    }
}

void VOxaLogger::logData(int lineType, const char* data, int count, bool preformatted,
                         int64_t stampMs) {
    if (!m_open && m_newFileStyle == volnfDisabled)
        return;
    // End of line; values outside the table count as "no type" too.
    if (lineType < 0 || lineType >= VOxaTerminal_lt_NoType) {
        const bool ends = m_pendingRN != 2 && m_open;
        if (ends)
            append("\r\n", 2);
        m_prevLineType = VOxaTerminal_lt_NoType;
        m_pendingRN = 2;
        m_lostLineType = VOxaTerminal_lt_NoType;
        m_lostRest = VOxaTerminal_lt_NoType;
        if (ends)
            appended();
        return;
    }
    if (!data || count < 0)
        count = 0;
    if (count == 0 && lineType == m_prevLineType)
        return;

    const LineTypeRow& row = LineTypeInfo(lineType);
    // A line break at the end of a text piece ends the record line: the
    // break itself is not logged, the next record starts a new line.
    int removed = 0;
    if (!preformatted && row.mode == LineTypeMode::Text)
        while (removed < maxTrailingLineBreaks && count > 0 &&
               (data[count - 1] == '\r' || data[count - 1] == '\n')) {
            --count;
            ++removed;
        }

    // The rest of a line whose start was lost with a failed file (and
    // counted) is not logged as a record of its own.
    if (lineType == m_lostRest) {
        if (removed > 0)
            m_lostRest = VOxaTerminal_lt_NoType;
        return;
    }
    m_lostRest = VOxaTerminal_lt_NoType;

    const Stamp stamp = stampMs == StampNow ? now() : localStamp(stampMs);
    // A piece that continues the open line belongs to its record: to the file
    // of the record's day (its first piece's stamp), never cut off by a "not
    // logged" record, never dropped on its own.
    const bool continues = m_open && m_pendingRN == 0 && lineType == m_prevLineType;
    if (m_newFileStyle == volnfDaily && stamp.day != m_currentDay && !continues)
        Close();
    if ((!m_open && !Open2(QString::fromLatin1(dateText(stamp.day)))) ||
        (!continues && tooMuchWaiting())) {
        noteLost(lineType, stamp, removed > 0);
        return;
    }
    m_lostLineType = VOxaTerminal_lt_NoType;
    if (!continues && lossPending())
        appendLossNotice(stamp);

    const int previous = m_pendingRN;
    m_pendingRN = removed > 0 ? 1 : 0;
    const size_t before = m_used;
    const bool newLine = previous == 1 || lineType != m_prevLineType;
    if (newLine) {
        if (previous != 2)
            append("\r\n", 2);
        const int64_t at = localMs(stamp);
        m_batchMarks.push_back({uint32_t(m_used), 1, at, at});
        if (m_options.testFlag(volofDate))
            appendStamp(stamp);
        if (m_options.testFlag(volofLinetype))
            append(row.logPrefix, std::strlen(row.logPrefix));
    }
    appendData(row, data, count, preformatted);
    m_prevLineType = lineType;
    if (m_used != before)
        appended();
}

// ---- file ------------------------------------------------------------------------------

void VOxaLogger::closeState() {
    m_open = false;
    m_dropping = false;
    m_fileName.clear();
    m_currentDate.clear();
    m_currentDay = INT64_MIN;
    m_prevLineType = VOxaTerminal_lt_NoType;
    m_pendingRN = 1;
}

void VOxaLogger::Close() {
    if (m_open) {
        // Records dropped a moment ago are not left unmentioned at the end.
        if (lossPending() && !m_dropping)
            appendLossNotice(now());
        if (m_pendingRN != 2)
            append("\r\n", 2);
        m_pendingRN = 2;
        handOver();
        writer().close(m_generation);
        closeState();
        if (waitsForWrites())
            WaitWritten();
    }
    closeState();
}

QString VOxaLogger::MakeFileName(const QString& token) const {
    QString pattern = m_logPath;
    pattern.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString name;
    switch (m_newFileStyle) {
    case volnfOnOpen:
    case volnfDaily:
        name = pattern.contains(QLatin1Char('*')) ? pattern.replace(QLatin1Char('*'), token)
                                                  : pattern + token;
        break;
    case volnfExact:
        name =
            (pattern.isEmpty() || pattern.endsWith(QLatin1Char('/'))) ? pattern + token : pattern;
        break;
    default:
        DebugNotify(QStringLiteral("Undefined NewFileStyle"));
        name = pattern + token;
        break;
    }
    return QDir::cleanPath(QDir::current().absoluteFilePath(name));
}

// The record that opens the new file when the old one lost its name. Made on
// the writer's thread from copies of what it needs.
terminal::LogMovedRecord VOxaLogger::movedRecordMaker() const {
    return [separator = m_timeSeparator, options = m_options, clock = m_clock](bool replaced,
                                                                               int64_t since) {
        QDateTime now;
        if (clock)
            now = clock();
        if (!now.isValid())
            now = QDateTime::currentDateTime();
        QByteArray text;
        if (options.testFlag(volofDate))
            text += stampText(localMsOf(now), separator) + ": ";
        if (options.testFlag(volofLinetype))
            text += LineTypeInfo(VOxaTerminal_ltExtraA).logPrefix;
        text += replaced ? "-- WARNING: another file took the name of the log file; "
                         : "-- WARNING: the log file was deleted or moved away; ";
        if (since == INT64_MAX)
            text += "no record went to it since --\r\n";
        else
            text += "the records written to it since " + stampText(since, separator) +
                    " follow again --\r\n";
        return std::vector<char>(text.begin(), text.end());
    };
}

bool VOxaLogger::Open2(const QString& token) {
    if (m_open)
        return true;
    if (m_openFailed || m_newFileStyle == volnfDisabled)
        return false;

    const QString name = MakeFileName(token);
    const uint32_t disposition = m_options.testFlag(voloDisableAppend) ? CREATE_NEW : OPEN_ALWAYS;
    terminal::LogOpenRequest request;
    request.folder = QFileInfo(name).absolutePath(); // a missing one is made first
    request.flags = m_newFileOpenFlags;
    request.smoothAppend = m_options.testFlag(voloSmoothAppend);
    request.names.push_back({name, disposition});
    if (m_newFileStyle != volnfExact) {
        // Another writer (a second instance) holds the day's file, or it may
        // not be appended to: use the program's own names. The last one is
        // appended to in any case so that the records are not lost.
        const QString base = token + QLatin1Char(' ') + ProgramName();
        request.names.push_back({MakeFileName(base), disposition});
        for (int i = 1; i <= 9; ++i)
            request.names.push_back({MakeFileName(base + QLatin1Char('-') + QString::number(i)),
                                     i == 9 ? uint32_t(OPEN_ALWAYS) : disposition});
    }
    request.movedRecord = movedRecordMaker();
    ++m_generation;
    writer().open(m_generation, std::move(request));

    m_open = true;
    m_currentDate = token;
    const QDate date = QDate::fromString(token, Qt::ISODate);
    m_currentDay = date.isValid() ? date.toJulianDay() - unixEpochJulianDay : INT64_MIN;
    // The writer puts a line break in front of the first record when the file
    // has contents already (and smooth appending is off).
    m_pendingRN = 2;
    m_openFailed = false;
    if (waitsForWrites())
        WaitWritten(); // a failed open has closed the state again
    return m_open;
}
