// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/A11yTree.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QTest>

namespace testsupport {

namespace {

const QString registryService = QStringLiteral("org.a11y.atspi.Registry");
const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString accessibleIface = QStringLiteral("org.a11y.atspi.Accessible");
const QString componentIface = QStringLiteral("org.a11y.atspi.Component");
const QString propertiesIface = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int maxDepth = 40;
constexpr int maxNodes = 5000; // a huge list must not turn a snapshot into minutes of calls
constexpr uint coordTypeScreen = 0;

struct Ref
{
    QString service;
    QString path;
};

// Raised when a call gets no answer: the program hangs or is gone, so the whole snapshot
// is void. Other errors (an object without a Component, say) only leave a field empty.
struct Unreachable
{
    QString why;
};

bool isFatal(const QDBusError& error)
{
    switch (error.type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::Disconnected:
    case QDBusError::ServiceUnknown:
    case QDBusError::NoServer:
        return true;
    default:
        return false;
    }
}

QDBusMessage method(const Ref& ref, const QString& iface, const QString& member,
                    const QVariantList& args = {})
{
    QDBusMessage m = QDBusMessage::createMethodCall(ref.service, ref.path, iface, member);
    m.setArguments(args);
    return m;
}

QDBusMessage property(const Ref& ref, const QString& name)
{
    return method(ref, propertiesIface, QStringLiteral("Get"), {accessibleIface, name});
}

// Waits for a reply; throws Unreachable on a time-out, returns nullopt for other errors.
std::optional<QDBusMessage> finish(QDBusPendingCall& call, const QString& what)
{
    call.waitForFinished();
    const QDBusMessage reply = call.reply();
    if (reply.type() == QDBusMessage::ReplyMessage)
        return reply;
    const QDBusError error(reply);
    if (isFatal(error))
        throw Unreachable{QStringLiteral("%1: %2 (%3)").arg(what, error.message(), error.name())};
    return std::nullopt;
}

QList<Ref> readRefs(const QDBusMessage& reply)
{
    QList<Ref> refs;
    if (reply.arguments().isEmpty())
        return refs;
    const QDBusArgument arg = reply.arguments().at(0).value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QString service;
        QDBusObjectPath path;
        arg.beginStructure();
        arg >> service >> path;
        arg.endStructure();
        refs << Ref{service, path.path()};
    }
    arg.endArray();
    return refs;
}

QString readVariantString(const QDBusMessage& reply)
{
    if (reply.arguments().isEmpty())
        return {};
    return reply.arguments().at(0).value<QDBusVariant>().variant().toString();
}

quint64 readStates(const QDBusMessage& reply)
{
    if (reply.arguments().isEmpty())
        return 0;
    QList<uint> words;
    const QVariant v = reply.arguments().at(0);
    if (v.canConvert<QDBusArgument>())
        v.value<QDBusArgument>() >> words;
    else
        words = v.value<QList<uint>>();
    quint64 bits = 0;
    if (!words.isEmpty())
        bits |= words.at(0);
    if (words.size() > 1)
        bits |= quint64(words.at(1)) << 32;
    return bits;
}

QRect readExtents(const QDBusMessage& reply)
{
    if (reply.arguments().isEmpty())
        return {};
    const QDBusArgument arg = reply.arguments().at(0).value<QDBusArgument>();
    int x = 0, y = 0, w = 0, h = 0;
    arg.beginStructure();
    arg >> x >> y >> w >> h;
    arg.endStructure();
    return QRect(x, y, w, h);
}

class Walker
{
public:
    explicit Walker(QDBusConnection bus) : m_bus(std::move(bus)) {}

    QDBusPendingCall send(const QDBusMessage& m) { return m_bus.asyncCall(m, A11yTree::callTimeoutMs); }

