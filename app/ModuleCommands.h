#pragma once
// The main window's commands to the module, without widgets: the autostart
// command line, reading a file in blocks for sending, and the input/output
// error codes of file operations with the messages the operator sees.
#include <QByteArray>
#include <QString>
#include <functional>

class QWidget;

namespace app {

// The one AT command line that switches the module's application autostart on
// and names the application: appName is used exactly as given (no trimming,
// no escaping of quotes); the line ends in a carriage return and nothing else.
QByteArray autostartCommand(const QByteArray& appName);

// A file is sent in blocks of this many bytes (the last one may be shorter).
constexpr int sendFileBlockSize = 513;

// Input/output error codes of file operations, as the operator knows them.
enum IoErrorCode : int {
    ioFileNotFound = 2,
    ioInvalidFilename = 3,
    ioTooManyOpenFiles = 4,
    ioFileAccessDenied = 5,
    ioReadBeyondEof = 100,
    ioDiskFull = 101,
};

// The error code for a system error number; a number without a code of its
// own is kept as it is.
int ioErrorFromErrno(int error);
// The message for an error code: "File not found", ..., "I/O error 13".
QString ioErrorMessage(int code);
// The message for a system error number. A number without a code of its own
// always reads "I/O error" with the number, also when the number happens to
// equal one of the codes (EIO is 5 but does not mean "File access denied").
QString ioErrorMessageForErrno(int error);

// Reads the file named fileName from start to end in blocks of up to
// blockSize bytes and hands each block to onBlock right after reading it
// (the bytes belong to the reader and are reused for the next block). An
// empty file hands nothing on. Only regular files are read: a directory, a
// device, a pipe or a socket could block the caller or never end, and is
// refused as "File access denied" (EACCES). Returns 0 when the whole file was
// read, otherwise the system error number; blocks handed on before the error
// stay handed on.
int readFileInBlocks(const QString& fileName,
                     const std::function<void(const char* data, int count)>& onBlock,
                     int blockSize = sendFileBlockSize);

// How a failed file operation is shown: a modal message box over parent by
// default. Tests put a recorder in its place; an empty reporter restores the
// message box.
using IoErrorReporter = std::function<void(QWidget* parent, const QString& message)>;
void setIoErrorReporter(IoErrorReporter reporter);
// Shows the message for a system error number through the current reporter.
void reportIoError(QWidget* parent, int error);

} // namespace app
