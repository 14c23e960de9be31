#pragma once
// Runs the real program the way a user does: its own settings folder with a
// prepared user hive, its own runtime folder for the control socket, its own
// current directory for the logs, and a simulated module (gsmsim) or a
// pseudo-terminal held by the test as the serial port.
#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Registry.h"
#include "tests/support/WaitUntil.h"

namespace e2e {

inline const QString AppKey = QStringLiteral("Software\\Oxatek\\Dralvo_v1-7");

// The conditions read the program's files: checking every 20 ms is often enough.
inline bool waitUntil(const std::function<bool()>& cond, int timeoutMs) {
    return testsupport::WaitUntil(cond, timeoutMs, 20);
}

// One record of a log file: "yyyy-mm-dd hh:mm:ss.zzz: <prefix><data>".
struct LogRecord {
    QString stamp;
    QByteArray prefix; // "+ ", "- ", "EG ", "A ", ... ("" when none of the known ones)
    QByteArray data;
};

struct LogContents {
    bool exists = false;
    QByteArray raw;
    QList<LogRecord> records;    // complete lines (ended by CR LF) only
    QList<QByteArray> malformed; // complete lines that are no well-formed record
    QByteArray tail;             // an unfinished last line

    // Data of the records with that prefix, in file order.
    QList<QByteArray> data(const QByteArray& prefix) const {
        QList<QByteArray> out;
        for (const LogRecord& r : records)
            if (r.prefix == prefix)
                out.append(r.data);
        return out;
    }
    bool hasRecord(const QByteArray& prefix, const QByteArray& data) const {
        return indexOf(prefix, data) >= 0;
    }
    qsizetype indexOf(const QByteArray& prefix, const QByteArray& data, qsizetype from = 0) const {
        for (qsizetype i = from; i < records.size(); ++i)
            if (records[i].prefix == prefix && records[i].data == data)
                return i;
        return -1;
    }
};

inline LogContents readLog(const QString& path) {
    LogContents log;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return log;
    log.exists = true;
    log.raw = file.readAll();
    static const QRegularExpression stampRe(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"));
    qsizetype pos = 0;
    for (;;) {
        const qsizetype end = log.raw.indexOf("\r\n", pos);
        if (end < 0) {
            log.tail = log.raw.mid(pos);
            break;
        }
        const QByteArray line = log.raw.mid(pos, end - pos);
        pos = end + 2;
        if (line.size() < 25 || line.mid(23, 2) != ": " ||
            !stampRe.match(QString::fromLatin1(line.left(23))).hasMatch() || line.contains('\r') ||
            line.contains('\n')) {
            log.malformed.append(line);
            continue;
        }
        LogRecord r;
        r.stamp = QString::fromLatin1(line.left(23));
        const QByteArray rest = line.mid(25);
        for (const char* p : {"EG ", "+ ", "- ", "A "}) {
            if (rest.startsWith(p)) {
                r.prefix = p;
                break;
            }
        }
        r.data = rest.mid(r.prefix.size());
        log.records.append(r);
    }
    return log;
}

inline QString today() {
    return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

// Registry values for a prepared hive: section below the application's key, name, value.
struct HiveValue {
    QString section;
    QString name;
    QString text;                  // used when dword is empty
    std::optional<uint32_t> dword; // a registry integer
};

// A private world for one or more program instances.
class World {
public:
    World() {
        QDir root(m_root.path());
        root.mkpath(QStringLiteral("cwd"));
        root.mkpath(QStringLiteral("run"));
        root.mkpath(QStringLiteral("xdg-empty"));
        QFile::setPermissions(root.filePath(QStringLiteral("run")), QFileDevice::ReadOwner |
                                                                        QFileDevice::WriteOwner |
                                                                        QFileDevice::ExeOwner);
    }
    bool ok() const { return m_root.isValid(); }
    QString path(const QString& rel) const { return QDir(m_root.path()).filePath(rel); }
    QString cwd() const { return path(QStringLiteral("cwd")); }
    QString runtimeDir() const { return path(QStringLiteral("run")); }
    QString configHome(const QString& name = QStringLiteral("config")) const { return path(name); }
    QString hiveFile(const QString& config = QStringLiteral("config")) const {
        return QDir(configHome(config)).filePath(QStringLiteral("Oxatek/user.reg"));
    }
    QString logFile() const {
        return QDir(cwd()).filePath(QStringLiteral("logs/Dralvo_") + today() +
                                    QStringLiteral(".log"));
    }
    QString fallbackLogFile() const {
        return QDir(cwd()).filePath(QStringLiteral("logs/Dralvo_") + today() +
                                    QStringLiteral(" dralvo.log"));
    }
    QString socketPath() const {
        return QDir(runtimeDir()).filePath(QStringLiteral("Dralvo_v1-7.ctl"));
    }

    // Writes the user hive in registry-export text through the registry layer.
    bool writeHive(const QList<HiveValue>& values,
                   const QString& config = QStringLiteral("config")) const {
        QDir().mkpath(QFileInfo(hiveFile(config)).path());
        QFile file(hiveFile(config));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.write("REGEDIT4\r\n\r\n");
        file.close();
        platform::Registry reg(hiveFile(config), QStringLiteral("HKEY_CURRENT_USER"), false);
        for (const HiveValue& v : values) {
            const QString key = AppKey + QLatin1Char('\\') + v.section;
            const bool done =
                v.dword ? reg.setDword(key, v.name, *v.dword) : reg.setString(key, v.name, v.text);
            if (!done)
                return false;
        }
        return true;
    }
    std::optional<platform::RegValue>
    hiveValue(const QString& section, const QString& name,
              const QString& config = QStringLiteral("config")) const {
        platform::Registry reg(hiveFile(config), QStringLiteral("HKEY_CURRENT_USER"), true);
        return reg.value(AppKey + QLatin1Char('\\') + section, name);
    }

    QProcessEnvironment environment(const QString& config) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome(config));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), path(QStringLiteral("xdg-empty")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
        return env;
    }

private:
    QTemporaryDir m_root;
};

// A child process with its output in files of the world (nothing can block on a full pipe).
class Child {
public:
    Child() = default;
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool start(const QString& program, const QStringList& args, const QString& workDir,
               const QProcessEnvironment& env, const QString& outputBase) {
        m_outputBase = outputBase;
        m_process.setProgram(program);
        m_process.setArguments(args);
        m_process.setWorkingDirectory(workDir);
        m_process.setProcessEnvironment(env);
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setStandardOutputFile(outputBase + QStringLiteral(".out"));
        m_process.setStandardErrorFile(outputBase + QStringLiteral(".err"));
        m_process.start();
        return m_process.waitForStarted(5000);
    }
    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    QByteArray stdoutText() const { return fileText(QStringLiteral(".out")); }
    QByteArray stderrText() const { return fileText(QStringLiteral(".err")); }

