#include "util/PositionalFormat.h"

#include <algorithm>
#include <cstdio>

namespace {
QString hex8(quintptr value) {
    return QStringLiteral("%1").arg(quint64(value), 8, 16, QLatin1Char('0')).toUpper();
}
} // namespace

QString VarRecToText(const VarRec& value, int width) {
    return std::visit(
        [width](const auto& v) -> QString {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, int> || std::is_same_v<T, int64_t>) {
                return QString::number(v);
            } else if constexpr (std::is_same_v<T, bool>) {
                return v ? QStringLiteral("True") : QStringLiteral("False");
            } else if constexpr (std::is_same_v<T, QChar>) {
                return QString(v);
            } else if constexpr (std::is_same_v<T, double>) {
                char buffer[512];
                if (width != 0)
                    std::snprintf(buffer, sizeof buffer, "%*g", std::clamp(width, -256, 256), v);
                else
                    std::snprintf(buffer, sizeof buffer, "%g", v);
                return QString::fromLatin1(buffer);
            } else if constexpr (std::is_same_v<T, QString>) {
                return v;
            } else if constexpr (std::is_same_v<T, VarRec::Pointer>) {
                return QLatin1Char(':') + hex8(quintptr(v.p));
            } else if constexpr (std::is_same_v<T, VarRec::Interface>) {
                return QLatin1Char('I') + hex8(quintptr(v.p));
            } else if constexpr (std::is_same_v<T, VarRec::ObjectRef>) {
                return QLatin1Char('(') + v.className + QLatin1Char(')');
            } else {
                static_assert(std::is_same_v<T, VarRec::ClassName>);
                return v.name;
            }
        },
        value.value);
}

namespace {

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Reads decimal digits at i; returns -1 when there are none.
int readNumber(const QString& templ, int& i) {
    const int n = int(templ.size());
    if (i >= n || !isDigit(templ[i]))
        return -1;
    int64_t number = 0;
    while (i < n && isDigit(templ[i])) {
        number = std::min<int64_t>(number * 10 + (templ[i].unicode() - '0'), 1000000000);
        ++i;
    }
    return int(number);
}

// Reads N, plain or in parentheses; returns -1 when there is none.
int readIndex(const QString& templ, int& i) {
    const int n = int(templ.size());
    if (i < n && templ[i] == QLatin1Char('(')) {
        int j = i + 1;
        const int number = readNumber(templ, j);
        if (number < 0 || j >= n || templ[j] != QLatin1Char(')'))
            return -1;
        i = j + 1;
        return number;
    }
    return readNumber(templ, i);
}

bool isFillChar(QChar c) {
    return c == QLatin1Char('-') || c == QLatin1Char('0') || c == QLatin1Char(' ');
}

struct Placeholder {
    int index = -1;
    int width = 0;
    QChar fill = QLatin1Char(' ');
    int runLength = 0;
    int end = 0; // first template character after the placeholder
};

// Parses "%" [run] [width ":"] N at templ[start] == '%'.
bool parsePlaceholder(const QString& templ, int start, Placeholder& p) {
    const int n = int(templ.size());
    int i = start + 1;
    const int runStart = i;
    if (i < n && isFillChar(templ[i])) {
        const QChar c = templ[i];
        while (i < n && templ[i] == c)
            ++i;
    }
    p.runLength = i - runStart;
    if (p.runLength > 0 && templ[runStart] != QLatin1Char(' '))
        p.fill = templ[runStart];

    int j = i;
    const int first = readNumber(templ, j);
    if (j < n && templ[j] == QLatin1Char(':')) {
        p.width = std::max(first, 0);
        ++j;
        p.index = readIndex(templ, j);
        if (p.index < 0 && p.runLength == 0 && first >= 0) {
            // "%1: text": the number was N and the colon is plain text.
            p.width = 0;
            j = i;
            p.index = readIndex(templ, j);
        }
    } else if (p.runLength == 0) {
        j = i;
        p.index = readIndex(templ, j);
    } else if (templ[runStart] == QLatin1Char('0')) {
        // "%01": the zeros belong to N, not to a fill run.
        p.runLength = 0;
        p.fill = QLatin1Char(' ');
        j = runStart;
        p.index = readIndex(templ, j);
    } else {
        return false;
    }
    if (p.index < 0)
        return false;
    p.end = j;
    return true;
}

QString aligned(const QString& value, const Placeholder& p) {
    const int missing = p.width - int(value.size());
    if (missing <= 0)
        return value;
    if (p.runLength <= 1)
        return QString(missing, p.fill) + value;
    if (p.runLength == 2)
        return value + QString(missing, p.fill);
    const int left = missing / 2;
    return QString(left, p.fill) + value + QString(missing - left, p.fill);
}

} // namespace

void FormatPositional(const QString& templ, const std::vector<VarRec>& values, QString& text) {
    text.clear();
    const int n = int(templ.size());
    for (int i = 0; i < n;) {
        const QChar c = templ[i];
        if (c != QLatin1Char('%')) {
            text += c;
            ++i;
            continue;
        }
        if (i + 1 >= n) { // a "%" at the very end stays
            text += c;
            ++i;
            continue;
        }
        if (templ[i + 1] == QLatin1Char('%')) {
            text += c;
            i += 2;
            continue;
        }
        Placeholder p;
        if (parsePlaceholder(templ, i, p)) {
            if (p.index >= 1 && size_t(p.index) <= values.size())
                text += aligned(VarRecToText(values[size_t(p.index) - 1], p.width), p);
            i = p.end;
            continue;
        }
        // Not a placeholder: the "%" goes, the next character stays.
        text += templ[i + 1];
        i += 2;
    }
}
