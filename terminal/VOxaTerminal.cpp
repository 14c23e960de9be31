#include "terminal/VOxaTerminal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QWidget>

#include "appinfo/VOxaAppInfo.h"
#include "platform/File.h"
#include "platform/Registry.h"
#include "platform/Ticks.h"
#include "terminal/PageTabDrag.h"
#include "terminal/SendLineText.h"
#include "terminal/TerminalDisplay.h"
#include "terminal/TerminalWindow.h"
#include "util/OxaUtils.h"
#include "util/Ticks.h"

namespace {

constexpr uint32_t defaultLoggerOpenFlags = 0x80000000u;

bool isDataType(int lineType) {
    return lineType >= 0 && lineType < VOxaTerminal_lt_NoType;
}

} // namespace

VOxaTerminal::VOxaTerminal(QObject* owner) : TComponent(owner) {
    static bool tableVerified = false;
    if (!tableVerified) {
        tableVerified = true;
        VerifyLineTypeTable();
    }
    if (auto* form = qobject_cast<QWidget*>(owner))
        buildWindow(form);
    connect(this, &QObject::objectNameChanged, this, [this] { renameControls(); });
    watchApplicationState();
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &VOxaTerminal::SaveHistory);
}

VOxaTerminal::~VOxaTerminal() {
    SaveHistory();
    // A freeze that lasts to the end still leaves its mark in the log.
    m_freezeGap.end(nowMs());
    if (m_freezeGap.pending())
        writeFreezeGap();
    if (m_display)
        m_display->onFlushed = nullptr;
    closeRawCopy();
    m_logger.reset(); // ends the open log line
    destroyWindow();
}

void VOxaTerminal::buildWindow(QWidget* ownerForm) {
    m_form = new TerminalWindow(ownerForm);
    m_form->resize(m_formWidth, m_formHeight);
    m_display = new TerminalDisplay(m_form->RichEdit(), this);
    m_display->onFlushed = [this] { applyTiming(); };
    connectWindow();
    renameControls();
}

void VOxaTerminal::connectWindow() {
    TerminalWindow* form = m_form;
    connect(form, &TerminalWindow::sendLineRequested, this, [this](int terminator) {
        m_sendTerminator = uint8_t(terminator);
        SendLine();
    });
    connect(form, &TerminalWindow::sendDirectRequested, this, &VOxaTerminal::SendDirect);
    connect(form, &TerminalWindow::clearRequested, this, &VOxaTerminal::Clear);
    connect(form, &TerminalWindow::undockRequested, this, &VOxaTerminal::UndockClick);
    connect(form, &TerminalWindow::historyRequested, this, [this] {
        if (OnHistoryRequest)
            OnHistoryRequest(this);
    });
    connect(form, &TerminalWindow::activated, this, &VOxaTerminal::formActivated);
    connect(form, &TerminalWindow::deactivated, this, &VOxaTerminal::SaveHistory);
    connect(form, &TerminalWindow::closeRequested, this, &VOxaTerminal::formCloseRequested);
    connect(form, &TerminalWindow::resized, this, &VOxaTerminal::formResized);
    connect(form, &TerminalWindow::viewHeld, m_display, &TerminalDisplay::setHeld);
    connect(form, &TerminalWindow::moveEnded, this, &VOxaTerminal::formMoveEnded);
    connect(form, &QObject::destroyed, this, [this] {
        forgetWindow();
        SaveHistory();
    });
}

void VOxaTerminal::forgetWindow() {
    if (m_display) {
        m_display->onFlushed = nullptr;
        m_display->deleteLater();
        m_display = nullptr;
    }
    m_tabDrag.reset();
    m_form = nullptr;
    m_parentPageControl = nullptr;
}

void VOxaTerminal::renameControls() {
    if (m_form)
        m_form->renameControls(Name());
}

TerminalWindow* VOxaTerminal::Form() const {
    return m_form;
}

QPlainTextEdit* VOxaTerminal::RichEdit() const {
    return m_form ? m_form->RichEdit() : nullptr;
}

void VOxaTerminal::SetClock(Clock clock) {
    m_clock = std::move(clock);
    m_timeCache = {};
    m_offsetMinute = INT64_MIN;
}

int64_t VOxaTerminal::nowMs() const {
    return m_clock ? m_clock() : QDateTime::currentMSecsSinceEpoch();
}

