// SPDX-License-Identifier: GPL-3.0-or-later
#include "messenger/MessengerLink.h"

MessengerLink::MessengerLink(MessengerFactory create) : m_create(std::move(create)) {}

Status MessengerLink::holdOne()
{
    if (m_shared)
        return {};
    auto created = m_create();
    if (!created)
        return Failure{created.failure()};
    m_shared = created.take();
    return {};
}

Outcome<QString> MessengerLink::readSigninName()
{
    if (Status held = holdOne(); !held)
        return Failure{held.failure()};
    return m_shared->signinName();
}

void MessengerLink::checkSigninName(const QString& shown, Messenger::NameAnswer answer)
{
    if (Status held = holdOne(); !held)
        return answer(Failure{held.failure()});
    m_shared->checkSigninName(shown, std::move(answer));
}

Status MessengerLink::applyDisplayPicture(const QString& path)
{
    auto created = m_create();
    if (!created)
        return Failure{created.failure()};
    m_shared = created.take();
    return m_shared->applyDisplayPicture(path);
}
