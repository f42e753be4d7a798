// SPDX-License-Identifier: GPL-3.0-or-later
#include "tilecast-xmpp/XmppConnection.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QMutexLocker>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tilecast-xmpp/XmppText.h"

namespace {

const char* const PingNs = "urn:xmpp:ping";

// libstrophe's certificate callback carries no user data; the connection leads back here.
QMutex connectionsLock;
QHash<xmpp_conn_t*, XmppConnection*>& connections()
{
    static QHash<xmpp_conn_t*, XmppConnection*> map;
    return map;
}

// The connection whose libstrophe calls run on this thread: the certificate callback of
// libstrophe 0.12 does not always say which connection it is about.
thread_local XmppConnection* current = nullptr;

bool debugWanted()
{
    static const bool wanted = qEnvironmentVariableIsSet("TILECAST_XMPP_DEBUG");
    return wanted;
}

QString attribute(xmpp_stanza_t* stanza, const char* name)
{
    const char* value = xmpp_stanza_get_attribute(stanza, name);
    return value ? QString::fromUtf8(value) : QString();
}

// Addresses compare without case except for the resource, as servers treat them.
bool sameJid(const QString& a, const QString& b)
{
    const qsizetype slashA = a.indexOf(QLatin1Char('/'));
    const qsizetype slashB = b.indexOf(QLatin1Char('/'));
    if (a.left(slashA).compare(b.left(slashB), Qt::CaseInsensitive) != 0)
        return false;
    return (slashA < 0 ? QString() : a.mid(slashA)) == (slashB < 0 ? QString() : b.mid(slashB));
}

void tuneSocket(int fd)
{
    const int on = 1;
    // Each stanza goes out as it is queued (see queue()): no waiting for the peer's
    // acknowledgement of the one before, which a delayed ACK holds up by 40 ms.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // An idle connection whose peer vanished (a suspended laptop, a dead NAT mapping) is
    // found by the kernel too: probes after a minute of silence, and sent data that stays
    // unacknowledged for a minute ends it.
    const int idle = 60, interval = 15, count = 4;
    const unsigned int userTimeoutMs = 60000;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
}

} // namespace

XmppConnection::XmppConnection(Listener listener) : m_listener(std::move(listener))
{
    static const bool initialised = [] {
        xmpp_initialize();
        return true;
    }();
    Q_UNUSED(initialised);
    m_log.handler = &XmppConnection::onLog;
    m_log.userdata = this;
    m_ctx = xmpp_ctx_new(nullptr, &m_log);
}

XmppConnection::~XmppConnection()
{
    if (m_conn) {
        close(200);
        {
            QMutexLocker lock(&connectionsLock);
            connections().remove(m_conn);
        }
        current = this;
        xmpp_conn_release(m_conn);
        current = nullptr;
    }
    forgetSocket();
    xmpp_ctx_free(m_ctx);
}

void XmppConnection::post(std::function<void()> call)
{
    if (QObject* receiver = m_listener.receiver.data())
        QMetaObject::invokeMethod(receiver, std::move(call), Qt::QueuedConnection);
}

void XmppConnection::noteActivity()
{
    // One wake-up of the client for a burst, however much it holds.
    if (!m_activityPosted->exchange(true))
        post([listener = m_listener, posted = m_activityPosted] {
            *posted = false;
            listener.activity();
        });
}

void XmppConnection::abortSocket(const QString& reason)
{
    QMutexLocker lock(&m_abortLock);
    if (m_abortReason.isEmpty())
        m_abortReason = reason;
    m_abortPending = true;
    if (m_abortFd >= 0)
        ::shutdown(m_abortFd, SHUT_RDWR);
}