QString VOxaTerminal::timeOfDayText(int64_t utc) {
    // The local offset only changes with daylight saving; look it up once a minute.
    const int64_t minute = utc / 60000;
    if (minute != m_offsetMinute) {
        m_offsetMinute = minute;
        m_offsetMs = int64_t(QDateTime::fromMSecsSinceEpoch(utc).offsetFromUtc()) * 1000;
    }
    return m_timeCache.text(utc + m_offsetMs);
}

// ---- adding data ----------------------------------------------------------------------

void VOxaTerminal::AddLine(const QByteArray& text, int lineType, int64_t stampMs) {
    AddDataEx(text.constData(), int(text.size()), lineType, lineType, false, stampMs);
    EndLine();
}

void VOxaTerminal::AddText(const QByteArray& text, int lineType, int64_t stampMs) {
    AddDataEx(text.constData(), int(text.size()), lineType, lineType, false, stampMs);
}

void VOxaTerminal::AddData(const void* data, int count, int lineType, int64_t stampMs) {
    AddDataEx(data, count, lineType, lineType, false, stampMs);
}

void VOxaTerminal::AddDataEx(const void* data, int count, int displayType, int logType,
                             bool preformatted, int64_t stampMs) {
    if (count <= 0 || !data)
        return;
    if (m_ignoreAddChars) {
        if (isDataType(displayType) || isDataType(logType))
            m_freezeGap.drop(isDataType(displayType) ? displayType : logType, count);
        return;
    }
    if (m_freezeGap.pending())
        writeFreezeGap();
    const uint32_t tick = platform::GetTickCount();
    // No type (or one outside the table) shows or logs nothing and ends the
    // open line there: the next add starts a line of its own.
    if (!isDataType(displayType)) {
        displayType = VOxaTerminal_lt_NoType;
        endDisplayLine();
    }
    if (!isDataType(logType)) {
        logType = VOxaTerminal_lt_NoType;
        endLogLine();
    }

    if (m_display && displayType != VOxaTerminal_lt_NoType) {
        const LineTypeRow& row = LineTypeInfo(displayType);
        terminal::RenderRequest request;
        request.row = &row;
        request.data = static_cast<const unsigned char*>(data);
        request.count = count;
        request.maxCharsPerLine = m_maxCharsPerLine;
        request.utf8 = m_showUtf8;
        if (displayType != m_lastLineType) {
            const int counter = m_counters.next(displayType);
            const QString time = m_showOptions.contains(votsoShowTimes)
                                     ? timeOfDayText(stampMs == StampNow ? nowMs() : stampMs)
                                     : QString();
            request.header = terminal::FormatLineHeader(m_showOptions, counter, time);
            request.newLine = true;
            request.closePrevious = m_lastLineType != VOxaTerminal_lt_NoType;
        } else {
            request.startColumn = m_display->lastLineLength();
        }
        const terminal::RenderedChunk chunk = terminal::RenderChunk(request);
        m_display->add(chunk, row.color, m_maxLines, m_effectiveMaxChars);
        if (m_rawCopy) {
            request.crlf = true;
            writeRawCopy(terminal::RenderChunk(request).text.toLatin1());
        }
    }

    if (m_logger && logType != VOxaTerminal_lt_NoType && !m_logger->LogPath().isEmpty())
        m_logger->logData(logType, static_cast<const char*>(data), count, preformatted, stampMs);

    m_lastLineType = displayType;
    if (m_form)
        updateTiming(displayType, tick);
}

void VOxaTerminal::EndLine() {
    if (m_ignoreAddChars)
        m_freezeGap.lineEnded();
    endDisplayLine();
    endLogLine();
}

void VOxaTerminal::endDisplayLine() {
    if (m_lastLineType == VOxaTerminal_lt_NoType || !m_display)
        return;
    m_display->endLine(m_maxLines, m_effectiveMaxChars);
    m_lastLineType = VOxaTerminal_lt_NoType;
    if (m_rawCopy)
        writeRawCopy(QByteArrayLiteral("\r\n"));
}

void VOxaTerminal::endLogLine() {
    if (m_logger)
        m_logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
}

