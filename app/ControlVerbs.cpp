#include "app/ControlVerbs.h"

#include <QTimer>
#include <cmath>

#include "app/Session.h"
#include "comm/VOXComm32.h"
#include "platform/ControlVerbTable.h"
#include "terminal/SendLineText.h"

namespace app {

namespace {

QByteArray errorLine(const QString& text) {
    return "error: " + text.toUtf8() + '\n';
}

QString verbList() {
    QStringList names;
    for (const platform::ControlVerbRow& row : platform::ControlVerbTable)
        names << QLatin1String(row.name);
    return names.join(QStringLiteral(", "));
}

} // namespace

ControlVerbs::ControlVerbs(Session* session, platform::ControlChannel* channel, QObject* parent)
    : QObject(parent), m_session(session), m_channel(channel) {
    m_channel->OnRequest = [this](ClientId client, const QByteArray& line, bool tooLong) {
        request(client, line, tooLong);
    };
    m_channel->OnClientGone = [this](ClientId client) { clientGone(client); };
    m_tailTimer = new QTimer(this);
    m_tailTimer->setSingleShot(true);
    m_tailTimer->setInterval(TailBatchMs);
    connect(m_tailTimer, &QTimer::timeout, this, &ControlVerbs::flushTail);
}

void ControlVerbs::follow() {
    // The session only splits received lines and forms records while someone
    // listens: a run without waiters and tails spends nothing on them.
    const bool wantLines = !m_waiters.empty();
    if (wantLines != bool(m_linesConnection)) {
        if (wantLines)
            m_linesConnection =
                connect(m_session, &Session::lineReceived, this, &ControlVerbs::lineReceived);
        else
            disconnect(std::exchange(m_linesConnection, {}));
    }
    const bool wantRecords = !m_tails.empty();
    if (wantRecords != bool(m_recordsConnection)) {
        if (wantRecords)
            m_recordsConnection =
                connect(m_session, &Session::recorded, this, &ControlVerbs::recorded);
        else
            disconnect(std::exchange(m_recordsConnection, {}));
    }
}

ControlVerbs::~ControlVerbs() {
    if (m_channel) {
        m_channel->OnRequest = nullptr;
        m_channel->OnClientGone = nullptr;
    }
}

ControlVerbs::ExpectRequest ControlVerbs::ParseExpect(const QString& arguments,
                                                      double defaultTimeoutS) {
    ExpectRequest request;
    request.pattern = arguments;
    request.timeoutS = defaultTimeoutS;
    const qsizetype blank = arguments.lastIndexOf(QLatin1Char(' '));
    if (blank > 0) {
        bool ok = false;
        const double seconds = arguments.mid(blank + 1).toDouble(&ok);
        if (ok && std::isfinite(seconds) && seconds >= 0) {
            request.timeoutS = seconds;
            request.pattern = arguments.left(blank);
        }
    }
    return request;
}

void ControlVerbs::request(ClientId client, const QByteArray& line, bool tooLong) {
    if (tooLong) {
        m_channel->reply(
            client,
            errorLine(
                tr("request longer than %1 bytes").arg(platform::ControlChannel::MaxLineLength)));
        return;
    }
    const QString text = QString::fromUtf8(line);
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    const QString verb = blank < 0 ? text : text.left(blank);
    const QString arguments = blank < 0 ? QString() : text.mid(blank + 1);
    const auto needsArguments = [&] {
        if (!arguments.isEmpty())
            return false;
        m_channel->reply(client, errorLine(tr("%1 needs its argument").arg(verb)));
        return true;
    };
    if (verb == QLatin1String("state") && arguments.isEmpty()) {
        answerState(client);
    } else if (verb == QLatin1String("send")) {
        if (!needsArguments())
            answerSend(client, arguments, false);
    } else if (verb == QLatin1String("send-hex")) {
        if (!needsArguments())
            answerSend(client, arguments, true);
    } else if (verb == QLatin1String("mark")) {
        m_session->Mark(arguments.toLatin1());
        m_channel->reply(client, "ok\n");
    } else if (verb == QLatin1String("expect")) {
        if (!needsArguments())
            answerExpect(client, arguments);
    } else if (verb == QLatin1String("tail") && arguments.isEmpty()) {
        m_tails.insert(client);
        follow();
    } else if (verb == QLatin1String("start") && arguments.isEmpty()) {
        m_session->Start();
        m_channel->reply(client, "1\n");
    } else if (verb == QLatin1String("disconnect") && arguments.isEmpty()) {
        m_session->Disconnect();
        m_channel->reply(client, "2\n");
    } else {
        m_channel->reply(client, errorLine(tr("cannot read '%1'; requests: a message number, %2")
                                               .arg(text.left(80), verbList())));
    }
}

void ControlVerbs::answerState(ClientId client) {
    const StatusStepRow& step = StatusStepInfo(m_session->StatusStep);
    QString text;
    text += QStringLiteral("state: %1\n").arg(m_session->StateWord());
    text += QStringLiteral("step: %1\n").arg(QString::fromLatin1(step.text));
    text += QStringLiteral("port: %1\n").arg(m_session->commMain->CommPort());
    text += QStringLiteral("speed: %1\n").arg(BaudRateValue(m_session->commMain->BaudRate()));
    text += QStringLiteral("log: %1\n").arg(m_session->LogFileName());
    if (!m_name.isEmpty())
        text += QStringLiteral("name: %1\n").arg(m_name);
    m_channel->reply(client, text.toUtf8());
}

void ControlVerbs::answerSend(ClientId client, const QString& text, bool hex) {
    // As the send line: the text with a carriage return; as the hex line: the
    // bytes described, without one.
    if (hex) {
        const qsizetype wrong = terminal::FindNonHexPair(text);
        if (wrong >= 0) {
            m_channel->reply(client, errorLine(terminal::NonHexNotice(text, wrong)));
            return;
        }
    }
    const QString manual = hex ? terminal::HexTextToManual(text) : text;
    const qsizetype unsendable = terminal::FindUnsendable(manual);
    if (unsendable >= 0) {
        m_channel->reply(client, errorLine(terminal::UnsendableNotice(manual, unsendable)));
        return;
    }
    QByteArray bytes = terminal::SendBytes(manual);
    if (!hex)
        bytes.append('\r');
    if (bytes.isEmpty()) {
        m_channel->reply(client, errorLine(tr("no bytes to send")));
        return;
    }
    m_session->SendData(bytes.constData(), int(bytes.size()));
    m_channel->reply(client, "ok\n");
}

void ControlVerbs::answerExpect(ClientId client, const QString& arguments) {
    const ExpectRequest request = ParseExpect(arguments, platform::ExpectDefaultTimeoutS);
    auto it = m_waiters.find(request.pattern);
    if (it == m_waiters.end()) {
        QRegularExpression expression(request.pattern);
        if (!expression.isValid()) {
            m_channel->reply(client, errorLine(tr("the expression '%1' is not valid: %2 at %3")
                                                   .arg(request.pattern, expression.errorString())
                                                   .arg(expression.patternErrorOffset())));
            return;
        }
        expression.optimize();
        it = m_waiters.emplace(request.pattern, Waiters{expression, {}}).first;
    }
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, client, request] {
        forgetWaiter(client);
        follow();
        m_channel->reply(client, QStringLiteral("timeout: no line matched '%1' within %2 s\n")
                                     .arg(request.pattern)
                                     .arg(request.timeoutS)
                                     .toUtf8());
    });
    timer->start(int(std::min(request.timeoutS * 1000.0, 2.0e9)));
    it->second.clients[client] = timer;
    m_waiting[client] = request.pattern;
    follow();
}

