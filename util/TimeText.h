#pragma once
// Times and durations as texts.
#include <QDateTime>
#include <QString>

// The user's locale time separator (":" when the locale gives none).
QString LocaleTimeSeparator();
// value is a date-time in days (the integer part is ignored for a time of day).
void TimeToText(int decimals, bool duration, int minHourDigits, QString& text, double value);
// Converts a QDateTime into the day-count value used by TimeToText.
double DateTimeToValue(const QDateTime& dt);
