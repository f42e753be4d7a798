// SPDX-License-Identifier: GPL-3.0-or-later
#include "messenger/PidginMessenger.h"

#include <QFileInfo>

#include "platform/PictureFile.h"

PidginMessenger::PidginMessenger(const QDBusConnection& bus)
    : m_pidgin(bus, {Service, Path, Interface, QStringLiteral("Pidgin")})
{
}

Outcome<std::unique_ptr<Messenger>> PidginMessenger::create()
{
    return create(QDBusConnection::sessionBus());
}

Outcome<std::unique_ptr<Messenger>> PidginMessenger::create(const QDBusConnection& bus)
{
    if (Status up = CheckedCall::reachable(bus, Service, QStringLiteral("Pidgin is not running")); !up)
        return Failure{up.failure()};
    return std::unique_ptr<Messenger>(new PidginMessenger(bus));
}

Outcome<QList<int>> PidginMessenger::connectedAccounts()
{
    // Account ids are Pidgin's handles of the moment: they differ from run to run.
    auto enabled = m_pidgin.callFor<QList<int>>(QStringLiteral("PurpleAccountsGetAllActive"));
    if (!enabled)
        return Failure{enabled.failure()};
    QList<int> connected;
    for (const int account : enabled.value()) {
        const auto isConnected = m_pidgin.callFor<int>(QStringLiteral("PurpleAccountIsConnected"), {account});
        if (!isConnected)
            return Failure{isConnected.failure()};
        if (isConnected.value() != 0)
            connected.append(account);
    }
    return connected;
}

Outcome<QString> PidginMessenger::signinName()
{
    const auto accounts = connectedAccounts();
    if (!accounts)
        return Failure{accounts.failure()};
    if (accounts.value().isEmpty())
        return Failure{QStringLiteral("no Pidgin account is signed in")};
    const auto name =
        m_pidgin.callFor<QString>(QStringLiteral("PurpleAccountGetUsername"), {accounts.value().first()});
    if (!name)
        return name;
    // XMPP names carry the resource after a slash ("alice@example.org/home"); the person's
    // address is what comes before it.
    return name.value().section(QLatin1Char('/'), 0, 0);
}

Status PidginMessenger::applyDisplayPicture(const QString& path)
{
    if (Status usable = checkPicture(path); !usable)
        return usable;

    const auto accounts = connectedAccounts();
    if (!accounts)
        return Failure{accounts.failure()};
    if (accounts.value().isEmpty())
        return Failure{QStringLiteral("no Pidgin account is signed in")};
    // An account given an icon of its own ignores the global one: setting it would change
    // nothing anybody sees.
    bool anyTakesIt = false;
    for (const int account : accounts.value()) {
        const auto usesGlobal = m_pidgin.callFor<int>(QStringLiteral("PurpleAccountGetBool"),
                                                      {account, QStringLiteral("use-global-buddyicon"), 1});
        if (!usesGlobal)
            return Failure{usesGlobal.failure()};
        anyTakesIt = anyTakesIt || usesGlobal.value() != 0;
    }
    if (!anyTakesIt)
        return Failure{QStringLiteral("no signed-in Pidgin account uses the global buddy icon: every one has "
                                      "an icon of its own (Pidgin's Modify Account dialog)")};

    const QString& pref = BuddyIconPref;
    // Only Pidgin's GTK interface keeps the global icon (Finch, for one, has none).
    const auto exists = m_pidgin.callFor<int>(QStringLiteral("PurplePrefsExists"), {pref});
    if (!exists)
        return Failure{exists.failure()};
    if (exists.value() == 0)
        return Failure{QStringLiteral("this Pidgin has no global buddy icon (%1)").arg(pref)};

    // Pidgin runs in a working folder of its own.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const auto current = m_pidgin.callFor<QString>(QStringLiteral("PurplePrefsGetPath"), {pref});
    if (!current)
        return Failure{current.failure()};
    // Setting the path it already has sends nothing, though the file may hold a new picture.
    if (current.value() == absolute)
        return m_pidgin.callVoid(QStringLiteral("PurplePrefsTriggerCallback"), {pref});
    return m_pidgin.callVoid(QStringLiteral("PurplePrefsSetPath"), {pref, absolute});
}

Status PidginMessenger::checkPicture(const QString& path)
{
    const PictureCheck check = checkPictureFile(path);
    if (!check.ok)
        return Failure{
            QStringLiteral("cannot use \"%1\" as the display picture: %2").arg(path, check.reason)};
    return {};
}
