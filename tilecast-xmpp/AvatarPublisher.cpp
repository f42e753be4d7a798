// SPDX-License-Identifier: GPL-3.0-or-later
#include "tilecast-xmpp/AvatarPublisher.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QImageReader>
#include <QTimer>

#include <cstring>
#include <strophe.h>

#include "tilecast-xmpp/AccountFiles.h"
#include "tilecast-xmpp/XmppClient.h"

namespace {

const char* const PubSub = "http://jabber.org/protocol/pubsub";
const char* const AvatarData = "urn:xmpp:avatar:data";
const char* const AvatarMetadata = "urn:xmpp:avatar:metadata";
const char* const VcardTemp = "vcard-temp";
const char* const StanzaErrors = "urn:ietf:params:xml:ns:xmpp-stanzas";
// What Prosody answers only to a disco#info on the account's own bare JID.
const char* const VcardConversion = "urn:xmpp:pep-vcard-conversion:0";

QString attr(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QStringLiteral("&apos;"));
}

xmpp_stanza_t* child(xmpp_stanza_t* parent, const char* name, const char* ns = nullptr)
{
    if (!parent)
        return nullptr;
    return ns ? xmpp_stanza_get_child_by_name_and_ns(parent, name, ns)
              : xmpp_stanza_get_child_by_name(parent, name);
}

QString attribute(xmpp_stanza_t* stanza, const char* name)
{
    const char* value = stanza ? xmpp_stanza_get_attribute(stanza, name) : nullptr;
    return value ? QString::fromUtf8(value) : QString();
}

QByteArray text(xmpp_stanza_t* stanza)
{
    if (!stanza)
        return {};
    char* raw = xmpp_stanza_get_text(stanza);
    if (!raw)
        return {};
    QByteArray bytes(raw);
    xmpp_free(xmpp_stanza_get_context(stanza), raw);
    return bytes;
}

QString toXml(xmpp_stanza_t* stanza)
{
    char* buffer = nullptr;
    size_t length = 0;
    if (xmpp_stanza_to_text(stanza, &buffer, &length) != XMPP_EOK)
        return {};
    const QString xml = QString::fromUtf8(buffer, qsizetype(length));
    xmpp_free(xmpp_stanza_get_context(stanza), buffer);
    return xml;
}

bool isError(xmpp_stanza_t* reply)
{
    const char* type = xmpp_stanza_get_type(reply);
    return type && std::strcmp(type, "error") == 0;
}

// The defined condition of an error reply (item-not-found ...), with its text if any.
QString errorCondition(xmpp_stanza_t* reply)
{
    xmpp_stanza_t* error = child(reply, "error");
    for (xmpp_stanza_t* c = error ? xmpp_stanza_get_children(error) : nullptr; c;
         c = xmpp_stanza_get_next(c)) {
        const char* ns = xmpp_stanza_is_tag(c) ? xmpp_stanza_get_ns(c) : nullptr;
        if (ns && std::strcmp(ns, StanzaErrors) == 0 && std::strcmp(xmpp_stanza_get_name(c), "text") != 0)
            return QString::fromUtf8(xmpp_stanza_get_name(c));
    }
    return QStringLiteral("undefined-condition");
}

QString pubsubGet(const QString& to, const char* node, const QString& inner)
{
    return QStringLiteral(
               "<iq type='get' to='%1'><pubsub xmlns='%2'><items node='%3'%4</items></pubsub></iq>")
        .arg(attr(to), QLatin1String(PubSub), QLatin1String(node), inner);
}

QString pubsubPublish(const char* node, const QString& itemId, const QString& payload)
{
    const QString id = itemId.isEmpty() ? QString() : QStringLiteral(" id='%1'").arg(attr(itemId));
    return QStringLiteral("<iq type='set'><pubsub xmlns='%1'><publish node='%2'><item%3>%4</item></publish>"
                          "</pubsub></iq>")
        .arg(QLatin1String(PubSub), QLatin1String(node), id, payload);
}

} // namespace

