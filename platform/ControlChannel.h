#pragma once
// How other programs talk to a running instance on this system: a local
// stream socket, reachable by the user only, that takes one request line. A
// line holding a message number (Start, Disconnect) is answered with one line
// holding the result; any other line is a verb request, answered by the
// program through the client's handle (a reply, or a stream of lines for as
// long as the client stays). Also the termination signals, which must reach
// the program as an ordinary close.
#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

class QSocketNotifier;
class QTimer;

namespace platform {

// The folder of the control socket: $XDG_RUNTIME_DIR, or else a folder of the
// user's own in the shared /tmp, /tmp/dralvo-<uid> (an empty variable counts
// as unset).
QString controlSocketDir();
// Makes dir ready to hold the socket. The session's own folder
// ($XDG_RUNTIME_DIR) is taken as it is; any other folder must be the user's
// own: it is created with mode 0700 when missing, and refused when it is not a
// directory (a symbolic link counts as none), belongs to another user, or
// others may use it (a mode wider than 0700). False with the reason in *why.
bool prepareControlSocketDir(const QString& dir, QString* why);

// Ignores SIGPIPE for the whole process: a write to a pipe or socket whose
// reader is gone fails with EPIPE, handled as any failed write, instead of
// ending the program.
void ignoreBrokenPipe();
// <dir>/<baseName>.ctl for the first instance, <dir>/<baseName>-<pid>.ctl otherwise.
QString controlSocketPath(const QString& dir, const QString& baseName, long long pid = 0);

// A message number as a client writes it: decimal or 0x/0X hexadecimal,
// surrounding blanks and line ends allowed. Empty when it is not such a number
// or does not fit 32 bits.
std::optional<uint32_t> parseControlMessage(const QByteArray& text);

// Server side. Lives on the user-interface thread; each request is answered by
// OnMessage there, so the handler may do anything a button click does.
class ControlChannel : public QObject {
    Q_OBJECT
public:
    explicit ControlChannel(QObject* parent = nullptr);
    ~ControlChannel() override; // closes the socket and removes its file

    // Listens on <dir>/<baseName>.ctl; when a live instance already answers
    // there (or the name cannot be taken), on <dir>/<baseName>-<pid>.ctl.
    // The folder is made ready first (prepareControlSocketDir). A socket file
    // left behind by a crashed instance is replaced. The socket is reachable
    // by the current user only. Returns false, with the reason in
    // errorString(), when the folder is refused or neither name could be used.
    bool listen(const QString& dir, const QString& baseName);
    void close();
    QString path() const { return m_path; }
    QString errorString() const { return m_error; }
    bool isListening() const { return m_fd >= 0; }
    // Why the socket listens under its <baseName>-<pid> name ("a directory is
    // in its place", "another running instance answers there", ...); empty
    // when it has the first name.
    QString fallbackReason() const { return m_fallbackReason; }
    // The path the first name would have had.
    QString firstPath() const { return m_firstPath; }

    // Result for a message number; no handler answers 0.
    std::function<int(uint32_t message)> OnMessage;

    // ---- verb requests ----
    using ClientId = quint64;
    // A request line that is no message number (line ends removed), or an
    // empty line with tooLong when the client sent more than MaxLineLength
    // bytes without a line feed. Without a handler the client gets an error line.
    std::function<void(ClientId client, const QByteArray& line, bool tooLong)> OnRequest;
    // The client closed its end or was dropped; its handle is gone.
    std::function<void(ClientId client)> OnClientGone;
    // Writes text to the client and closes it once everything has left.
    void reply(ClientId client, const QByteArray& text);
    // Writes lines to a client that stays (a stream). What the client has not
    // taken yet is bounded: beyond MaxPendingBytes whole batches are skipped,
    // and once it has caught up it first reads "-- N lines skipped --".
    // Returns false when the batch was skipped.
    bool stream(ClientId client, const QByteArray& lines);
    // Drops the client at once.
    void closeClient(ClientId client);
    bool hasClient(ClientId client) const;
    // A fault worth a line on the trace channel (said once, not each time it recurs).
    std::function<void(const QString& text)> OnTrace;

