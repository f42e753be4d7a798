#pragma once

#include <QDBusConnection>
#include <QList>

#include "messenger/Messenger.h"

// Pidgin (libpurple 2) reached through the automation interface it publishes on the
// session bus. The signed-in account is the first enabled account that is connected; the
// display picture is Pidgin's global buddy icon, which Pidgin converts, scales and sends
// for every account that does not have an icon of its own.
class PidginMessenger : public Messenger
{
public:
    static constexpr const char* Service = "im.pidgin.purple.PurpleService";
    static constexpr const char* Path = "/im/pidgin/purple/PurpleObject";
    static constexpr const char* Interface = "im.pidgin.purple.PurpleInterface";
    static constexpr const char* BuddyIconPref = "/pidgin/accounts/buddyicon";
    // A hung Pidgin must not freeze the program for the bus's default 25 s.
    static constexpr int CallTimeoutMs = 3000;

    // Fails when there is no session bus or Pidgin is not running; Pidgin is never started
    // on demand.
    static Outcome<std::unique_ptr<Messenger>> create();
    // The same on a bus of the caller's choosing.
    static Outcome<std::unique_ptr<Messenger>> create(const QDBusConnection& bus);

    Outcome<QString> mySigninName() override;
    Status setMyProperty(int property, const QVariant& value) override;

    // Whether `path` can be a display picture: a readable regular file (symlinks followed)
    // whose content is a GIF, JPEG, BMP or PNG image with a readable header. Pidgin takes
    // anything and clears the user's picture when it cannot load it, so this is checked
    // before Pidgin is asked. Reads the header only.
    static Status checkPicture(const QString& path);

private:
    explicit PidginMessenger(const QDBusConnection& bus);

    Outcome<QList<int>> connectedAccounts();

    QDBusConnection m_bus;
};
