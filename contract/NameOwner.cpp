// SPDX-License-Identifier: GPL-3.0-or-later
#include "contract/NameOwner.h"

#include <QDBusMessage>

#include "contract/MessengerContract.h"

namespace contract {

Outcome<bool> nameHasOwner(const QDBusConnection& bus, const QString& name)
{
    if (!bus.isConnected())
        return Failure{
            QStringLiteral("cannot connect to the D-Bus session bus: %1").arg(bus.lastError().message())};
    const QDBusMessage reply =
        bus.call(QDBusMessage::createMethodCall(
                     QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                     QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"))
                     << name,
                 QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return Failure{QStringLiteral("the session bus's NameHasOwner failed: %1: %2")
                           .arg(reply.errorName(), reply.errorMessage())};
    const QVariant owned = reply.arguments().value(0);
    if (reply.arguments().size() != 1 || owned.metaType() != QMetaType::fromType<bool>())
        return Failure{QStringLiteral("the session bus's NameHasOwner answered \"%1\" instead of one \"b\"")
                           .arg(reply.signature())};
    return owned.toBool();
}

} // namespace contract
