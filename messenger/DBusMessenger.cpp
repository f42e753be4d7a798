#include "messenger/DBusMessenger.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>

namespace {

QString service()
{
    return QString::fromLatin1(DBusMessenger::Service);
}

Failure failureOf(const QDBusMessage& reply)
{
    return Failure{reply.errorName() + QStringLiteral(": ") + reply.errorMessage()};
}

QDBusMessage call(const QDBusConnection& bus, const QString& method, const QList<QVariant>& args)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(service(), QString::fromLatin1(DBusMessenger::Path),
                                       QString::fromLatin1(DBusMessenger::Interface), method);
    message.setArguments(args);
    message.setAutoStartService(false);
    return bus.call(message, QDBus::Block, DBusMessenger::CallTimeoutMs);
}

} // namespace

DBusMessenger::DBusMessenger(const QDBusConnection& bus) : m_bus(bus) {}

Outcome<std::unique_ptr<Messenger>> DBusMessenger::create()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return Failure{QStringLiteral("no session bus: ") + bus.lastError().message()};
    const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(service());
    if (!owned.isValid())
        return Failure{owned.error().message()};
    if (!owned.value())
        return Failure{QStringLiteral("no messenger owns ") + service()};
    return std::unique_ptr<Messenger>(new DBusMessenger(bus));
}

Outcome<QString> DBusMessenger::mySigninName()
{
    const QDBusMessage reply = call(m_bus, QStringLiteral("MySigninName"), {});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failureOf(reply);
    if (reply.arguments().size() != 1 ||
        reply.arguments().first().metaType() != QMetaType::fromType<QString>())
        return Failure{QStringLiteral("MySigninName answered with a value that is not a name")};
    return reply.arguments().first().toString();
}

Status DBusMessenger::setMyProperty(int property, const QVariant& value)
{
    const QDBusMessage reply =
        call(m_bus, QStringLiteral("SetMyProperty"), {property, QVariant::fromValue(QDBusVariant(value))});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failureOf(reply);
    return {};
}
