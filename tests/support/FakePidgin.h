// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QtTest>

// The part of Pidgin's automation interface that Tilecast uses, with Pidgin's behaviour
// as measured on Pidgin 2.14: setting the buddy-icon path it already holds sends nothing,
// a triggered callback sends the icon again. Records every call and every icon it would
// have sent to the user's contacts.
struct FakeAccount
{
    int id = 0;
    QString username;
    bool connected = true;
    bool usesGlobalIcon = true;
};

class FakePurpleObject : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "im.pidgin.purple.PurpleInterface")

public:
    FakePurpleObject(QList<FakeAccount> accounts, bool hasIconPref);

    QStringList calls() const;
    QStringList sentIcons() const;

public Q_SLOTS:
    QList<int> PurpleAccountsGetAllActive();
    int PurpleAccountIsConnected(int account);
    QString PurpleAccountGetUsername(int account);
    int PurpleAccountGetBool(int account, const QString& name, int defaultValue);
    int PurplePrefsExists(const QString& name);
    QString PurplePrefsGetPath(const QString& name);
    void PurplePrefsSetPath(const QString& name, const QString& value);
    void PurplePrefsTriggerCallback(const QString& name);

private:
    void record(const QString& call);
    const FakeAccount* account(int id) const;
    bool isIconPref(const QString& name) const;

    mutable QMutex m_mutex;
    const QList<FakeAccount> m_accounts;
    const bool m_hasIconPref;
    QString m_iconPath;
    QStringList m_calls;
    QStringList m_sentIcons;
};

// Runs a FakePurpleObject under Pidgin's bus name on a connection and a thread of its own:
// the code under test makes blocking calls, so the fake must answer from another thread.
class FakePidgin
{
public:
    explicit FakePidgin(QList<FakeAccount> accounts, bool hasIconPref = true);
    ~FakePidgin();
    FakePidgin(const FakePidgin&) = delete;
    FakePidgin& operator=(const FakePidgin&) = delete;

    // Takes the bus name; false with the reason in *error if it cannot.
    bool start(QString* error);
    // Leaves the bus, as Pidgin does when it quits.
    void stop();

    QStringList calls() const { return m_object->calls(); }
    QStringList sentIcons() const { return m_object->sentIcons(); }

private:
    QThread m_thread;
    FakePurpleObject* m_object;
    QString m_connectionName;
    bool m_started = false;
};

// Starts `pidgin` on the test's bus, or fails the current test with the reason.
#define TILECAST_START_FAKE_PIDGIN(pidgin)                                                                   \
    do {                                                                                                     \
        QString fakePidginError_;                                                                            \
        QVERIFY2((pidgin).start(&fakePidginError_), qPrintable(fakePidginError_));                           \
    } while (false)
