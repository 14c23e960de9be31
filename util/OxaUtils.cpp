#include "util/OxaUtils.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// ---- TOxaFileStream -------------------------------------------------------------

TOxaFileStream::TOxaFileStream(const QString& fileName, uint32_t desiredAccess, uint32_t shareMode,
                               uint32_t creationDisposition, uint32_t flagsAndAttributes) {
    if (const int error = m_file.open(fileName, desiredAccess, shareMode, creationDisposition,
                                      flagsAndAttributes))
        throw EFCreateError("Cannot create file " + fileName.toLocal8Bit().toStdString(), error);
}

TOxaFileStream::~TOxaFileStream() = default;

int64_t TOxaFileStream::Write(const void* data, int64_t count) {
    return m_file.write(data, count);
}

int64_t TOxaFileStream::Read(void* data, int64_t count) {
    return m_file.read(data, std::max<int64_t>(count, 0));
}

int64_t TOxaFileStream::Seek(int64_t offset, int origin) {
    return m_file.seek(offset, origin);
}

int64_t TOxaFileStream::Size() const {
    return m_file.size();
}

int64_t TOxaFileStream::Position() const {
    return m_file.position();
}

// ---- diagnostics -------------------------------------------------------------------

bool debugNotifyEnabled = false;

void DebugNotify(const QString& text) {
    if (!debugNotifyEnabled || !std::getenv("DRALVO_DEBUG"))
        return;
    const QByteArray bytes = text.toLocal8Bit();
    std::fprintf(stderr, "DebugNotify: %s\n", bytes.constData());
}

// ---- combo box and form placement ----------------------------------------------------

bool SelectComboItem(QComboBox* combo, const QString& text) {
    int found = -1;
    for (int i = combo->count() - 1; i >= 0 && found < 0; --i)
        if (combo->itemText(i) == text)
            found = i;
    for (int i = combo->count() - 1; i >= 0 && found < 0; --i)
        if (combo->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            found = i;

    const bool editable = combo->isEditable();
    if (found >= 0 || text.isEmpty() || editable)
        combo->setCurrentIndex(found);
    if (found < 0) {
        if (!editable)
            return false;
        combo->setEditText(text);
    }
    return true;
}

namespace {
bool haveGuiApplication() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}
} // namespace

bool GetWorkArea(QRect& rect, bool primaryOnly) {
    QScreen* primary = haveGuiApplication() ? QGuiApplication::primaryScreen() : nullptr;
    if (primaryOnly) {
        if (!primary)
            return false;
        rect = primary->availableGeometry();
        return true;
    }
    rect = primary ? primary->availableGeometry() : QRect(0, 0, 640, 480);
    bool any = primary != nullptr;
    if (haveGuiApplication()) {
        for (QScreen* screen : QGuiApplication::screens()) {
            rect = rect.united(screen->availableGeometry());
            any = true;
        }
    }
    return any;
}

QRect KeepRectOnScreen(QRect form, const QRect& area) {
    if (form.width() > area.width())
        form.setWidth(area.width());
    if (form.height() > area.height())
        form.setHeight(area.height());
    // Right and bottom edges counted exclusively, as left + width.
    if (form.x() + form.width() > area.x() + area.width())
        form.moveLeft(area.x() + area.width() - form.width());
    if (form.y() + form.height() > area.y() + area.height())
        form.moveTop(area.y() + area.height() - form.height());
    if (form.x() < area.x())
        form.moveLeft(area.x());
    if (form.y() < area.y())
        form.moveTop(area.y());
    return form;
}

QPoint CenteredTopLeft(const QSize& form, const QPoint& center) {
    // Integer division rounds toward zero, as the halves should.
    return QPoint(center.x() - form.width() / 2, center.y() - form.height() / 2);
}

void KeepFormOnScreen(QWidget* form, bool primaryOnly) {
    // A window here has no preferred-monitor setting to clear: its screen
    // follows its position.
    QRect area;
    if (!form || !GetWorkArea(area, primaryOnly))
        return;
    const QRect frame = form->frameGeometry();
    const QRect fitted = KeepRectOnScreen(frame, area);
    if (fitted.size() != frame.size()) {
        // The frame is larger than the client area by the decoration.
        const QSize client = form->size();
        form->resize(client.width() - (frame.width() - fitted.width()),
                     client.height() - (frame.height() - fitted.height()));
    }
    if (fitted.topLeft() != frame.topLeft())
        form->move(fitted.topLeft());
}

void CenterForm(QWidget* form, QWidget* reference, bool primaryOnly) {
    if (!form)
        return;
    QPoint center(320, 240);
    QRect area;
    if (reference) {
        const QRect r = reference->frameGeometry();
        center = QPoint(r.x() + r.width() / 2, r.y() + r.height() / 2);
    } else if (GetWorkArea(area, primaryOnly)) {
        center = QPoint(area.x() + area.width() / 2, area.y() + area.height() / 2);
    }
    form->move(CenteredTopLeft(form->frameGeometry().size(), center));
    KeepFormOnScreen(form, false);
}

