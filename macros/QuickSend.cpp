#include "macros/QuickSend.h"

#include <QCoreApplication>
#include <QStringConverter>
#include <QStringDecoder>
#include <QStringList>

namespace macros {

namespace {

QString name(const QuickSendButton& button, int index) {
    return button.label.isEmpty()
               ? QCoreApplication::translate("macros", "Button %1").arg(index + 1)
               : QCoreApplication::translate("macros", "Button %1 (%2)")
                     .arg(index + 1)
                     .arg(button.label.left(kMaxLabelChars));
}

} // namespace

QuickSendButtons DefaultQuickSendButtons() {
    return {
        {QStringLiteral("AT"), QStringLiteral("AT")},
        {QStringLiteral("ATI"), QStringLiteral("ATI")},
        {QStringLiteral("Signal"), QStringLiteral("AT+CSQ")},
        {QStringLiteral("CREG"), QStringLiteral("AT+CREG?")},
        {QStringLiteral("SIM"), QStringLiteral("AT+CPIN?")},
        {QStringLiteral("Errors"), QStringLiteral("AT+CMEE=2")},
        {QStringLiteral("Start"),
         QStringLiteral("at^sjra=a:/appmain2.jad\nexpect /^(OK|ERROR)/ 10000")},
        {QStringLiteral("Reset"),
         QStringLiteral("# restarts the module and waits until it answers\nAT+CFUN=1,1\n"
                        "wait 5000\nAT\nexpect OK 3000")},
        {QStringLiteral("Ctrl+Z"), QStringLiteral("hex 1A")},
        {QStringLiteral("Esc"), QStringLiteral("hex 1B")},
        {QStringLiteral("F11"), QString()},
        {QStringLiteral("F12"), QString()},
    };
}

QString CheckButton(const QuickSendButton& button, int index) {
    if (button.label.size() > kMaxLabelChars)
        return QCoreApplication::translate("macros", "%1: the label has %2 characters, at most %3")
            .arg(name(button, index))
            .arg(button.label.size())
            .arg(kMaxLabelChars);
    if (button.label.contains(u'\n') || button.label.contains(u'\r'))
        return QCoreApplication::translate("macros", "%1: the label is one line")
            .arg(name(button, index));
    if (button.text.size() > kMaxButtonTextChars)
        return QCoreApplication::translate("macros", "%1: the text has %2 characters, at most %3")
            .arg(name(button, index))
            .arg(button.text.size())
            .arg(kMaxButtonTextChars);
    ParseError error;
    ParseSequence(button.text, &error);
    if (!error.ok())
        return QCoreApplication::translate("macros", "%1, line %2: %3")
            .arg(name(button, index))
            .arg(error.line)
            .arg(error.message);
    return QString();
}

QByteArray FormatMacroFile(const QuickSendButtons& buttons) {
    QString text = QStringLiteral("# Dralvo quick-send buttons\n");
    for (const QuickSendButton& button : buttons) {
        text += QStringLiteral("@button ") + button.label + u'\n';
        if (!button.text.isEmpty())
            text += button.text + u'\n';
    }
    text += QStringLiteral("@end\n");
    return text.toUtf8();
}

QuickSendButtons ParseMacroFile(const QByteArray& bytes, QString* error) {
    QString problem;
    QuickSendButtons buttons;
    const auto fail = [&](int line, const QString& message) {
        problem = line > 0
                      ? QCoreApplication::translate("macros", "Line %1: %2").arg(line).arg(message)
                      : message;
    };
    if (bytes.size() > kMaxMacroFileBytes) {
        fail(0, QCoreApplication::translate("macros",
                                            "The file has %1 bytes; a macro file has at most %2")
                    .arg(bytes.size())
                    .arg(kMaxMacroFileBytes));
    } else {
        // Text only: no zero bytes or other control characters, valid UTF-8.
        int line = 1;
        for (qsizetype i = 0; i < bytes.size() && problem.isEmpty(); ++i) {
            const uchar c = uchar(bytes[i]);
            if (c == '\n')
                ++line;
            else if (c < 0x20 && c != '\t' && c != '\r')
                fail(line, QCoreApplication::translate("macros", "the file is not text (byte 0x%1)")
                               .arg(c, 2, 16, QLatin1Char('0')));
        }
        QStringDecoder utf8(QStringConverter::Utf8);
        const QString text = utf8.decode(bytes);
        if (problem.isEmpty() && utf8.hasError())
            fail(0, QCoreApplication::translate("macros", "The file is not text (not UTF-8)"));
        const QStringList lines = QString(text).remove(u'\r').split(u'\n');
        bool ended = false;
        std::vector<QStringList> bodies;
        for (int n = 0; n < lines.size() && problem.isEmpty() && !ended; ++n) {
            const QString& l = lines[n];
            if (l.trimmed() == QLatin1String("@end")) {
                ended = true;
            } else if (l.startsWith(QLatin1String("@button"))) {
                if (int(buttons.size()) == kMaxQuickSendButtons)
                    fail(n + 1, QCoreApplication::translate("macros", "more than %1 buttons")
                                    .arg(kMaxQuickSendButtons));
                buttons.push_back({l.mid(8).trimmed(), QString()});
                bodies.emplace_back();
            } else if (buttons.empty()) {
                if (!l.trimmed().isEmpty() && !l.startsWith(u'#'))
                    fail(n + 1, QCoreApplication::translate(
                                    "macros", "a macro file begins with \"@button LABEL\""));
            } else {
                bodies.back() << l;
            }
        }
        for (size_t i = 0; i < buttons.size(); ++i) {
            // A button's text loses the empty lines that end it.
            while (!bodies[i].isEmpty() && bodies[i].last().trimmed().isEmpty())
                bodies[i].removeLast();
            buttons[i].text = bodies[i].join(u'\n');
        }
        if (problem.isEmpty() && !ended)
            fail(int(lines.size()),
                 QCoreApplication::translate(
                     "macros", "the file ends without its \"@end\" line (cut short?)"));
        for (int i = 0; i < int(buttons.size()) && problem.isEmpty(); ++i)
            problem = CheckButton(buttons[size_t(i)], i);
    }
    if (error)
        *error = problem;
    if (!problem.isEmpty())
        buttons.clear();
    return buttons;
}

QString EncodeButtonText(const QString& text) {
    QString stored;
    stored.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\\')
            stored += QStringLiteral("\\\\");
        else if (c == u'\n')
            stored += QStringLiteral("\\n");
        else if (c != u'\r')
            stored += c;
    }
    return stored;
}

QString DecodeButtonText(const QString& stored) {
    QString text;
    text.reserve(stored.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (stored[i] == u'\\' && i + 1 < stored.size()) {
            ++i;
            text += stored[i] == u'n' ? QChar(u'\n') : stored[i];
        } else {
            text += stored[i];
        }
    }
    return text;
}

} // namespace macros