void XmppConnection::open(const Target& target)
{
    if (!m_conn)
        createConnection();
    if (!xmpp_conn_is_disconnected(m_conn))
        return;
    m_target = target;
    startAttempt();
    configureConnection();

    // SASL: libstrophe 0.12 picks SCRAM-SHA-512/256/1 and never a -PLUS variant, and its
    // GS2 header is "n,," (no channel binding support claimed), which a server offering
    // -PLUS accepts as it stands; so there is no wrong binding to turn off.
    // Without a host this resolves the domain's SRV record, waiting for DNS: the reason
    // this thread is not the one that answers D-Bus.
    const QByteArray host = m_target.host.toUtf8();
    current = this;
    const int rc = xmpp_connect_client(m_conn, host.isEmpty() ? nullptr : host.constData(), m_target.port,
                                       &XmppConnection::onConnectionEvent, this);
    current = nullptr;
    if (rc != XMPP_EOK) {
        forgetSocket();
        const QString where =
            m_target.host.isEmpty() ? m_target.jid.section(QLatin1Char('@'), 1) : m_target.host;
        post([listener = m_listener, where] { listener.ended(XmppProblem::UnknownHost, where); });
        return;
    }
    pump();
}

void XmppConnection::createConnection()
{
    m_conn = xmpp_conn_new(m_ctx);
    {
        QMutexLocker lock(&connectionsLock);
        connections().insert(m_conn, this);
    }
    xmpp_handler_add(m_conn, &XmppConnection::onIq, nullptr, "iq", nullptr, this);
    xmpp_handler_add(m_conn, &XmppConnection::onAnyStanza, nullptr, nullptr, nullptr, this);
}

void XmppConnection::startAttempt()
{
    m_established = false;
    m_boundJid.clear();
    m_refusedMechanisms = 0;
    m_outOfMechanisms = false;
    m_noTls = false;
    m_socketError = 0;
    m_certificateError.clear();
    m_unparsedBytes = 0;
    m_waiting.clear();
    {
        QMutexLocker lock(&m_abortLock);
        m_abortPending = false;
        m_abortReason.clear();
    }
    // libstrophe says only in its log why it gave up on a sign-in; once signed in, the log
    // is switched off again (it would format every stanza).
    m_log.handler = &XmppConnection::onLog;
}

void XmppConnection::configureConnection()
{
    // Mandatory TLS: libstrophe otherwise signs in without it when the server offers none.
    // Stream management stays off: it would keep timers of its own, and a lost stream is
    // simply signed in again.
    xmpp_conn_set_flags(m_conn, XMPP_CONN_FLAG_MANDATORY_TLS | XMPP_CONN_FLAG_DISABLE_SM);
    // No resource: the server picks one, so a second copy (restore) never kicks this one out.
    xmpp_conn_set_jid(m_conn, m_target.jid.toUtf8().constData());
    xmpp_conn_set_pass(m_conn, m_target.password.toUtf8().constData());
    // libstrophe 0.12 keeps every earlier path when one is set again (a leak at each
    // reconnect), so a path is set once.
    if (!m_target.caFile.isEmpty() && m_target.caFile != m_caFileSet) {
        xmpp_conn_set_cafile(m_conn, QFile::encodeName(m_target.caFile).constData());
        m_caFileSet = m_target.caFile;
    }
    // Reject every certificate OpenSSL could not verify (chain, dates, the JID's domain).
    xmpp_conn_set_certfail_handler(m_conn, &XmppConnection::onCertificateFailure);
    xmpp_conn_set_sockopt_callback(m_conn, &XmppConnection::onSocket);
}

void XmppConnection::close(int waitMs)
{
    if (!m_conn || xmpp_conn_is_disconnected(m_conn))
        return;
    current = this;
    xmpp_disconnect(m_conn);
    const QDeadlineTimer deadline(waitMs);
    while (!xmpp_conn_is_disconnected(m_conn) && !deadline.hasExpired())
        xmpp_run_once(m_ctx, 20);
    // A server that never answers the close: the socket goes anyway.
    if (!xmpp_conn_is_disconnected(m_conn)) {
        abortSocket(QStringLiteral("the connection was closed"));
        const QDeadlineTimer shut(500);
        while (!xmpp_conn_is_disconnected(m_conn) && !shut.hasExpired())
            xmpp_run_once(m_ctx, 20);
    }
    current = nullptr;
}

