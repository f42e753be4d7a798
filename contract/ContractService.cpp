// SPDX-License-Identifier: GPL-3.0-or-later
#include "contract/ContractService.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusReply>

#include "contract/MessengerContract.h"
#include "messengeradaptor.h"

namespace {

// D-Bus signature of what arrived inside a variant, for error messages.
QString signatureOf(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return value.value<QDBusArgument>().currentSignature();
    if (const char* signature = QDBusMetaType::typeToSignature(value.metaType()))
        return QString::fromLatin1(signature);
    return QStringLiteral("?");
}

} // namespace

PictureCall::PictureCall(const QDBusConnection& bus, const QDBusMessage& call, QString path)
    : m_bus(bus), m_call(call), m_path(std::move(path))
{
}

void PictureCall::accept() const
{
    m_bus.send(m_call.createReply());
}

void PictureCall::unusable(const QString& reason) const
{
    refuse(contract::error::InvalidArgument,
           QStringLiteral("Cannot use \"%1\" as the display picture: %2.").arg(m_path, reason));
}

void PictureCall::refuse(const QString& errorName, const QString& message) const
{
    m_bus.send(m_call.createErrorReply(errorName, message));
}

ContractService::ContractService(QObject* parent) : QObject(parent), m_bus(QString())
{
    new MessengerAdaptor(this);
}

Status ContractService::publish(const QDBusConnection& bus)
{
    m_bus = bus;
    if (!m_bus.isConnected())
        return Failure{
            QStringLiteral("cannot connect to the D-Bus session bus: %1").arg(m_bus.lastError().message())};
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

QString ContractService::notSignedIn(const QString& account)
{
    return QStringLiteral("The account \"%1\" is not signed in.").arg(account);
}

bool ContractService::answeredFirst(const QString&, const QVariantList&)
{
    return false;
}

QString ContractService::MySigninName()
{
    if (answeredFirst(contract::MySigninName, {}))
        return {};
    if (!isSignedIn()) {
        sendErrorReply(contract::error::NotSignedIn, notSignedIn(account()));
        return {};
    }
    return account();
}

void ContractService::SetMyProperty(int property, const QDBusVariant& value)
{
    const QVariant inner = value.variant();
    if (answeredFirst(contract::SetMyProperty, {property, inner}))
        return;
    // Signed out is said before any complaint about the arguments.
    if (!isSignedIn()) {
        sendErrorReply(contract::error::NotSignedIn, notSignedIn(account()));
        return;
    }
    if (property != contract::UserTilePath) {
        sendErrorReply(
            contract::error::InvalidArgument,
            QStringLiteral("Property %1 cannot be set; only %2 (MCONTACTPROP_USERTILE_PATH) is supported.")
                .arg(property)
                .arg(contract::UserTilePath));
        return;
    }
    if (inner.metaType() != QMetaType::fromType<QString>()) {
        sendErrorReply(
            contract::error::InvalidArgument,
            QStringLiteral("The value of property %1 must be a string (a file path), not of type '%2'.")
                .arg(contract::UserTilePath)
                .arg(signatureOf(inner)));
        return;
    }
    setDelayedReply(true);
    applyPicture(PictureCall(connection(), message(), inner.toString()));
}
