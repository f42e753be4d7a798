// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpSocket>
#include <QXmlStreamAttributes>
#include <QXmlStreamReader>

#include <optional>

// A minimal XMPP client over a plain socket, enough to watch a contact the way a person in
// their contact list does: it logs in (SASL PLAIN, no TLS: for a server on the loopback
// only), goes online and records the avatar hash every presence of the contact carries
// (XEP-0153, <x xmlns='vcard-temp:x:update'><photo>SHA-1</photo></x>). It can also fetch
// the avatar's bytes from the contact's PEP node (XEP-0084).
class XmppObserver : public QObject
{
    Q_OBJECT
public:
    // One photo hash the contact announced, when it first arrived (ms since connectTo()).
    struct PhotoChange
    {
        qint64 atMs = 0;
        QString hash; // empty: the contact has no picture
    };

    explicit XmppObserver(QString contact, QObject* parent = nullptr);
    ~XmppObserver() override;

    // Logs in as `user` (a bare JID) and goes online. False with the reason in *error.
    bool connectTo(const QString& host, quint16 port, const QString& user, const QString& password,
                   int timeoutMs, QString* error);

    // Whether the contact is online, and the last photo hash it announced (nullopt: none
    // announced yet); photo changes in order of arrival, repeats left out.
    bool contactOnline() const { return m_contactOnline; }
    std::optional<QString> photo() const { return m_photo; }
    const QList<PhotoChange>& photoChanges() const { return m_changes; }
    qint64 elapsedMs() const { return m_clock.elapsed(); }

    // The avatar published under `hash`; nullopt with the reason in *error.
    std::optional<QByteArray> fetchAvatar(const QString& hash, int timeoutMs, QString* error);

    // Everything received, for failure messages (the last `max` characters).
    QString transcript(qsizetype max = 4000) const;

Q_SIGNALS:
    void photoChanged(const QString& hash);

private:
    struct Element
    {
        QString ns;
        QString name;
        QXmlStreamAttributes attributes;
        QString text;
        QList<Element> children;

        const Element* child(const QString& ns, const QString& name) const;
        QString attribute(const QString& name) const { return attributes.value(name).toString(); }
    };

    enum class State
    {
        Disconnected,
        Authenticating,
        Binding,
        Online,
        Failed,
    };

    void send(const QString& xml);
    void openStream();
    void readAvailable();
    void handle(const Element& stanza);
    void handlePresence(const Element& presence);
    void fail(const QString& why);

    QString m_contact; // bare JID
    QString m_domain;
    QString m_user;
    QString m_password;
    QTcpSocket m_socket;
    QXmlStreamReader m_reader;
    QList<Element> m_open; // elements being read below the stream's root
    bool m_restarted = false;
    State m_state = State::Disconnected;
    QString m_failure;
    QString m_received;
    QElapsedTimer m_clock;
    bool m_contactOnline = false;
    std::optional<QString> m_photo;
    QList<PhotoChange> m_changes;
    int m_nextId = 1;
    QHash<QString, std::optional<Element>> m_replies; // iq id -> reply, once it came
};
