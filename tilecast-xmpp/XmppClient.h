// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

#include "tilecast-xmpp/XmppConnection.h"

class QThread;

// One XMPP account's connection, as the rest of the program sees it: used from the thread
// that answers D-Bus, while the stream itself (XmppConnection) runs on a thread of its own,
// so that no server, network or name lookup can keep this thread from answering.
//
// TLS is mandatory and the server's certificate is always checked against the JID's domain
// (also sent as SNI), whatever address `host` names. No presence is ever sent. Every sign-in
// has a deadline; a stream that was up is checked for life (XEP-0199 pings) when it has
// been quiet for a while and whenever a request went unanswered.
class XmppClient : public QObject
{
    Q_OBJECT
public:
    using Options = XmppConnection::Target;
    using Problem = XmppProblem;

    // From the start of an attempt (name lookup included) to the stream being ready.
    static constexpr int SignInDeadlineMs = 20000;
    // A ping after this long with nothing from the server, and how long its answer may take.
    static constexpr int IdlePingMs = 120000;
    static constexpr int PingAnswerMs = 10000;
    // Tests shorten the three through TILECAST_XMPP_SIGN_IN_DEADLINE_MS,
    // TILECAST_XMPP_IDLE_PING_MS and TILECAST_XMPP_PING_ANSWER_MS.

    explicit XmppClient(QObject* parent = nullptr);
    ~XmppClient() override;

    // Connects; with `keepTrying`, every loss is followed by a new attempt after 1, 2,
    // 4 ... 60 s, until a wrong password or stop().
    void start(const Options& options, bool keepTrying);
    // Closes the stream and waits up to `waitMs` for the server to see it closed. False if
    // the connection's thread did not come back (stuck in a call that cannot be ended): the
    // process should then leave without waiting for it.
    bool stop(int waitMs = 500);

    bool isSignedIn() const { return m_signedIn; }
    bool isStopping() const { return m_stopping; }
    QString bareJid() const { return m_options.jid; }
    // With the resource the server gave; empty while not signed in.
    QString boundJid() const { return m_signedIn ? m_boundJid : QString(); }

    // Sends an <iq> built from `xml` (an id is added) and calls `done` once, on this thread:
    // with the reply, or with nullptr when none came within `timeoutMs` or the connection
    // dropped. The reply is valid only during the call.
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
        bool isPing = false;
    };

    void connectNow();
    void onEstablished(const QString& boundJid);
    void onEnded(Problem problem, const QString& detail);
    void onReply(const QByteArray& id, const Stanza& reply);
    void onActivity();
    QByteArray request(const QString& xml, int timeoutMs, IqDone done, bool isPing);
    void finishIq(const QByteArray& id, xmpp_stanza_t* reply);
    void failAllIqs();
    void ping();
    // Runs `call` on the connection's thread.
    void inConnection(std::function<void(XmppConnection*)> call);

    QThread* m_thread = nullptr;
    XmppConnection* m_connection = nullptr; // lives on m_thread
    Options m_options;
    bool m_keepTrying = false;
    bool m_stopping = false;
    bool m_attemptRunning = false;
    bool m_signedIn = false;
    QString m_boundJid;
    int m_attempt = 0;
    int m_signInDeadlineMs;
    int m_idlePingMs;
    int m_pingAnswerMs;
    QTimer m_retry;
    QTimer m_deadline;
    QTimer m_idle;
    QByteArray m_pingId; // the ping waiting for its answer, if any
    QElapsedTimer m_lastActivity;
    QHash<QByteArray, PendingIq> m_pending;
};
