#pragma once
// The desk's own work on a session, without widgets: the quick-send buttons
// with their sequences, and the reactions to received lines. Sequences run
// on the event loop (never blocking it), step by step; what they send is
// shown and logged as sent data, how they end is shown and logged too.
// Reactions see every received line whole; each hit and the rules themselves
// are logged. The window adapts it (the buttons, F1 to F12, the editor); a
// run without a window can share it.
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "macros/QuickSend.h"
#include "macros/Reactions.h"
#include "macros/SequenceRunner.h"

namespace app {

class Session;

class Desk : public QObject {
    Q_OBJECT
public:
    Desk(Session* session, QObject* parent = nullptr);

    // ---- quick-send buttons ----
    void SetButtons(const macros::QuickSendButtons& buttons);
    const macros::QuickSendButtons& Buttons() const { return m_buttons; }
    // Presses button index: its line or sequence runs (a sequence running
    // already is stopped first). An empty button does nothing; a text that
    // cannot run is refused with a notice naming its line.
    void Press(int index);
    // Stops the running sequence (its end says where).
    void Stop();
    bool Running() const { return m_runner.running(); }
    // "Restart: step 3 of 5: wait 5000 ms", or why the last one ended;
    // empty before the first.
    QString SequenceStatus() const { return m_status; }

    // ---- reactions ----
    // The rules' text (see macros/Reactions.h); refused with the message when
    // a line is wrong, the rules in force then stay.
    bool SetReactions(const QString& text, QString* error = nullptr);
    QString ReactionsText() const { return m_reactionsText; }
    const std::vector<macros::ReactionRule>& Reactions() const { return m_reactions.rules(); }

    // A steady clock in milliseconds; a monotonic one when not set.
    std::function<int64_t()> Clock;
    // How often a running sequence looks at the clock.
    static constexpr int PollMs = 10;

    // ---- reports ----
    std::function<void(const QString& status, bool running)> OnSequenceStatus;

private:
    int64_t nowMs() const;
    void lineReceived(const QByteArray& line);
    void react(const macros::ReactionRule& rule, int index, int64_t heldBack);
    void setStatus(const QString& status);
    void note(const QString& text);
    void listen();

    Session* m_session;
    macros::QuickSendButtons m_buttons = macros::DefaultQuickSendButtons();
    macros::SequenceRunner m_runner;
    QString m_running; // the running button's label
    QString m_status;
    QTimer m_poll;
    macros::ReactionEngine m_reactions;
    QString m_reactionsText;
    QMetaObject::Connection m_listening;
};

} // namespace app