void VOxaTerminal::SetIgnoreAddChars(bool value) {
    if (value == m_ignoreAddChars)
        return;
    if (value) {
        // A record still due from the last freeze goes before this one.
        if (m_freezeGap.pending())
            writeFreezeGap();
        m_freezeGap.begin(nowMs());
    } else {
        m_freezeGap.end(nowMs());
    }
    m_ignoreAddChars = value;
}

void VOxaTerminal::writeFreezeGap() {
    const QByteArray record = m_freezeGap.takeRecord().toLatin1();
    const bool ignoring = m_ignoreAddChars;
    m_ignoreAddChars = false;
    AddLine(record, VOxaTerminal_ltExtraR);
    m_ignoreAddChars = ignoring;
}

void VOxaTerminal::Clear() {
    if (m_display)
        m_display->clear();
    m_lastLineType = VOxaTerminal_lt_NoType;
    m_counters.reset();
}

void VOxaTerminal::FlushDisplay() {
    if (m_display)
        m_display->flush();
    applyTiming();
    if (m_logger)
        m_logger->Flush();
}

void VOxaTerminal::updateTiming(int lineType, uint32_t tick) {
    int* field = nullptr;
    switch (lineType) {
    case VOxaTerminal_ltInLine:
    case VOxaTerminal_ltInBin:
    case VOxaTerminal_ltInText:
        field = &m_pendingInTime;
        break;
    case VOxaTerminal_ltOutLine:
    case VOxaTerminal_ltOutBin:
    case VOxaTerminal_ltOutText:
        field = &m_pendingOutTime;
        break;
    default:
        return;
    }
    *field = int(TickDiff(tick, m_lastAddTick));
    m_lastAddTick = tick;
    // The fields show the state after the event; set them when it is handled.
    if (!m_timingPosted) {
        m_timingPosted = true;
        QMetaObject::invokeMethod(
            this, [this] { applyTiming(); }, Qt::QueuedConnection);
    }
}

void VOxaTerminal::applyTiming() {
    m_timingPosted = false;
    if (!m_form) {
        m_pendingInTime = m_pendingOutTime = -1;
        return;
    }
    if (m_pendingInTime >= 0)
        m_form->DebugInTime()->setText(QString::number(m_pendingInTime));
    if (m_pendingOutTime >= 0)
        m_form->DebugOutTime()->setText(QString::number(m_pendingOutTime));
    m_pendingInTime = m_pendingOutTime = -1;
}

// ---- display properties ---------------------------------------------------------------

void VOxaTerminal::SetMaxLines(int value) {
    if (value > 0)
        m_maxLines = value;
}

void VOxaTerminal::SetMaxChars(int value) {
    // Every supported system takes the full limit (no 64K cap).
    if (value > 0 && value != m_effectiveMaxChars) {
        m_maxChars = value;
        m_effectiveMaxChars = value;
    }
}

void VOxaTerminal::SetShowTimes(bool value) {
    if (value)
        m_showOptions.include(votsoShowTimes);
    else
        m_showOptions.exclude(votsoShowTimes);
}

void VOxaTerminal::SetDebugWindowsVisible(bool value) {
    if (!m_form)
        return;
    m_debugWindowsVisible = value;
    m_form->setTimingFieldsVisible(value);
    if (m_display)
        m_display->setImmediateRepaint(value);
}

void VOxaTerminal::SetCaption(const QString& value) {
    m_caption = value;
    m_captionAssigned = true;
    if (m_form)
        m_form->setWindowTitle(value);
    if (QTabWidget* pages = dockSite())
        pages->setTabText(pages->indexOf(m_form), value);
}

// ---- raw copy file -----------------------------------------------------------------------

void VOxaTerminal::SetLogFileName(const QString& value) {
    if (value == m_logFileName)
        return;
    closeRawCopy();
    m_logFileName = value;
    if (value.isEmpty())
        return;
    auto file = std::make_unique<platform::File>();
    if (file->open(value, platform::GENERIC_READ | platform::GENERIC_WRITE,
                   platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                   platform::OPEN_ALWAYS) != 0)
        return; // silently not used
    file->seek(0, 2);
    file->write("\r\n\r\n", 4);
    m_rawCopy = std::move(file);
}

void VOxaTerminal::closeRawCopy() {
    m_rawCopy.reset();
}

