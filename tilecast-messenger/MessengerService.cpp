// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessengerService.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QRegularExpression>

#include "contract/MessengerContract.h"
#include "controladaptor.h"
#include "MessengerModel.h"
#include "StandInControl.h"

namespace {

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
    : ContractService(parent), m_model(model)
{
    qDBusRegisterMetaType<CallCounts>();
    ResetCalls();

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

bool MessengerService::answeredFirst(const QString& method, const QVariantList& arguments)
{
    // Recorded before anything can refuse it: tests want to see every attempt.
    if (method == contract::SetMyProperty && arguments.value(0).toInt() == contract::UserTilePath &&
        arguments.value(1).metaType() == QMetaType::fromType<QString>())
        m_receivedPictures.append(arguments.value(1).toString());

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

void MessengerService::applyPicture(const PictureCall& call)
{
    if (m_rejectPictures) {
        call.refuse(contract::error::Failed,
                    QStringLiteral("Cannot use \"%1\" as the display picture: pictures are "
                                   "being refused on request (SetRejectPictures).")
                        .arg(call.path()));
        return;
    }
    const PictureCheck check = m_model->setDisplayPicture(call.path());
    if (check.ok)
        call.accept();
    else
        call.unusable(check.reason);
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
    if (!bus().isConnected())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(contract::Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << standin::ControlInterface << QVariantMap{{name, value}} << QStringList();
    bus().send(signal);
}
