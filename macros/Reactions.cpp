#include "macros/Reactions.h"

#include <QCoreApplication>
#include <QStringList>

namespace macros {

namespace {

const QLatin1String Arrow(" => ");

QString parseAction(const QString& right, ReactionRule* rule) {
    QString action = right.trimmed();
    // ", every N s" at the end.
    const qsizetype every = action.lastIndexOf(QLatin1String(", every "));
    if (every >= 0) {
        QString count = action.mid(every + 8).trimmed();
        if (!count.endsWith(u's'))
            return QCoreApplication::translate("macros",
                                               "\"every\" takes seconds: \", every 10 s\"");
        count.chop(1);
        bool ok = false;
        const int seconds = count.trimmed().toInt(&ok);
        if (!ok || seconds < 0 || seconds > 86400)
            return QCoreApplication::translate("macros", "\"every %1s\" is not 0 to 86400 seconds")
                .arg(count);
        rule->everySeconds = seconds;
        action = action.left(every).trimmed();
    }
    const qsizetype space = action.indexOf(u' ');
    const QString word = action.left(space < 0 ? action.size() : space).toLower();
    rule->argument = space < 0 ? QString() : action.mid(space + 1).trimmed();
    if (word == QLatin1String("mark"))
        rule->action = ReactionRule::Mark;
    else if (word == QLatin1String("alarm"))
        rule->action = ReactionRule::Alarm;
    else if (word == QLatin1String("send"))
        rule->action = ReactionRule::Send;
    else if (word == QLatin1String("run"))
        rule->action = ReactionRule::Run;
    else
        return QCoreApplication::translate(
                   "macros", "\"%1\" is no action: mark TEXT, alarm, send LINE or run BUTTON")
            .arg(word);
    if (rule->action == ReactionRule::Run && rule->argument.isEmpty())
        return QCoreApplication::translate("macros", "run needs the label of a button");
    for (const QChar c : rule->argument)
        if (rule->action == ReactionRule::Send && c.unicode() > 0xFF)
            return QCoreApplication::translate(
                       "macros", "the character \u201c%1\u201d cannot be sent (outside Latin-1)")
                .arg(c);
    return QString();
}

} // namespace

QString ReactionRule::describe() const {
    static const char* const words[] = {"mark", "alarm", "send", "run"};
    QString text = pattern + Arrow + QLatin1String(words[action]);
    if (!argument.isEmpty())
        text += u' ' + argument;
    if (everySeconds > 0)
        text += QStringLiteral(", every %1 s").arg(everySeconds);
    return text;
}

std::vector<ReactionRule> ParseReactions(const QString& text, ParseError* error) {
    std::vector<ReactionRule> rules;
    ParseError found;
    const QStringList lines = QString(text).remove(u'\r').split(u'\n');
    for (int n = 0; n < lines.size() && found.ok(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (lines[n].size() > kMaxLineChars) {
            found = {n + 1,
                     QCoreApplication::translate("macros", "the line has %1 characters, at most %2")
                         .arg(lines[n].size())
                         .arg(kMaxLineChars)};
            break;
        }
        ReactionRule rule;
        rule.line = n + 1;
        const qsizetype arrow = line.indexOf(Arrow);
        QString problem;
        if (arrow <= 0) {
            problem = QCoreApplication::translate(
                "macros", "a rule is TEXT => ACTION, for example: /Exception/ => mark trouble");
        } else {
            rule.pattern = line.left(arrow).trimmed();
            if (rule.pattern.size() >= 2 && rule.pattern.startsWith(u'/') &&
                rule.pattern.endsWith(u'/')) {
                rule.regex = true;
                rule.compiled = QRegularExpression(rule.pattern.mid(1, rule.pattern.size() - 2));
                if (rule.pattern.size() == 2)
                    problem =
                        QCoreApplication::translate("macros", "the regular expression // is empty");
                else if (!rule.compiled.isValid())
                    problem =
                        QCoreApplication::translate(
                            "macros", "the regular expression %1 does not compile: %2 (at %3)")
                            .arg(rule.pattern, rule.compiled.errorString())
                            .arg(rule.compiled.patternErrorOffset() + 1);
            }
            if (problem.isEmpty())
                problem = parseAction(line.mid(arrow + Arrow.size()), &rule);
        }
        if (problem.isEmpty() && int(rules.size()) == kMaxReactionRules)
            problem =
                QCoreApplication::translate("macros", "more than %1 rules").arg(kMaxReactionRules);
        if (!problem.isEmpty()) {
            found = {n + 1, problem};
            break;
        }
        rules.push_back(std::move(rule));
    }
    if (error)
        *error = found;
    if (!found.ok())
        rules.clear();
    return rules;
}

void ReactionEngine::setRules(std::vector<ReactionRule> rules) {
    m_rules = std::move(rules);
    m_states.assign(m_rules.size(), State{});
}

std::vector<ReactionEngine::Hit> ReactionEngine::lineReceived(QByteArrayView line, int64_t nowMs) {
    std::vector<Hit> hits;
    if (m_rules.empty())
        return hits;
    const QString text = QString::fromLatin1(line.data(), line.size());
    for (size_t i = 0; i < m_rules.size(); ++i) {
        const ReactionRule& rule = m_rules[i];
        const bool match =
            rule.regex ? rule.compiled.match(text).hasMatch() : text.contains(rule.pattern);
        if (!match)
            continue;
        State& state = m_states[i];
        const int64_t interval =
            std::max<int64_t>(kMinReactionIntervalMs, int64_t(rule.everySeconds) * 1000);
        if (state.hit && nowMs - state.lastHitMs < interval) {
            ++state.heldBack;
            continue;
        }
        hits.push_back({int(i), state.heldBack});
        state.hit = true;
        state.lastHitMs = nowMs;
        state.heldBack = 0;
    }
    return hits;
}

} // namespace macros
