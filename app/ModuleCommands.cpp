#include "app/ModuleCommands.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <cerrno>
#include <vector>

namespace app {

QByteArray autostartCommand(const QByteArray& appName) {
    QByteArray command;
    command += "at";
    command += "^scfg=\"Userware/Autostart\",\"\",1;";
    command += "^scfg=\"Userware/Autostart/AppName\",\"\",\"";
    command += appName;
    command += "\"";
    command += '\r';
    return command;
}

QByteArray startCommand(const QByteArray& appName) {
    return QByteArrayLiteral("at^sjra=") + appName + '\r';
}

CommandAnswer commandAnswerOf(QByteArrayView line) {
    const QByteArray word = line.trimmed().toByteArray().toUpper();
    if (word == "OK")
        return CommandAnswer::Ok;
    if (word == "ERROR" || word.startsWith("+CME ERROR"))
        return CommandAnswer::Error;
    return CommandAnswer::None;
}

namespace {

// The code of a system error number that has one; 0 otherwise.
int ownCodeOf(int error) {
    switch (error) {
    case ENOENT:
        return ioFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
        return ioInvalidFilename;
    case EMFILE:
    case ENFILE:
        return ioTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ioFileAccessDenied;
    case ENOSPC:
        return ioDiskFull;
    default:
        return 0;
    }
}

} // namespace

int ioErrorFromErrno(int error) {
    const int code = ownCodeOf(error);
    return code != 0 ? code : error;
}

QString ioErrorMessage(int code) {
    switch (code) {
    case ioFileNotFound:
        return QCoreApplication::translate("app", "File not found");
    case ioInvalidFilename:
        return QCoreApplication::translate("app", "Invalid filename");
    case ioTooManyOpenFiles:
        return QCoreApplication::translate("app", "Too many open files");
    case ioFileAccessDenied:
        return QCoreApplication::translate("app", "File access denied");
    case ioReadBeyondEof:
        return QCoreApplication::translate("app", "Read beyond end of file");
    case ioDiskFull:
        return QCoreApplication::translate("app", "Disk full");
    default:
        return QCoreApplication::translate("app", "I/O error %1").arg(code);
    }
}

QString ioErrorMessageForErrno(int error) {
    const int code = ownCodeOf(error);
    return code != 0 ? ioErrorMessage(code)
                     : QCoreApplication::translate("app", "I/O error %1").arg(error);
}

// ---- reading a file in blocks ------------------------------------------------------

BlockFile::~BlockFile() {
    close();
}

int BlockFile::open(const QString& fileName) {
    close();
    // Read-only: sending needs no more, so a write-protected file can be sent.
    const int error = m_file.open(fileName, platform::GENERIC_READ,
                                  platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                                  platform::OPEN_EXISTING);
    // A pipe, a socket or a device could block the sender or never end.
    return error == ENXIO ? EACCES : error;
}

int BlockFile::read(char* buffer, int size) {
    if (!m_file.isOpen())
        return -EBADF;
    if (m_error != 0)
        return -m_error;
    if (size <= 0)
        return 0;
    // A block cut short by an error is still handed on; the error shows at
    // the next read.
    int got = 0;
    while (got < size) {
        const int64_t n = m_file.read(buffer + got, size - got);
        if (n < 0) {
            m_error = errno != 0 ? errno : EIO;
            return got > 0 ? got : -m_error;
        }
        if (n == 0)
            break;
        got += int(n);
    }
    return got;
}

void BlockFile::close() {
    m_file.close();
    m_error = 0;
}

int readFileInBlocks(const QString& fileName,
                     const std::function<void(const char* data, int count)>& onBlock,
                     int blockSize) {
    if (blockSize < 1)
        blockSize = sendFileBlockSize;
    BlockFile file;
    if (const int error = file.open(fileName))
        return error;
    std::vector<char> block(size_t(blockSize), 0);
    for (;;) {
        const int got = file.read(block.data(), blockSize);
        if (got < 0)
            return -got;
        if (got == 0)
            return 0;
        onBlock(block.data(), got);
    }
}

// ---- sending files -----------------------------------------------------------------

FileSender::FileSender(QObject* parent) : QObject(parent), m_buffer(size_t(sendFileBlockSize), 0) {
    m_next.setSingleShot(true);
    m_next.setInterval(0);
    connect(&m_next, &QTimer::timeout, this, [this] { runSlice(); });
}

FileSender::~FileSender() = default;

void FileSender::start(const QString& fileName) {
    auto transfer = std::make_unique<Transfer>();
    if (const int error = transfer->file.open(fileName)) {
        if (failed)
            failed(error);
        return;
    }
    m_transfers.push_back(std::move(transfer));
    // Behind a running transfer the file waits for its turn; otherwise the
    // first slice runs now, so a small file is queued before start returns.
    if (m_transfers.size() == 1)
        runSlice();
}

void FileSender::cancel() {
    m_next.stop();
    m_transfers.clear();
}

void FileSender::runSlice() {
    // A message box of a failure runs its own event loop; a slice must not
    // start inside another one.
    if (m_inSlice)
        return;
    m_inSlice = true;
    QElapsedTimer clock;
    clock.start();
    int error = 0;
    while (!m_transfers.empty()) {
        Transfer& transfer = *m_transfers.front();
        const int got = transfer.file.read(m_buffer.data(), int(m_buffer.size()));
        if (got <= 0) {
            error = -got;
            m_transfers.pop_front();
            if (error != 0)
                break; // told before the next file goes on
            continue;
        }
        const char* block = m_buffer.data();
        switch (transfer.state) {
        case Transfer::Fresh:
            transfer.state = send && send(block, got) ? Transfer::Sending : Transfer::ShowOnly;
            break;
        case Transfer::Sending:
            if (!send || !send(block, got)) {
                m_transfers.clear(); // the port went away under the transfer
                continue;
            }
            break;
        case Transfer::ShowOnly:
            break;
        }
        if (echo)
            echo(block, got);
        if (clock.elapsed() >= m_sliceMs)
            break;
    }
    if (!m_transfers.empty())
        m_next.start();
    m_inSlice = false;
    if (error != 0 && failed)
        failed(error);
}

namespace {

IoErrorReporter& currentReporter() {
    static IoErrorReporter reporter;
    return reporter;
}

void showMessageBox(QWidget* parent, const QString& message) {
    QMessageBox::critical(parent, QApplication::applicationName(), message);
}

} // namespace

void setIoErrorReporter(IoErrorReporter reporter) {
    currentReporter() = std::move(reporter);
}

void reportIoError(QWidget* parent, int error) {
    reportIoFailure(parent, ioErrorMessageForErrno(error));
}

void reportIoFailure(QWidget* parent, const QString& message) {
    if (const IoErrorReporter& reporter = currentReporter())
        reporter(parent, message);
    else
        showMessageBox(parent, message);
}

} // namespace app
