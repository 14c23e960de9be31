#pragma once
// Reactions to received lines: an ordered list of rules, one a line,
//
//   /Exception/ => mark Java trouble
//   +CREG: 0 => alarm
//   RING => send ATA, every 10 s
//   ^SYSSTART => run Start app
//
// A rule matches a received line that contains its text (letter case counts)
// or matches its /regular expression/; then it adds a MARK line with its text,
// sounds the alarm, sends a line, or runs the quick-send button of that label.
//
// No rule can feed itself at line rate: a rule fires at most once a second,
// or once per its "every N s" when that is longer, and the matches it lets
// pass meanwhile are only counted (the next hit says how many). A reply that
// matches its own rule, or a flood of matching lines, thus costs one action a
// second per rule at most.
#include <QByteArrayView>
#include <QRegularExpression>
#include <QString>
#include <cstdint>
#include <vector>

#include "macros/Sequence.h"

namespace macros {

struct ReactionRule {
    enum Action { Mark, Alarm, Send, Run };
    QString pattern; // as written: TEXT or /REGEX/
    bool regex = false;
    QRegularExpression compiled;
    Action action = Mark;
    QString argument; // Mark: the text; Send: the line; Run: the button's label
    int everySeconds = 0;
    int line = 0; // in the rules' text
    // "/Exception/ => mark Java trouble": the rule as written.
    QString describe() const;
};

// The shortest time between two hits of one rule.
constexpr int64_t kMinReactionIntervalMs = 1000;
constexpr int kMaxReactionRules = 100;

// The rules of text (empty lines and # comments skipped), or the first error.
std::vector<ReactionRule> ParseReactions(const QString& text, ParseError* error);

class ReactionEngine {
public:
    void setRules(std::vector<ReactionRule> rules);
    const std::vector<ReactionRule>& rules() const { return m_rules; }

    struct Hit {
        int rule;         // index in rules()
        int64_t heldBack; // matches since the last hit that did not fire
    };
    // The rules this line fires now, in their order.
    std::vector<Hit> lineReceived(QByteArrayView line, int64_t nowMs);

private:
    struct State {
        int64_t lastHitMs = 0;
        bool hit = false;
        int64_t heldBack = 0;
    };
    std::vector<ReactionRule> m_rules;
    std::vector<State> m_states;
};

} // namespace macros