QWidget* OwnerForm(QObject* component) {
    for (QObject* o = component; o; o = o->parent())
        if (auto* widget = qobject_cast<QWidget*>(o); widget && widget->isWindow())
            return widget;
    return nullptr;
}

// ---- tokens ------------------------------------------------------------------

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

// ---- booleans, hexadecimal ----------------------------------------------------

QString BoolTo01(bool value) {
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

bool TextToBool(const QString& text, bool defaultValue) {
    if (text == QLatin1String("0"))
        return false;
    if (text == QLatin1String("1"))
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    return defaultValue;
}

int HexDigitValue(QChar c, int defaultValue) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return defaultValue;
}

QChar HexDigitChar(int value) {
    if (value >= 0 && value <= 9)
        return QChar('0' + value);
    if (value >= 10 && value <= 15)
        return QChar('A' + value - 10);
    return QLatin1Char('?');
}

namespace {
// Walks the hexadecimal text, handing each byte to put; returns the count.
template <typename Emit> int scanHexText(const QString& text, Emit put) {
    const int n = int(text.size());
    int count = 0;
    for (int i = 0; i < n;) {
        const int high = HexDigitValue(text[i], -1);
        if (high >= 0) {
            const int low = i + 1 < n ? HexDigitValue(text[i + 1], -1) : -1;
            if (low >= 0) {
                put(char(high * 16 + low));
                i += 2;
            } else {
                put(char(high));
                ++i;
            }
            ++count;
            continue;
        }
        const char16_t u = text[i].unicode();
        if (u > 32) {
            // Characters are bytes one to one; one beyond 8 bits has no byte.
            put(u <= 0xFF ? char(u) : '?');
            ++count;
        }
        ++i;
    }
    return count;
}
} // namespace

QByteArray HexTextToBytes(const QString& text) {
    QByteArray bytes;
    bytes.reserve(scanHexText(text, [](char) {}));
    scanHexText(text, [&bytes](char b) { bytes.append(b); });
    return bytes;
}

QString BytesToHexText(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size() * 3);
    for (const char b : bytes) {
        const auto u = uint8_t(b);
        text += HexDigitChar(u >> 4);
        text += HexDigitChar(u & 0x0F);
        text += QLatin1Char(' ');
    }
    return text;
}

// ---- time ----------------------------------------------------------------------

QString LocaleTimeSeparator() {
    // Take the character after the hours of the locale's short time format,
    // when it is a plain separator ("HH:mm" gives ":", "H.mm" gives ".").
    const QString format = QLocale::system().timeFormat(QLocale::ShortFormat);
    int i = int(format.indexOf(QRegularExpression(QStringLiteral("[hH]"))));
    if (i >= 0) {
        while (i < format.size() &&
               (format[i] == QLatin1Char('h') || format[i] == QLatin1Char('H')))
            ++i;
        if (i < format.size()) {
            const QChar c = format[i];
            if (!c.isLetterOrNumber() && !c.isSpace() && c != QLatin1Char('\''))
                return QString(c);
        }
    }
    return QStringLiteral(":");
}

void TimeToText(int decimals, bool duration, int minHourDigits, QString& text, double value) {
    decimals = std::clamp(decimals, 0, 7);
    int64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;

    double seconds = duration ? value * 86400.0 : (value - std::trunc(value)) * 86400.0;
    seconds = std::clamp(seconds, -2000000000.0, 2000000000.0);

    const double secondsFraction = seconds - std::trunc(seconds);
    int64_t fraction = std::llround(secondsFraction * double(scale));
    if (decimals > 3) {
        // Beyond milliseconds the last digit is noise of the floating value.
        if (fraction == scale - 1)
            fraction = scale;
        else if (fraction == 1)
            fraction = 0;
    }
    int64_t whole;
    if (fraction >= scale) {
        whole = std::llround(seconds);
        fraction = 0;
    } else {
        whole = std::llround(seconds - secondsFraction);
    }

    const int64_t hours = whole / 3600;
    const int64_t minutes = whole / 60 % 60;
    const int64_t secs = whole % 60;
    const QString separator = LocaleTimeSeparator();
    const int hourWidth = hours < 10 && minHourDigits > 1 ? 2 : 1;
    const auto digits = [](int64_t number, int width) {
        return QString::number(number).rightJustified(width, QLatin1Char('0'));
    };
    text = digits(hours, hourWidth) + separator + digits(minutes, 2) + separator + digits(secs, 2);
    if (decimals > 0)
        text += QLatin1Char('.') + digits(fraction, decimals);
}

double DateTimeToValue(const QDateTime& dt) {
    // Days since 30 December 1899, the fraction being the time of day.
    static const qint64 epoch = QDate(1899, 12, 30).toJulianDay();
    const qint64 days = dt.date().toJulianDay() - epoch;
    return double(days) + double(dt.time().msecsSinceStartOfDay()) / 86400000.0;
}

// ---- positional formatter --------------------------------------------------------

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