    // Fills one node and, depth-first, its children. Returns nullopt if the object vanished.
    std::optional<A11yTree::Node> read(const Ref& ref, int depth)
    {
        const QString where = ref.service + ref.path;
        // All questions about one object go out together; the answers come back in one round trip.
        QDBusPendingCall role = send(method(ref, accessibleIface, QStringLiteral("GetRoleName")));
        QDBusPendingCall name = send(property(ref, QStringLiteral("Name")));
        QDBusPendingCall description = send(property(ref, QStringLiteral("Description")));
        QDBusPendingCall state = send(method(ref, accessibleIface, QStringLiteral("GetState")));
        QDBusPendingCall interfaces = send(method(ref, accessibleIface, QStringLiteral("GetInterfaces")));
        QDBusPendingCall children = send(method(ref, accessibleIface, QStringLiteral("GetChildren")));

        const std::optional<QDBusMessage> roleReply = finish(role, where + QStringLiteral(" GetRoleName"));
        const std::optional<QDBusMessage> nameReply = finish(name, where + QStringLiteral(" Name"));
        const std::optional<QDBusMessage> descriptionReply =
            finish(description, where + QStringLiteral(" Description"));
        const std::optional<QDBusMessage> stateReply = finish(state, where + QStringLiteral(" GetState"));
        const std::optional<QDBusMessage> interfacesReply =
            finish(interfaces, where + QStringLiteral(" GetInterfaces"));
        const std::optional<QDBusMessage> childrenReply =
            finish(children, where + QStringLiteral(" GetChildren"));
        if (!roleReply || roleReply->arguments().isEmpty())
            return std::nullopt;

        A11yTree::Node node;
        node.service = ref.service;
        node.path = ref.path;
        node.role = roleReply->arguments().at(0).toString();
        if (nameReply)
            node.name = readVariantString(*nameReply);
        if (descriptionReply)
            node.description = readVariantString(*descriptionReply);
        if (stateReply)
            node.states = readStates(*stateReply);
        node.showing = node.hasState(A11yTree::Showing);
        node.visible = node.hasState(A11yTree::Visible);
        node.enabled = node.hasState(A11yTree::Enabled);
        node.focused = node.hasState(A11yTree::Focused);

        // Only ask for geometry where there is some: other objects may not answer at all.
        if (interfacesReply && !interfacesReply->arguments().isEmpty() &&
            interfacesReply->arguments().at(0).toStringList().contains(componentIface)) {
            QDBusPendingCall extents = send(method(ref, componentIface, QStringLiteral("GetExtents"),
                                                   {QVariant::fromValue(coordTypeScreen)}));
            if (const std::optional<QDBusMessage> reply =
                    finish(extents, where + QStringLiteral(" GetExtents")))
                node.extents = readExtents(*reply);
        }

        ++m_count;
        if (childrenReply && depth < maxDepth) {
            for (const Ref& child : readRefs(*childrenReply)) {
                if (m_count >= maxNodes || child.path == QStringLiteral("/org/a11y/atspi/null"))
                    break;
                if (std::optional<A11yTree::Node> c = read(child, depth + 1))
                    node.children << std::move(*c);
            }
        }
        return node;
    }

    std::optional<qint64> pidOf(const QString& service)
    {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
        m.setArguments({service});
        QDBusPendingCall call = send(m);
        const std::optional<QDBusMessage> reply = finish(call, QStringLiteral("process id of ") + service);
        if (!reply || reply->arguments().isEmpty())
            return std::nullopt;
        return reply->arguments().at(0).toLongLong();
    }

    QList<Ref> applications()
    {
        QDBusPendingCall call =
            send(method(Ref{registryService, rootPath}, accessibleIface, QStringLiteral("GetChildren")));
        const std::optional<QDBusMessage> reply = finish(call, QStringLiteral("registry GetChildren"));
        return reply ? readRefs(*reply) : QList<Ref>{};
    }

private:
    QDBusConnection m_bus;
    int m_count = 0;
};

// The accessibility bus's address. Asks the session bus whether org.a11y.Bus is there
// before calling it: calling it when it is not would start a launcher through activation.
std::optional<QString> a11yBusAddress(QString* error)
{
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) {
        *error = QStringLiteral("no D-Bus session bus (DBUS_SESSION_BUS_ADDRESS=%1)")
                     .arg(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
        return std::nullopt;
    }
    QDBusMessage owned = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    owned.setArguments({QStringLiteral("org.a11y.Bus")});
    const QDBusMessage ownedReply = session.call(owned, QDBus::Block, A11yTree::callTimeoutMs);
    if (ownedReply.type() != QDBusMessage::ReplyMessage || ownedReply.arguments().isEmpty() ||
        !ownedReply.arguments().at(0).toBool()) {
        *error = QStringLiteral("org.a11y.Bus is not on the session bus: no accessibility bus "
                                "(run the test through scripts/desktop-session)");
        return std::nullopt;
    }
    const QDBusMessage reply = session.call(
        QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                       QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
        QDBus::Block, A11yTree::callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() ||
        reply.arguments().at(0).toString().isEmpty()) {
        *error = QStringLiteral("org.a11y.Bus.GetAddress failed: ") + reply.errorMessage();
        return std::nullopt;
    }
    return reply.arguments().at(0).toString();
}

std::optional<QDBusConnection> a11yBus(QString* error)
{
    const std::optional<QString> address = a11yBusAddress(error);
    if (!address)
        return std::nullopt;
    const QString name = QStringLiteral("testsupport-a11y ") + *address;
    {
        QDBusConnection existing(name);
        if (existing.isConnected())
            return existing;
    }
    QDBusConnection::disconnectFromBus(name); // a dead connection of that name would be reused
    QDBusConnection bus = QDBusConnection::connectToBus(*address, name);
    if (!bus.isConnected()) {
        *error = QStringLiteral("cannot connect to the accessibility bus %1: %2")
                     .arg(*address, bus.lastError().message());
        return std::nullopt;
    }
    return bus;
}

void findAllInto(const A11yTree::Node& node, const std::function<bool(const A11yTree::Node&)>& predicate,
                 QList<const A11yTree::Node*>& out)
{
    if (predicate(node))
        out << &node;
    for (const A11yTree::Node& child : node.children)
        findAllInto(child, predicate, out);
}

void dumpInto(const A11yTree::Node& node, int indent, QString& out)
{
    out += QString(indent * 2, u' ') + node.role + QStringLiteral(" \"") + node.name + u'"';
    if (!node.description.isEmpty())
        out += QStringLiteral(" (") + node.description + u')';
    if (!node.extents.isNull())
        out += QStringLiteral(" [%1x%2+%3+%4]")
                   .arg(node.extents.width())
                   .arg(node.extents.height())
                   .arg(node.extents.x())
                   .arg(node.extents.y());
    const std::pair<int, const char*> names[] = {
        {A11yTree::Showing, "showing"}, {A11yTree::Visible, "visible"}, {A11yTree::Enabled, "enabled"},
        {A11yTree::Focused, "focused"}, {A11yTree::Active, "active"},   {A11yTree::Checked, "checked"},
        {A11yTree::Modal, "modal"},
    };
    for (const auto& [state, label] : names) {
        if (node.hasState(state)) {
            out += u' ';
            out += QLatin1StringView(label);
        }
    }
    out += u'\n';
    for (const A11yTree::Node& child : node.children)
        dumpInto(child, indent + 1, out);
}

} // namespace

