#pragma once
// A pseudo-terminal standing in for a serial adapter: the program under test
// opens the slave end by name, the test plays the module on the master end.
// With a link name the program opens that symbolic link instead, so a test
// can pull the adapter (unplug) and plug a new one in behind the same name.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace testsupport {

struct PtyOptions {
    // The line in raw mode, as a serial port is (no echo, no line editing, no
    // character translation), set on the slave before the program opens it.
    bool raw = false;
    // The master is not inherited by programs the test starts: one that held
    // it would keep the line alive after unplug, and could read what the test
    // is meant to see.
    bool closeOnExec = false;
    // The test holds the slave end open too: the node stays while the program
    // closes and reopens it, and the test can lock it or read its settings.
    // Without it only the program has the slave open, so its close is a
    // hang-up on the master.
    bool keepSlave = false;
};

class Pty {
public:
    // A pseudo-terminal opened at once; the program opens path().
    explicit Pty(PtyOptions options = {});
    // One reached through the symbolic link named link; nothing is plugged in
    // until plug().
    Pty(QString link, PtyOptions options);
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // A fresh pseudo-terminal (the old one unplugged first); with a link, the
    // link is pointed at it atomically (never missing for a reader).
    bool plug();
    // Closes the master: what pulling a USB adapter looks like to the
    // program. A slave the test kept stays open, as the program's does, until
    // the next plug(); the link still names the node that is gone until then.
    // The pseudo-terminal's number stays taken until then as well: another
    // process's new pseudo-terminal could otherwise get that very node, and
    // the program retrying the old name would open a stranger's line.
    void unplug();
    // Unplugs and removes the link too, as a USB adapter's device node and its
    // /dev/serial/by-id link go when the cable is pulled.
    void pull();

    bool ok() const { return m_master >= 0; }
    bool plugged() const { return ok(); }
    int master() const { return m_master; }
    int slave() const { return m_slave; } // -1 unless keepSlave
    // The name the program opens: the link, or the slave's node without one.
    QString path() const { return m_link.isEmpty() ? m_slavePath : m_link; }
    const QString& slavePath() const { return m_slavePath; }

    // One write: true when all bytes went in at once.
    bool write(QByteArrayView bytes);
    // Writes all bytes, waiting while the line is full, at most timeoutMs in
    // all. With stopOnHangUp it gives up as soon as nobody has the slave open.
    bool writeAll(QByteArrayView bytes, int timeoutMs = 10000, bool stopOnHangUp = false);
    // What the master has now (nothing while nobody holds the slave open).
    QByteArray readNow();
    // What the program sent, gathered until want bytes arrived or timeoutMs
    // passed.
    QByteArray read(qsizetype want, int timeoutMs = 3000);
    // Someone holds the slave end open (the master reports no hang-up).
    bool readerPresent() const;

private:
    void closeSlave();

    QString m_link;
    PtyOptions m_options;
    int m_master = -1;
    int m_slave = -1;
    int m_heldNumber = -1; // a slave of the unplugged one, holding its number
    QString m_slavePath;
};

} // namespace testsupport