void VOxaTerminal::writeRawCopy(const QByteArray& bytes) {
    if (!m_rawCopy)
        return;
    m_rawCopy->write(bytes.constData(), bytes.size());
    limitRawCopy();
}

void VOxaTerminal::limitRawCopy() {
    // The limit is unsigned, so -1 means none.
    const uint32_t limit = uint32_t(m_logFileMaxLen);
    const int64_t size = m_rawCopy->size();
    if (size <= int64_t(limit))
        return;
    const int64_t keep = int64_t(limit / 10) * 9;
    QByteArray tail(qsizetype(keep), Qt::Uninitialized);
    int64_t got = 0;
    if (m_rawCopy->seek(size - keep, 0) >= 0)
        while (got < keep) {
            const int64_t n = m_rawCopy->read(tail.data() + got, keep - got);
            if (n <= 0)
                break;
            got += n;
        }
    if (got != keep) {
        m_rawCopy->seek(0, 2);
        return;
    }
    m_rawCopy->seek(0, 0);
    m_rawCopy->write(tail.constData(), keep);
    m_rawCopy->truncate(keep);
    m_rawCopy->seek(keep, 0);
}

// ---- logger properties -------------------------------------------------------------------

VOxaLogger* VOxaTerminal::ensureLogger() {
    if (!m_logger) {
        m_logger = std::make_unique<VOxaLogger>(nullptr);
        m_logger->SetLogPath(QString());
    }
    return m_logger.get();
}

QString VOxaTerminal::LoggerFilename() const {
    return m_logger ? m_logger->LogPath() : QString();
}

void VOxaTerminal::SetLoggerFilename(const QString& value) {
    if (!m_logger && value.isEmpty())
        return;
    if (!m_logger) {
        ensureLogger();
        m_logger->SetNewFileStyle(volnfOnOpen);
    }
    m_logger->SetLogPath(value);
}

VOxaLoggerNewFileStyle VOxaTerminal::LoggerNamingStyle() const {
    return m_logger ? m_logger->NewFileStyle() : volnfOnOpen;
}

void VOxaTerminal::SetLoggerNamingStyle(VOxaLoggerNewFileStyle value) {
    if (!m_logger && value == volnfOnOpen)
        return;
    ensureLogger()->SetNewFileStyle(value);
}

uint32_t VOxaTerminal::LoggerOpenFlags() const {
    return m_logger ? m_logger->NewFileOpenFlags() : defaultLoggerOpenFlags;
}

void VOxaTerminal::SetLoggerOpenFlags(uint32_t value) {
    if (!m_logger && value == defaultLoggerOpenFlags)
        return;
    ensureLogger()->SetNewFileOpenFlags(value);
}

// ---- window properties ---------------------------------------------------------------------

void VOxaTerminal::SetShowHexEdit(bool value) {
    if (value == m_showHexEdit)
        return;
    m_showHexEdit = value;
    if (!IsLoading())
        ApplyHexEditLayout();
}

void VOxaTerminal::ApplyHexEditLayout() {
    if (m_form)
        m_form->applyHexEditLayout(m_showHexEdit);
}

void VOxaTerminal::SetModeItems(const QStringList& items) {
    m_modeItems = items;
    if (m_form)
        m_form->setModeItems(items);
}

int VOxaTerminal::ModeIndex() {
    if (m_form)
        m_modeIndex = m_form->modeIndex();
    return m_modeIndex;
}

void VOxaTerminal::SetModeIndex(int value) {
    m_modeIndex = std::max(-1, value);
    if (m_form)
        m_form->setModeIndex(m_modeIndex);
}

void VOxaTerminal::SetFormOnTop(bool value) {
    m_formOnTop = value;
    if (!m_form)
        return;
    const bool wasVisible = m_form->isVisible();
    m_form->setWindowFlag(Qt::WindowStaysOnTopHint, value);
    if (wasVisible)
        m_form->show();
}

// ---- loading complete
// ----------------------------------------------------------------------------

