#pragma once
// Booleans and hexadecimal digits and bytes as texts.
#include <QByteArray>
#include <QChar>
#include <QString>

QString BoolTo01(bool value);
bool TextToBool(const QString& text, bool defaultValue);
int HexDigitValue(QChar c, int defaultValue);
QChar HexDigitChar(int value);
QByteArray HexTextToBytes(const QString& text);
QString BytesToHexText(const QByteArray& bytes);
