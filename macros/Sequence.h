#pragma once
// A quick-send text as the steps it stands for. One step per line:
//
//   AT+CSQ               a line sent with CR at its end
//   send wait            the same, for a text that begins with a step's word
//   hex 41 54 0D         bytes in hexadecimal pairs, sent as they are
//   wait 500             a pause, in milliseconds
//   expect OK 2000       waits until a received line contains OK, at most
//                        2000 ms; otherwise the sequence stops and says why
//   expect /^\+CSQ: \d+/ 2000
//                        the same with a regular expression
//   # a comment          empty lines and comments are skipped
//
// Parsing checks everything a run could trip over (a malformed step, a regular
// expression that does not compile, a negative or absurd time, a line too
// long), so a text that parses runs to its end or stops only at an expect.
#include <QByteArray>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QString>
#include <vector>

namespace macros {

struct Step {
    enum Kind { Send, Wait, Expect };
    Kind kind = Send;
    int line = 0;       // 1-based, in the text
    QByteArray bytes;   // Send: what goes out (a text line with its CR)
    int ms = 0;         // Wait: the pause; Expect: the time-out
    QString text;       // Expect: the text looked for, or the regex's source
    bool regex = false; // Expect: text is a regular expression
    QRegularExpression pattern;
    // "send AT+CSQ", "wait 500", "expect OK (2000 ms)": the step in words.
    QString describe() const;
};

struct Sequence {
    std::vector<Step> steps;
    // Whether the text is a single line sent (a plain button).
    bool single() const { return steps.size() == 1 && steps.front().kind == Step::Send; }
};

struct ParseError {
    int line = 0; // 1-based; 0 for the text as a whole
    QString message;
    bool ok() const { return message.isEmpty(); }
};

// Limits: a wait or an expect's time-out from 0 (wait) or 1 ms (expect) to 10
// minutes; at most 1,000 steps; a line of at most 4,096 characters.
constexpr int kMaxStepMs = 600000;
constexpr int kMaxSteps = 1000;
constexpr int kMaxLineChars = 4096;

// The steps of text, or the first error (with its line).
Sequence ParseSequence(const QString& text, ParseError* error);

} // namespace macros