void VOxaTerminal::Loaded() {
    TComponent::Loaded();
    if (m_form) {
        m_form->move(m_formLeft, m_formTop);
        ApplyDocking();
        applyFormVisible();
    }
    m_lastAddTick = platform::GetTickCount() - 2000;
    if (m_form) {
        if (m_showOnTaskbar)
            ApplyTaskbarStyle(false);
        m_form->setTimingFieldsVisible(m_debugWindowsVisible);
        if (m_display)
            m_display->setImmediateRepaint(m_debugWindowsVisible);
        ApplyHexEditLayout();
        m_form->setModeIndex(m_modeIndex);
        fitIntoWorkArea();
        notePlacement();
        if (auto* ownerForm = qobject_cast<QWidget*>(Owner()))
            m_form->setFont(ownerForm->font());
        if (OnFormCreate)
            OnFormCreate(this, m_form, m_form->RichEdit());
    }
    LoadHistory();
}

// ---- sending
// ----------------------------------------------------------------------------------------

bool VOxaTerminal::refuseSend() {
    if (!m_form)
        return false;
    const QString text = m_form->sendText();
    QString notice;
    if (const qsizetype at = terminal::FindUnsendable(text); at >= 0)
        notice = terminal::UnsendableNotice(text, at);
    else if (text.size() > terminal::kMaxSendChars)
        notice = terminal::TooLongNotice(text.size());
    else if (const qsizetype bad = terminal::FindNonHexPair(m_form->hexText()); bad >= 0)
        notice = terminal::NonHexNotice(m_form->hexText(), bad);
    if (notice.isEmpty())
        return false;
    // Nothing is sent and the lines keep the text, so the operator can mend it.
    m_sendTerminator = 0;
    m_form->showNotice(notice);
    return true;
}

void VOxaTerminal::SendLine() {
    QByteArray data;
    if (m_form) {
        // The bytes come from the hex line, so control characters typed there
        // in hexadecimal are sent exactly; the history keeps the manual text.
        if (refuseSend())
            return;
        data = terminal::SendBytes(m_form->sendText());
        if (terminal::AddToHistory(m_history, m_form->manualText())) {
            m_historySaved = false;
            showHistory();
        }
    }
    if (m_sendTerminator == 0)
        m_sendTerminator = 13;
    if (OnTermSendData) {
        data.append(char(m_sendTerminator));
        OnTermSendData(this, reinterpret_cast<const uint8_t*>(data.constData()), int(data.size()),
                       true);
    }
    m_sendTerminator = 0;
    if (m_form)
        m_form->clearSendLines();
}

void VOxaTerminal::SendDirect() {
    if (refuseSend())
        return;
    if (OnTermSendData) {
        const QByteArray data = terminal::SendBytes(m_form ? m_form->sendText() : QString());
        OnTermSendData(this, reinterpret_cast<const uint8_t*>(data.constData()), int(data.size()),
                       false);
    }
    m_sendTerminator = 0;
    if (m_form)
        m_form->clearSendLines();
}

// ---- send history in the registry
// ---------------------------------------------------------------------

VOxaAppInfo* VOxaTerminal::OxaAppInfo() const {
    return m_oxaAppInfo;
}

void VOxaTerminal::SetOxaAppInfo(VOxaAppInfo* value) {
    m_oxaAppInfo = value;
}

QString VOxaTerminal::historyKey() const {
    QString key = m_oxaAppInfo->RegistryPath();
    if (!key.endsWith(u'\\'))
        key += u'\\';
    return key + m_oxaAppInfo->AppName() + QStringLiteral("\\OxaTerminalHistory");
}

void VOxaTerminal::showHistory() {
    if (m_form)
        m_form->setHistory(m_history);
}

void VOxaTerminal::LoadHistory() {
    if (m_oxaAppInfo) {
        platform::Registry registry(platform::RegHive::CurrentUser);
        const QString key = historyKey();
        if (registry.openKey(key, true)) {
            m_history.clear();
            for (const platform::RegValue& value : registry.values(key + u'\\' + Name()))
                m_history << (value.isDword() ? QString::number(value.dword()) : value.text());
            showHistory();
        }
    }
    m_historySaved = true;
}

void VOxaTerminal::SaveHistory() {
    if (!m_oxaAppInfo || m_historySaved)
        return;
    platform::Registry registry(platform::RegHive::CurrentUser);
    const QString key = historyKey() + u'\\' + Name();
    if (registry.keyExists(key) && !registry.deleteKey(key))
        return; // try again the next time
    for (int i = 0; i < m_history.size(); ++i)
        if (!registry.setString(key, QString::number(i), m_history[i]))
            return;
    m_historySaved = true;
}
