// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>

namespace {

// Each question to the bus waits this long at most: a watcher that hangs must not freeze the window.
constexpr int busTimeoutMs = 1000;

QDBusMessage askBus(const QString& service, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, busTimeoutMs);
}

// Qt serves the icon as a StatusNotifierItem when a watcher on the session bus says that a
// host shows such items (KDE, GNOME with the AppIndicator extension); on X11 it otherwise
// docks it in an XEmbed tray. Asked as Qt asks, once, when the icon is made.
bool servedAsStatusNotifierItem()
{
    if (!QDBusConnection::sessionBus().isConnected())
        return false;
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    const QDBusMessage owned =
        askBus(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
               QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"), {watcher});
    if (owned.type() != QDBusMessage::ReplyMessage || !owned.arguments().value(0).toBool())
        return false;
    const QDBusMessage host = askBus(watcher, QStringLiteral("/StatusNotifierWatcher"),
                                     QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                     {watcher, QStringLiteral("IsStatusNotifierHostRegistered")});
    return host.type() == QDBusMessage::ReplyMessage &&
           host.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

} // namespace

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {}

void TrayIcon::add(const IconRecord& record)
{
    if (!record.isFilled())
        return;
    m_present = true;
    if (!m_icon) {
        // Off X11 only a StatusNotifierItem can show; Qt would fall back to its XEmbed tray
        // icon there, which cannot work off X11 and only warns.
        const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
        const bool statusNotifier = servedAsStatusNotifierItem();
        if (!x11 && !statusNotifier)
            return;
        m_icon = new QSystemTrayIcon(this);
        connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
        m_primaryActivationIsDoubleClick = statusNotifier;
    }
    m_icon->setIcon(record.icon);
    m_icon->setToolTip(record.tip);
    m_icon->show();
}

void TrayIcon::remove()
{
    m_present = false;
    if (m_icon)
        m_icon->hide();
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // An XEmbed tray reports a double-click as Trigger, then DoubleClick; a
    // single click must do nothing, so only DoubleClick counts. A
    // StatusNotifierItem host never reports DoubleClick: its primary
    // activation, sent as Trigger, is that protocol's double-click.
    if (reason == QSystemTrayIcon::DoubleClick ||
        (reason == QSystemTrayIcon::Trigger && m_primaryActivationIsDoubleClick))
        Q_EMIT doubleClicked();
}