    // SIGTERM, as a desktop session ends a program; true when it ended by itself with code 0.
    bool terminate(int timeoutMs = 8000) {
        if (!running())
            return false;
        m_process.terminate();
        if (!m_process.waitForFinished(timeoutMs))
            return false;
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    void stop() {
        if (!running())
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

private:
    QByteArray fileText(const QString& suffix) const {
        QFile f(m_outputBase + suffix);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QProcess m_process;
    QString m_outputBase;
};

inline QString binary(const char* name) {
    return QStringLiteral(DRALVO_BINARY_DIR "/") + QLatin1String(name);
}

// Starts the program in the world with the named settings folder.
inline bool startDralvo(Child& child, const World& world,
                        const QString& config = QStringLiteral("config")) {
    return child.start(binary("dralvo"), {}, world.cwd(), world.environment(config),
                       world.path(QStringLiteral("dralvo-") + config));
}

// Starts gsmsim with its link at world/<linkName>; waits until the link exists.
inline bool startGsmsim(Child& child, const World& world, const QString& linkName,
                        const QStringList& extraArgs) {
    const QString link = world.path(linkName);
    QStringList args{QStringLiteral("--link"), link};
    args += extraArgs;
    if (!child.start(binary("gsmsim"), args, world.path(QString()), world.environment("config"),
                     world.path(QStringLiteral("gsmsim-") + linkName)))
        return false;
    return waitUntil([&] { return QFileInfo(link).isSymLink() && QFileInfo(link).exists(); }, 5000);
}

// Runs dralvo-msg against a socket and returns its printed answer (trimmed), or
// "exit <code>" when it failed.
inline QString dralvoMsg(const World& world, const QString& socket, const QString& command) {
    QProcess p;
    p.setProcessEnvironment(world.environment(QStringLiteral("config")));
    p.start(binary("dralvo-msg"), {QStringLiteral("--socket"), socket, command});
    if (!p.waitForFinished(8000))
        return QStringLiteral("timeout");
    if (p.exitCode() != 0)
        return QStringLiteral("exit %1").arg(p.exitCode());
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// The status line the main window writes into the terminal and log.
inline QByteArray statusLine(const QString& port, const char* state) {
    return QByteArrayLiteral("COM port \"") + port.toLocal8Bit() + QByteArrayLiteral("\": ") +
           state;
}

} // namespace e2e
