// SPDX-License-Identifier: GPL-3.0-or-later
#include "messenger/ContractClient.h"

#include <QCoreApplication>
#include <QDBusVariant>

#include "contract/MessengerContract.h"
#include "messenger/ReplyThread.h"

ContractClient::ContractClient(const QDBusConnection& bus)
    : m_messenger(bus,
                  {contract::Service, contract::Path, contract::Interface, QStringLiteral("the messenger")})
{
}

Outcome<std::unique_ptr<Messenger>> ContractClient::create()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (Status up = CheckedCall::reachable(bus, contract::Service, QStringLiteral("no messenger is running"));
        !up)
        return Failure{up.failure()};
    return std::unique_ptr<Messenger>(new ContractClient(bus));
}

Outcome<QString> ContractClient::signinName()
{
    return m_messenger.callFor<QString>(contract::MySigninName);
}

Status ContractClient::applyDisplayPicture(const QString& path)
{
    return m_messenger.callVoid(contract::SetMyProperty,
                                {contract::UserTilePath, QVariant::fromValue(QDBusVariant(path))});
}

void ContractClient::checkSigninName(const QString& shown, NameAnswer answer)
{
    // One question at a time: a messenger that hangs is reported once, after the
    // time-out, as a blocking read would have reported it.
    if (m_nameAsked && !m_nameAsked->isFinished())
        return;
    m_nameAsked = m_messenger.callForLater<QString>(
        contract::MySigninName, replyThread(),
        [shown, answer = std::move(answer)](const Outcome<QString>& name) {
            if (name && name.value() == shown)
                return;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [answer, name] { answer(name); }, Qt::QueuedConnection);
        });
}
