// SPDX-License-Identifier: GPL-3.0-or-later
#include "XmppObserver.h"

#include <QTest>

namespace {

const QString StreamNs = QStringLiteral("http://etherx.jabber.org/streams");
const QString SaslNs = QStringLiteral("urn:ietf:params:xml:ns:xmpp-sasl");
const QString BindNs = QStringLiteral("urn:ietf:params:xml:ns:xmpp-bind");
const QString ClientNs = QStringLiteral("jabber:client");
const QString PubsubNs = QStringLiteral("http://jabber.org/protocol/pubsub");
const QString AvatarDataNs = QStringLiteral("urn:xmpp:avatar:data");
const QString VcardUpdateNs = QStringLiteral("vcard-temp:x:update");

QString bare(const QString& jid)
{
    return jid.section(QLatin1Char('/'), 0, 0);
}

// For attribute values in double quotes and for text.
QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

} // namespace

const XmppObserver::Element* XmppObserver::Element::child(const QString& ns, const QString& name) const
{
    for (const Element& c : children)
        if (c.ns == ns && c.name == name)
            return &c;
    return nullptr;
}

XmppObserver::XmppObserver(QString contact, QObject* parent) : QObject(parent), m_contact(std::move(contact))
{
    m_reader.setNamespaceProcessing(true);
    connect(&m_socket, &QTcpSocket::readyRead, this, &XmppObserver::readAvailable);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] { fail(m_socket.errorString()); });
}

XmppObserver::~XmppObserver()
{
    if (m_socket.state() == QAbstractSocket::ConnectedState) {
        m_socket.write("</stream:stream>");
        m_socket.waitForBytesWritten(500);
    }
}

bool XmppObserver::connectTo(const QString& host, quint16 port, const QString& user, const QString& password,
                             int timeoutMs, QString* error)
{
    m_user = user.section(QLatin1Char('@'), 0, 0);
    m_domain = user.section(QLatin1Char('@'), 1);
    m_password = password;
    m_clock.start();
    m_state = State::Authenticating;
    connect(&m_socket, &QTcpSocket::connected, this, &XmppObserver::openStream, Qt::SingleShotConnection);
    m_socket.connectToHost(host, port);
    const bool settled =
        QTest::qWaitFor([this] { return m_state == State::Online || m_state == State::Failed; }, timeoutMs);
    if (m_state == State::Online)
        return true;
    *error = settled ? m_failure : QStringLiteral("no log-in within %1 ms").arg(timeoutMs);
    *error += QStringLiteral("\nreceived:\n") + transcript();
    return false;
}

void XmppObserver::send(const QString& xml)
{
    m_socket.write(xml.toUtf8());
}

// Also after authentication: the server then starts a new stream, a new document.
void XmppObserver::openStream()
{
    m_reader.clear();
    m_reader.setNamespaceProcessing(true);
    m_open.clear();
    m_restarted = true;
    send(QStringLiteral("<?xml version='1.0'?><stream:stream to=\"%1\" xmlns=\"jabber:client\" "
                        "xmlns:stream=\"http://etherx.jabber.org/streams\" version=\"1.0\">")
             .arg(escaped(m_domain)));
}

void XmppObserver::fail(const QString& why)
{
    if (m_state == State::Failed)
        return;
    m_state = State::Failed;
    m_failure = why;
}

void XmppObserver::readAvailable()
{
    const QByteArray data = m_socket.readAll();
    m_received += QString::fromUtf8(data);
    m_reader.addData(data);
    while (!m_reader.atEnd()) {
        const QXmlStreamReader::TokenType token = m_reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (m_reader.name() == QStringLiteral("stream") && m_reader.namespaceUri() == StreamNs)
                continue; // the root: stanzas are its children
            m_open.append(Element{m_reader.namespaceUri().toString(),
                                  m_reader.name().toString(),
                                  m_reader.attributes(),
                                  {},
                                  {}});
        } else if (token == QXmlStreamReader::Characters && !m_open.isEmpty()) {
            m_open.last().text += m_reader.text();
        } else if (token == QXmlStreamReader::EndElement && !m_open.isEmpty()) {
            Element done = m_open.takeLast();
            if (!m_open.isEmpty()) {
                m_open.last().children.append(std::move(done));
                continue;
            }
            m_restarted = false;
            handle(done);
            // A restarted stream is a new document, for a fresh reader that has no data yet.
            if (m_restarted)
                return;
        }
    }
    if (m_reader.hasError() && m_reader.error() != QXmlStreamReader::PrematureEndOfDocumentError)
        fail(QStringLiteral("unreadable XML from the server: ") + m_reader.errorString());
}

