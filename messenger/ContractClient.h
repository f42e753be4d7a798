// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusPendingCall>

#include <optional>

#include "messenger/CheckedCall.h"
#include "messenger/Messenger.h"

// The client of our messenger contract (contract/org.tilecast.Messenger.xml): the
// program that owns org.tilecast.Messenger on the session bus, whichever it is — the
// stand-in, or a messenger program of its own that implements the two methods.
class ContractClient : public Messenger
{
public:
    // Fails when there is no session bus or nobody owns the service name; the
    // messenger is never started on demand.
    static Outcome<std::unique_ptr<Messenger>> create();

    Outcome<QString> signinName() override;
    Status applyDisplayPicture(const QString& path) override;
    // Asks without blocking; the reply is looked at on replyThread().
    void checkSigninName(const QString& shown, NameAnswer answer) override;

private:
    explicit ContractClient(const QDBusConnection& bus);

    CheckedCall m_messenger;
    std::optional<QDBusPendingCall> m_nameAsked;
};
