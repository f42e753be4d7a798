// SPDX-License-Identifier: GPL-3.0-or-later
#include "tilecast-xmpp/AvatarPublisher.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QImageReader>
#include <QRegularExpression>
#include <QTimer>

#include <cstring>
#include <strophe.h>

#include "tilecast-xmpp/PictureThread.h"
#include "tilecast-xmpp/XmppClient.h"
#include "tilecast-xmpp/XmppText.h"

using accountfiles::SavedAvatar;
using xmpptext::escaped;

namespace {

const char* const PubSub = "http://jabber.org/protocol/pubsub";
const char* const AvatarData = "urn:xmpp:avatar:data";
const char* const AvatarMetadata = "urn:xmpp:avatar:metadata";
const char* const VcardTemp = "vcard-temp";
const char* const StanzaErrors = "urn:ietf:params:xml:ns:xmpp-stanzas";
// What Prosody answers only to a disco#info on the account's own bare JID.
const char* const VcardConversion = "urn:xmpp:pep-vcard-conversion:0";

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

// The defined condition of an error reply (item-not-found ...).
QString errorCondition(xmpp_stanza_t* reply)
{
    xmpp_stanza_t* error = child(reply, "error");
    for (xmpp_stanza_t* c = error ? xmpp_stanza_get_children(error) : nullptr; c;
         c = xmpp_stanza_get_next(c)) {
        const char* ns = xmpp_stanza_is_tag(c) ? xmpp_stanza_get_ns(c) : nullptr;
        if (ns && std::strcmp(ns, StanzaErrors) == 0 && std::strcmp(xmpp_stanza_get_name(c), "text") != 0)
            return xmpptext::printable(QString::fromUtf8(xmpp_stanza_get_name(c)), 60);
    }
    return QStringLiteral("undefined-condition");
}

QString pubsubGet(const QString& to, const char* node, const QString& inner)
{
    return QStringLiteral(
               "<iq type='get' to='%1'><pubsub xmlns='%2'><items node='%3'%4</items></pubsub></iq>")
        .arg(escaped(to), QLatin1String(PubSub), QLatin1String(node), inner);
}

QString pubsubPublish(const char* node, const QString& itemId, const QString& payload)
{
    const QString id = itemId.isEmpty() ? QString() : QStringLiteral(" id='%1'").arg(escaped(itemId));
    return QStringLiteral("<iq type='set'><pubsub xmlns='%1'><publish node='%2'><item%3>%4</item></publish>"
                          "</pubsub></iq>")
        .arg(QLatin1String(PubSub), QLatin1String(node), id, payload);
}

QString kib(qint64 bytes)
{
    return QStringLiteral("%1 KiB").arg((bytes + 1023) / 1024);
}

SavedAvatar notKept(const QString& reason)
{
    SavedAvatar avatar;
    avatar.kind = SavedAvatar::Kind::NotKept;
    avatar.reason = reason;
    return avatar;
}

SavedAvatar tooLarge(qint64 bytes)
{
    return notKept(QStringLiteral("it is %1, more than the %2 kept")
                       .arg(kib(bytes), kib(accountfiles::MaxSavedAvatarBytes)));
}

// The picture in `base64`, if it is small enough to keep: the size is checked before it is
// decoded, then after.
Outcome<QByteArray> keepableData(const QByteArray& base64)
{
    if (base64.size() > accountfiles::MaxSavedAvatarBytes / 3 * 4 + 1024)
        return Failure{tooLarge(base64.size() / 4 * 3).reason};
    QByteArray data = QByteArray::fromBase64(base64);
    if (data.size() > accountfiles::MaxSavedAvatarBytes)
        return Failure{tooLarge(data.size()).reason};
    return data;
}

// A type as kept on disk and sent back to the server: image/..., nothing else.
QString checkedType(const QString& type, const QByteArray& data)
{
    static const QRegularExpression valid(QStringLiteral("^image/[a-z0-9][a-z0-9.+-]{0,62}$"),
                                          QRegularExpression::CaseInsensitiveOption);
    if (valid.match(type).hasMatch())
        return type;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = QImageReader::imageFormat(&buffer);
    return QStringLiteral("image/") +
           (format.isEmpty() ? QStringLiteral("png") : QString::fromLatin1(format));
}

// The first <info/> of an avatar's metadata whose data is on the server (one given only as
// a link has none there); `anyInfo` tells whether there was any <info/> at all.
xmpp_stanza_t* hostedInfo(xmpp_stanza_t* metadata, bool* anyInfo)
{
    *anyInfo = false;
    for (xmpp_stanza_t* c = metadata ? xmpp_stanza_get_children(metadata) : nullptr; c;
         c = xmpp_stanza_get_next(c)) {
        if (!xmpp_stanza_is_tag(c) || std::strcmp(xmpp_stanza_get_name(c), "info") != 0)
            continue;
        *anyInfo = true;
        if (attribute(c, "url").isEmpty())
            return c;
    }
    return nullptr;
}

} // namespace