QList<const A11yTree::Node*> A11yTree::Node::findAll(const std::function<bool(const Node&)>& predicate) const
{
    QList<const Node*> out;
    findAllInto(*this, predicate, out);
    return out;
}

const A11yTree::Node* A11yTree::Node::findByName(const QString& wanted) const
{
    const QList<const Node*> found = findAll([&wanted](const Node& n) { return n.name == wanted; });
    return found.isEmpty() ? nullptr : found.first();
}

QList<const A11yTree::Node*> A11yTree::Node::toplevelWindows() const
{
    if (role == QStringLiteral("application")) {
        QList<const Node*> windows;
        for (const Node& child : children)
            windows << &child;
        return windows;
    }
    return findAll([](const Node& n) {
        return n.role == QStringLiteral("frame") || n.role == QStringLiteral("window") ||
               n.role == QStringLiteral("dialog");
    });
}

QString A11yTree::Node::dump() const
{
    QString out;
    dumpInto(*this, 0, out);
    return out;
}

std::optional<A11yTree::Node> A11yTree::snapshot(qint64 pid, QString* error)
{
    QString why;
    const auto fail = [&](const QString& reason) -> std::optional<Node> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    const std::optional<QDBusConnection> bus = a11yBus(&why);
    if (!bus)
        return fail(why);
    try {
        Walker walker(*bus);
        const QList<Ref> apps = walker.applications();
        QStringList seen;
        for (const Ref& app : apps) {
            const std::optional<qint64> appPid = walker.pidOf(app.service);
            seen << QStringLiteral("%1 (pid %2)").arg(app.service).arg(appPid.value_or(-1));
            if (appPid != pid)
                continue;
            if (std::optional<Node> node = walker.read(app, 0))
                return node;
            return fail(QStringLiteral("the application of pid %1 vanished while being read").arg(pid));
        }
        return fail(QStringLiteral("no accessible application with pid %1 (registered: %2)")
                        .arg(pid)
                        .arg(seen.isEmpty() ? QStringLiteral("none") : seen.join(QStringLiteral(", "))));
    } catch (const Unreachable& e) {
        return fail(QStringLiteral("no answer on the accessibility bus: ") + e.why);
    }
}

std::optional<A11yTree::Node> A11yTree::waitFor(qint64 pid, const std::function<bool(const Node&)>& predicate,
                                                int timeoutMs, QString* error)
{
    const QDeadlineTimer deadline(timeoutMs);
    QString last;
    for (;;) {
        QString why;
        if (std::optional<Node> tree = snapshot(pid, &why)) {
            if (predicate(*tree))
                return tree;
            last = QStringLiteral("the condition did not hold; last tree:\n") + tree->dump();
        } else {
            last = why;
        }
        if (deadline.hasExpired()) {
            if (error)
                *error = last;
            return std::nullopt;
        }
        QTest::qWait(int(qMin<qint64>(100, deadline.remainingTime())));
    }
}

} // namespace testsupport
