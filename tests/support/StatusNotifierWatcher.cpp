// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/StatusNotifierWatcher.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace testsupport {

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString ItemPath = QStringLiteral("/StatusNotifierItem");
constexpr int callTimeoutMs = 5000;

} // namespace

StatusNotifierWatcher::StatusNotifierWatcher()
{
    m_owners.setConnection(QDBusConnection::sessionBus());
    m_owners.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&m_owners, &QDBusServiceWatcher::serviceUnregistered, this, &StatusNotifierWatcher::ownerGone);
}

StatusNotifierWatcher::~StatusNotifierWatcher()
{
    if (!m_started)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(WatcherPath);
    bus.unregisterService(WatcherService);
}

bool StatusNotifierWatcher::start(QString* error)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *error = QStringLiteral("no session bus: ") + bus.lastError().message();
        return false;
    }
    if (!bus.registerObject(WatcherPath, this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties)) {
        *error = QStringLiteral("cannot export %1: %2").arg(WatcherPath, bus.lastError().message());
        return false;
    }
    if (!bus.registerService(WatcherService)) {
        bus.unregisterObject(WatcherPath);
        *error = QStringLiteral("cannot own %1: %2").arg(WatcherService, bus.lastError().message());
        return false;
    }
    m_started = true;
    return true;
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& serviceOrPath)
{
    // Qt passes its own bus name; others pass an object path on the caller's connection.
    const bool isPath = serviceOrPath.startsWith(QLatin1Char('/'));
    const QString service = isPath ? message().service() : serviceOrPath;
    const QString item = service + (isPath ? serviceOrPath : ItemPath);
    if (m_items.contains(item))
        return;
    m_items << item;
    ++m_registrations;
    m_owners.addWatchedService(service);
    Q_EMIT StatusNotifierItemRegistered(item);
    // An item whose name went before its registration arrived is gone already.
    if (!QDBusConnection::sessionBus().interface()->isServiceRegistered(service).value())
        ownerGone(service);
}

void StatusNotifierWatcher::RegisterStatusNotifierHost(const QString& service)
{
    Q_UNUSED(service);
    Q_EMIT StatusNotifierHostRegistered();
}

void StatusNotifierWatcher::ownerGone(const QString& service)
{
    m_owners.removeWatchedService(service);
    for (qsizetype i = m_items.size() - 1; i >= 0; --i) {
        const QString item = m_items.at(i);
        if (!item.startsWith(service + QLatin1Char('/')))
            continue;
        m_items.removeAt(i);
        ++m_unregistrations;
        Q_EMIT StatusNotifierItemUnregistered(item);
    }
}

bool StatusNotifierWatcher::activate(const QString& item, QString* error)
{
    const qsizetype slash = item.indexOf(QLatin1Char('/'));
    QDBusMessage call = QDBusMessage::createMethodCall(item.left(slash), item.mid(slash),
                                                       QStringLiteral("org.kde.StatusNotifierItem"),
                                                       QStringLiteral("Activate"));
    call.setArguments({0, 0});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    *error = QStringLiteral("Activate on %1 failed: %2").arg(item, reply.errorMessage());
    return false;
}

} // namespace testsupport
