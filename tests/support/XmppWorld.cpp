// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/XmppWorld.h"

#include <QFile>
#include <QJsonDocument>
#include <QTest>

#include <csignal>

namespace testsupport {

QString xmppWorld(const char* name)
{
    return qEnvironmentVariable(QByteArray("XMPP_WORLD_") + name);
}

QRegularExpression bridgeSignedInLine(const QString& bareJid)
{
    const QString jid = QRegularExpression::escape(bareJid);
    return QRegularExpression(QStringLiteral("^tilecast-xmpp: signed in as %1 \\((%1/.+)\\)$").arg(jid));
}

QString writeAlicePasswordFile(const QString& dir)
{
    QFile file(dir + QStringLiteral("/alice.password"));
    if (!file.open(QIODevice::WriteOnly) || file.write(xmppWorld("ALICE_PASSWORD").toUtf8() + '\n') <= 0 ||
        !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner))
        return {};
    return file.fileName();
}

std::unique_ptr<ProcessUnderTest> xmppBridge(const QString& program, const QStringList& args,
                                             const QString& home)
{
    auto process = std::make_unique<ProcessUnderTest>(program, args);
    process->setEnv(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    process->setEnv(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    return process;
}

bool stopBridgeCleanly(ProcessUnderTest& bridge)
{
    const bool ended = bridge.signal(SIGTERM) && bridge.waitForExit(5000) &&
                       bridge.exitStatus() == QProcess::NormalExit && bridge.exitCode() == 0;
    if (!ended)
        qWarning().noquote() << bridge.report();
    return ended;
}

std::pair<int, QString> runXmppBridge(const QString& program, const QStringList& args, const QString& home,
                                      int timeoutMs)
{
    auto process = xmppBridge(program, args, home);
    if (!process->start() || !process->waitForExit(timeoutMs))
        return {-1, process->report()};
    return {process->exitCode(),
            QString::fromLocal8Bit(process->standardOutput() + process->standardError())};
}

AvatarWatchers::AvatarWatchers(QString script) : m_script(std::move(script)) {}

bool AvatarWatchers::start()
{
    const QString server = xmppWorld("XMPP");
    m_process = std::make_unique<ProcessUnderTest>(
        QStringLiteral("/usr/bin/python3"),
        QStringList{m_script, server.section(u':', 0, 0), server.section(u':', 1), xmppWorld("CA"),
                    xmppWorld("ALICE"), xmppWorld("ALICE_PASSWORD"), xmppWorld("BOB"),
                    xmppWorld("BOB_PASSWORD")});
    return m_process->start() && m_process->waitForLine(QStringLiteral("{\"event\": \"ready\"}"), 20000);
}

QList<QJsonObject> AvatarWatchers::events(const QString& kind, const QString& as) const
{
    QList<QJsonObject> found;
    if (!m_process)
        return found;
    const QList<QByteArray> lines = m_process->standardOutput().split('\n');
    for (const QByteArray& line : lines) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (event.value(QLatin1String("event")).toString() == kind &&
            (as.isEmpty() || event.value(QLatin1String("as")).toString() == as))
            found << event;
    }
    return found;
}

QStringList AvatarWatchers::avatarIds(const QString& as) const
{
    QStringList ids;
    for (const QJsonObject& event : events(QStringLiteral("avatar"), as)) {
        const QString id = event.value(QLatin1String("id")).toString();
        if (ids.isEmpty() || ids.last() != id)
            ids << id;
    }
    return ids;
}

std::optional<QJsonObject> AvatarWatchers::fetched(const QString& as, const QString& id) const
{
    for (const QJsonObject& event : events(QStringLiteral("avatar"), as))
        if (event.value(QLatin1String("id")).toString() == id &&
            !event.value(QLatin1String("sha1")).toString().isEmpty())
            return event;
    return std::nullopt;
}

std::optional<QJsonObject> AvatarWatchers::ask(const QJsonObject& request, const QString& answer,
                                               int timeoutMs)
{
    const qsizetype before = events(answer).size();
    m_process->write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    if (!QTest::qWaitFor([&] { return events(answer).size() > before; }, timeoutMs))
        return std::nullopt;
    return events(answer).at(before);
}

} // namespace testsupport