struct AvatarPublisher::Operation
{
    Done done;
    QElapsedTimer clock;
    int budgetMs = 0;
    bool finished = false;
    QTimer* deadline = nullptr;

    int remainingMs() const { return int(qMax<qint64>(1, budgetMs - clock.elapsed())); }
    void finish(bool ok, const QString& error)
    {
        if (finished)
            return;
        finished = true;
        if (deadline)
            deadline->deleteLater();
        done(ok, error);
    }
};

AvatarPublisher::AvatarPublisher(XmppClient* client, QObject* parent) : QObject(parent), m_client(client) {}

std::shared_ptr<AvatarPublisher::Operation> AvatarPublisher::begin(Done done, int budgetMs)
{
    auto op = std::make_shared<Operation>();
    op->done = std::move(done);
    op->budgetMs = budgetMs;
    op->clock.start();
    op->deadline = new QTimer(this);
    op->deadline->setSingleShot(true);
    std::weak_ptr<Operation> weak = op;
    connect(op->deadline, &QTimer::timeout, this, [weak, budgetMs] {
        if (auto op = weak.lock())
            op->finish(false,
                       QStringLiteral("the server did not confirm within %1 s").arg(budgetMs / 1000.0));
    });
    op->deadline->start(budgetMs);
    return op;
}

void AvatarPublisher::request(const std::shared_ptr<Operation>& op, const QString& what, const QString& xml,
                              std::function<void(void*)> onReply, bool acceptErrors)
{
    m_client->sendIq(xml, op->remainingMs(), [this, op, what, onReply, acceptErrors](xmpp_stanza_t* reply) {
        if (op->finished)
            return;
        if (!reply) {
            op->finish(false, m_client->isSignedIn()
                                  ? QStringLiteral("no answer from the server to %1").arg(what)
                                  : QStringLiteral("the connection was lost during %1").arg(what));
            return;
        }
        if (isError(reply) && !acceptErrors) {
            op->finish(false, QStringLiteral("the server refused %1 (%2)").arg(what, errorCondition(reply)));
            return;
        }
        onReply(reply);
    });
}

void AvatarPublisher::discover(const std::shared_ptr<Operation>& op, Step next)
{
    if (m_serverConverts) {
        next();
        return;
    }
    const QString xml =
        QStringLiteral("<iq type='get' to='%1'><query xmlns='http://jabber.org/protocol/disco#info'/>"
                       "</iq>")
            .arg(attr(m_client->bareJid()));
    request(
        op, QStringLiteral("the feature query"), xml,
        [this, next](void* r) {
            auto* reply = static_cast<xmpp_stanza_t*>(r);
            bool converts = false;
            xmpp_stanza_t* query = child(reply, "query");
            for (xmpp_stanza_t* c = query ? xmpp_stanza_get_children(query) : nullptr; c;
                 c = xmpp_stanza_get_next(c)) {
                if (xmpp_stanza_is_tag(c) && std::strcmp(xmpp_stanza_get_name(c), "feature") == 0 &&
                    attribute(c, "var") == QLatin1String(VcardConversion))
                    converts = true;
            }
            // A server that does not answer the query is treated as one that does not convert.
            m_serverConverts = converts;
            next();
        },
        true);
}

