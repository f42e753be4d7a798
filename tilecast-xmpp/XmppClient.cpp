// SPDX-License-Identifier: GPL-3.0-or-later
#include "tilecast-xmpp/XmppClient.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QPointer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/ioctl.h>

namespace {

// libstrophe's certificate callback carries no user data; the connection leads back here.
QHash<xmpp_conn_t*, XmppClient*>& clients()
{
    static QHash<xmpp_conn_t*, XmppClient*> map;
    return map;
}

// The client whose libstrophe calls are running: the certificate callback of libstrophe
// 0.12 does not always say which connection it is about.
XmppClient* current = nullptr;

bool debugWanted()
{
    static const bool wanted = qEnvironmentVariableIsSet("TILECAST_XMPP_DEBUG");
    return wanted;
}

} // namespace

XmppClient::XmppClient(QObject* parent) : QObject(parent)
{
    static const bool initialised = [] {
        xmpp_initialize();
        return true;
    }();
    Q_UNUSED(initialised);
    m_log.handler = &XmppClient::onLog;
    m_log.userdata = this;
    m_ctx = xmpp_ctx_new(nullptr, &m_log);

    m_pumpSoon.setSingleShot(true);
    m_pumpSoon.setInterval(0);
    connect(&m_pumpSoon, &QTimer::timeout, this, &XmppClient::pump);
    // Only while a connection is being set up (TCP connect, TLS, SASL, bind): a few
    // hundred milliseconds at most; afterwards the socket notifier alone wakes us.
    m_connecting.setInterval(20);
    connect(&m_connecting, &QTimer::timeout, this, &XmppClient::pump);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &XmppClient::connectNow);
}

XmppClient::~XmppClient()
{
    stop(200);
    if (m_conn) {
        clients().remove(m_conn);
        xmpp_conn_release(m_conn);
    }
    xmpp_ctx_free(m_ctx);
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
    if (!m_conn) {
        m_conn = xmpp_conn_new(m_ctx);
        clients().insert(m_conn, this);
        xmpp_handler_add(m_conn, &XmppClient::onIqRequest, nullptr, "iq", nullptr, this);
    }
    connectNow();
}

void XmppClient::connectNow()
{
    if (m_stopping || !xmpp_conn_is_disconnected(m_conn))
        return;
    m_authFailed = false;
    m_noTls = false;
    m_socketError = 0;
    m_certificateError.clear();

    // Mandatory TLS: libstrophe otherwise signs in without it when the server offers none.
    // Stream management stays off: it would keep timers of its own, and a lost stream is
    // simply signed in again.
    xmpp_conn_set_flags(m_conn, XMPP_CONN_FLAG_MANDATORY_TLS | XMPP_CONN_FLAG_DISABLE_SM);
    // No resource: the server picks one, so a second copy (restore) never kicks this one out.
    xmpp_conn_set_jid(m_conn, m_options.jid.toUtf8().constData());
    xmpp_conn_set_pass(m_conn, m_options.password.toUtf8().constData());
    // libstrophe 0.12 keeps every earlier path when one is set again (a leak at each
    // reconnect), so a path is set once.
    if (!m_options.caFile.isEmpty() && m_options.caFile != m_caFileSet) {
        xmpp_conn_set_cafile(m_conn, QFile::encodeName(m_options.caFile).constData());
        m_caFileSet = m_options.caFile;
    }
    // Reject every certificate OpenSSL could not verify (chain, dates, the JID's domain).
    xmpp_conn_set_certfail_handler(m_conn, &XmppClient::onCertificateFailure);
    xmpp_conn_set_sockopt_callback(m_conn, &XmppClient::onSocket);

    // SASL: libstrophe 0.12 picks SCRAM-SHA-512/256/1 and never a -PLUS variant, and its
    // GS2 header is "n,," (no channel binding support claimed), which a server offering
    // -PLUS accepts as it stands; so there is no wrong binding to turn off.
    const QByteArray host = m_options.host.toUtf8();
    const int rc = xmpp_connect_client(m_conn, host.isEmpty() ? nullptr : host.constData(), m_options.port,
                                       &XmppClient::onConnectionEvent, this);
    if (rc != XMPP_EOK) {
        const QString where =
            m_options.host.isEmpty() ? m_options.jid.section(QLatin1Char('@'), 1) : m_options.host;
        const bool willRetry = m_keepTrying && !m_stopping;
        if (willRetry)
            m_retry.start(retryDelayMs(m_attempt++));
        Q_EMIT signedOut(Problem::UnknownHost, describe(Problem::UnknownHost, where), willRetry);
        return;
    }
    m_connecting.start();
    schedulePump();
}

