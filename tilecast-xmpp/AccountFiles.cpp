// SPDX-License-Identifier: GPL-3.0-or-later
#include "tilecast-xmpp/AccountFiles.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace accountfiles {

namespace {

QString dataRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/tilecast");
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

QString settingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tilecast/xmpp.conf");
}

std::optional<Settings> loadSettings()
{
    if (!QFile::exists(settingsPath()))
        return std::nullopt;
    QSettings file(settingsPath(), QSettings::IniFormat);
    Settings settings;
    settings.jid = file.value(QStringLiteral("account/jid")).toString();
    settings.server = file.value(QStringLiteral("account/server")).toString();
    settings.caFile = file.value(QStringLiteral("account/ca-file")).toString();
    if (settings.jid.isEmpty())
        return std::nullopt;
    return settings;
}

bool saveSettings(const Settings& settings, QString* error)
{
    const QString path = settingsPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *error = QStringLiteral("cannot create the folder of %1").arg(path);
        return false;
    }
    QSettings file(path, QSettings::IniFormat);
    file.clear();
    file.setValue(QStringLiteral("account/jid"), settings.jid);
    if (!settings.server.isEmpty())
        file.setValue(QStringLiteral("account/server"), settings.server);
    if (!settings.caFile.isEmpty())
        file.setValue(QStringLiteral("account/ca-file"), settings.caFile);
    file.sync();
    if (file.status() != QSettings::NoError) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

bool forgetSettings(QString* error)
{
    const QString path = settingsPath();
    if (QFile::exists(path) && !QFile::remove(path)) {
        *error = QStringLiteral("cannot remove %1").arg(path);
        return false;
    }
    return true;
}

QString savedAvatarDir(const QString& bareJid)
{
    // A JID may hold characters a file name should not; hex keeps it one safe component.
    return dataRoot() + QStringLiteral("/xmpp-original-avatar/") +
           QString::fromLatin1(bareJid.toUtf8().toHex());
}

bool hasSavedAvatar(const QString& bareJid)
{
    return QFile::exists(savedAvatarDir(bareJid) + QStringLiteral("/avatar.ini"));
}

std::optional<SavedAvatar> loadSavedAvatar(const QString& bareJid)
{
    const QString dir = savedAvatarDir(bareJid);
    if (!hasSavedAvatar(bareJid))
        return std::nullopt;
    QSettings info(dir + QStringLiteral("/avatar.ini"), QSettings::IniFormat);
    SavedAvatar avatar;
    avatar.hadAvatar = info.value(QStringLiteral("had-avatar")).toBool();
    avatar.type = info.value(QStringLiteral("type")).toString();
    if (avatar.hadAvatar) {
        QFile data(dir + QStringLiteral("/avatar.data"));
        if (!data.open(QIODevice::ReadOnly))
            return std::nullopt;
        avatar.data = data.readAll();
        if (avatar.data.isEmpty())
            return std::nullopt;
    }
    return avatar;
}

bool saveAvatarOnce(const QString& bareJid, const SavedAvatar& avatar, QString* error)
{
    if (hasSavedAvatar(bareJid))
        return true;
    const QString dir = savedAvatarDir(bareJid);
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    if (avatar.hadAvatar && !writeFile(dir + QStringLiteral("/avatar.data"), avatar.data, error))
        return false;
    // The description goes last: its presence is what says a complete copy exists.
    QByteArray ini = "had-avatar=" + QByteArray(avatar.hadAvatar ? "true" : "false") + '\n';
    if (avatar.hadAvatar)
        ini += "type=" + avatar.type.toUtf8() + '\n';
    return writeFile(dir + QStringLiteral("/avatar.ini"), "[General]\n" + ini, error);
}

bool forgetSavedAvatar(const QString& bareJid, QString* error)
{
    const QString dir = savedAvatarDir(bareJid);
    if (QFileInfo::exists(dir) && !QDir(dir).removeRecursively()) {
        *error = QStringLiteral("cannot remove %1").arg(dir);
        return false;
    }
    return true;
}

std::optional<QString> readPasswordFile(const QString& path, QString* error)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot read the password file %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    struct stat st;
    QFile file;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = QStringLiteral("the password file %1 is not a regular file").arg(path);
        return std::nullopt;
    }
    if (st.st_mode & (S_IRGRP | S_IROTH)) {
        ::close(fd);
        *error = QStringLiteral("the password file %1 may be read by others (mode %2); "
                                "allow only its owner: chmod 600 %1")
                     .arg(path)
                     .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
        return std::nullopt;
    }
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    // A password is short; the cap keeps a wrong file (a disk image ...) from being read whole.
    QByteArray line = file.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty()) {
        *error = QStringLiteral("the password file %1 has no password in its first line").arg(path);
        return std::nullopt;
    }
    return QString::fromUtf8(line);
}

bool parseServer(const QString& text, QString* host, quint16* port)
{
    QString h = text;
    QString p;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        h = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return false;
            p = rest.mid(1);
        }
    } else if (text.count(QLatin1Char(':')) == 1) {
        h = text.section(QLatin1Char(':'), 0, 0);
        p = text.section(QLatin1Char(':'), 1);
    }
    if (h.isEmpty() || h.contains(QLatin1Char('/')) || h.contains(QLatin1Char(' ')))
        return false;
    *host = h;
    *port = 0;
    if (text.contains(QLatin1Char(':')) && !text.startsWith(QLatin1Char('[')) && p.isEmpty())
        return false;
    if (!p.isEmpty()) {
        bool ok = false;
        const uint value = p.toUInt(&ok);
        if (!ok || value == 0 || value > 65535)
            return false;
        *port = quint16(value);
    }
    return true;
}

std::optional<QString> normaliseJid(const QString& text, QString* error)
{
    const QString jid = text.trimmed();
    const qsizetype at = jid.indexOf(QLatin1Char('@'));
    if (jid.contains(QLatin1Char('/'))) {
        *error = QStringLiteral("\"%1\" has a resource part; give the bare address, e.g. alice@example.org")
                     .arg(text);
        return std::nullopt;
    }
    if (at <= 0 || at == jid.size() - 1 || jid.indexOf(QLatin1Char('@'), at + 1) >= 0 ||
        jid.contains(QLatin1Char(' '))) {
        *error = QStringLiteral("\"%1\" is not an XMPP address like alice@example.org").arg(text);
        return std::nullopt;
    }
    return jid.left(at) + QLatin1Char('@') + jid.mid(at + 1).toLower();
}

} // namespace accountfiles
