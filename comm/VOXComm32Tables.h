#pragma once
// Value tables of the port parameters, indexed by the ordinal of their
// enumeration, shared by the configuration string and the port dialog.
#include <QString>
#include <cstdint>

#include "comm/VOXComm32Types.h"

// Baud values: kBaudRateValues of VOXComm32Types.h (20 entries).

constexpr int kDataBitsCount = 5;
constexpr int kDataBitsValues[kDataBitsCount] = {4, 5, 6, 7, 8};

constexpr int kParityCount = 5;
constexpr const char* kParityNames[kParityCount] = {"None", "Odd", "Even", "Mark", "Space"};

constexpr int kStopBitsCount = 3;
constexpr const char* kStopBitsNames[kStopBitsCount] = {"1", "1.5", "2"};

// Reads a signed 32-bit decimal number (optional sign, digits only, nothing
// else). False for anything else, including numbers outside the range.
bool TextToInt32(const QString& text, int32_t& value);
// TextToInt32 with a value for text that is not such a number.
int32_t TextToInt32Def(const QString& text, int32_t defaultValue);

// The ordinal whose table entry equals the text (exact comparison), or -1.
int ParityIndexOf(const QString& text);
int StopBitsIndexOf(const QString& text);
// The ordinal whose table value equals the number, or -1.
int BaudRateIndexOf(int64_t value);
int DataBitsIndexOf(int64_t value);

// What is wrong with a configuration string (see TVOXComm32::SetConfigAsString),
// in words: the first field the parser would not take; empty when it takes them
// all (an empty field keeps its value).
QString ConfigStringProblem(const QString& config);