void AvatarPublisher::saveOriginal(const std::shared_ptr<Operation>& op, Step next)
{
    const QString jid = m_client->bareJid();
    if (accountfiles::hasSavedAvatar(jid)) {
        next();
        return;
    }
    request(
        op, QStringLiteral("reading the current avatar"),
        pubsubGet(jid, AvatarMetadata, QStringLiteral(" max_items='1'>")),
        [this, op, jid, next](void* r) {
            auto* reply = static_cast<xmpp_stanza_t*>(r);
            if (isError(reply)) {
                if (errorCondition(reply) != QLatin1String("item-not-found")) {
                    op->finish(false,
                               QStringLiteral("cannot read the current avatar (%1), so it is not replaced")
                                   .arg(errorCondition(reply)));
                    return;
                }
                saveFromVcard(op, next);
                return;
            }
            xmpp_stanza_t* metadata =
                child(child(child(child(reply, "pubsub"), "items"), "item"), "metadata", AvatarMetadata);
            xmpp_stanza_t* info = child(metadata, "info");
            if (!info) {
                // An empty metadata item is how XEP-0084 says "no avatar".
                if (metadata) {
                    QString error;
                    if (!accountfiles::saveAvatarOnce(jid, {}, &error)) {
                        op->finish(false, error);
                        return;
                    }
                    next();
                } else {
                    saveFromVcard(op, next);
                }
                return;
            }
            const QString id = attribute(info, "id");
            const QString type = attribute(info, "type");
            request(
                op, QStringLiteral("reading the current avatar's data"),
                pubsubGet(jid, AvatarData, QStringLiteral("><item id='%1'/>").arg(attr(id))),
                [this, op, jid, type, next](void* r) {
                    auto* reply = static_cast<xmpp_stanza_t*>(r);
                    const QByteArray data = QByteArray::fromBase64(text(
                        child(child(child(child(reply, "pubsub"), "items"), "item"), "data", AvatarData)));
                    if (isError(reply) || data.isEmpty()) {
                        saveFromVcard(op, next);
                        return;
                    }
                    QString error;
                    if (!accountfiles::saveAvatarOnce(jid, {true, data, type}, &error)) {
                        op->finish(false, error);
                        return;
                    }
                    next();
                },
                true);
        },
        true);
}

void AvatarPublisher::saveFromVcard(const std::shared_ptr<Operation>& op, Step next)
{
    const QString jid = m_client->bareJid();
    request(
        op, QStringLiteral("reading the vCard"),
        QStringLiteral("<iq type='get'><vCard xmlns='%1'/></iq>").arg(QLatin1String(VcardTemp)),
        [op, jid, next](void* r) {
            auto* reply = static_cast<xmpp_stanza_t*>(r);
            // A vCard that was never written is item-not-found, not an empty vCard.
            if (isError(reply) && errorCondition(reply) != QLatin1String("item-not-found")) {
                op->finish(false, QStringLiteral("cannot read the vCard (%1), so the avatar is not replaced")
                                      .arg(errorCondition(reply)));
                return;
            }
            xmpp_stanza_t* photo = child(child(reply, "vCard", VcardTemp), "PHOTO");
            accountfiles::SavedAvatar saved;
            saved.data = QByteArray::fromBase64(text(child(photo, "BINVAL")));
            saved.hadAvatar = !saved.data.isEmpty();
            saved.type = QString::fromUtf8(text(child(photo, "TYPE"))).trimmed();
            if (saved.hadAvatar && saved.type.isEmpty())
                saved.type = QStringLiteral("image/png");
            QString error;
            if (!accountfiles::saveAvatarOnce(jid, saved, &error)) {
                op->finish(false, error);
                return;
            }
            next();
        },
        true);
}

void AvatarPublisher::publish(const std::shared_ptr<Operation>& op, const QByteArray& data,
                              const QString& type, int width, int height, Step next)
{
    const QString id = QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex());
    const QString dataXml =
        pubsubPublish(AvatarData, id,
                      QStringLiteral("<data xmlns='%1'>%2</data>")
                          .arg(QLatin1String(AvatarData), QString::fromLatin1(data.toBase64())));
    QString size;
    if (width > 0 && height > 0)
        size = QStringLiteral(" width='%1' height='%2'").arg(width).arg(height);
    const QString metadataXml =
        pubsubPublish(AvatarMetadata, id,
                      QStringLiteral("<metadata xmlns='%1'><info bytes='%2' id='%3' type='%4'%5/></metadata>")
                          .arg(QLatin1String(AvatarMetadata))
                          .arg(data.size())
                          .arg(id, attr(type), size));
    // Data first: a contact told about new metadata fetches the data at once.
    request(op, QStringLiteral("the avatar's data"), dataXml,
            [this, op, metadataXml, data, type, next](void*) {
                request(op, QStringLiteral("the avatar's metadata"), metadataXml,
                        [this, op, data, type, next](void*) {
                            if (*m_serverConverts)
                                next();
                            else
                                updateVcard(op, data, type, next);
                        });
            });
}

