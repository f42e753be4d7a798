#include "messenger/PidginMessenger.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QFileInfo>

#include <memory>

#include "platform/PictureFile.h"

namespace {

QString latin1(const char* text)
{
    return QString::fromLatin1(text);
}

QDBusMessage call(const QDBusConnection& bus, const QString& method, const QList<QVariant>& args)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(latin1(PidginMessenger::Service), latin1(PidginMessenger::Path),
                                       latin1(PidginMessenger::Interface), method);
    message.setArguments(args);
    message.setAutoStartService(false);
    return bus.call(message, QDBus::Block, PidginMessenger::CallTimeoutMs);
}

Failure failureOf(const QString& method, const QDBusMessage& reply)
{
    return Failure{
        QStringLiteral("Pidgin's %1 failed: %2: %3").arg(method, reply.errorName(), reply.errorMessage())};
}

Status callVoid(const QDBusConnection& bus, const QString& method, const QList<QVariant>& args)
{
    const QDBusMessage reply = call(bus, method, args);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failureOf(method, reply);
    return {};
}

// One value of type T, or a failure if Pidgin answered with anything else.
template <typename T>
Outcome<T> callFor(const QDBusConnection& bus, const QString& method, const QList<QVariant>& args = {})
{
    const QDBusMessage reply = call(bus, method, args);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failureOf(method, reply);
    const QMetaType wanted = QMetaType::fromType<T>();
    const QString signature = QString::fromLatin1(QDBusMetaType::typeToSignature(wanted));
    const Failure unexpected{QStringLiteral("Pidgin's %1 answered with \"%2\" instead of one \"%3\"")
                                 .arg(method, reply.signature(), signature)};
    if (reply.arguments().size() != 1)
        return unexpected;
    const QVariant value = reply.arguments().first();
    // Containers arrive still marshalled.
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentSignature() != signature)
            return unexpected;
        T result;
        argument >> result;
        return result;
    }
    if (value.metaType() != wanted)
        return unexpected;
    return value.value<T>();
}

} // namespace

PidginMessenger::PidginMessenger(const QDBusConnection& bus) : m_bus(bus) {}

Outcome<std::unique_ptr<Messenger>> PidginMessenger::create()
{
    return create(QDBusConnection::sessionBus());
}

Outcome<std::unique_ptr<Messenger>> PidginMessenger::create(const QDBusConnection& bus)
{
    if (!bus.isConnected())
        return Failure{QStringLiteral("no session bus: ") + bus.lastError().message()};
    const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(latin1(Service));
    if (!owned.isValid())
        return Failure{owned.error().message()};
    if (!owned.value())
        return Failure{QStringLiteral("Pidgin is not running: nobody owns ") + latin1(Service)};
    return std::unique_ptr<Messenger>(new PidginMessenger(bus));
}

Outcome<QList<int>> PidginMessenger::connectedAccounts()
{
    // Account ids are Pidgin's handles of the moment: they differ from run to run.
    auto enabled = callFor<QList<int>>(m_bus, QStringLiteral("PurpleAccountsGetAllActive"));
    if (!enabled)
        return Failure{enabled.failure()};
    QList<int> connected;
    for (const int account : enabled.value()) {
        const auto isConnected = callFor<int>(m_bus, QStringLiteral("PurpleAccountIsConnected"), {account});
        if (!isConnected)
            return Failure{isConnected.failure()};
        if (isConnected.value() != 0)
            connected.append(account);
    }
    return connected;
}

Outcome<QString> PidginMessenger::mySigninName()
{
    const auto accounts = connectedAccounts();
    if (!accounts)
        return Failure{accounts.failure()};
    if (accounts.value().isEmpty())
        return Failure{QStringLiteral("no Pidgin account is signed in")};
    const auto name =
        callFor<QString>(m_bus, QStringLiteral("PurpleAccountGetUsername"), {accounts.value().first()});
    if (!name)
        return name;
    // XMPP names carry the resource after a slash ("alice@example.org/home"); the person's
    // address is what comes before it.
    return name.value().section(QLatin1Char('/'), 0, 0);
}

Status PidginMessenger::setMyProperty(int property, const QVariant& value)
{
    if (property != UserTilePath)
        return Failure{QStringLiteral("property %1 cannot be set; only %2 (the display picture) can")
                           .arg(property)
                           .arg(UserTilePath)};
    if (value.metaType() != QMetaType::fromType<QString>())
        return Failure{QStringLiteral("the display picture must be given as a file path, not as %1")
                           .arg(QString::fromLatin1(value.metaType().name()))};
    const QString path = value.toString();
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
        const auto usesGlobal = callFor<int>(m_bus, QStringLiteral("PurpleAccountGetBool"),
                                             {account, QStringLiteral("use-global-buddyicon"), 1});
        if (!usesGlobal)
            return Failure{usesGlobal.failure()};
        anyTakesIt = anyTakesIt || usesGlobal.value() != 0;
    }
    if (!anyTakesIt)
        return Failure{QStringLiteral("no signed-in Pidgin account uses the global buddy icon: every one has "
                                      "an icon of its own (Pidgin's Modify Account dialog)")};

    const QString pref = latin1(BuddyIconPref);
    // Only Pidgin's GTK interface keeps the global icon (Finch, for one, has none).
    const auto exists = callFor<int>(m_bus, QStringLiteral("PurplePrefsExists"), {pref});
    if (!exists)
        return Failure{exists.failure()};
    if (exists.value() == 0)
        return Failure{QStringLiteral("this Pidgin has no global buddy icon (%1)").arg(pref)};

    // Pidgin runs in a working folder of its own.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const auto current = callFor<QString>(m_bus, QStringLiteral("PurplePrefsGetPath"), {pref});
    if (!current)
        return Failure{current.failure()};
    // Setting the path it already has sends nothing, though the file may hold a new picture.
    if (current.value() == absolute)
        return callVoid(m_bus, QStringLiteral("PurplePrefsTriggerCallback"), {pref});
    return callVoid(m_bus, QStringLiteral("PurplePrefsSetPath"), {pref, absolute});
}

Status PidginMessenger::checkPicture(const QString& path)
{
    const PictureCheck check = checkPictureFile(path);
    if (!check.ok)
        return Failure{
            QStringLiteral("cannot use \"%1\" as the display picture: %2").arg(path, check.reason)};
    return {};
}