void XmppConnection::sendIq(const QByteArray& id, const QString& xml)
{
    if (!m_conn || !m_established)
        return; // the end of the stream, already on its way, fails the request
    xmpp_stanza_t* stanza = xmpp_stanza_new_from_string(m_ctx, xml.toUtf8().constData());
    if (!stanza) {
        post([listener = m_listener, id] { listener.reply(id, nullptr); });
        return;
    }
    xmpp_stanza_set_id(stanza, id.constData());
    m_waiting.insert(id, attribute(stanza, "to"));
    queue(stanza);
    xmpp_stanza_release(stanza);
    pump();
}

void XmppConnection::queue(xmpp_stanza_t* stanza)
{
    xmpp_send(m_conn, stanza);
    // libstrophe writes a large stanza one TLS record per pass, and the count it gives of
    // what waits to be sent leaves out the stanza being written. A space after every stanza
    // (allowed between stanzas) keeps that count above zero until the stanza is all out.
    xmpp_send_raw(m_conn, " ", 1);
}

void XmppConnection::pump()
{
    if (m_pumping || !m_conn)
        return;
    m_pumping = true;
    current = this;
    // libstrophe reads at most 4 KiB per pass, and TLS may hold decrypted bytes the socket
    // no longer shows; a few passes after the socket runs dry cover a whole TLS record.
    const auto waiting = [this] {
        int bytes = 0;
        return m_fd >= 0 && ::ioctl(m_fd, FIONREAD, &bytes) == 0 ? bytes : 0;
    };
    int quiet = 0;
    for (int pass = 0; pass < 512 && quiet < 5 && !xmpp_conn_is_disconnected(m_conn); ++pass) {
        const int before = waiting();
        xmpp_run_once(m_ctx, 0);
        const int after = waiting();
        if (before > after) {
            m_unparsedBytes += before - after;
            noteActivity();
        }
        if (m_unparsedBytes > MaxStanzaBytes)
            abortSocket(
                QStringLiteral("the server sent a stanza larger than %1 MiB").arg(MaxStanzaBytes >> 20));
        quiet = after > 0 ? 0 : quiet + 1;
    }
    current = nullptr;
    m_pumping = false;

    const bool connected = xmpp_conn_is_connected(m_conn);
    const int queued = connected ? xmpp_conn_send_queue_len(m_conn) : 0;
    // Every stanza queued also has its space queued, hence twice the limit.
    if (queued > 2 * MaxQueuedStanzas)
        abortSocket(
            QStringLiteral("the server stopped reading (%1 stanzas waiting to be sent)").arg(queued / 2));
    if (m_writable)
        m_writable->setEnabled(xmpp_conn_is_connecting(m_conn) || queued > 0);
}

void XmppConnection::watchSocket(int fd)
{
    forgetSocket();
    m_fd = fd;
    tuneSocket(fd);
    m_readable = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_readable, &QSocketNotifier::activated, this, &XmppConnection::pump);
    // Writable: the connection is made (or refused), or there is room for what waits.
    m_writable = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(m_writable, &QSocketNotifier::activated, this, &XmppConnection::pump);
    QMutexLocker lock(&m_abortLock);
    m_abortFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (m_abortPending && m_abortFd >= 0)
        ::shutdown(m_abortFd, SHUT_RDWR);
}

