#include "app/ModuleCommands.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
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
        return QStringLiteral("File not found");
    case ioInvalidFilename:
        return QStringLiteral("Invalid filename");
    case ioTooManyOpenFiles:
        return QStringLiteral("Too many open files");
    case ioFileAccessDenied:
        return QStringLiteral("File access denied");
    case ioReadBeyondEof:
        return QStringLiteral("Read beyond end of file");
    case ioDiskFull:
        return QStringLiteral("Disk full");
    default:
        return QStringLiteral("I/O error %1").arg(code);
    }
}

QString ioErrorMessageForErrno(int error) {
    const int code = ownCodeOf(error);
    return code != 0 ? ioErrorMessage(code) : QStringLiteral("I/O error %1").arg(error);
}

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

int readFileInBlocks(const QString& fileName,
                     const std::function<void(const char* data, int count)>& onBlock,
                     int blockSize) {
    if (blockSize < 1)
        blockSize = sendFileBlockSize;
    const QByteArray name = QFile::encodeName(fileName);
    const std::filesystem::path path(name.toStdString());

    // Look before opening: opening a pipe waits for a writer, and a device
    // such as /dev/zero never ends.
    std::error_code status;
    const std::filesystem::file_type type = std::filesystem::status(path, status).type();
    if (status)
        return status.value();
    if (type == std::filesystem::file_type::directory)
        return EISDIR;
    if (type != std::filesystem::file_type::regular)
        return EACCES;

    errno = 0;
    // Read-only: sending needs no more, so a write-protected file can be sent.
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.constData(), "rbe"));
    if (!file)
        return errno != 0 ? errno : EIO;

    std::vector<char> block(size_t(blockSize), 0);
    for (;;) {
        errno = 0;
        const size_t got = std::fread(block.data(), 1, block.size(), file.get());
        const int readError = std::ferror(file.get()) ? (errno != 0 ? errno : EIO) : 0;
        if (got > 0)
            onBlock(block.data(), int(got));
        if (readError != 0)
            return readError;
        if (got < block.size())
            return 0; // end of the file
    }
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
    const QString message = ioErrorMessageForErrno(error);
    if (const IoErrorReporter& reporter = currentReporter())
        reporter(parent, message);
    else
        showMessageBox(parent, message);
}

} // namespace app
