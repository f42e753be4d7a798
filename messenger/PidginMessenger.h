// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QList>

#include "messenger/CheckedCall.h"
#include "messenger/Messenger.h"

// Pidgin (libpurple 2) reached through the automation interface it publishes on the
// session bus. The signed-in account is the first enabled account that is connected; the
// display picture is Pidgin's global buddy icon, which Pidgin converts, scales and sends
// for every account that does not have an icon of its own.
class PidginMessenger : public Messenger
{
public:
    static inline const QString Service = QStringLiteral("im.pidgin.purple.PurpleService");
    static inline const QString Path = QStringLiteral("/im/pidgin/purple/PurpleObject");
    static inline const QString Interface = QStringLiteral("im.pidgin.purple.PurpleInterface");
    static inline const QString BuddyIconPref = QStringLiteral("/pidgin/accounts/buddyicon");

    // Fails when there is no session bus or Pidgin is not running; Pidgin is never started
    // on demand.
    static Outcome<std::unique_ptr<Messenger>> create();
    // The same on a bus of the caller's choosing.
    static Outcome<std::unique_ptr<Messenger>> create(const QDBusConnection& bus);

    Outcome<QString> signinName() override;
    Status applyDisplayPicture(const QString& path) override;

    // Whether `path` can be a display picture: a readable regular file (symlinks followed)
    // whose content is a GIF, JPEG, BMP or PNG image with a readable header. Pidgin takes
    // anything and clears the user's picture when it cannot load it, so this is checked
    // before Pidgin is asked. Reads the header only.
    static Status checkPicture(const QString& path);

private:
    explicit PidginMessenger(const QDBusConnection& bus);

    Outcome<QList<int>> connectedAccounts();

    CheckedCall m_pidgin;
};
