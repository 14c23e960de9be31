#pragma once
// The main window's commands to the module, without widgets: the autostart
// command line, reading a file in blocks for sending, and the input/output
// error codes of file operations with the messages the operator sees.
#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/File.h"

class QWidget;

namespace app {

// The one AT command line that switches the module's application autostart on
// and names the application: appName is used exactly as given (no trimming,
// no escaping of quotes); the line ends in a carriage return and nothing else.
QByteArray autostartCommand(const QByteArray& appName);

// The command that starts the application named appName ("at^sjra=", the
// name as typed, a carriage return), sent by "Connect & Start".
QByteArray startCommand(const QByteArray& appName);

// What a received line says about the command sent before it: a final "OK",
// an "ERROR" (also "+CME ERROR: ..."), or nothing (an echo, other output).
enum class CommandAnswer { None, Ok, Error };
CommandAnswer commandAnswerOf(QByteArrayView line);

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

// A file opened for sending, read block by block.
class BlockFile {
public:
    BlockFile() = default;
    ~BlockFile();
    BlockFile(const BlockFile&) = delete;
    BlockFile& operator=(const BlockFile&) = delete;

    // Opens an existing file for reading; 0 or the system error number. Only
    // regular files are opened: a directory gives EISDIR, and a device, a
    // pipe or a socket, which could block the caller or never end, EACCES.
    int open(const QString& fileName);
    // Reads the next block of up to size bytes: the count read (0 at the end
    // of the file) or the negated system error number.
    int read(char* buffer, int size);
    void close();
    bool isOpen() const { return m_file.isOpen(); }

private:
    platform::File m_file;
    int m_error = 0; // the read error met, reported by every later read
};

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

// Sends files block by block. Each block is handed to send (the port's queue)
// and then to echo (the terminal). Echoing into the terminal and its log costs
// far more than queuing, so a large file is handled in slices of about
// sliceMs milliseconds each, with the event loop running in between; a small
// file is done within start(). Files given while one is being sent follow it
// in order.
//
// If the port refuses the first block of a file (it is not open), the file is
// still shown as sent, block by block, but nothing of it is sent later, even
// if the port opens meanwhile. If the port refuses a later block (it was
// closed or failed during the transfer), the transfer ends there together
// with the files waiting behind it: the rest is neither sent nor shown, so a
// reopened port never gets the tail of a file without its beginning.
class FileSender : public QObject {
    Q_OBJECT
public:
    explicit FileSender(QObject* parent = nullptr);
    ~FileSender() override;

    std::function<bool(const char* data, int count)> send;
    std::function<void(const char* data, int count)> echo;
    // A file could not be opened or read; the system error number. Blocks
    // handed on before the error stay handed on.
    std::function<void(int error)> failed;

    // Opens the file (failed is called at once when that fails) and sends
    // it, starting now.
    void start(const QString& fileName);
    // Whether a file is still being sent.
    bool busy() const { return !m_transfers.empty(); }
    // Forgets every file not yet completely handed on.
    void cancel();

    int sliceMs() const { return m_sliceMs; }
    // Time for one slice; at least one block is handled per slice.
    void setSliceMs(int ms) { m_sliceMs = ms; }

private:
    struct Transfer {
        BlockFile file;
        enum State { Fresh, Sending, ShowOnly } state = Fresh;
    };
    void runSlice();

    std::deque<std::unique_ptr<Transfer>> m_transfers;
    std::vector<char> m_buffer;
    QTimer m_next;
    int m_sliceMs = 20;
    bool m_inSlice = false;
};

// How a failed file operation is shown: a modal message box over parent by
// default. Tests put a recorder in its place; an empty reporter restores the
// message box.
using IoErrorReporter = std::function<void(QWidget* parent, const QString& message)>;
void setIoErrorReporter(IoErrorReporter reporter);
// Shows the message for a system error number through the current reporter.
void reportIoError(QWidget* parent, int error);
// Shows a message of a failed file operation through the current reporter.
void reportIoFailure(QWidget* parent, const QString& message);

} // namespace app