struct AvatarPublisher::Operation
{
    Done done;
    QElapsedTimer clock;
    int budgetMs = 0;
    bool finished = false;
    QTimer* deadline = nullptr;
    QString stage; // what it waits for, for the message when time runs out

    int remainingMs() const { return int(qMax<qint64>(1, budgetMs - clock.elapsed())); }
    void finish(const Status& outcome)
    {
        if (finished)
            return;
        finished = true;
        if (deadline)
            deadline->deleteLater();
        done(outcome);
    }
};

AvatarPublisher::AvatarPublisher(XmppClient* client, PictureThread* pictures, QObject* parent)
    : QObject(parent), m_client(client), m_pictures(pictures)
{
}

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
            op->finish(Failure{QStringLiteral("no answer within %1 s while %2")
                                   .arg(budgetMs / 1000.0)
                                   .arg(op->stage.isEmpty() ? QStringLiteral("publishing") : op->stage)});
    });
    op->deadline->start(budgetMs);
    return op;
}

void AvatarPublisher::request(const std::shared_ptr<Operation>& op, const QString& what, const QString& xml,
                              OnReply onReply, bool acceptErrors)
{
    op->stage = what;
    m_client->sendIq(xml, op->remainingMs(), [this, op, what, onReply, acceptErrors](xmpp_stanza_t* reply) {
        if (op->finished)
            return;
        if (!reply) {
            op->finish(Failure{m_client->isSignedIn()
                                   ? QStringLiteral("no answer from the server while %1").arg(what)
                                   : QStringLiteral("the connection was lost while %1").arg(what)});
            return;
        }
        if (isError(reply) && !acceptErrors) {
            op->finish(
                Failure{QStringLiteral("the server refused %1 (%2)").arg(what, errorCondition(reply))});
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
            .arg(escaped(m_client->bareJid()));
    request(
        op, QStringLiteral("asking the server's features"), xml,
        [this, next](xmpp_stanza_t* reply) {
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

void AvatarPublisher::signedIn()
{
    m_serverConverts.reset();
    if (!accountfiles::hasSavedAvatar(m_client->bareJid()) && !m_keeping)
        keepOriginal();
}

void AvatarPublisher::whenOriginalKept(const std::shared_ptr<Operation>& op, Step next)
{
    const QString jid = m_client->bareJid();
    if (accountfiles::hasSavedAvatar(jid)) {
        next();
        return;
    }
    op->stage = QStringLiteral("keeping a copy of the account's own picture");
    m_waitingForOriginal.append([this, op, jid, next] {
        if (op->finished)
            return;
        if (accountfiles::hasSavedAvatar(jid))
            next();
        else
            op->finish(Failure{
                QStringLiteral("the account's own picture could not be kept (%1), so it is not replaced")
                    .arg(m_keepError)});
    });
    if (!m_keeping)
        keepOriginal();
}

void AvatarPublisher::keepOriginal()
{
    m_keeping = true;
    m_keepError.clear();
    auto op = begin(
        [this](const Status& outcome) {
            m_keeping = false;
            if (!outcome)
                m_keepError = outcome.failure();
            const QList<Step> waiting = std::exchange(m_waitingForOriginal, {});
            for (const Step& step : waiting)
                step();
        },
        KeepOriginalMs);
    request(
        op, QStringLiteral("reading the current avatar"),
        pubsubGet(m_client->bareJid(), AvatarMetadata, QStringLiteral(" max_items='1'>")),
        [this, op](xmpp_stanza_t* reply) { keepFromMetadata(op, reply); }, true);
}

void AvatarPublisher::keepFromMetadata(const std::shared_ptr<Operation>& op, xmpp_stanza_t* reply)
{
    if (isError(reply)) {
        if (errorCondition(reply) != QLatin1String("item-not-found")) {
            op->finish(
                Failure{QStringLiteral("cannot read the current avatar (%1)").arg(errorCondition(reply))});
            return;
        }
        keepFromVcard(op, false);
        return;
    }
    xmpp_stanza_t* metadata =
        child(child(child(child(reply, "pubsub"), "items"), "item"), "metadata", AvatarMetadata);
    bool anyInfo = false;
    xmpp_stanza_t* info = hostedInfo(metadata, &anyInfo);
    if (!info) {
        // An empty metadata item is how XEP-0084 says "no avatar".
        if (metadata && !anyInfo)
            saveOriginal(op, {});
        else
            keepFromVcard(op, anyInfo);
        return;
    }
    const QString id = attribute(info, "id").toLower();
    bool known = false;
    const qint64 bytes = attribute(info, "bytes").toLongLong(&known);
    // Said before it is fetched: a picture too large to keep is not read at all.
    if (known && bytes > accountfiles::MaxSavedAvatarBytes) {
        saveOriginal(op, tooLarge(bytes));
        return;
    }
    request(
        op, QStringLiteral("reading the current avatar's data"),
        pubsubGet(m_client->bareJid(), AvatarData, QStringLiteral("><item id='%1'/>").arg(escaped(id))),
        [this, op, id](xmpp_stanza_t* reply) { keepFromData(op, id, reply); }, true);
}

void AvatarPublisher::keepFromData(const std::shared_ptr<Operation>& op, const QString& id,
                                   xmpp_stanza_t* reply)
{
    const QByteArray base64 =
        isError(reply)
            ? QByteArray()
            : text(child(child(child(child(reply, "pubsub"), "items"), "item"), "data", AvatarData));
    if (base64.isEmpty()) {
        keepFromVcard(op, true);
        return;
    }
    const Outcome<QByteArray> data = keepableData(base64);
    if (!data) {
        saveOriginal(op, notKept(data.failure()));
        return;
    }
    if (QCryptographicHash::hash(data.value(), QCryptographicHash::Sha1).toHex() != id.toLatin1()) {
        saveOriginal(op, notKept(QStringLiteral("the picture the server holds does not match its id")));
        return;
    }
    keepPicture(op, data.value());
}

void AvatarPublisher::keepFromVcard(const std::shared_ptr<Operation>& op, bool hasAvatar)
{
    request(
        op, QStringLiteral("reading the vCard"),
        QStringLiteral("<iq type='get'><vCard xmlns='%1'/></iq>").arg(QLatin1String(VcardTemp)),
        [this, op, hasAvatar](xmpp_stanza_t* reply) {
            // A vCard that was never written is item-not-found, not an empty vCard.
            if (isError(reply) && errorCondition(reply) != QLatin1String("item-not-found")) {
                op->finish(Failure{QStringLiteral("cannot read the vCard (%1)").arg(errorCondition(reply))});
                return;
            }
            xmpp_stanza_t* photo =
                isError(reply) ? nullptr : child(child(reply, "vCard", VcardTemp), "PHOTO");
            const QByteArray base64 = text(child(photo, "BINVAL"));
            if (base64.isEmpty()) {
                if (child(photo, "EXTVAL"))
                    saveOriginal(op, notKept(QStringLiteral("it is only a link to a picture elsewhere")));
                else if (hasAvatar)
                    saveOriginal(op, notKept(QStringLiteral("the server holds no data for it")));
                else
                    saveOriginal(op, {});
                return;
            }
            const Outcome<QByteArray> data = keepableData(base64);
            if (!data) {
                saveOriginal(op, notKept(data.failure()));
                return;
            }
            keepPicture(op, data.value());
        },
        true);
}

void AvatarPublisher::keepPicture(const std::shared_ptr<Operation>& op, const QByteArray& data)
{
    op->stage = QStringLiteral("checking the account's own picture");
    m_pictures->run<Outcome<QString>>([data] { return checkReceivedPicture(data); },
                                      [this, op, data](const Outcome<QString>& type) {
                                          if (op->finished)
                                              return;
                                          if (!type) {
                                              saveOriginal(op, notKept(type.failure()));
                                              return;
                                          }
                                          SavedAvatar avatar;
                                          avatar.kind = SavedAvatar::Kind::Kept;
                                          avatar.data = data;
                                          avatar.type = type.value();
                                          saveOriginal(op, avatar);
                                      });
}

void AvatarPublisher::saveOriginal(const std::shared_ptr<Operation>& op, const SavedAvatar& avatar)
{
    if (op->finished)
        return;
    const Status saved = accountfiles::saveAvatarOnce(m_client->bareJid(), avatar);
    if (saved && avatar.kind == SavedAvatar::Kind::NotKept)
        Q_EMIT originalNotKept(avatar.reason);
    op->finish(saved);
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
                          .arg(id, escaped(type), size));
    // Data first: a contact told about new metadata fetches the data at once.
    request(op, QStringLiteral("publishing the avatar's data"), dataXml,
            [this, op, metadataXml, data, type, next](xmpp_stanza_t*) {
                request(op, QStringLiteral("publishing the avatar's metadata"), metadataXml,
                        [this, op, data, type, next](xmpp_stanza_t*) {
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
    request(op, QStringLiteral("removing the avatar"), xml, [this, op, next](xmpp_stanza_t*) {
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
        [this, op, data, type, next](xmpp_stanza_t* reply) {
            if (isError(reply) && errorCondition(reply) != QLatin1String("item-not-found")) {
                op->finish(Failure{
                    QStringLiteral("the server refused reading the vCard (%1)").arg(errorCondition(reply))});
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
                              .arg(escaped(type), QString::fromLatin1(data.toBase64()));
            request(op, QStringLiteral("writing the vCard"),
                    QStringLiteral("<iq type='set'><vCard xmlns='%1'>%2</vCard></iq>")
                        .arg(QLatin1String(VcardTemp), fields),
                    [next](xmpp_stanza_t*) { next(); });
        },
        true);
}

void AvatarPublisher::apply(const AvatarImage& image, Done done, int budgetMs)
{
    auto op = begin(std::move(done), budgetMs);
    discover(op, [this, op, image] {
        whenOriginalKept(op, [this, op, image] {
            publish(op, image.png, QStringLiteral("image/png"), image.size.width(), image.size.height(),
                    [op] { op->finish({}); });
        });
    });
}

void AvatarPublisher::restore(Done done, int budgetMs)
{
    auto op = begin(std::move(done), budgetMs);
    const QString jid = m_client->bareJid();
    const std::optional<SavedAvatar> saved = accountfiles::loadSavedAvatar(jid);
    if (!saved) {
        op->finish(Failure{QStringLiteral("there is no saved avatar of %1 to restore").arg(jid)});
        return;
    }
    if (saved->kind == SavedAvatar::Kind::NotKept) {
        const Status forgotten = accountfiles::forgetSavedAvatar(jid);
        op->finish(
            Failure{QStringLiteral("the avatar %1 had before was not kept (%2), so it cannot be put back%3")
                        .arg(jid, saved->reason,
                             forgotten ? QString() : QStringLiteral("; ") + forgotten.failure())});
        return;
    }
    const auto forget = [op, jid] { op->finish(accountfiles::forgetSavedAvatar(jid)); };
    discover(op, [this, op, saved, forget] {
        if (saved->kind == SavedAvatar::Kind::None) {
            publishNone(op, forget);
            return;
        }
        QBuffer buffer;
        buffer.setData(saved->data);
        buffer.open(QIODevice::ReadOnly);
        const QSize size = QImageReader(&buffer).size();
        publish(op, saved->data, checkedType(saved->type, saved->data), size.width(), size.height(), forget);
    });
}
