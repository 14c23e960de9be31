#pragma once
// The desk's settings in the hive: the quick-send buttons (section
// "QuickSend": "Count", then "Label1", "Text1", ... with line breaks escaped),
// the reaction rules ("Reactions", "Rules") and the display switches
// ("Settings", "ShowHex" and "ShowUtf8"). A hive written before there were
// quick-send buttons (no "Count") gives the default buttons.
#include <QString>

#include "macros/QuickSend.h"

class VOxaAppInfo;

namespace app {

struct DeskSettings {
    macros::QuickSendButtons buttons = macros::DefaultQuickSendButtons();
    QString reactions;
    bool showHex = false;  // received lines shown in hexadecimal
    bool showUtf8 = false; // UTF-8 in received lines shown as text
};

DeskSettings LoadDeskSettings(VOxaAppInfo* info);
void SaveDeskSettings(VOxaAppInfo* info, const DeskSettings& settings);

} // namespace app
