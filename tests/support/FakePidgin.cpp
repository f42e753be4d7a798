// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakePidgin.h"

#include <QDBusConnectionInterface>
#include <QMutexLocker>
#include <QUuid>

namespace {

const QString IconPref = QStringLiteral("/pidgin/accounts/buddyicon");

} // namespace

FakePurpleObject::FakePurpleObject(QList<FakeAccount> accounts, bool hasIconPref)
    : m_accounts(std::move(accounts)), m_hasIconPref(hasIconPref)
{
}

QStringList FakePurpleObject::calls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}

QStringList FakePurpleObject::sentIcons() const
{
    QMutexLocker lock(&m_mutex);
    return m_sentIcons;
}

void FakePurpleObject::record(const QString& call)
{
    QMutexLocker lock(&m_mutex);
    m_calls.append(call);
}

const FakeAccount* FakePurpleObject::account(int id) const
{
    for (const FakeAccount& account : m_accounts)
        if (account.id == id)
            return &account;
    return nullptr;
}

bool FakePurpleObject::isIconPref(const QString& name) const
{
    return m_hasIconPref && name == IconPref;
}

// Pidgin lists the enabled accounts, connected or not.
QList<int> FakePurpleObject::PurpleAccountsGetAllActive()
{
    record(QStringLiteral("GetAllActive"));
    QList<int> ids;
    for (const FakeAccount& account : m_accounts)
        ids.append(account.id);
    return ids;
}

int FakePurpleObject::PurpleAccountIsConnected(int id)
{
    record(QStringLiteral("IsConnected %1").arg(id));
    const FakeAccount* found = account(id);
    return found && found->connected ? 1 : 0;
}

QString FakePurpleObject::PurpleAccountGetUsername(int id)
{
    record(QStringLiteral("GetUsername %1").arg(id));
    const FakeAccount* found = account(id);
    return found ? found->username : QString();
}

int FakePurpleObject::PurpleAccountGetBool(int id, const QString& name, int defaultValue)
{
    record(QStringLiteral("GetBool %1 %2 %3").arg(id).arg(name).arg(defaultValue));
    const FakeAccount* found = account(id);
    if (found && name == QStringLiteral("use-global-buddyicon"))
        return found->usesGlobalIcon ? 1 : 0;
    return defaultValue;
}

int FakePurpleObject::PurplePrefsExists(const QString& name)
{
    record(QStringLiteral("PrefsExists %1").arg(name));
    return isIconPref(name) ? 1 : 0;
}

QString FakePurpleObject::PurplePrefsGetPath(const QString& name)
{
    record(QStringLiteral("PrefsGetPath %1").arg(name));
    QMutexLocker lock(&m_mutex);
    return isIconPref(name) ? m_iconPath : QString();
}

void FakePurpleObject::PurplePrefsSetPath(const QString& name, const QString& value)
{
    record(QStringLiteral("PrefsSetPath %1 %2").arg(name, value));
    QMutexLocker lock(&m_mutex);
    if (!isIconPref(name) || value == m_iconPath)
        return;
    m_iconPath = value;
    m_sentIcons.append(value);
}

void FakePurpleObject::PurplePrefsTriggerCallback(const QString& name)
{
    record(QStringLiteral("PrefsTriggerCallback %1").arg(name));
    QMutexLocker lock(&m_mutex);
    if (isIconPref(name))
        m_sentIcons.append(m_iconPath);
}

FakePidgin::FakePidgin(QList<FakeAccount> accounts, bool hasIconPref)
    : m_object(new FakePurpleObject(std::move(accounts), hasIconPref)),
      m_connectionName(QStringLiteral("fake-pidgin-") + QUuid::createUuid().toString(QUuid::Id128))
{
    m_object->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_object, &QObject::deleteLater);
    m_thread.start();
}

FakePidgin::~FakePidgin()
{
    stop();
    m_thread.quit();
    m_thread.wait();
}

bool FakePidgin::start(QString* error)
{
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
    if (!bus.isConnected()) {
        *error = bus.lastError().message();
        return false;
    }
    m_started = true;
    // Pidgin's names spelled out here, not taken from PidginMessenger: a slip in
    // the program's copy must fail these tests, not be shared by them.
    if (!bus.registerObject(QStringLiteral("/im/pidgin/purple/PurpleObject"), m_object,
                            QDBusConnection::ExportAllSlots)) {
        *error = QStringLiteral("cannot export the object: ") + bus.lastError().message();
        return false;
    }
    const auto reply = bus.interface()->registerService(QStringLiteral("im.pidgin.purple.PurpleService"),
                                                        QDBusConnectionInterface::DontQueueService);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        *error = QStringLiteral("cannot own Pidgin's name: ") + reply.error().message();
        return false;
    }
    return true;
}

void FakePidgin::stop()
{
    if (!m_started)
        return;
    m_started = false;
    QDBusConnection bus(m_connectionName);
    // Released before the reply comes, so nobody sees the name owned afterwards.
    bus.interface()->unregisterService(QStringLiteral("im.pidgin.purple.PurpleService"));
    // The connection must forget the object before the object's thread deletes it.
    bus.unregisterObject(QStringLiteral("/im/pidgin/purple/PurpleObject"));
    QDBusConnection::disconnectFromBus(m_connectionName);
}
