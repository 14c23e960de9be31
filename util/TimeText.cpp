#include "util/TimeText.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

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
