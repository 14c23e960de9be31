#include "util/Tokens.h"

namespace {

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Reads a text made of pieces: "quoted" (a doubled quote stands for one) and
// #nnn character codes, written one after the other.
void readQuotedToken(int& position, const QString& text, const QString& delimiters, QString& token,
                     bool& more) {
    const int n = int(text.size());
    int i = position;
    QString collected;
    const auto giveUpAtEnd = [&] {
        token.clear();
        more = false;
        position = n;
    };
    // Ends the token at text[i], which follows a completed piece.
    const auto finish = [&] {
        token = collected;
        if (i >= n) {
            more = false;
            position = n;
        } else if (delimiters.contains(text[i])) {
            position = more ? i + 1 : i;
        } else {
            more = false;
            position = i;
        }
    };

    for (;;) {
        if (text[i] == QLatin1Char('"')) {
            ++i;
            for (;;) {
                if (i >= n)
                    return giveUpAtEnd(); // unclosed quote
                if (text[i] == QLatin1Char('"')) {
                    if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                        collected += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                collected += text[i++];
            }
        } else { // '#'
            ++i;
            if (i >= n)
                return giveUpAtEnd(); // '#' without digits at the end
            if (!isDigit(text[i]))
                return finish();
            int code = 0;
            while (i < n && isDigit(text[i]))
                code = (code * 10 + (text[i++].unicode() - '0')) % 256;
            collected += QChar(code);
        }
        if (i < n && (text[i] == QLatin1Char('"') || text[i] == QLatin1Char('#')))
            continue;
        return finish();
    }
}

} // namespace

void ReadToken(int& position, const QString& text, const QString& delimiters, QString& token,
               bool& more) {
    const int n = int(text.size());
    if (position < 0)
        position = 0;
    if (position >= n) {
        // Nothing left: also stop a caller that loops while more is set.
        token.clear();
        more = false;
        position = n;
        return;
    }
    const QChar first = text[position];
    if (first == QLatin1Char('"') || first == QLatin1Char('#')) {
        readQuotedToken(position, text, delimiters, token, more);
        return;
    }
    if (first == QLatin1Char('(')) {
        const int close = int(text.indexOf(QLatin1Char(')'), position + 1));
        if (close < 0) {
            token = text.mid(position + 1);
            position = n;
            more = false;
            return;
        }
        token = text.mid(position + 1, close - position - 1);
        position = close + 1;
        if (more) {
            more = position < n && delimiters.contains(text[position]);
            if (more)
                ++position;
        }
        return;
    }
    int end = position;
    while (end < n && !delimiters.contains(text[end]))
        ++end;
    token = text.mid(position, end - position);
    if (end >= n) {
        position = n;
        more = false;
    } else {
        position = more ? end + 1 : end;
    }
}

void ExtractToken(QString& text, bool& more, const QString& delimiters, QString& token) {
    int position = 0;
    ReadToken(position, text, delimiters, token, more);
    text.remove(0, position);
}

QString ExtractToken(QString& text, bool& more) {
    static const QString delimiters = QStringLiteral(" ,\t");
    QString token;
    more = true;
    ExtractToken(text, more, delimiters, token);
    return token;
}

QString TrimControls(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}
