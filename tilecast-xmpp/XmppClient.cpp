// SPDX-License-Identifier: GPL-3.0-or-later
#include "tilecast-xmpp/XmppClient.h"

#include <QRandomGenerator>
#include <QSemaphore>
#include <QThread>

#include <cstdio>
#include <openssl/crypto.h>

#include "tilecast-xmpp/XmppText.h"

namespace {

int shortenedForTests(const char* variable, int value)
{
    bool ok = false;
    const int shorter = qEnvironmentVariableIntValue(variable, &ok);
    return ok && shorter > 0 ? shorter : value;
}

} // namespace

XmppClient::XmppClient(QObject* parent)
    : QObject(parent),
      m_signInDeadlineMs(shortenedForTests("TILECAST_XMPP_SIGN_IN_DEADLINE_MS", SignInDeadlineMs)),
      m_idlePingMs(shortenedForTests("TILECAST_XMPP_IDLE_PING_MS", IdlePingMs)),
      m_pingAnswerMs(shortenedForTests("TILECAST_XMPP_PING_ANSWER_MS", PingAnswerMs))
{

    XmppConnection::Listener listener;
    listener.receiver = this;
    listener.established = [this](const QString& jid) { onEstablished(jid); };
    listener.ended = [this](Problem problem, const QString& detail) { onEnded(problem, detail); };
    listener.reply = [this](const QByteArray& id, const Stanza& reply) { onReply(id, reply); };
    listener.activity = [this] { onActivity(); };
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("XmppConnection"));
    m_connection = new XmppConnection(std::move(listener));
    m_connection->moveToThread(m_thread);
    m_thread->start();

    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &XmppClient::connectNow);
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(m_signInDeadlineMs);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_connection->abortSocket(
            QStringLiteral("no answer from the server within %1 s").arg(m_signInDeadlineMs / 1000.0));
    });
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &XmppClient::ping);
}

XmppClient::~XmppClient()
{
    const bool closed = stop(200);
    if (closed) {
        inConnection([](XmppConnection* connection) {
            delete connection;
            // OpenSSL keeps state for each thread that used it, freed only when the thread says
            // it is done, or at its end if OpenSSL's own clean-up has not run yet.
            OPENSSL_thread_stop();
            QThread::currentThread()->quit();
        });
        if (m_thread->wait(2000)) {
            delete m_thread;
            return;
        }
    }
    // Stuck inside libstrophe: neither it nor its thread can be taken down safely. The
    // process is leaving (see stop()), which ends both.
    std::fprintf(stderr, "tilecast-xmpp: the connection to the server did not close\n");
}

void XmppClient::inConnection(std::function<void(XmppConnection*)> call)
{
    QMetaObject::invokeMethod(
        m_connection, [connection = m_connection, call = std::move(call)] { call(connection); },
        Qt::QueuedConnection);
}

int XmppClient::retryDelayMs(int attempt)
{
    return 1000 * (attempt >= 6 ? 60 : 1 << attempt);
}

QString XmppClient::describe(Problem problem, const QString& detail)
{
    switch (problem) {
    case Problem::None:
        return QString();
    case Problem::WrongPassword:
        return QStringLiteral("the server refused the password (wrong password or unknown account)");
    case Problem::UnknownHost:
        return QStringLiteral("cannot find the server %1").arg(detail);
    case Problem::Refused:
        return QStringLiteral("the server %1 refused the connection").arg(detail);
    case Problem::Certificate:
        return QStringLiteral("the server's certificate does not verify: %1").arg(detail);
    case Problem::NoTls:
        return QStringLiteral("the server does not offer TLS, which is required");
    case Problem::Lost:
        return detail.isEmpty() ? QStringLiteral("the connection to the server was lost") : detail;
    }
    return detail;
}

void XmppClient::start(const Options& options, bool keepTrying)
{
    m_options = options;
    m_keepTrying = keepTrying;
    m_stopping = false;
    m_attempt = 0;
    connectNow();
}

void XmppClient::connectNow()
{
    if (m_stopping || m_attemptRunning)
        return;
    m_attemptRunning = true;
    m_deadline.start();
    inConnection([options = m_options](XmppConnection* connection) { connection->open(options); });
}

bool XmppClient::stop(int waitMs)
{
    m_stopping = true;
    m_signedIn = false;
    m_retry.stop();
    m_deadline.stop();
    m_idle.stop();
    if (!m_thread->isRunning())
        return true;
    const auto closed = std::make_shared<QSemaphore>();
    inConnection([waitMs, closed](XmppConnection* connection) {
        connection->close(waitMs);
        closed->release();
    });
    if (closed->tryAcquire(1, waitMs + 500))
        return true;
    m_connection->abortSocket(QStringLiteral("the connection was closed"));
    return closed->tryAcquire(1, 1000);
}

