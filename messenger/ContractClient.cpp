// SPDX-License-Identifier: GPL-3.0-or-later
#include "messenger/ContractClient.h"

#include <QDBusVariant>

#include "contract/MessengerContract.h"

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