void XmppClient::stop(int waitMs)
{
    m_stopping = true;
    m_retry.stop();
    if (!m_conn || xmpp_conn_is_disconnected(m_conn))
        return;
    xmpp_disconnect(m_conn);
    const QDeadlineTimer deadline(waitMs);
    current = this;
    while (!xmpp_conn_is_disconnected(m_conn) && !deadline.hasExpired())
        xmpp_run_once(m_ctx, 20);
    current = nullptr;
}

void XmppClient::sendIq(const QString& xml, int timeoutMs, IqDone done)
{
    xmpp_stanza_t* stanza =
        m_signedIn ? xmpp_stanza_new_from_string(m_ctx, xml.toUtf8().constData()) : nullptr;
    if (!stanza) {
        QMetaObject::invokeMethod(
            this, [done] { done(nullptr); }, Qt::QueuedConnection);
        return;
    }
    const QString id = QStringLiteral("tilecast-%1").arg(m_nextId++);
    const QByteArray idBytes = id.toUtf8();
    xmpp_stanza_set_id(stanza, idBytes.constData());

    PendingIq pending;
    pending.done = std::move(done);
    pending.timer = new QTimer(this);
    pending.timer->setSingleShot(true);
    connect(pending.timer, &QTimer::timeout, this, [this, id] { finishIq(id, nullptr); });
    pending.timer->start(timeoutMs);
    m_pending.insert(id, pending);

    xmpp_id_handler_add(m_conn, &XmppClient::onIqReply, idBytes.constData(), this);
    xmpp_send(m_conn, stanza);
    xmpp_stanza_release(stanza);
    schedulePump();
}

void XmppClient::finishIq(const QString& id, xmpp_stanza_t* reply)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    PendingIq pending = it.value();
    m_pending.erase(it);
    pending.timer->deleteLater();
    if (!reply && m_conn)
        xmpp_id_handler_delete(m_conn, &XmppClient::onIqReply, id.toUtf8().constData());
    // The caller usually sends the next request; doing that from inside libstrophe's
    // handler loop is avoided by answering from the event loop.
    xmpp_stanza_t* kept = reply ? xmpp_stanza_clone(reply) : nullptr;
    QMetaObject::invokeMethod(
        this,
        [done = pending.done, kept] {
            done(kept);
            if (kept)
                xmpp_stanza_release(kept);
        },
        Qt::QueuedConnection);
}

void XmppClient::failAllIqs()
{
    const QStringList ids = m_pending.keys();
    for (const QString& id : ids)
        finishIq(id, nullptr);
}

void XmppClient::schedulePump()
{
    if (!m_pumpSoon.isActive())
        m_pumpSoon.start();
}

void XmppClient::pump()
{
    if (m_pumping)
        return;
    m_pumping = true;
    // libstrophe reads at most 4 KiB per pass, and TLS may hold decrypted bytes the socket
    // no longer shows; a few passes after the socket runs dry cover a whole TLS record.
    int quiet = 0;
    current = this;
    for (int pass = 0; pass < 512 && quiet < 5; ++pass) {
        xmpp_run_once(m_ctx, 0);
        int waiting = 0;
        if (m_fd >= 0 && ::ioctl(m_fd, FIONREAD, &waiting) == 0 && waiting > 0)
            quiet = 0;
        else
            ++quiet;
    }
    current = nullptr;
    m_pumping = false;
    // A large stanza may not fit the socket buffer at once.
    if (m_conn && xmpp_conn_is_connected(m_conn) && xmpp_conn_send_queue_len(m_conn) > 0)
        QTimer::singleShot(5, this, &XmppClient::pump);
}