void XmppClient::onEstablished(const QString& boundJid)
{
    m_deadline.stop();
    m_lastActivity.invalidate();
    if (m_stopping)
        return;
    m_signedIn = true;
    m_boundJid = boundJid;
    m_attempt = 0;
    m_idle.start(m_idlePingMs);
    Q_EMIT signedIn();
}

void XmppClient::onEnded(Problem problem, const QString& detail)
{
    m_attemptRunning = false;
    m_deadline.stop();
    m_idle.stop();
    m_signedIn = false;
    m_pingId.clear();
    failAllIqs();
    const bool willRetry = m_keepTrying && !m_stopping && problem != Problem::WrongPassword;
    if (willRetry)
        m_retry.start(retryDelayMs(m_attempt++));
    Q_EMIT signedOut(problem, describe(problem, detail), willRetry);
}

void XmppClient::onActivity()
{
    m_lastActivity.start();
    if (m_signedIn && m_pingId.isEmpty())
        m_idle.start(m_idlePingMs);
}

void XmppClient::sendIq(const QString& xml, int timeoutMs, IqDone done)
{
    if (!m_signedIn) {
        QMetaObject::invokeMethod(
            this, [done] { done(nullptr); }, Qt::QueuedConnection);
        return;
    }
    request(xml, timeoutMs, std::move(done), false);
}

QByteArray XmppClient::request(const QString& xml, int timeoutMs, IqDone done, bool isPing)
{
    // Random, so that nobody else on the stream can answer in the server's name.
    quint64 bits[2];
    QRandomGenerator::system()->fillRange(bits);
    const QByteArray id =
        "tc-" + QByteArray::fromRawData(reinterpret_cast<const char*>(bits), sizeof bits).toHex();

    PendingIq pending;
    pending.done = std::move(done);
    pending.isPing = isPing;
    pending.timer = new QTimer(this);
    pending.timer->setSingleShot(true);
    connect(pending.timer, &QTimer::timeout, this, [this, id] {
        const bool wasPing = m_pending.value(id).isPing;
        finishIq(id, nullptr);
        // An unanswered request may mean a server that is gone without a word.
        if (!wasPing && m_signedIn && m_pingId.isEmpty())
            ping();
    });
    pending.timer->start(timeoutMs);
    m_pending.insert(id, pending);
    inConnection([id, xml](XmppConnection* connection) { connection->sendIq(id, xml); });
    return id;
}

void XmppClient::ping()
{
    if (!m_signedIn || !m_pingId.isEmpty())
        return;
    const QString domain = m_options.jid.section(QLatin1Char('@'), 1);
    const QString xml = QStringLiteral("<iq type='get' to='%1'><ping xmlns='urn:xmpp:ping'/></iq>")
                            .arg(xmpptext::escaped(domain));
    m_pingId = request(
        xml, m_pingAnswerMs,
        [this](xmpp_stanza_t* reply) {
            m_pingId.clear();
            if (!m_signedIn)
                return;
            // An error (no ping support) is an answer too. And a server still sending is
            // alive: on a slow link the answer may wait behind a large stanza.
            if (reply || (m_lastActivity.isValid() && m_lastActivity.elapsed() < m_pingAnswerMs)) {
                m_idle.start(m_idlePingMs);
                return;
            }
            // Said at once: calls get NotSignedIn while the stream is taken down and signed in
            // again.
            m_signedIn = false;
            m_connection->abortSocket(
                QStringLiteral("the server stopped answering (no answer to a ping within %1 s)")
                    .arg(m_pingAnswerMs / 1000.0));
        },
        true);
}

void XmppClient::onReply(const QByteArray& id, const Stanza& reply)
{
    if (m_signedIn && m_pingId.isEmpty())
        m_idle.start(m_idlePingMs);
    finishIq(id, reply.get());
}

void XmppClient::finishIq(const QByteArray& id, xmpp_stanza_t* reply)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    const PendingIq pending = it.value();
    m_pending.erase(it);
    pending.timer->deleteLater();
    pending.done(reply);
}

void XmppClient::failAllIqs()
{
    const QList<QByteArray> ids = m_pending.keys();
    for (const QByteArray& id : ids)
        finishIq(id, nullptr);
}
