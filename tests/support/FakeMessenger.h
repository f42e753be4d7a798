// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include "messenger/Messenger.h"

// An in-process messenger whose sign-in and availability a test sets at will.
// Every object it creates reads the same shared world, so a test can change
// the world under objects the program already holds.
struct FakeMessengerWorld
{
    bool running = true;  // false: creating an object fails
    bool signedIn = true; // false: reads and applies fail
    bool rejectPictures = false;
    bool rejectEmptyPath = false;
    int signOutAfterReads = -1; // >= 0: the account signs out after that many reads
    QString account = QStringLiteral("alice@example.org");
    int created = 0;     // objects created so far
    int reads = 0;       // MySigninName calls
    QStringList applied; // paths passed to SetMyProperty, accepted or not

    MessengerFactory factory();
};

class FakeMessenger : public Messenger
{
public:
    explicit FakeMessenger(FakeMessengerWorld& world) : m_world(world) {}

    Outcome<QString> signinName() override
    {
        if (m_world.signOutAfterReads >= 0 && m_world.reads >= m_world.signOutAfterReads)
            m_world.signedIn = false;
        ++m_world.reads;
        if (!m_world.running || !m_world.signedIn)
            return Failure{QStringLiteral("not signed in")};
        return m_world.account;
    }

    Status applyDisplayPicture(const QString& path) override
    {
        m_world.applied << path;
        if (!m_world.running || !m_world.signedIn || m_world.rejectPictures ||
            (m_world.rejectEmptyPath && path.isEmpty()))
            return Failure{QStringLiteral("picture refused")};
        return {};
    }

private:
    FakeMessengerWorld& m_world;
};

inline MessengerFactory FakeMessengerWorld::factory()
{
    return [this]() -> Outcome<std::unique_ptr<Messenger>> {
        if (!running)
            return Failure{QStringLiteral("no messenger running")};
        ++created;
        return std::unique_ptr<Messenger>(new FakeMessenger(*this));
    };
}
