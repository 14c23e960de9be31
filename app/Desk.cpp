#include "app/Desk.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <utility>

#include "app/Session.h"

namespace app {

Desk::Desk(Session* session, QObject* parent) : QObject(parent), m_session(session) {
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, [this] { m_runner.poll(nowMs()); });
    m_runner.send = [this](const QByteArray& bytes) {
        m_session->SendData(bytes.constData(), int(bytes.size()));
    };
    m_runner.onStep = [this](int index, const macros::Step& step) {
        setStatus(QCoreApplication::translate("app::Desk", "%1: step %2 of %3: %4")
                      .arg(m_running)
                      .arg(index + 1)
                      .arg(m_runner.stepCount())
                      .arg(step.describe()));
    };
    m_runner.onFinished = [this](bool completed, const QString& reason) {
        m_poll.stop();
        listen();
        if (completed) {
            setStatus(QCoreApplication::translate("app::Desk", "%1: done").arg(m_running));
            return;
        }
        // Why a sequence did not finish is kept in the log with the traffic.
        note(QStringLiteral("-- Sequence \"%1\" %2 --").arg(m_running, reason));
        setStatus(QCoreApplication::translate("app::Desk", "%1: %2").arg(m_running, reason));
    };
}

void Desk::listen() {
    // Lines are joined for the desk only while a rule or a sequence waits for
    // them: a flood costs nothing more when neither is there.
    const bool wanted = m_runner.running() || !m_reactions.rules().empty();
    if (wanted == bool(m_listening))
        return;
    if (wanted)
        m_listening = connect(m_session, &Session::lineReceived, this, &Desk::lineReceived);
    else
        disconnect(std::exchange(m_listening, QMetaObject::Connection()));
}

int64_t Desk::nowMs() const {
    if (Clock)
        return Clock();
    static QElapsedTimer steady = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return steady.elapsed();
}

void Desk::SetButtons(const macros::QuickSendButtons& buttons) {
    m_buttons = buttons;
}

void Desk::Press(int index) {
    if (index < 0 || index >= int(m_buttons.size()))
        return;
    const macros::QuickSendButton& button = m_buttons[size_t(index)];
    if (button.text.trimmed().isEmpty())
        return;
    if (const QString problem = macros::CheckButton(button, index); !problem.isEmpty()) {
        m_session->ShowNotice(problem);
        setStatus(problem);
        return;
    }
    macros::ParseError error;
    const macros::Sequence sequence = macros::ParseSequence(button.text, &error);
    if (m_runner.running())
        Stop();
    m_running = button.label.isEmpty()
                    ? QCoreApplication::translate("app::Desk", "Button %1").arg(index + 1)
                    : button.label;
    m_runner.start(sequence, nowMs());
    if (m_runner.running())
        m_poll.start();
    listen();
}

void Desk::Stop() {
    m_runner.stop();
}

void Desk::setStatus(const QString& status) {
    m_status = status;
    if (OnSequenceStatus)
        OnSequenceStatus(status, m_runner.running());
}

void Desk::note(const QString& text) {
    m_session->StatusLine(text.toLatin1());
}

bool Desk::SetReactions(const QString& text, QString* error) {
    macros::ParseError problem;
    std::vector<macros::ReactionRule> rules = macros::ParseReactions(text, &problem);
    if (!problem.ok()) {
        if (error)
            *error = QCoreApplication::translate("app::Desk", "Reactions, line %1: %2")
                         .arg(problem.line)
                         .arg(problem.message);
        return false;
    }
    if (error)
        error->clear();
    const bool changed = text != m_reactionsText;
    m_reactionsText = text;
    m_reactions.setRules(std::move(rules));
    listen();
    // The log says which rules were in force, from when.
    if (changed)
        for (size_t i = 0; i < m_reactions.rules().size(); ++i)
            note(QStringLiteral("-- Reaction rule %1: %2 --")
                     .arg(i + 1)
                     .arg(m_reactions.rules()[i].describe()));
    return true;
}

void Desk::lineReceived(const QByteArray& line) {
    const int64_t now = nowMs();
    m_runner.lineReceived(line, now);
    for (const macros::ReactionEngine::Hit& hit : m_reactions.lineReceived(line, now))
        react(m_reactions.rules()[size_t(hit.rule)], hit.rule, hit.heldBack);
}

void Desk::react(const macros::ReactionRule& rule, int index, int64_t heldBack) {
    QString record = QStringLiteral("-- Reaction %1 (%2)").arg(index + 1).arg(rule.describe());
    if (heldBack > 0)
        record += QStringLiteral(", %1 more matches held back since its last hit").arg(heldBack);
    note(record + QStringLiteral(" --"));
    switch (rule.action) {
    case macros::ReactionRule::Mark:
        m_session->Mark(rule.argument.toLatin1());
        break;
    case macros::ReactionRule::Alarm:
        m_session->tmrAlarmRepeatTimer();
        break;
    case macros::ReactionRule::Send: {
        const QByteArray line = rule.argument.toLatin1() + '\r';
        m_session->SendData(line.constData(), int(line.size()));
        break;
    }
    case macros::ReactionRule::Run: {
        if (m_runner.running()) {
            note(QStringLiteral("-- Reaction %1: \"%2\" not run, \"%3\" is running --")
                     .arg(index + 1)
                     .arg(rule.argument, m_running));
            break;
        }
        for (int i = 0; i < int(m_buttons.size()); ++i)
            if (m_buttons[size_t(i)].label == rule.argument) {
                Press(i);
                return;
            }
        note(QStringLiteral("-- Reaction %1: no button \"%2\" --")
                 .arg(index + 1)
                 .arg(rule.argument));
        break;
    }
    }
}

} // namespace app