void AvatarPublisher::publishNone(const std::shared_ptr<Operation>& op, Step next)
{
    const QString xml =
        pubsubPublish(AvatarMetadata, QString(),
                      QStringLiteral("<metadata xmlns='%1'/>").arg(QLatin1String(AvatarMetadata)));
    request(op, QStringLiteral("removing the avatar"), xml, [this, op, next](void*) {
        if (*m_serverConverts)
            next();
        else
            updateVcard(op, {}, {}, next);
    });
}

void AvatarPublisher::updateVcard(const std::shared_ptr<Operation>& op, const QByteArray& data,
                                  const QString& type, Step next)
{
    request(
        op, QStringLiteral("reading the vCard"),
        QStringLiteral("<iq type='get'><vCard xmlns='%1'/></iq>").arg(QLatin1String(VcardTemp)),
        [this, op, data, type, next](void* r) {
            auto* reply = static_cast<xmpp_stanza_t*>(r);
            if (isError(reply) && errorCondition(reply) != QLatin1String("item-not-found")) {
                op->finish(
                    false,
                    QStringLiteral("the server refused reading the vCard (%1)").arg(errorCondition(reply)));
                return;
            }
            // Every field the user has stays as it is; only PHOTO is replaced.
            QString fields;
            xmpp_stanza_t* vcard = isError(reply) ? nullptr : child(reply, "vCard", VcardTemp);
            for (xmpp_stanza_t* c = vcard ? xmpp_stanza_get_children(vcard) : nullptr; c;
                 c = xmpp_stanza_get_next(c)) {
                if (xmpp_stanza_is_tag(c) && std::strcmp(xmpp_stanza_get_name(c), "PHOTO") == 0)
                    continue;
                fields += toXml(c);
            }
            if (!data.isEmpty())
                fields += QStringLiteral("<PHOTO><TYPE>%1</TYPE><BINVAL>%2</BINVAL></PHOTO>")
                              .arg(attr(type), QString::fromLatin1(data.toBase64()));
            request(op, QStringLiteral("the vCard"),
                    QStringLiteral("<iq type='set'><vCard xmlns='%1'>%2</vCard></iq>")
                        .arg(QLatin1String(VcardTemp), fields),
                    [next](void*) { next(); });
        },
        true);
}

void AvatarPublisher::apply(const AvatarImage& image, Done done, int budgetMs)
{
    auto op = begin(std::move(done), budgetMs);
    discover(op, [this, op, image] {
        saveOriginal(op, [this, op, image] {
            publish(op, image.png, QStringLiteral("image/png"), image.size.width(), image.size.height(),
                    [op] { op->finish(true, QString()); });
        });
    });
}

void AvatarPublisher::restore(Done done, int budgetMs)
{
    auto op = begin(std::move(done), budgetMs);
    const QString jid = m_client->bareJid();
    const std::optional<accountfiles::SavedAvatar> saved = accountfiles::loadSavedAvatar(jid);
    if (!saved) {
        op->finish(false, QStringLiteral("there is no saved avatar of %1 to restore").arg(jid));
        return;
    }
    const auto forget = [op, jid] {
        QString error;
        if (!accountfiles::forgetSavedAvatar(jid, &error))
            op->finish(false, error);
        else
            op->finish(true, QString());
    };
    discover(op, [this, op, saved, forget] {
        if (!saved->hadAvatar) {
            publishNone(op, forget);
            return;
        }
        QBuffer buffer;
        buffer.setData(saved->data);
        buffer.open(QIODevice::ReadOnly);
        const QSize size = QImageReader(&buffer).size();
        publish(op, saved->data, saved->type, size.width(), size.height(), forget);
    });
}
