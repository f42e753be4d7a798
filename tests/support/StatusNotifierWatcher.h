// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusContext>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>

namespace testsupport {

// The StatusNotifier watcher a desktop's notification area runs
// (org.kde.StatusNotifierWatcher on the session bus), saying that a host shows the items,
// which is what Qt asks before it serves a tray icon as a StatusNotifierItem. Items register
// with it and drop out when their bus name goes; the test plays the host, which shows them
// and sends Activate on a click. Lives in the test's own process: keep its event loop running
// (QTRY_*, qWaitFor) while a program may call it.
class StatusNotifierWatcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    StatusNotifierWatcher();
    ~StatusNotifierWatcher() override;

    // Takes the watcher's name on the session bus; false (with the reason) if it cannot.
    bool start(QString* error);

    // "service/path" of each registered item still on the bus, in order of registration.
    QStringList items() const { return m_items; }
    // Every item ever registered, and how many dropped out since.
    int registrations() const { return m_registrations; }
    int unregistrations() const { return m_unregistrations; }

    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

    // What a host does on a left click: Activate(x, y) on the item. False (with the reason)
    // when the call fails.
    static bool activate(const QString& item, QString* error);

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& serviceOrPath);
    void RegisterStatusNotifierHost(const QString& service);

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();

private:
    void ownerGone(const QString& service);

    QDBusServiceWatcher m_owners;
    QStringList m_items;
    int m_registrations = 0;
    int m_unregistrations = 0;
    bool m_started = false;
};

} // namespace testsupport