void XmppObserver::handle(const Element& stanza)
{
    if (stanza.ns == StreamNs && stanza.name == QStringLiteral("features")) {
        if (m_state == State::Authenticating) {
            QByteArray plain;
            plain.append('\0').append(m_user.toUtf8()).append('\0').append(m_password.toUtf8());
            send(QStringLiteral("<auth xmlns=\"%1\" mechanism=\"PLAIN\">%2</auth>")
                     .arg(SaslNs, QString::fromLatin1(plain.toBase64())));
        } else if (m_state == State::Binding) {
            send(
                QStringLiteral("<iq type=\"set\" id=\"bind\"><bind xmlns=\"%1\"><resource>observer</resource>"
                               "</bind></iq>")
                    .arg(BindNs));
        }
        return;
    }
    if (stanza.ns == SaslNs && stanza.name == QStringLiteral("success")) {
        m_state = State::Binding;
        // Nothing of the new stream has arrived yet: the server waits for our header.
        openStream();
        return;
    }
    if (stanza.ns == SaslNs && stanza.name == QStringLiteral("failure")) {
        fail(QStringLiteral("log-in refused"));
        return;
    }
    if (stanza.ns == StreamNs && stanza.name == QStringLiteral("error")) {
        fail(QStringLiteral("stream error"));
        return;
    }
    if (stanza.ns != ClientNs)
        return;
    if (stanza.name == QStringLiteral("presence")) {
        handlePresence(stanza);
        return;
    }
    if (stanza.name != QStringLiteral("iq"))
        return;
    const QString type = stanza.attribute(QStringLiteral("type"));
    const QString id = stanza.attribute(QStringLiteral("id"));
    if (type == QStringLiteral("get") || type == QStringLiteral("set")) {
        // Contacts ask what this client can do; it can do nothing, and says so at once.
        send(QStringLiteral(
                 "<iq type=\"error\" id=\"%1\" to=\"%2\"><error type=\"cancel\">"
                 "<service-unavailable xmlns=\"urn:ietf:params:xml:ns:xmpp-stanzas\"/></error></iq>")
                 .arg(escaped(id), escaped(stanza.attribute(QStringLiteral("from")))));
        return;
    }
    if (id == QStringLiteral("bind") && m_state == State::Binding) {
        if (type != QStringLiteral("result")) {
            fail(QStringLiteral("resource binding refused"));
            return;
        }
        // Online: the server now sends the presence of every contact who is online.
        send(QStringLiteral("<presence/>"));
        m_state = State::Online;
        return;
    }
    if (m_replies.contains(id))
        m_replies[id] = stanza;
}

void XmppObserver::handlePresence(const Element& presence)
{
    if (bare(presence.attribute(QStringLiteral("from"))) != m_contact)
        return;
    if (presence.attribute(QStringLiteral("type")) == QStringLiteral("unavailable")) {
        m_contactOnline = false;
        return;
    }
    if (!presence.attribute(QStringLiteral("type")).isEmpty())
        return;
    m_contactOnline = true;
    const Element* update = presence.child(VcardUpdateNs, QStringLiteral("x"));
    const Element* photo = update ? update->child(VcardUpdateNs, QStringLiteral("photo")) : nullptr;
    if (!photo)
        return; // says nothing about the picture
    const QString hash = photo->text.trimmed();
    if (m_photo == hash)
        return;
    m_photo = hash;
    m_changes.append({m_clock.elapsed(), hash});
    Q_EMIT photoChanged(hash);
}

std::optional<QByteArray> XmppObserver::fetchAvatar(const QString& hash, int timeoutMs, QString* error)
{
    const QString id = QStringLiteral("avatar-%1").arg(m_nextId++);
    m_replies.insert(id, std::nullopt);
    send(QStringLiteral("<iq type=\"get\" id=\"%1\" to=\"%2\"><pubsub xmlns=\"%3\"><items node=\"%4\">"
                        "<item id=\"%5\"/></items></pubsub></iq>")
             .arg(id, escaped(m_contact), PubsubNs, AvatarDataNs, escaped(hash)));
    const bool answered = QTest::qWaitFor([this, &id] { return m_replies.value(id).has_value(); }, timeoutMs);
    const std::optional<Element> reply = m_replies.take(id);
    if (!answered || !reply) {
        *error = QStringLiteral("no answer to the avatar request within %1 ms").arg(timeoutMs);
        return std::nullopt;
    }
    const Element* pubsub = reply->child(PubsubNs, QStringLiteral("pubsub"));
    const Element* items = pubsub ? pubsub->child(PubsubNs, QStringLiteral("items")) : nullptr;
    const Element* item = items ? items->child(PubsubNs, QStringLiteral("item")) : nullptr;
    const Element* data = item ? item->child(AvatarDataNs, QStringLiteral("data")) : nullptr;
    if (reply->attribute(QStringLiteral("type")) != QStringLiteral("result") || !data) {
        *error = QStringLiteral("no avatar data for %1 in the answer").arg(hash);
        return std::nullopt;
    }
    return QByteArray::fromBase64(data->text.toLatin1());
}

QString XmppObserver::transcript(qsizetype max) const
{
    return m_received.size() <= max ? m_received : QStringLiteral("[...]") + m_received.right(max);
}
