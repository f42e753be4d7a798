// SPDX-License-Identifier: GPL-3.0-or-later
#include "Client.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

#include "contract/CommandLine.h"
#include "contract/MessengerContract.h"
#include "contract/NameOwner.h"
#include "StandInControl.h"

namespace {

constexpr int CallTimeoutMs = 5000;

using cli::printLine;

// False, with the reason printed, if there is no bus or no instance on it.
bool reachInstance(const QDBusConnection& bus)
{
    const Outcome<bool> owned = contract::nameHasOwner(bus, contract::Service);
    if (!owned) {
        cli::fail(owned.failure());
        return false;
    }
    if (!owned.value()) {
        cli::fail(QStringLiteral("no instance is running (nobody owns %1 on the session bus); start one "
                                 "with: tilecast-messenger")
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
    cli::fail(QStringLiteral("%1: %2").arg(reply.errorName(), reply.errorMessage()));
    return false;
}

int status(QDBusConnection& bus)
{
    const QDBusMessage reply = call(bus, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("GetAll"), {standin::ControlInterface});
    if (!succeeded(reply))
        return cli::Failed;
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    const bool signedIn = properties.value(QStringLiteral("SignedIn")).toBool();
    printLine(stdout, signedIn ? QStringLiteral("state: signed in") : QStringLiteral("state: signed out"));
    printLine(stdout,
              QStringLiteral("account: %1").arg(properties.value(QStringLiteral("Account")).toString()));
    printLine(
        stdout,
        QStringLiteral("picture: %1").arg(properties.value(QStringLiteral("DisplayPicture")).toString()));
    return cli::Ok;
}

} // namespace

int runClient(const QStringList& arguments)
{
    const QString command = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    const bool known = command == QLatin1String("sign-in") || command == QLatin1String("sign-out") ||
                       command == QLatin1String("status");
    if (!known) {
        return cli::fail(QStringLiteral("unknown command \"%1\"; see --help").arg(command), cli::Usage);
    }
    const qsizetype maxRest = command == QLatin1String("sign-in") ? 1 : 0;
    if (rest.size() > maxRest) {
        return cli::fail(QStringLiteral("too many arguments for %1; see --help").arg(command), cli::Usage);
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!reachInstance(bus))
        return cli::Failed;

    if (command == QLatin1String("status"))
        return status(bus);
    if (command == QLatin1String("sign-out")) {
        if (!succeeded(call(bus, standin::ControlInterface, QStringLiteral("SignOut"))))
            return cli::Failed;
        printLine(stdout, QStringLiteral("Signed out."));
        return cli::Ok;
    }
    const QDBusMessage reply = rest.isEmpty() ? call(bus, standin::ControlInterface, QStringLiteral("SignIn"))
                                              : call(bus, standin::ControlInterface,
                                                     QStringLiteral("SignInAs"), {rest.constFirst()});
    if (!succeeded(reply))
        return cli::Failed;
    const QDBusMessage name = call(bus, contract::Interface, contract::MySigninName);
    printLine(stdout, QStringLiteral("Signed in as \"%1\".").arg(name.arguments().value(0).toString()));
    return cli::Ok;
}
