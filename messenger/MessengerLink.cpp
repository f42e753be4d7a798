// SPDX-License-Identifier: GPL-3.0-or-later
#include "messenger/MessengerLink.h"

MessengerLink::MessengerLink(MessengerFactory create) : m_create(std::move(create)) {}

Outcome<QString> MessengerLink::readSigninName()
{
    if (!m_shared) {
        auto created = m_create();
        if (!created)
            return Failure{created.failure()};
        m_shared = created.take();
    }
    return m_shared->signinName();
}

Status MessengerLink::applyDisplayPicture(const QString& path)
{
    auto created = m_create();
    if (!created)
        return Failure{created.failure()};
    m_shared = created.take();
    return m_shared->applyDisplayPicture(path);
}