void XmppConnection::forgetSocket()
{
    // Called from inside a notifier's own signal: they go once control is back in the loop.
    for (QSocketNotifier* notifier : {m_readable, m_writable}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readable = m_writable = nullptr;
    m_fd = -1;
    QMutexLocker lock(&m_abortLock);
    if (m_abortFd >= 0)
        ::close(m_abortFd);
    m_abortFd = -1;
}

void XmppConnection::handleEvent(xmpp_conn_event_t event, int error, xmpp_stream_error_t* streamError)
{
    if (event == XMPP_CONN_CONNECT) {
        m_established = true;
        m_unparsedBytes = 0;
        const char* bound = xmpp_conn_get_bound_jid(m_conn);
        m_boundJid = bound ? QString::fromUtf8(bound) : m_target.jid;
        if (!debugWanted())
            m_log.handler = nullptr;
        post([listener = m_listener, jid = m_boundJid] { listener.established(jid); });
        return;
    }
    if (event != XMPP_CONN_DISCONNECT && event != XMPP_CONN_FAIL)
        return;

    forgetSocket();
    m_waiting.clear();
    QString reason;
    {
        QMutexLocker lock(&m_abortLock);
        reason = m_abortReason;
    }
    const QString where = m_target.host.isEmpty() ? m_target.jid.section(QLatin1Char('@'), 1) : m_target.host;
    XmppProblem problem = XmppProblem::Lost;
    QString detail;
    if (!reason.isEmpty()) {
        detail = reason;
    } else if (!m_established && m_outOfMechanisms && m_refusedMechanisms > 0) {
        // Only an attempt that ended without signing in, after the server refused every
        // way of signing in that was tried, is a wrong password: a server may refuse one
        // mechanism and take the next.
        problem = XmppProblem::WrongPassword;
    } else if (!m_certificateError.isEmpty()) {
        problem = XmppProblem::Certificate;
        detail = m_certificateError;
    } else if (m_noTls) {
        problem = XmppProblem::NoTls;
    } else if (error == ECONNREFUSED || m_socketError == ECONNREFUSED) {
        problem = XmppProblem::Refused;
        detail = where;
    } else if (!m_established && m_outOfMechanisms) {
        detail = QStringLiteral("the server offers no way of signing in that this program supports");
    } else if (streamError && (streamError->text || streamError->stanza)) {
        xmpp_stanza_t* condition =
            streamError->stanza ? xmpp_stanza_get_children(streamError->stanza) : nullptr;
        const QString said = streamError->text ? QString::fromUtf8(streamError->text)
                             : condition       ? QString::fromUtf8(xmpp_stanza_get_name(condition))
                                               : QString();
        detail = QStringLiteral("the server ended the stream: %1").arg(xmpptext::printable(said));
    } else if (m_established && error > 0 && error <= 8) {
        // On a stream that is up (so under TLS) libstrophe reports OpenSSL's kind of error
        // (SSL_ERROR_SSL, _SYSCALL ...), which strerror() would misname.
        detail = QStringLiteral("the connection to %1 broke off").arg(where);
    } else if (error != 0) {
        detail = QStringLiteral("connection to %1 lost: %2")
                     .arg(where, QString::fromLocal8Bit(std::strerror(error)));
    }
    m_established = false;
    post([listener = m_listener, problem, detail] { listener.ended(problem, detail); });
}

bool XmppConnection::isExpectedSender(const QString& from, const QString& to) const
{
    if (to.isEmpty() || sameJid(to, m_target.jid))
        return from.isEmpty() || sameJid(from, m_target.jid) ||
               (!m_boundJid.isEmpty() && sameJid(from, m_boundJid));
    return sameJid(from, to);
}

void XmppConnection::handleReply(xmpp_stanza_t* stanza)
{
    const char* rawId = xmpp_stanza_get_id(stanza);
    const QByteArray id(rawId ? rawId : "");
    const auto it = m_waiting.constFind(id);
    if (it == m_waiting.constEnd())
        return;
    const QString from = attribute(stanza, "from");
    if (!isExpectedSender(from, it.value())) {
        if (debugWanted())
            std::fprintf(stderr, "tilecast-xmpp: ignored a reply to %s from %s\n", id.constData(),
                         qPrintable(xmpptext::printable(from)));
        return;
    }
    m_waiting.erase(it);
    const Stanza reply(xmpp_stanza_clone(stanza), &xmpp_stanza_release);
    post([listener = m_listener, id, reply] { listener.reply(id, reply); });
}

void XmppConnection::answerRequest(xmpp_stanza_t* stanza)
{
    // A ping (from the server, checking on us) is answered; anything else is refused, since
    // this program offers nothing to ask for.
    const bool ping = std::strcmp(xmpp_stanza_get_type(stanza), "get") == 0 &&
                      xmpp_stanza_get_child_by_name_and_ns(stanza, "ping", PingNs);
    xmpp_stanza_t* answer = ping ? xmpp_iq_new(m_ctx, "result", xmpp_stanza_get_id(stanza))
                                 : xmpp_stanza_reply_error(stanza, "cancel", "service-unavailable", nullptr);
    if (!answer)
        return;
    if (ping) {
        if (const char* from = xmpp_stanza_get_from(stanza))
            xmpp_stanza_set_to(answer, from);
    }
    queue(answer);
    xmpp_stanza_release(answer);
}

void XmppConnection::onConnectionEvent(xmpp_conn_t*, xmpp_conn_event_t event, int error,
                                       xmpp_stream_error_t* streamError, void* userdata)
{
    static_cast<XmppConnection*>(userdata)->handleEvent(event, error, streamError);
}

int XmppConnection::onSocket(xmpp_conn_t* conn, void* sock)
{
    XmppConnection* self = nullptr;
    {
        QMutexLocker lock(&connectionsLock);
        self = connections().value(conn);
    }
    if (self)
        self->watchSocket(*static_cast<int*>(sock));
    return 0;
}

int XmppConnection::onCertificateFailure(const xmpp_tlscert_t* cert, const char* const errormsg)
{
    XmppConnection* self = current;
    {
        QMutexLocker lock(&connectionsLock);
        self = connections().value(xmpp_tlscert_get_conn(cert), current);
    }
    if (self && self->m_certificateError.isEmpty())
        self->m_certificateError = QString::fromUtf8(errormsg ? errormsg : "unknown error");
    return 0; // never connect to a server whose certificate does not verify
}

void XmppConnection::onLog(void* userdata, xmpp_log_level_t level, const char* area, const char* msg)
{
    auto* self = static_cast<XmppConnection*>(userdata);
    if (std::strstr(msg, "SASL ") && std::strstr(msg, " auth failed"))
        ++self->m_refusedMechanisms;
    else if (std::strstr(msg, "Cannot authenticate with known methods"))
        self->m_outOfMechanisms = true;
    else if (std::strstr(msg, "TLS is not supported, but set as mandatory"))
        self->m_noTls = true;
    else if (int code = 0; std::sscanf(msg, "connection failed, error %d", &code) == 1)
        self->m_socketError = code;
    if (debugWanted() && (level >= XMPP_LEVEL_INFO || std::strncmp(area, "xmpp", 4) == 0))
        std::fprintf(stderr, "libstrophe %s: %.2000s\n", area, msg);
}

int XmppConnection::onIq(xmpp_conn_t*, xmpp_stanza_t* stanza, void* userdata)
{
    auto* self = static_cast<XmppConnection*>(userdata);
    const char* type = xmpp_stanza_get_type(stanza);
    if (!type)
        return 1;
    if (std::strcmp(type, "result") == 0 || std::strcmp(type, "error") == 0)
        self->handleReply(stanza);
    else if (std::strcmp(type, "get") == 0 || std::strcmp(type, "set") == 0)
        self->answerRequest(stanza);
    return 1; // keep the handler
}

int XmppConnection::onAnyStanza(xmpp_conn_t*, xmpp_stanza_t*, void* userdata)
{
    auto* self = static_cast<XmppConnection*>(userdata);
    self->m_unparsedBytes = 0;
    self->noteActivity();
    return 1;
}
