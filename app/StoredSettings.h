#pragma once
// The console's settings as they are stored, without widgets: read once at
// start through the application-info component, written once at close. The
// port parameters go straight into the serial component (its configuration
// string is what is written back); the rest is held here for the window's
// controls or for a run without a window.
#include <QString>
#include <QStringList>

#include "app/Session.h"

class TVOXComm32;
class VOxaAppInfo;

namespace app {

struct StoredSettings {
    QString startCmd = QStringLiteral("a:/appmain2.jad");
    QString filter1;
    QString filter2;
    bool strict = false;
    QStringList history1; // oldest first, at most 10
    QStringList history2;
    // The advanced dialog's values (delays as typed there: decimal text).
    bool autoStart = false;
    QString autoStartDelay = QStringLiteral("500");
    bool autoMark = false;
    QString markDelay = QStringLiteral("30000");
    bool autoCmd = false;
    QString autoCmdDelay = QStringLiteral("30000");
    QString autoCmdText = QStringLiteral("at");
    bool createBinLog = false;
    bool alarm = false;
    QString alarmDelay = QStringLiteral("30000");
    LineEnd lineEnd = LineEnd::CR; // what ends a received line

    // The automation values the session runs with (a delay that is no number
    // is its default).
    AutomationSettings Automation() const;
    LineFilters Filters() const;
};

// Reads every setting; the port's into comm, the rest into the result.
// withAdvanced false leaves the advanced values at their defaults (a window
// without its dialog).
StoredSettings LoadStoredSettings(VOxaAppInfo* info, TVOXComm32* comm, bool withAdvanced = true);
// Writes every setting: the port's from comm, the rest from settings.
void SaveStoredSettings(VOxaAppInfo* info, TVOXComm32* comm, const StoredSettings& settings,
                        bool withAdvanced = true);

} // namespace app
