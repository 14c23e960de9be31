#include "app/DeskSettings.h"

#include "appinfo/VOxaAppInfo.h"

namespace app {

namespace {
const QString SectionQuickSend = QStringLiteral("QuickSend");
const QString SectionReactions = QStringLiteral("Reactions");
const QString SectionSettings = QStringLiteral("Settings");
const QString Count = QStringLiteral("Count");
QString label(int i) {
    return QStringLiteral("Label%1").arg(i + 1);
}
QString text(int i) {
    return QStringLiteral("Text%1").arg(i + 1);
}
} // namespace

DeskSettings LoadDeskSettings(VOxaAppInfo* info) {
    DeskSettings s;
    const int count = info->ReadUserInteger(SectionQuickSend, Count, -1);
    if (count >= 0) {
        s.buttons.clear();
        for (int i = 0; i < std::min(count, macros::kMaxQuickSendButtons); ++i)
            s.buttons.push_back(
                {info->ReadUserString(SectionQuickSend, label(i), QString()),
                 macros::DecodeButtonText(info->ReadUserString(SectionQuickSend, text(i), {}))});
    }
    s.reactions = macros::DecodeButtonText(
        info->ReadUserString(SectionReactions, QStringLiteral("Rules"), {}));
    s.showHex = info->ReadUserInteger(SectionSettings, QStringLiteral("ShowHex"), 0) == 1;
    s.showUtf8 = info->ReadUserInteger(SectionSettings, QStringLiteral("ShowUtf8"), 0) == 1;
    return s;
}

void SaveDeskSettings(VOxaAppInfo* info, const DeskSettings& s) {
    const int before = info->ReadUserInteger(SectionQuickSend, Count, 0);
    const int count = int(s.buttons.size());
    info->WriteUserInteger(SectionQuickSend, Count, count);
    for (int i = 0; i < count; ++i) {
        info->WriteUserString(SectionQuickSend, label(i), s.buttons[size_t(i)].label);
        info->WriteUserString(SectionQuickSend, text(i),
                              macros::EncodeButtonText(s.buttons[size_t(i)].text));
    }
    // A shorter list leaves no stale buttons behind.
    for (int i = count; i < std::min(before, macros::kMaxQuickSendButtons); ++i) {
        info->DeleteUserValue(SectionQuickSend, label(i));
        info->DeleteUserValue(SectionQuickSend, text(i));
    }
    info->WriteUserString(SectionReactions, QStringLiteral("Rules"),
                          macros::EncodeButtonText(s.reactions));
    info->WriteUserBool(SectionSettings, QStringLiteral("ShowHex"), s.showHex);
    info->WriteUserBool(SectionSettings, QStringLiteral("ShowUtf8"), s.showUtf8);
}

} // namespace app
