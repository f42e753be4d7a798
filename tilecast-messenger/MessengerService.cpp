// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessengerService.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QRegularExpression>

#include "contract/MessengerContract.h"
#include "controladaptor.h"
#include "messengeradaptor.h"
#include "MessengerModel.h"
#include "StandInControl.h"

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

// Error names follow the interface-name rules; libdbus refuses to send others,
// which would leave the caller waiting for a reply that never comes.
bool isValidErrorName(const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*(\\.[A-Za-z_][A-Za-z0-9_]*)+$"));
    return name.size() <= 255 && pattern.match(name).hasMatch();
}

} // namespace

MessengerService::MessengerService(MessengerModel* model, QObject* parent)
    : QObject(parent), m_model(model), m_bus(QString())
{
    qDBusRegisterMetaType<CallCounts>();
    ResetCalls();

    new MessengerAdaptor(this);
    new ControlAdaptor(this);

    connect(m_model, &MessengerModel::signedInChanged, this, [this](bool signedIn) {
        Q_EMIT SignedInChanged(signedIn);
        announceProperty(QStringLiteral("SignedIn"), signedIn);
    });
    connect(m_model, &MessengerModel::accountChanged, this, [this](const QString& account) {
        Q_EMIT AccountChanged(account);
        announceProperty(QStringLiteral("Account"), account);
    });
    connect(m_model, &MessengerModel::displayPictureChanged, this, [this](const QString& path) {
        Q_EMIT DisplayPictureChanged(path);
        announceProperty(QStringLiteral("DisplayPicture"), path);
    });
}

bool MessengerService::publish(const QDBusConnection& bus, QString* error)
{
    m_bus = bus;
    // The object goes up first so that whoever sees the name appear can call it.
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
        *error = QStringLiteral("%1 is already owned by another instance").arg(contract::Service);
        return false;
    }
    return true;
}

bool MessengerService::isSignedIn() const
{
    return m_model->isSignedIn();
}

QString MessengerService::account() const
{
    return m_model->account();
}

QString MessengerService::displayPicture() const
{
    return m_model->displayPicture();
}

bool MessengerService::beginContractCall(const QString& method)
{
    ++m_calls[method];
    for (qsizetype i = 0; i < m_armedFailures.size(); ++i) {
        const ArmedFailure& failure = m_armedFailures.at(i);
        if (failure.method.isEmpty() || failure.method == method) {
            sendErrorReply(failure.errorName, failure.message);
            m_armedFailures.removeAt(i);
            return true;
        }
    }
    return false;
}

QString MessengerService::MySigninName()
{
    if (beginContractCall(contract::MySigninName))
        return {};
    if (!m_model->isSignedIn()) {
        sendErrorReply(contract::error::NotSignedIn, QStringLiteral("No account is signed in."));
        return {};
    }
    return m_model->account();
}

void MessengerService::SetMyProperty(int property, const QDBusVariant& value)
{
    const QVariant inner = value.variant();
    const bool isPath =
        property == contract::UserTilePath && inner.metaType() == QMetaType::fromType<QString>();
    // Recorded before anything can refuse it: tests want to see every attempt.
    if (isPath)
        m_receivedPictures.append(inner.toString());

    if (beginContractCall(contract::SetMyProperty))
        return;
    if (!m_model->isSignedIn()) {
        sendErrorReply(contract::error::NotSignedIn, QStringLiteral("No account is signed in."));
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
    if (!isPath) {
        sendErrorReply(
            contract::error::InvalidArgument,
            QStringLiteral("The value of property %1 must be a string (a file path), not of type '%2'.")
                .arg(contract::UserTilePath)
                .arg(signatureOf(inner)));
        return;
    }
    const QString path = inner.toString();
    if (m_rejectPictures) {
        sendErrorReply(contract::error::Failed,
                       QStringLiteral("Cannot use \"%1\" as the display picture: pictures are "
                                      "being refused on request (SetRejectPictures).")
                           .arg(path));
        return;
    }
    const PictureCheck check = m_model->setDisplayPicture(path);
    if (!check.ok) {
        sendErrorReply(
            contract::error::Failed,
            QStringLiteral("Cannot use \"%1\" as the display picture: %2.").arg(path, check.reason));
    }
}

void MessengerService::SignIn()
{
    m_model->signIn();
}

void MessengerService::SignInAs(const QString& account)
{
    m_model->signInAs(account);
}

void MessengerService::SignOut()
{
    m_model->signOut();
}

void MessengerService::ResetCalls()
{
    m_calls.clear();
    m_calls.insert(contract::MySigninName, 0);
    m_calls.insert(contract::SetMyProperty, 0);
}

void MessengerService::FailNext(const QString& method, const QString& errorName, const QString& message)
{
    if (!method.isEmpty() && method != contract::MySigninName && method != contract::SetMyProperty) {
        sendErrorReply(QDBusError::InvalidArgs,
                       QStringLiteral("Unknown method \"%1\"; expected \"%2\", \"%3\" or \"\".")
                           .arg(method, contract::MySigninName, contract::SetMyProperty));
        return;
    }
    if (!isValidErrorName(errorName)) {
        sendErrorReply(QDBusError::InvalidArgs,
                       QStringLiteral("\"%1\" is not a valid D-Bus error name.").arg(errorName));
        return;
    }
    m_armedFailures.append({method, errorName, message});
}

void MessengerService::SetRejectPictures(bool reject)
{
    if (reject == m_rejectPictures)
        return;
    m_rejectPictures = reject;
    announceProperty(QStringLiteral("RejectPictures"), reject);
}

void MessengerService::announceProperty(const QString& name, const QVariant& value)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(contract::Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << standin::ControlInterface << QVariantMap{{name, value}} << QStringList();
    m_bus.send(signal);
}
