#pragma once
// Small shared helpers: file stream, debug diagnostic, combo-box and window
// placement helpers, token reader, hexadecimal/boolean/time texts, positional
// formatter.
#include <QByteArray>
#include <QDateTime>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>
#include <stdexcept>
#include <variant>
#include <vector>

#include "platform/File.h"

class QComboBox;
class QObject;
class QWidget;

// ---- Win32 file-creation values understood by TOxaFileStream --------------
using platform::CREATE_ALWAYS;
using platform::CREATE_NEW;
using platform::FILE_ATTRIBUTE_NORMAL;
using platform::FILE_FLAG_WRITE_THROUGH;
using platform::FILE_SHARE_DELETE;
using platform::FILE_SHARE_READ;
using platform::FILE_SHARE_WRITE;
using platform::GENERIC_READ;
using platform::GENERIC_WRITE;
using platform::OPEN_ALWAYS;
using platform::OPEN_EXISTING;
using platform::TRUNCATE_EXISTING;

// Raised when TOxaFileStream cannot open or create its file.
class EFCreateError : public std::runtime_error {
public:
    explicit EFCreateError(const std::string& message, int error = 0)
        : std::runtime_error(message), m_error(error) {}
    int errorCode() const { return m_error; } // errno of the failing call
private:
    int m_error;
};

// A byte stream owning a file opened with the semantics of the five Win32
// creation values (platform::File): sharing that excludes other writers ("read
// only" or no sharing) is an exclusive flock, so a second writer fails to open;
// only regular files open, and the open never blocks (a FIFO, directory or
// device at the path fails with its own errno).
class TOxaFileStream {
public:
    TOxaFileStream(const QString& fileName, uint32_t desiredAccess, uint32_t shareMode,
                   uint32_t creationDisposition, uint32_t flagsAndAttributes);
    ~TOxaFileStream();
    TOxaFileStream(const TOxaFileStream&) = delete;
    TOxaFileStream& operator=(const TOxaFileStream&) = delete;

    int Handle() const { return m_file.handle(); }
    // Return the number of bytes transferred; -1 on error (errno kept).
    int64_t Write(const void* data, int64_t count);
    int64_t Read(void* data, int64_t count);
    // origin: 0 = from beginning, 1 = from current, 2 = from end. Returns the new position or -1.
    int64_t Seek(int64_t offset, int origin);
    int64_t Size() const;
    int64_t Position() const;

private:
    platform::File m_file;
};

// ---- diagnostics -------------------------------------------------------------
// Off until the program turns it on; even then only a developer sees the texts
// (stderr when DRALVO_DEBUG is set in the environment).
extern bool debugNotifyEnabled;
void DebugNotify(const QString& text);

// ---- combo box and form placement (user-interface thread only) ---------------
bool SelectComboItem(QComboBox* combo, const QString& text);
bool GetWorkArea(QRect& rect, bool primaryOnly);
void KeepFormOnScreen(QWidget* form, bool primaryOnly);
void CenterForm(QWidget* form, QWidget* reference, bool primaryOnly);
QWidget* OwnerForm(QObject* component);
// The placement arithmetic behind KeepFormOnScreen and CenterForm, free of widgets:
// a form larger than the area is shrunk to it, then moved until it lies inside.
QRect KeepRectOnScreen(QRect form, const QRect& area);
// The top-left corner that puts the centre of a form of the given size on center.
QPoint CenteredTopLeft(const QSize& form, const QPoint& center);

// ---- tokens ------------------------------------------------------------------
// position counts the characters already consumed.
void ReadToken(int& position, const QString& text, const QString& delimiters, QString& token,
               bool& more);
// Reads a token from the front of text and removes it (and, with more set, one
// delimiter after it).
void ExtractToken(QString& text, bool& more, const QString& delimiters, QString& token);
// Fixed form: delimiters blank, comma and tab, more set before the read.
QString ExtractToken(QString& text, bool& more);

// ---- booleans, hexadecimal ----------------------------------------------------
QString BoolTo01(bool value);
bool TextToBool(const QString& text, bool defaultValue);
int HexDigitValue(QChar c, int defaultValue);
QChar HexDigitChar(int value);
QByteArray HexTextToBytes(const QString& text);
QString BytesToHexText(const QByteArray& bytes);

// ---- time ----------------------------------------------------------------------
// The user's locale time separator (":" when the locale gives none).
QString LocaleTimeSeparator();
// value is a date-time in days (the integer part is ignored for a time of day).
void TimeToText(int decimals, bool duration, int minHourDigits, QString& text, double value);
// Converts a QDateTime into the day-count value used by TimeToText.
double DateTimeToValue(const QDateTime& dt);

// ---- positional formatter --------------------------------------------------------
struct VarRec {
    // A class: shown as its name.
    struct ClassName {
        QString name;
    };
    // An object: shown as "(ClassName)".
    struct ObjectRef {
        QString className;
    };
    struct Pointer {
        const void* p;
    };
    struct Interface {
        const void* p;
    };
    std::variant<int, int64_t, bool, QChar, double, QString, Pointer, Interface, ObjectRef,
                 ClassName>
        value;
    VarRec(int v) : value(v) {}
    VarRec(int64_t v) : value(v) {}
    VarRec(bool v) : value(v) {}
    VarRec(QChar v) : value(v) {}
    VarRec(double v) : value(v) {}
    VarRec(const QString& v) : value(v) {}
    VarRec(const char* v) : value(QString::fromUtf8(v)) {}
    VarRec(Pointer v) : value(v) {}
    VarRec(Interface v) : value(v) {}
    VarRec(ObjectRef v) : value(v) {}
    VarRec(ClassName v) : value(v) {}
};
QString VarRecToText(const VarRec& value, int width);
void FormatPositional(const QString& templ, const std::vector<VarRec>& values, QString& text);
