// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace {

// Qt serves the icon as a StatusNotifierItem whenever a watcher is on the
// session bus (KDE, GNOME with the AppIndicator extension), else it embeds it
// in an XEmbed tray.
bool servedAsStatusNotifierItem()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    return bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")).value();
}

} // namespace

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {}

void TrayIcon::add(const IconRecord& record)
{
    if (!record.isFilled())
        return;
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(this);
        connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
        m_primaryActivationIsDoubleClick = servedAsStatusNotifierItem();
    }
    m_icon->setIcon(record.icon);
    m_icon->setToolTip(record.tip);
    m_icon->show();
}

void TrayIcon::remove()
{
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
