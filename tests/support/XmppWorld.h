// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

#include "support/ProcessUnderTest.h"

// What the XMPP tests share inside scripts/xmpp-world: its settings, the tilecast-xmpp program
// with a home of its own, and the account's watchers (tests/xmpp/xmpp_observer.py, slixmpp).
namespace testsupport {

// XMPP_WORLD_<name> of scripts/xmpp-world, e.g. xmppWorld("ALICE").
QString xmppWorld(const char* name);

// The line tilecast-xmpp prints once signed in: the account, then (captured) the address
// the server bound.
QRegularExpression bridgeSignedInLine(const QString& bareJid);

// alice's password in a file under `dir` that only its owner may read; its path (empty if it
// could not be written).
QString writeAlicePasswordFile(const QString& dir);

// tilecast-xmpp with `args`, its settings and data under `home`.
std::unique_ptr<ProcessUnderTest> xmppBridge(const QString& program, const QStringList& args,
                                             const QString& home);

// SIGTERM ends a running tilecast-xmpp within 5 s with exit code 0; what it printed goes to the
// test's log when it does not.
bool stopBridgeCleanly(ProcessUnderTest& bridge);

// Runs a command of tilecast-xmpp to its end: exit code (-1 if it did not end) and everything
// it printed.
std::pair<int, QString> runXmppBridge(const QString& program, const QStringList& args, const QString& home,
                                      int timeoutMs = 15000);

// alice's contact bob and alice's other client, both signed in to the world's server through
// slixmpp, reporting what they see of alice's avatar as JSON events; they also act for
// alice on request (publish an avatar, write her vCard ...).
class AvatarWatchers
{
public:
    explicit AvatarWatchers(QString script);

    bool start();
    QString report() const { return m_process ? m_process->report() : QString(); }

    QList<QJsonObject> events(const QString& kind, const QString& as = QString()) const;
    // Avatar ids as `as` saw them, repeats in a row left out (one publish may notify twice).
    QStringList avatarIds(const QString& as) const;
    // The avatar event of `as` with this id whose data was fetched.
    std::optional<QJsonObject> fetched(const QString& as, const QString& id) const;
    // Sends `request` and waits for the next event of kind `answer`.
    std::optional<QJsonObject> ask(const QJsonObject& request, const QString& answer, int timeoutMs = 8000);

private:
    QString m_script;
    std::unique_ptr<ProcessUnderTest> m_process;
};

} // namespace testsupport
