#pragma once
// Reading tokens from a text.
#include <QString>

// position counts the characters already consumed.
void ReadToken(int& position, const QString& text, const QString& delimiters, QString& token,
               bool& more);
// Reads a token from the front of text and removes it (and, with more set, one
// delimiter after it).
void ExtractToken(QString& text, bool& more, const QString& delimiters, QString& token);
// Fixed form: delimiters blank, comma and tab, more set before the read.
QString ExtractToken(QString& text, bool& more);

// text without the blanks and control characters (codes up to 32) at either
// end, as the classic Trim takes them off.
QString TrimControls(const QString& text);
