// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <strophe.h>

// One XMPP account's connection through libstrophe, run by Qt's event loop: a socket
// notifier on libstrophe's socket wakes it when the server sends something, so an idle,
// signed-in connection costs no wake-ups at all. TLS is mandatory and the server's
// certificate is always checked against the JID's domain (also sent as SNI), whatever
// address `host` names. No presence is ever sent.
class XmppClient : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString jid; // bare
        QString password;
        QString host; // empty: DNS SRV of the JID's domain
        quint16 port = 0;
        QString caFile; // added to the system's authorities
    };

    // Why a sign-in did not work.
    enum class Problem
    {
        None,
        WrongPassword,
        UnknownHost,
        Refused,
        Certificate,
        NoTls,
        Lost, // anything else: the server went away, a timeout ...
    };

    explicit XmppClient(QObject* parent = nullptr);
    ~XmppClient() override;

    // Connects; with `keepTrying`, every loss is followed by a new attempt after 1, 2,
    // 4 ... 60 s, until a wrong password or stop().
    void start(const Options& options, bool keepTrying);
    // Closes the stream and waits up to `waitMs` for the server to see it closed.
    void stop(int waitMs = 500);

    bool isSignedIn() const { return m_signedIn; }
    bool isStopping() const { return m_stopping; }
    QString bareJid() const { return m_options.jid; }
    xmpp_ctx_t* context() const { return m_ctx; }

    // Sends an <iq> built from `xml` (an id is added) and calls `done` once: with the
    // reply, or with nullptr when none came within `timeoutMs` or the connection dropped.
    using IqDone = std::function<void(xmpp_stanza_t* reply)>;
    void sendIq(const QString& xml, int timeoutMs, IqDone done);

    // The wait before retry number `attempt` (0-based): 1, 2, 4 ... 60 seconds.
    static int retryDelayMs(int attempt);
    static QString describe(Problem problem, const QString& detail);

Q_SIGNALS:
    void signedIn();
    // The stream is gone or never came up; `willRetry` if another attempt is scheduled.
    void signedOut(XmppClient::Problem problem, const QString& message, bool willRetry);

private:
    struct PendingIq
    {
        IqDone done;
        QTimer* timer = nullptr;
    };

    static void onConnectionEvent(xmpp_conn_t* conn, xmpp_conn_event_t event, int error,
                                  xmpp_stream_error_t* streamError, void* userdata);
    static int onSocket(xmpp_conn_t* conn, void* sock);
    static int onCertificateFailure(const xmpp_tlscert_t* cert, const char* const errormsg);
    static void onLog(void* userdata, xmpp_log_level_t level, const char* area, const char* msg);
    static int onIqReply(xmpp_conn_t* conn, xmpp_stanza_t* stanza, void* userdata);
    static int onIqRequest(xmpp_conn_t* conn, xmpp_stanza_t* stanza, void* userdata);

    void connectNow();
    void handleEvent(xmpp_conn_event_t event, int error, xmpp_stream_error_t* streamError);
    void finishIq(const QString& id, xmpp_stanza_t* reply);
    void failAllIqs();
    // Lets libstrophe read and write what is ready, then arms what wakes it next.
    void pump();
    void schedulePump();

    Options m_options;
    bool m_keepTrying = false;
    bool m_stopping = false;
    bool m_signedIn = false;
    int m_attempt = 0;
    xmpp_log_t m_log{};
    xmpp_ctx_t* m_ctx = nullptr;
    xmpp_conn_t* m_conn = nullptr;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_pumpSoon;   // one pass as soon as the loop is free (after a send)
    QTimer m_connecting; // polls while the connection is being set up
    QTimer m_retry;
    bool m_pumping = false;
    // What the last attempt ran into, gathered from libstrophe as it went.
    bool m_authFailed = false;
    bool m_noTls = false;
    int m_socketError = 0;
    QString m_certificateError;
    QString m_caFileSet; // the authority file libstrophe holds for m_conn
    QHash<QString, PendingIq> m_pending;
    int m_nextId = 1;
};
