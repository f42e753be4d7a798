// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <strophe.h>

class QSocketNotifier;

// A stanza handed from the connection's thread to another: a copy of its own, released
// with its last reference. Only read it.
using Stanza = std::shared_ptr<xmpp_stanza_t>;

// Why a connection attempt, or a stream that was up, ended.
enum class XmppProblem
{
    None,
    WrongPassword,
    UnknownHost,
    Refused,
    Certificate,
    NoTls,
    Lost, // anything else: the server went away, stopped answering, misbehaved ...
};

// One XMPP stream through libstrophe, on a thread of its own (see XmppClient, the only
// user). libstrophe blocks in places (the TLS handshake loops until the server answers,
// name resolution waits for DNS), so nothing here may run on the thread that answers
// D-Bus. Socket notifiers wake the thread only when the server sends something, when a
// connection completes, or while there is something to write: an idle stream costs no
// wake-ups.
//
// What comes from the server is bounded: a stanza larger than MaxStanzaBytes, or a server
// that stops reading while more than MaxQueuedStanzas wait to be sent, ends the stream.
// Replies are matched by id and accepted only as a result or an error from the address the
// request went to.
class XmppConnection : public QObject
{
    Q_OBJECT
public:
    struct Target
    {
        QString jid; // bare
        QString password;
        QString host; // empty: DNS SRV of the JID's domain
        quint16 port = 0;
        QString caFile; // added to the system's authorities
    };

    // What the connection reports; each is called on the thread of `receiver`.
    struct Listener
    {
        QPointer<QObject> receiver;
        std::function<void(const QString& boundJid)> established;
        std::function<void(XmppProblem problem, const QString& detail)> ended;
        std::function<void(const QByteArray& id, const Stanza& reply)> reply;
        std::function<void()> activity; // anything at all arrived, if only part of a stanza
    };

    static constexpr qint64 MaxStanzaBytes = 4 * 1024 * 1024;
    static constexpr int MaxQueuedStanzas = 256;

    explicit XmppConnection(Listener listener);
    ~XmppConnection() override;

    // Any thread: shuts the socket, so that whatever libstrophe waits for on it returns at
    // once and the stream ends, reported with `reason`. Also ends an attempt still resolving
    // the server's name, as soon as its socket exists.
    void abortSocket(const QString& reason);

    // The rest on the connection's thread only.
    void open(const Target& target);
    // Closes the stream and waits up to `waitMs` for the server to see it closed.
    void close(int waitMs);
    // Sends an <iq> given without an id: `id` is set. Its reply must come from where its
    // `to` names (no `to`: the account itself, that is its server).
    void sendIq(const QByteArray& id, const QString& xml);

private:
    static void onConnectionEvent(xmpp_conn_t* conn, xmpp_conn_event_t event, int error,
                                  xmpp_stream_error_t* streamError, void* userdata);
    static int onSocket(xmpp_conn_t* conn, void* sock);
    static int onCertificateFailure(const xmpp_tlscert_t* cert, const char* const errormsg);
    static void onLog(void* userdata, xmpp_log_level_t level, const char* area, const char* msg);
    static int onIq(xmpp_conn_t* conn, xmpp_stanza_t* stanza, void* userdata);
    static int onAnyStanza(xmpp_conn_t* conn, xmpp_stanza_t* stanza, void* userdata);

    void handleEvent(xmpp_conn_event_t event, int error, xmpp_stream_error_t* streamError);
    void handleReply(xmpp_stanza_t* stanza);
    void answerRequest(xmpp_stanza_t* stanza);
    void queue(xmpp_stanza_t* stanza);
    // Lets libstrophe read and write what is ready, then arms what wakes it next.
    void pump();
    // The libstrophe connection, made once, with our stanza handlers.
    void createConnection();
    // Forgets everything the last attempt learned.
    void startAttempt();
    // Everything m_target and our rules set on the connection before it connects.
    void configureConnection();
    void watchSocket(int fd);
    void forgetSocket();
    bool isExpectedSender(const QString& from, const QString& to) const;
    void post(std::function<void()> call);
    void noteActivity();

    Listener m_listener;
    Target m_target;
    xmpp_log_t m_log{};
    xmpp_ctx_t* m_ctx = nullptr;
    xmpp_conn_t* m_conn = nullptr;
    int m_fd = -1;
    QSocketNotifier* m_readable = nullptr;
    QSocketNotifier* m_writable = nullptr;
    bool m_pumping = false;
    bool m_established = false;
    QString m_boundJid;
    QString m_caFileSet; // the authority file libstrophe holds for m_conn

    // What the attempt ran into, gathered from libstrophe as it went.
    int m_refusedMechanisms = 0;
    bool m_outOfMechanisms = false;
    bool m_noTls = false;
    int m_socketError = 0;
    QString m_certificateError;
    qint64 m_unparsedBytes = 0; // read since the last complete stanza

    QHash<QByteArray, QString> m_waiting; // request id -> where it went
    std::shared_ptr<std::atomic_bool> m_activityPosted = std::make_shared<std::atomic_bool>(false);

    // Shared with abortSocket(): a descriptor of our own for the socket (so that it can
    // never name another file once libstrophe closes its own), and why it was shut.
    QMutex m_abortLock;
    int m_abortFd = -1;
    bool m_abortPending = false;
    QString m_abortReason;
};
