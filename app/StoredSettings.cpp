#include "app/StoredSettings.h"

#include "appinfo/VOxaAppInfo.h"
#include "comm/VOXComm32.h"

namespace app {

namespace {

const QString SectionSettings = QStringLiteral("Settings");
const QString SectionPort = QStringLiteral("Port");
const QString SectionAdvanced = QStringLiteral("Advanced");
const QString SectionFilter1History = QStringLiteral("Filter1History");
const QString SectionFilter2History = QStringLiteral("Filter2History");

constexpr int HistorySlots = 10;

// A stored flag counts as set only when it is exactly 1.
bool loadFlag(VOxaAppInfo* info, const QString& section, const QString& name) {
    return info->ReadUserInteger(section, name, 0) == 1;
}

QString loadDelay(VOxaAppInfo* info, const QString& name, int defaultValue) {
    return QString::number(info->ReadUserInteger(SectionAdvanced, name, defaultValue));
}

void saveDelay(VOxaAppInfo* info, const QString& name, int defaultValue, const QString& text) {
    info->WriteUserInteger(SectionAdvanced, name, StrToIntDef(text, defaultValue));
}

// The history slots "0" to "9" in order; empty or missing slots are skipped.
QStringList loadHistory(VOxaAppInfo* info, const QString& section) {
    QStringList items;
    for (int i = 0; i < HistorySlots; ++i) {
        const QString item = info->ReadUserString(section, QString::number(i), QString());
        if (!item.isEmpty())
            items << item;
    }
    return items;
}

// Stores exactly the list, oldest first, and removes the numbers a longer
// list left behind.
void saveHistory(VOxaAppInfo* info, const QString& section, const QStringList& items) {
    for (int i = 0; i < HistorySlots; ++i) {
        if (items.size() > i)
            info->WriteUserString(section, QString::number(i), items.at(i));
        else
            info->DeleteUserValue(section, QString::number(i));
    }
}

} // namespace

AutomationSettings StoredSettings::Automation() const {
    AutomationSettings a;
    // Intervals are unsigned, so a negative number becomes a very long
    // period, as it always has.
    a.autoStart = autoStart;
    a.autoStartDelay = uint32_t(StrToIntDef(autoStartDelay, 500));
    a.autoMark = autoMark;
    a.markDelay = uint32_t(StrToIntDef(markDelay, 30000));
    a.autoCmd = autoCmd;
    a.autoCmdDelay = uint32_t(StrToIntDef(autoCmdDelay, 30000));
    a.autoCmdText = autoCmdText.toLatin1();
    a.alarm = alarm;
    a.alarmDelay = uint32_t(StrToIntDef(alarmDelay, 30000));
    a.lineEnd = lineEnd;
    return a;
}

LineFilters StoredSettings::Filters() const {
    LineFilters filters;
    filters.filter1 = FilterFromText(filter1);
    filters.filter2 = FilterFromText(filter2);
    filters.strict = strict;
    return filters;
}

StoredSettings LoadStoredSettings(VOxaAppInfo* info, TVOXComm32* comm, bool withAdvanced) {
    StoredSettings s;
    s.startCmd = info->ReadLayeredString(SectionSettings, QStringLiteral("StartCmd"), s.startCmd);

    // The separate port values only matter until the configuration string
    // exists: they make its default.
    comm->SetCommPort(
        info->ReadLayeredString(SectionPort, QStringLiteral("ComPort"), QStringLiteral("COM1")));
    const int baud =
        info->ReadLayeredInteger(SectionPort, QStringLiteral("Baudrate"), int(TBaudRate::_115200));
    if (baud >= 0 && baud < kBaudRateCount)
        comm->SetBaudRate(TBaudRate(baud));
    const int parity =
        info->ReadLayeredInteger(SectionPort, QStringLiteral("Parity"), int(TParity::None));
    if (parity >= int(TParity::None) && parity <= int(TParity::Space))
        comm->SetParity(TParity(parity));
    const int stopBits =
        info->ReadLayeredInteger(SectionPort, QStringLiteral("StopBits"), int(TStopBits::_1));
    if (stopBits >= int(TStopBits::_1) && stopBits <= int(TStopBits::_2))
        comm->SetStopBits(TStopBits(stopBits));
    comm->SetConfigAsString(info->ReadLayeredString(SectionPort, QStringLiteral("ConfigString"),
                                                    comm->GetConfigAsString()));

    s.filter1 = info->ReadUserString(SectionSettings, QStringLiteral("Filter1"), {});
    s.filter2 = info->ReadUserString(SectionSettings, QStringLiteral("Filter2"), {});
    s.strict = loadFlag(info, SectionSettings, QStringLiteral("FilterStrict"));
    s.history1 = loadHistory(info, SectionFilter1History);
    s.history2 = loadHistory(info, SectionFilter2History);

    if (!withAdvanced)
        return s;
    s.autoStart = loadFlag(info, SectionAdvanced, QStringLiteral("AutoStart"));
    s.autoStartDelay = loadDelay(info, QStringLiteral("AutoStartDelay"), 500);
    s.autoMark = loadFlag(info, SectionAdvanced, QStringLiteral("AutoMark"));
    s.markDelay = loadDelay(info, QStringLiteral("AutoMarkDelay"), 30000);
    s.autoCmd = loadFlag(info, SectionAdvanced, QStringLiteral("AutoCmd"));
    s.autoCmdDelay = loadDelay(info, QStringLiteral("AutoCmdDelay"), 30000);
    s.autoCmdText =
        info->ReadUserString(SectionAdvanced, QStringLiteral("AutoCmdText"), QStringLiteral("at"));
    s.createBinLog = loadFlag(info, SectionAdvanced, QStringLiteral("CreateBinLog"));
    s.alarm = loadFlag(info, SectionAdvanced, QStringLiteral("Alarm"));
    s.alarmDelay = loadDelay(info, QStringLiteral("AlarmDelay"), 30000);
    // A stored value outside the list (a newer version's) reads as CR.
    const int lineEnd = info->ReadUserInteger(SectionAdvanced, QStringLiteral("LineEnds"), 0);
    s.lineEnd = lineEnd > 0 && lineEnd < kLineEndCount ? LineEnd(lineEnd) : LineEnd::CR;
    return s;
}

void SaveStoredSettings(VOxaAppInfo* info, TVOXComm32* comm, const StoredSettings& s,
                        bool withAdvanced) {
    info->WriteUserString(SectionSettings, QStringLiteral("StartCmd"), s.startCmd);
    info->WriteUserString(SectionPort, QStringLiteral("ConfigString"), comm->GetConfigAsString());
    info->WriteUserString(SectionSettings, QStringLiteral("Filter1"), s.filter1);
    info->WriteUserString(SectionSettings, QStringLiteral("Filter2"), s.filter2);
    info->WriteUserBool(SectionSettings, QStringLiteral("FilterStrict"), s.strict);
    saveHistory(info, SectionFilter1History, s.history1);
    saveHistory(info, SectionFilter2History, s.history2);

    if (!withAdvanced)
        return;
    info->WriteUserBool(SectionAdvanced, QStringLiteral("AutoStart"), s.autoStart);
    saveDelay(info, QStringLiteral("AutoStartDelay"), 500, s.autoStartDelay);
    info->WriteUserBool(SectionAdvanced, QStringLiteral("AutoMark"), s.autoMark);
    saveDelay(info, QStringLiteral("AutoMarkDelay"), 30000, s.markDelay);
    info->WriteUserBool(SectionAdvanced, QStringLiteral("AutoCmd"), s.autoCmd);
    saveDelay(info, QStringLiteral("AutoCmdDelay"), 30000, s.autoCmdDelay);
    info->WriteUserString(SectionAdvanced, QStringLiteral("AutoCmdText"), s.autoCmdText);
    info->WriteUserBool(SectionAdvanced, QStringLiteral("CreateBinLog"), s.createBinLog);
    info->WriteUserBool(SectionAdvanced, QStringLiteral("Alarm"), s.alarm);
    saveDelay(info, QStringLiteral("AlarmDelay"), 30000, s.alarmDelay);
    info->WriteUserInteger(SectionAdvanced, QStringLiteral("LineEnds"), int(s.lineEnd));
}

} // namespace app