void XmppClient::handleEvent(xmpp_conn_event_t event, int error, xmpp_stream_error_t* streamError)
{
    if (event == XMPP_CONN_CONNECT) {
        m_connecting.stop();
        m_signedIn = true;
        m_attempt = 0;
        Q_EMIT signedIn();
        return;
    }
    if (event != XMPP_CONN_DISCONNECT && event != XMPP_CONN_FAIL)
        return;

    m_connecting.stop();
    m_signedIn = false;
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    m_fd = -1;
    failAllIqs();

    const QString where =
        m_options.host.isEmpty() ? m_options.jid.section(QLatin1Char('@'), 1) : m_options.host;
    Problem problem = Problem::Lost;
    QString detail;
    if (m_authFailed) {
        problem = Problem::WrongPassword;
    } else if (!m_certificateError.isEmpty()) {
        problem = Problem::Certificate;
        detail = m_certificateError;
    } else if (m_noTls) {
        problem = Problem::NoTls;
    } else if (error == ECONNREFUSED || m_socketError == ECONNREFUSED) {
        problem = Problem::Refused;
        detail = where;
    } else if (streamError && streamError->text) {
        detail = QStringLiteral("the server ended the stream: %1").arg(QString::fromUtf8(streamError->text));
    } else if (error != 0) {
        detail = QStringLiteral("connection to %1 lost: %2")
                     .arg(where, QString::fromLocal8Bit(std::strerror(error)));
    }
    const bool willRetry = m_keepTrying && !m_stopping && problem != Problem::WrongPassword;
    if (willRetry)
        m_retry.start(retryDelayMs(m_attempt++));
    Q_EMIT signedOut(problem, describe(problem, detail), willRetry);
}

void XmppClient::onConnectionEvent(xmpp_conn_t*, xmpp_conn_event_t event, int error,
                                   xmpp_stream_error_t* streamError, void* userdata)
{
    static_cast<XmppClient*>(userdata)->handleEvent(event, error, streamError);
}

int XmppClient::onSocket(xmpp_conn_t* conn, void* sock)
{
    XmppClient* self = clients().value(conn);
    if (self) {
        self->m_fd = *static_cast<int*>(sock);
        if (self->m_notifier) {
            self->m_notifier->setEnabled(false);
            self->m_notifier->deleteLater();
        }
        self->m_notifier = new QSocketNotifier(self->m_fd, QSocketNotifier::Read, self);
        connect(self->m_notifier, &QSocketNotifier::activated, self, &XmppClient::pump);
    }
    // TCP keep-alive notices a server that vanished without closing the connection.
    return xmpp_sockopt_cb_keepalive(conn, sock);
}

int XmppClient::onCertificateFailure(const xmpp_tlscert_t* cert, const char* const errormsg)
{
    XmppClient* self = clients().value(xmpp_tlscert_get_conn(cert), current);
    if (self && self->m_certificateError.isEmpty())
        self->m_certificateError = QString::fromUtf8(errormsg ? errormsg : "unknown error");
    return 0; // never connect to a server whose certificate does not verify
}

void XmppClient::onLog(void* userdata, xmpp_log_level_t level, const char* area, const char* msg)
{
    auto* self = static_cast<XmppClient*>(userdata);
    // libstrophe says only in its log why it gave up on a sign-in.
    if (std::strstr(msg, "auth failed") || std::strstr(msg, "Cannot authenticate with known methods"))
        self->m_authFailed = true;
    else if (std::strstr(msg, "TLS is not supported, but set as mandatory"))
        self->m_noTls = true;
    else if (int code = 0; std::sscanf(msg, "connection failed, error %d", &code) == 1)
        self->m_socketError = code;
    if (debugWanted() && (level >= XMPP_LEVEL_INFO || std::strncmp(area, "xmpp", 4) == 0))
        std::fprintf(stderr, "libstrophe %s: %s\n", area, msg);
}

int XmppClient::onIqRequest(xmpp_conn_t* conn, xmpp_stanza_t* stanza, void*)
{
    // Every request needs an answer; this program offers nothing to ask for.
    const char* type = xmpp_stanza_get_type(stanza);
    if (type && (std::strcmp(type, "get") == 0 || std::strcmp(type, "set") == 0)) {
        if (xmpp_stanza_t* error =
                xmpp_stanza_reply_error(stanza, "cancel", "service-unavailable", nullptr)) {
            xmpp_send(conn, error);
            xmpp_stanza_release(error);
        }
    }
    return 1; // keep the handler
}

int XmppClient::onIqReply(xmpp_conn_t*, xmpp_stanza_t* stanza, void* userdata)
{
    auto* self = static_cast<XmppClient*>(userdata);
    if (const char* id = xmpp_stanza_get_id(stanza))
        self->finishIq(QString::fromUtf8(id), stanza);
    return 0;
}
