// SPDX-License-Identifier: GPL-3.0-or-later
#include "tilecast-xmpp/BridgeService.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "contract/MessengerContract.h"
#include "messengeradaptor.h"
#include "tilecast-xmpp/AvatarImage.h"
#include "tilecast-xmpp/AvatarPublisher.h"
#include "tilecast-xmpp/XmppClient.h"

BridgeService::BridgeService(XmppClient* client, AvatarPublisher* publisher, QObject* parent)
    : QObject(parent), m_client(client), m_publisher(publisher), m_bus(QString())
{
    new MessengerAdaptor(this);
}

bool BridgeService::publish(const QDBusConnection& bus, QString* error)
{
    m_bus = bus;
    // The object goes up first, so that whoever sees the name appear can call it.
    if (!m_bus.registerObject(contract::Path, this, QDBusConnection::ExportAdaptors)) {
        *error = QStringLiteral("cannot export %1: %2").arg(contract::Path, m_bus.lastError().message());
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        m_bus.interface()->registerService(contract::Service, QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        *error = QStringLiteral("cannot own %1: %2").arg(contract::Service, reply.error().message());
        return false;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        *error =
            QStringLiteral("another messenger already owns %1 on the session bus").arg(contract::Service);
        return false;
    }
    return true;
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
    const QString path = inner.toString();
    const AvatarImage image = makeAvatarImage(path);
    if (!image.ok) {
        // Nothing is published for a picture that cannot be used.
        sendErrorReply(
            contract::error::InvalidArgument,
            QStringLiteral("Cannot use \"%1\" as the display picture: %2.").arg(path, image.error));
        Q_EMIT applied(path, QString(), image.error);
        return;
    }

    setDelayedReply(true);
    Apply apply{message(), path, image, {}};
    apply.waiting.start();
    m_queue.append(apply);
    startNext();
}

void BridgeService::startNext()
{
    if (m_busy || m_queue.isEmpty())
        return;
    m_busy = true;
    const Apply apply = m_queue.takeFirst();
    const QString hash = QString::fromLatin1(apply.image.sha1Hex);
    // The caller's clock started when it called, not when its turn came.
    const int budget = int(qMax<qint64>(1, AvatarPublisher::BudgetMs - apply.waiting.elapsed()));
    m_publisher->apply(
        apply.image,
        [this, apply, hash](bool ok, const QString& error) {
            if (ok)
                m_bus.send(apply.call.createReply());
            else
                m_bus.send(apply.call.createErrorReply(
                    contract::error::Failed,
                    QStringLiteral("Cannot make \"%1\" the avatar: %2.").arg(apply.path, error)));
            Q_EMIT applied(apply.path, hash, ok ? QString() : error);
            m_busy = false;
            startNext();
        },
        budget);
}
