// SPDX-License-Identifier: GPL-3.0-or-later
#include "tilecast-xmpp/BridgeService.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "contract/MessengerContract.h"
#include "messengeradaptor.h"
#include "tilecast-xmpp/AvatarImage.h"
#include "tilecast-xmpp/AvatarPublisher.h"
#include "tilecast-xmpp/PictureThread.h"
#include "tilecast-xmpp/XmppClient.h"

BridgeService::BridgeService(XmppClient* client, AvatarPublisher* publisher, PictureThread* pictures,
                             QObject* parent)
    : QObject(parent), m_client(client), m_publisher(publisher), m_pictures(pictures), m_bus(QString())
{
    new MessengerAdaptor(this);
}

int BridgeService::Apply::remainingMs() const
{
    return int(AvatarPublisher::BudgetMs - waiting.elapsed());
}

Status BridgeService::publish(const QDBusConnection& bus)
{
    m_bus = bus;
    // The object goes up first, so that whoever sees the name appear can call it.
    if (!m_bus.registerObject(contract::Path, this, QDBusConnection::ExportAdaptors))
        return Failure{
            QStringLiteral("cannot export %1: %2").arg(contract::Path, m_bus.lastError().message())};
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        m_bus.interface()->registerService(contract::Service, QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid())
        return Failure{QStringLiteral("cannot own %1: %2").arg(contract::Service, reply.error().message())};
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered)
        return Failure{
            QStringLiteral("another messenger already owns %1 on the session bus").arg(contract::Service)};
    return {};
}

QString BridgeService::MySigninName()
{
    if (!m_client->isSignedIn()) {
        sendErrorReply(contract::error::NotSignedIn,
                       QStringLiteral("%1 is not signed in.").arg(m_client->bareJid()));
        return {};
    }
    return m_client->bareJid();
}

void BridgeService::SetMyProperty(int property, const QDBusVariant& value)
{
    if (!m_client->isSignedIn()) {
        sendErrorReply(contract::error::NotSignedIn,
                       QStringLiteral("%1 is not signed in.").arg(m_client->bareJid()));
        return;
    }
    const QVariant inner = value.variant();
    if (property != contract::UserTilePath) {
        sendErrorReply(
            contract::error::InvalidArgument,
            QStringLiteral("Property %1 cannot be set; only %2 (MCONTACTPROP_USERTILE_PATH) is supported.")
                .arg(property)
                .arg(contract::UserTilePath));
        return;
    }
    if (inner.metaType() != QMetaType::fromType<QString>()) {
        sendErrorReply(contract::error::InvalidArgument,
                       QStringLiteral("The value of property %1 must be a string (a file path).")
                           .arg(contract::UserTilePath));
        return;
    }
    if (m_queue.size() >= MaxWaiting) {
        sendErrorReply(contract::error::Failed,
                       QStringLiteral("Busy: %1 pictures wait to be published already.").arg(m_queue.size()));
        return;
    }
    setDelayedReply(true);
    Apply apply{message(), inner.toString(), {}};
    apply.waiting.start();
    m_queue.append(apply);
    startNext();
}

void BridgeService::startNext()
{
    if (m_busy || m_queue.isEmpty())
        return;
    const Apply apply = m_queue.takeFirst();
    if (apply.remainingMs() <= 0) {
        finish(apply, contract::error::Failed, QStringLiteral("its turn came after the caller had given up"));
        startNext();
        return;
    }
    m_busy = true;
    const QString path = apply.path;
    m_pictures->run<AvatarImage>([path] { return makeAvatarImage(path); },
                                 [this, apply](const AvatarImage& image) { converted(apply, image); });
}

void BridgeService::converted(const Apply& apply, const AvatarImage& image)
{
    const auto next = [this] {
        m_busy = false;
        startNext();
    };
    if (!image.ok) {
        // Nothing is published for a picture that cannot be used.
        finish(apply, contract::error::InvalidArgument, image.error);
        next();
        return;
    }
    if (apply.remainingMs() <= 0) {
        finish(apply, contract::error::Failed,
               QStringLiteral("converting it took longer than the caller waits"));
        next();
        return;
    }
    if (!m_client->isSignedIn()) {
        finish(apply, contract::error::NotSignedIn,
               QStringLiteral("%1 is not signed in").arg(m_client->bareJid()));
        next();
        return;
    }
    const QString hash = QString::fromLatin1(image.sha1Hex);
    m_publisher->apply(
        image,
        [this, apply, hash, next](const Status& outcome) {
            if (outcome)
                finish(apply, QString(), QString(), hash);
            else
                finish(apply, contract::error::Failed, outcome.failure(), hash);
            next();
        },
        apply.remainingMs());
}

void BridgeService::finish(const Apply& apply, const QString& errorName, const QString& error,
                           const QString& hash)
{
    if (errorName.isEmpty()) {
        m_bus.send(apply.call.createReply());
    } else {
        const QString message = errorName == contract::error::InvalidArgument
                                    ? QStringLiteral("Cannot use \"%1\" as the display picture: %2.")
                                    : QStringLiteral("Cannot make \"%1\" the avatar: %2.");
        m_bus.send(apply.call.createErrorReply(errorName, message.arg(apply.path, error)));
    }
    Q_EMIT applied(apply.path, hash, error);
}