    // A client that sends no complete line within this time is dropped.
    static constexpr int ClientTimeoutMs = 5000;
    // Longest request line accepted (a send line's text fits easily).
    static constexpr int MaxLineLength = 4096;
    // Output a streaming client may leave unread before lines are skipped.
    static constexpr int MaxPendingBytes = 1024 * 1024;

    // Descriptors kept free of clients for the port, the log and the
    // settings file: no more clients are taken while fewer are left.
    static constexpr int ReservedDescriptors = 64;
    // After accept found no descriptor left, the next try comes when a client
    // leaves, or after this long (the descriptors may be free elsewhere).
    static constexpr int PausedRetryMs = 500;
    // Clients taken, or silent ones dropped, at one go before the loop goes on.
    static constexpr int AcceptBatch = 64;
    // How often silent clients are looked for.
    static constexpr int SweepIntervalMs = 100;
    // Clients served at once (from the descriptor limit); more wait in the backlog.
    int maxClients() const { return m_maxClients; }
    int clientCount() const { return m_clients; }
    bool isPaused() const { return m_paused; }

private:
    struct Client;
    bool listenAt(const QString& path, bool replaceStale);
    void acceptClients();
    void pauseAccepting();
    void sweepSilentClients();
    void serveClients();
    void watch(Client* client, int operation);
    void resumeAccepting();
    void readClient(Client* client);
    void writeClient(Client* client);
    void queue(Client* client, const char* data, qsizetype size);
    void drop(Client* client);
    Client* find(ClientId id) const;

    int m_fd = -1;
    QString m_path;
    QString m_error;
    unsigned long long m_inode = 0;
    QSocketNotifier* m_notifier = nullptr;
    QString m_fallbackReason;
    QString m_firstPath;
    std::map<ClientId, Client*> m_clientsById;
    ClientId m_nextId = 1;
    int m_clients = 0;
    int m_maxClients = 0;
    bool m_paused = false;
    bool m_exhaustionTraced = false;
    QTimer* m_resumeTimer = nullptr;
    QTimer* m_sweepTimer = nullptr;
    int m_epoll = -1; // every client's descriptor, watched at once
    QSocketNotifier* m_clientNotifier = nullptr;
    QElapsedTimer m_clock;
};

// What the bytes a client has sent so far ask for: nothing yet (no whole line
// and still room for one), or an answer. A first line that looks like a
// number (empty, or beginning with a digit, a sign or a blank) is a message:
// its number, or none (answered 0) when it is no 32-bit number or is longer
// than ControlChannel::MaxLineLength. Any other first line is a verb request
// (line, without its line ends), or tooLong when no line feed came within
// MaxLineLength bytes.
struct ControlRequest {
    bool complete = false;
    bool isMessage = false;
    std::optional<uint32_t> message;
    QByteArray line;
    bool tooLong = false;
};
ControlRequest readControlRequest(const QByteArray& received);

// Client side: sends one request line and returns the answer, or -1 with a
// reason in *error when the window could not be reached or gave no answer.
// Nothing is sent to a server that runs as another user (its credentials are
// checked first): someone else may have put a socket where ours belongs.
long long sendControlMessage(const QString& path, const QByteArray& request, QString* error,
                             int timeoutMs = 5000);
// Sends one request line and hands everything the server writes back to
// onOutput as it arrives, until the server closes (true) or timeoutMs pass
// without an end (false; a negative time-out waits for good). The same check
// of the server's user as above; false with a reason in *error when the
// server could not be reached.
bool runControlRequest(const QString& path, const QByteArray& request,
                       const std::function<void(const QByteArray& output)>& onOutput,
                       QString* error, int timeoutMs);

// SIGTERM, SIGINT and SIGHUP turned into a call on the user-interface thread
// (a self-pipe read by a socket notifier), so the handler may close windows and
// save settings. The signal handlers stay installed: a further signal while the
// first is being handled is only queued and never interrupts that work.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override; // restores the previous dispositions

    std::function<void(int signalNumber)> OnSignal;

private:
    void readPipe();
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace platform
