#include "macros/Sequence.h"

#include <QStringList>

namespace macros {

namespace {

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// A time in milliseconds from min to kMaxStepMs, or an error text.
QString readMs(const QString& word, int min, int* ms) {
    bool ok = false;
    const qlonglong value = word.toLongLong(&ok);
    if (!ok)
        return QCoreApplication::translate("macros", "\"%1\" is not a number of milliseconds")
            .arg(word);
    if (value < min || value > kMaxStepMs)
        return QCoreApplication::translate("macros", "%1 ms is outside %2 to %3 ms")
            .arg(word)
            .arg(min)
            .arg(kMaxStepMs);
    *ms = int(value);
    return QString();
}

// Latin-1 bytes of a text to send, or an error for a character outside it.
QString latin1(const QString& text, QByteArray* bytes) {
    for (const QChar c : text)
        if (c.unicode() > 0xFF)
            return QCoreApplication::translate(
                       "macros", "the character \u201c%1\u201d cannot be sent (outside Latin-1)")
                .arg(c);
    *bytes = text.toLatin1();
    return QString();
}

QString parseHex(const QString& text, QByteArray* bytes) {
    const QString digits = QString(text).remove(u' ').remove(u'\t');
    if (digits.isEmpty())
        return QCoreApplication::translate("macros",
                                           "hex needs at least one byte (two hexadecimal digits)");
    for (qsizetype i = 0; i < digits.size(); ++i)
        if (!isHexDigit(digits[i]))
            return QCoreApplication::translate("macros",
                                               "\u201c%1\u201d is not a hexadecimal digit")
                .arg(digits[i]);
    if (digits.size() % 2)
        return QCoreApplication::translate(
            "macros", "hex takes bytes as pairs of digits (an odd number of digits)");
    *bytes = QByteArray::fromHex(digits.toLatin1());
    return QString();
}

// "expect TEXT TIMEOUT": the time-out is the last word; TEXT may be /REGEX/.
QString parseExpect(const QString& rest, Step* step) {
    const qsizetype space = rest.lastIndexOf(u' ');
    if (space <= 0)
        return QCoreApplication::translate("macros",
                                           "expect needs a text and a time-out: expect OK 2000");
    QString target = rest.left(space).trimmed();
    if (const QString problem = readMs(rest.mid(space + 1), 1, &step->ms); !problem.isEmpty())
        return problem;
    if (target.size() >= 2 && target.startsWith(u'/') && target.endsWith(u'/')) {
        target = target.mid(1, target.size() - 2);
        if (target.isEmpty())
            return QCoreApplication::translate("macros", "the regular expression // is empty");
        step->regex = true;
        step->pattern = QRegularExpression(target);
        if (!step->pattern.isValid())
            return QCoreApplication::translate(
                       "macros", "the regular expression /%1/ does not compile: %2 (at %3)")
                .arg(target, step->pattern.errorString())
                .arg(step->pattern.patternErrorOffset() + 1);
    } else if (target.startsWith(u'/')) {
        return QCoreApplication::translate("macros",
                                           "a regular expression ends with / as it begins: /%1/")
            .arg(target.mid(1));
    }
    step->text = target;
    return QString();
}

} // namespace

QString Step::describe() const {
    switch (kind) {
    case Send: {
        QByteArray shown = bytes;
        if (shown.endsWith('\r'))
            shown.chop(1);
        bool printable = true;
        for (const char c : shown)
            printable = printable && uchar(c) >= 0x20 && uchar(c) != 0x7F;
        return printable && !shown.isEmpty()
                   ? QCoreApplication::translate("macros", "send %1")
                         .arg(QString::fromLatin1(shown))
                   : QCoreApplication::translate("macros", "send hex %1")
                         .arg(QString::fromLatin1(bytes.toHex(' ').toUpper()));
    }
    case Wait:
        return QCoreApplication::translate("macros", "wait %1 ms").arg(ms);
    case Expect:
        return QCoreApplication::translate("macros", "expect %1 (%2 ms)")
            .arg(regex ? u'/' + text + u'/' : text)
            .arg(ms);
    }
    return QString();
}

Sequence ParseSequence(const QString& text, ParseError* error) {
    Sequence sequence;
    ParseError found;
    const QStringList lines =
        QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split(u'\n');
    for (int n = 0; n < lines.size() && found.ok(); ++n) {
        const QString raw = lines[n];
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        Step step;
        step.line = n + 1;
        QString problem;
        if (raw.size() > kMaxLineChars) {
            problem =
                QCoreApplication::translate("macros", "the line has %1 characters, at most %2")
                    .arg(raw.size())
                    .arg(kMaxLineChars);
        } else {
            const qsizetype space = line.indexOf(u' ');
            const QString word = line.left(space < 0 ? line.size() : space).toLower();
            const QString rest = space < 0 ? QString() : line.mid(space + 1).trimmed();
            if (word == QLatin1String("wait")) {
                step.kind = Step::Wait;
                problem = rest.isEmpty()
                              ? QCoreApplication::translate(
                                    "macros", "wait needs a time in milliseconds: wait 500")
                              : readMs(rest, 0, &step.ms);
            } else if (word == QLatin1String("expect")) {
                step.kind = Step::Expect;
                problem = parseExpect(rest, &step);
            } else if (word == QLatin1String("hex")) {
                problem = parseHex(rest, &step.bytes);
            } else if (word == QLatin1String("send")) {
                // Everything after "send " as typed, blanks included.
                problem =
                    latin1(raw.mid(raw.indexOf(QLatin1String("send"), 0, Qt::CaseInsensitive) + 5),
                           &step.bytes);
                step.bytes.append('\r');
            } else {
                problem = latin1(raw, &step.bytes);
                step.bytes.append('\r');
            }
        }
        if (!problem.isEmpty()) {
            found = {n + 1, problem};
            break;
        }
        if (int(sequence.steps.size()) == kMaxSteps) {
            found = {n + 1,
                     QCoreApplication::translate("macros", "more than %1 steps").arg(kMaxSteps)};
            break;
        }
        sequence.steps.push_back(std::move(step));
    }
    if (error)
        *error = found;
    if (!found.ok())
        sequence.steps.clear();
    return sequence;
}

} // namespace macros