void ControlVerbs::lineReceived(const QByteArray& line) {
    if (m_waiters.empty())
        return;
    const QString text = QString::fromLatin1(line);
    for (auto it = m_waiters.begin(); it != m_waiters.end();) {
        if (!it->second.expression.match(text).hasMatch()) {
            ++it;
            continue;
        }
        const std::map<ClientId, QTimer*> clients = std::move(it->second.clients);
        it = m_waiters.erase(it);
        for (const auto& [client, timer] : clients) {
            delete timer;
            m_waiting.erase(client);
            m_channel->reply(client, line + '\n');
        }
    }
    follow();
}

void ControlVerbs::recorded(const QByteArray& record) {
    if (m_tails.empty())
        return;
    m_tailBatch += record;
    m_tailBatch += '\n';
    if (!m_tailTimer->isActive())
        m_tailTimer->start();
}

void ControlVerbs::flushTail() {
    const QByteArray batch = std::exchange(m_tailBatch, QByteArray());
    if (batch.isEmpty())
        return;
    // A copy: a client that fails is dropped, and so leaves the set, meanwhile.
    const std::set<ClientId> tails = m_tails;
    for (ClientId client : tails)
        m_channel->stream(client, batch);
}

void ControlVerbs::forgetWaiter(ClientId client) {
    const auto waiting = m_waiting.find(client);
    if (waiting == m_waiting.end())
        return;
    const auto it = m_waiters.find(waiting->second);
    m_waiting.erase(waiting);
    if (it == m_waiters.end())
        return;
    const auto entry = it->second.clients.find(client);
    if (entry != it->second.clients.end()) {
        entry->second->deleteLater();
        it->second.clients.erase(entry);
    }
    if (it->second.clients.empty())
        m_waiters.erase(it);
}

void ControlVerbs::clientGone(ClientId client) {
    m_tails.erase(client);
    forgetWaiter(client);
    follow();
}

} // namespace app
