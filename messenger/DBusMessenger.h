#pragma once

#include <QDBusConnection>

#include "messenger/Messenger.h"

// The messenger reached over the session bus: the service that owns
// org.tilecast.Messenger (the stand-in, or any other program that implements
// the same two methods).
class DBusMessenger : public Messenger
{
public:
    static constexpr const char* Service = "org.tilecast.Messenger";
    static constexpr const char* Path = "/org/tilecast/Messenger";
    static constexpr const char* Interface = "org.tilecast.Messenger";
    // A hung messenger must not freeze the program for the bus's default 25 s.
    static constexpr int CallTimeoutMs = 3000;

    // Fails when there is no session bus or nobody owns the service name; the
    // messenger is never started on demand.
    static Outcome<std::unique_ptr<Messenger>> create();

    Outcome<QString> mySigninName() override;
    Status setMyProperty(int property, const QVariant& value) override;

private:
    explicit DBusMessenger(const QDBusConnection& bus);

    QDBusConnection m_bus;
};
