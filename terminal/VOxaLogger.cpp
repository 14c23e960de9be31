#include "terminal/VOxaLogger.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

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

} // namespace

VOxaLogger::VOxaLogger(QObject* owner) : TComponent(owner) {
    m_timeSeparator = LocaleTimeSeparator().toLocal8Bit().left(8);
    if (m_timeSeparator.isEmpty())
        m_timeSeparator = ":";
    Close();
}

VOxaLogger::~VOxaLogger() {
    Close();
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
    return m_stream ? m_stream->Handle() : -1;
}

QString VOxaLogger::ProgramName() {
    QString path;
    if (QCoreApplication::instance())
        path = QCoreApplication::applicationFilePath();
    if (path.isEmpty())
        path = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
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
    // The local offset is looked up once a minute: converting every record
    // through the time-zone database would cost a stat of the zone file each.
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const int64_t utc = int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
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
        const QDate date = QDate::fromJulianDay(day + unixEpochJulianDay);
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year(), date.month(), date.day());
        m_dateText = QByteArray(text);
        m_textDay = day;
    }
    return m_dateText;
}

void VOxaLogger::appendStamp(const Stamp& stamp) {
    const QByteArray& date = dateText(stamp.day);
    const int ms = stamp.msecsOfDay;
    char* p = grow(size_t(date.size()) + 2 * size_t(m_timeSeparator.size()) + 16);
    std::memcpy(p, date.constData(), size_t(date.size()));
    p += date.size();
    *p++ = ' ';
    p = putTwoDigits(p, ms / 3600000);
    std::memcpy(p, m_timeSeparator.constData(), size_t(m_timeSeparator.size()));
    p += m_timeSeparator.size();
    p = putTwoDigits(p, ms / 60000 % 60);
    std::memcpy(p, m_timeSeparator.constData(), size_t(m_timeSeparator.size()));
    p += m_timeSeparator.size();
    p = putTwoDigits(p, ms / 1000 % 60);
    *p++ = '.';
    *p++ = char('0' + ms % 1000 / 100);
    p = putTwoDigits(p, ms % 100);
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

void VOxaLogger::appended() {
    // Gather the records of this event; the loop writes them when the event is
    // done. Without a running loop nobody would, so write now.
    if (m_used >= size_t(FlushThreshold) || !QCoreApplication::instance() ||
        thread()->loopLevel() == 0) {
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

bool VOxaLogger::writeBuffer() {
    if (m_used == 0)
        return true;
    const int64_t count = int64_t(m_used);
    m_used = 0;
    const bool written = !m_stream || WriteLog(m_buffer.data(), count) == count;
    // Keep the buffer for the next batch unless one huge piece blew it up.
    if (m_buffer.size() > size_t(4 * FlushThreshold))
        std::vector<char>().swap(m_buffer);
    return written;
}

int64_t VOxaLogger::WriteLog(const char* data, int64_t count) {
    if (!m_stream)
        return -1;
    const int64_t written = m_stream->Write(data, count);
    if (written >= count)
        return written;
    // One more attempt, for the part not yet written (writing the whole buffer
    // again would repeat the bytes a short write did put into the file).
    const int64_t done = std::max<int64_t>(written, 0);
    const int64_t again = m_stream->Write(data + done, count - done);
    if (again > 0)
        return done + again;
    return done > 0 ? done : again;
}

void VOxaLogger::Flush() {
    if (!writeBuffer())
        Close();
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

void VOxaLogger::logData(int lineType, const char* data, int count, bool preformatted) {
    if (!m_stream && m_newFileStyle == volnfDisabled)
        return;
    // End of line; values outside the table count as "no type" too.
    if (lineType < 0 || lineType >= VOxaTerminal_lt_NoType) {
        if (m_pendingRN != 2 && m_stream) {
            append("\r\n", 2);
            appended();
        }
        m_prevLineType = VOxaTerminal_lt_NoType;
        m_pendingRN = 2;
        return;
    }
    if (!data || count < 0)
        count = 0;
    if (count == 0 && lineType == m_prevLineType)
        return;

    const Stamp stamp = now();
    if (m_newFileStyle == volnfDaily && stamp.day != m_currentDay)
        Close();
    if (!m_stream && !Open2(QString::fromLatin1(dateText(stamp.day))))
        return;

    const int previous = m_pendingRN;
    m_pendingRN = 0;
    const LineTypeRow& row = LineTypeInfo(lineType);
    if (!preformatted && row.mode == LineTypeMode::Text) {
        // A line break at the end of a text piece ends the record line: the
        // break itself is not logged, the next record starts a new line.
        int removed = 0;
        while (removed < maxTrailingLineBreaks && count > 0 &&
               (data[count - 1] == '\r' || data[count - 1] == '\n')) {
            --count;
            ++removed;
        }
        if (removed > 0)
            m_pendingRN = 1;
    }

    const size_t before = m_used;
    if (previous == 1 || lineType != m_prevLineType) {
        if (previous != 2)
            append("\r\n", 2);
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

void VOxaLogger::Close() {
    if (m_stream) {
        if (m_pendingRN != 2)
            append("\r\n", 2);
        writeBuffer(); // a failure changes nothing: the file is closed anyway
        m_stream.reset();
    }
    m_used = 0;
    m_fileName.clear();
    m_currentDate.clear();
    m_currentDay = INT64_MIN;
    m_prevLineType = VOxaTerminal_lt_NoType;
    m_pendingRN = 1;
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

bool VOxaLogger::tryOpen(const QString& name, uint32_t disposition) {
    try {
        m_stream = std::make_unique<TOxaFileStream>(name, GENERIC_WRITE, FILE_SHARE_READ,
                                                    disposition, m_newFileOpenFlags);
    } catch (...) {
        m_stream.reset();
        return false;
    }
    m_fileName = name;
    return true;
}

bool VOxaLogger::Open2(const QString& token) {
    if (m_stream)
        return true;
    if (m_openFailed || m_newFileStyle == volnfDisabled)
        return false;

    const QString name = MakeFileName(token);
    if (!QDir().mkpath(QFileInfo(name).absolutePath()))
        return false; // the next record tries again
    const uint32_t disposition = m_options.testFlag(voloDisableAppend) ? CREATE_NEW : OPEN_ALWAYS;
    if (!tryOpen(name, disposition)) {
        if (m_newFileStyle == volnfExact) {
            m_openFailed = true;
            return false;
        }
        // Another writer (a second instance) holds the day's file, or it may
        // not be appended to: use the program's own names. The last one is
        // appended to in any case so that the records are not lost.
        const QString base = token + QLatin1Char(' ') + ProgramName();
        if (!tryOpen(MakeFileName(base), disposition))
            for (int i = 1; i <= 9 && !m_stream; ++i)
                tryOpen(MakeFileName(base + QLatin1Char('-') + QString::number(i)),
                        i == 9 ? OPEN_ALWAYS : disposition);
    }
    if (!m_stream)
        return false;

    m_currentDate = token;
    const QDate date = QDate::fromString(token, Qt::ISODate);
    m_currentDay = date.isValid() ? date.toJulianDay() - unixEpochJulianDay : INT64_MIN;
    const int64_t end = m_stream->Seek(0, 2);
    m_pendingRN = (end == 0 || m_options.testFlag(voloSmoothAppend)) ? 2 : 1;
    m_openFailed = false;
    return true;
}
