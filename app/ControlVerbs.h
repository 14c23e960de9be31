#pragma once
// The verb requests of the control socket, answered from the session: state,
// send, send-hex, mark, expect and tail (platform/ControlVerbTable.h lists
// them). Replies are text lines; a refusal is one line beginning "error: ",
// an expect that saw no matching line in time one beginning "timeout: ".
// Streams and waiters never hold up the session: tail clients get the
// records in batches and skip what they do not read in time, and each
// received line is tried once against each distinct expression waited for.
#include <QByteArray>
#include <QObject>
#include <QRegularExpression>
#include <QString>
#include <map>
#include <set>

#include "platform/ControlChannel.h"

class QTimer;

namespace app {

class Session;

class ControlVerbs : public QObject {
    Q_OBJECT
public:
    ControlVerbs(Session* session, platform::ControlChannel* channel, QObject* parent = nullptr);
    ~ControlVerbs() override;

    // The name the instance was given (--name), told by state.
    void SetInstanceName(const QString& name) { m_name = name; }

    // Tail clients get what came at most this long ago, together.
    static constexpr int TailBatchMs = 10;

    // Splits "REGEX [TIMEOUT]": a last word that is a number of seconds is
    // the time-out, everything before it the expression.
    struct ExpectRequest {
        QString pattern;
        double timeoutS = 0;
    };
    static ExpectRequest ParseExpect(const QString& arguments, double defaultTimeoutS);

private:
    using ClientId = platform::ControlChannel::ClientId;
    struct Waiters {
        QRegularExpression expression;
        std::map<ClientId, QTimer*> clients;
    };

    void request(ClientId client, const QByteArray& line, bool tooLong);
    void answerState(ClientId client);
    void answerSend(ClientId client, const QString& text, bool hex);
    void answerExpect(ClientId client, const QString& arguments);
    void lineReceived(const QByteArray& line);
    void recorded(const QByteArray& record);
    void flushTail();
    void clientGone(ClientId client);
    void forgetWaiter(ClientId client);
    void follow();

    Session* m_session;
    platform::ControlChannel* m_channel;
    QString m_name;
    std::map<QString, Waiters> m_waiters;  // by expression text
    std::map<ClientId, QString> m_waiting; // client -> its expression
    std::set<ClientId> m_tails;
    QByteArray m_tailBatch;
    QTimer* m_tailTimer = nullptr;
    QMetaObject::Connection m_linesConnection;
    QMetaObject::Connection m_recordsConnection;
};

} // namespace app
