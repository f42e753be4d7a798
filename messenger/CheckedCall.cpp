// SPDX-License-Identifier: GPL-3.0-or-later
#include "messenger/CheckedCall.h"

#include <QDBusMetaType>
#include <QDBusReply>

#include "contract/MessengerContract.h"
#include "contract/NameOwner.h"

CheckedCall::CheckedCall(const QDBusConnection& bus, Target target) : m_bus(bus), m_target(std::move(target))
{
}

Status CheckedCall::reachable(const QDBusConnection& bus, const QString& service, const QString& absent)
{
    // Asked within the contract's time-out, not the bus's default 25 s: this runs on every
    // tick of the watchdog, and a bus that hangs must cost no more than a messenger that hangs.
    const Outcome<bool> owned = contract::nameHasOwner(bus, service);
    if (!owned)
        return Failure{owned.failure()};
    if (!owned.value())
        return Failure{absent + QStringLiteral(": nobody owns ") + service};
    return {};
}

Status CheckedCall::callVoid(const QString& method, const QList<QVariant>& args) const
{
    const QDBusMessage reply = send(method, args);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failureOf(method, reply);
    return {};
}

QDBusMessage CheckedCall::message(const QString& method, const QList<QVariant>& args) const
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(m_target.service, m_target.path, m_target.interface, method);
    message.setArguments(args);
    message.setAutoStartService(false);
    return message;
}

QDBusMessage CheckedCall::send(const QString& method, const QList<QVariant>& args) const
{
    // A hung program must not freeze ours for the bus's default 25 s.
    return m_bus.call(message(method, args), QDBus::Block, contract::CallTimeoutMs);
}

QDBusPendingCall CheckedCall::sendLater(const QString& method) const
{
    return m_bus.asyncCall(message(method, {}), contract::CallTimeoutMs);
}

Failure CheckedCall::failureOf(const QString& method, const QDBusMessage& reply) const
{
    return Failure{QStringLiteral("%1's %2 failed: %3: %4")
                       .arg(m_target.peer, method, reply.errorName(), reply.errorMessage())};
}

Status CheckedCall::single(const QString& method, const QDBusMessage& reply, QMetaType wanted,
                           QVariant* value) const
{
    const QString signature = QString::fromLatin1(QDBusMetaType::typeToSignature(wanted));
    const Failure unexpected{QStringLiteral("%1's %2 answered with \"%3\" instead of one \"%4\"")
                                 .arg(m_target.peer, method, reply.signature(), signature)};
    if (reply.arguments().size() != 1)
        return unexpected;
    *value = reply.arguments().first();
    if (value->metaType() == QMetaType::fromType<QDBusArgument>()) {
        if (value->value<QDBusArgument>().currentSignature() != signature)
            return unexpected;
        return {};
    }
    if (value->metaType() != wanted)
        return unexpected;
    return {};
}
