// SPDX-License-Identifier: GPL-3.0-or-later
#include "Client.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

#include <cstdio>

#include "contract/MessengerContract.h"
#include "StandInControl.h"

namespace {

constexpr int CallTimeoutMs = 5000;

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fputc('\n', stream);
}

// False, with the reason printed, if there is no bus or no instance on it.
bool reachInstance(QDBusConnection& bus)
{
    if (!bus.isConnected()) {
        print(stderr, QStringLiteral("tilecast-messenger: cannot connect to the D-Bus session bus: %1")
                          .arg(bus.lastError().message()));
        return false;
    }
    const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(contract::Service);
    if (!owned.isValid() || !owned.value()) {
        print(stderr, QStringLiteral("tilecast-messenger: no instance is running (nobody owns %1 on the "
                                     "session bus); start one with: tilecast-messenger")
                          .arg(contract::Service));
        return false;
    }
    return true;
}

QDBusMessage call(QDBusConnection& bus, const QString& interface, const QString& method,
                  const QVariantList& arguments = {})
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(contract::Service, contract::Path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, CallTimeoutMs);
}

bool succeeded(const QDBusMessage& reply)
{
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    print(stderr, QStringLiteral("tilecast-messenger: %1: %2").arg(reply.errorName(), reply.errorMessage()));
    return false;
}

int status(QDBusConnection& bus)
{
    const QDBusMessage reply = call(bus, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("GetAll"), {standin::ControlInterface});
    if (!succeeded(reply))
        return ClientFailed;
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    const bool signedIn = properties.value(QStringLiteral("SignedIn")).toBool();
    print(stdout, signedIn ? QStringLiteral("state: signed in") : QStringLiteral("state: signed out"));
    print(stdout, QStringLiteral("account: %1").arg(properties.value(QStringLiteral("Account")).toString()));
    print(stdout,
          QStringLiteral("picture: %1").arg(properties.value(QStringLiteral("DisplayPicture")).toString()));
    return ClientOk;
}

} // namespace

int runClient(const QStringList& arguments)
{
    const QString command = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    const bool known = command == QLatin1String("sign-in") || command == QLatin1String("sign-out") ||
                       command == QLatin1String("status");
    if (!known) {
        print(stderr, QStringLiteral("tilecast-messenger: unknown command \"%1\"; see --help").arg(command));
        return ClientUsage;
    }
    const qsizetype maxRest = command == QLatin1String("sign-in") ? 1 : 0;
    if (rest.size() > maxRest) {
        print(stderr,
              QStringLiteral("tilecast-messenger: too many arguments for %1; see --help").arg(command));
        return ClientUsage;
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!reachInstance(bus))
        return ClientFailed;

    if (command == QLatin1String("status"))
        return status(bus);
    if (command == QLatin1String("sign-out")) {
        if (!succeeded(call(bus, standin::ControlInterface, QStringLiteral("SignOut"))))
            return ClientFailed;
        print(stdout, QStringLiteral("Signed out."));
        return ClientOk;
    }
    const QDBusMessage reply = rest.isEmpty() ? call(bus, standin::ControlInterface, QStringLiteral("SignIn"))
                                              : call(bus, standin::ControlInterface,
                                                     QStringLiteral("SignInAs"), {rest.constFirst()});
    if (!succeeded(reply))
        return ClientFailed;
    const QDBusMessage name = call(bus, contract::Interface, contract::MySigninName);
    print(stdout, QStringLiteral("Signed in as \"%1\".").arg(name.arguments().value(0).toString()));
    return ClientOk;
}
