#include "app/Headless.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <cstdio>

#include "DralvoVersion.h"
#include "app/CommandLine.h"
#include "app/ControlVerbs.h"
#include "app/Desk.h"
#include "app/DeskSettings.h"
#include "app/LogLocation.h"
#include "app/Session.h"
#include "app/StoredSettings.h"
#include "appinfo/VOxaAppInfo.h"
#include "comm/VOXComm32.h"
#include "comm/VOXComm32Trace.h"
#include "platform/ControlChannel.h"
#include "terminal/VOxaLogger.h"
#include "terminal/VOxaTerminal.h"

namespace {

// One status line on standard error: "yyyy-mm-dd hh:mm:ss.zzz text".
void statusLine(const QString& text) {
    const QByteArray line =
        (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")) + text)
            .toLocal8Bit() +
        '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

// Where the translation tool and the program find these texts.
struct HeadlessTexts {
    Q_DECLARE_TR_FUNCTIONS(Headless)
};

} // namespace

int RunHeadless(const StartOptions& options) {
    // The components live below a plain object: the terminal builds no window.
    QObject owner;
    auto* appInfo = new VOxaAppInfo(&owner);
    auto* terminal = new VOxaTerminal(&owner);
    TComponent::BeginLoadingAll(&owner);
    terminal->SetLoggerOpenFlags(0x80000000u);
    appInfo->SetAppName(QStringLiteral(DRALVO_APP_KEY));
    appInfo->SetRegistryPath(QStringLiteral("Software\\Oxatek\\"));
    TComponent::LoadedAll(&owner);

    const QString home = QDir::homePath();
    app::Session session(&owner, terminal, app::LogPatternFor(options, QDir::currentPath(), home));
    session.OnStateLine = [](const QString&, const QString& line) { statusLine(line); };
    session.OnNotice = [](const QString& text) {
        if (!text.isEmpty())
            statusLine(text);
    };
    session.OnLogFile = [](const QString& fileName) {
        statusLine(HeadlessTexts::tr("Log: %1").arg(fileName));
    };

    const QString settingsNotice = appInfo->CheckSettingsFiles();
    if (!settingsNotice.isEmpty())
        statusLine(settingsNotice);
    const app::StoredSettings settings = app::LoadStoredSettings(appInfo, session.commMain);
    session.SetFilters(settings.Filters());
    session.SetStartCommand(settings.startCmd.toLatin1());
    app::ApplyPortOptions(options, session.commMain);
    // The reactions run here too (their buttons with them); what they do is
    // logged as in the window.
    app::Desk desk(&session);
    const app::DeskSettings deskSettings = app::LoadDeskSettings(appInfo);
    desk.SetButtons(deskSettings.buttons);
    QString rulesProblem;
    if (!desk.SetReactions(deskSettings.reactions, &rulesProblem))
        statusLine(rulesProblem);

    platform::ControlChannel channel;
    channel.OnMessage = [&session](uint32_t message) {
        return app::AnswerControlMessage(session, message);
    };
    channel.OnTrace = [](const QString& text) { comm::TraceLine("error", text); };
    app::ControlVerbs verbs(&session, &channel);
    verbs.SetInstanceName(options.name);
    if (channel.listen(platform::controlSocketDir(), app::ControlSocketBaseName(options))) {
        statusLine(HeadlessTexts::tr("Control socket: %1").arg(channel.path()));
        if (!channel.fallbackReason().isEmpty())
            statusLine(HeadlessTexts::tr("Control socket is not %1: %2")
                           .arg(channel.firstPath(), channel.fallbackReason()));
    } else {
        statusLine(HeadlessTexts::tr("No control socket: %1").arg(channel.errorString()));
    }

    platform::TerminationSignals termination;
    termination.OnSignal = [](int) { QCoreApplication::exit(0); };

    // A run without a window is there to log: it connects at once.
    session.ApplyAdvancedSettings(settings.Automation());
    // After the component's first state report, which is already posted, as
    // when a button is pressed once the window shows.
    QMetaObject::invokeMethod(
        &session,
        [&session, start = options.start] {
            if (start)
                session.Start();
            else
                session.Connect();
        },
        Qt::QueuedConnection);
    const int status = QCoreApplication::exec();

    // Everything received so far reaches the log before the end.
    channel.close();
    session.commMain->StopComm();
    terminal->EndLine();
    terminal->Logger()->Flush();
    terminal->Logger()->WaitWritten();
    statusLine(HeadlessTexts::tr("Ended."));
    return status;
}
