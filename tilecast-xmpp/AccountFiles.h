// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Where the account lives on disk, apart from its password (which only the keychain keeps):
// the settings file under $XDG_CONFIG_HOME/tilecast/ and, once per account, the avatar it
// had before our first publish under $XDG_DATA_HOME/tilecast/.
namespace accountfiles {

struct Settings
{
    QString jid;    // bare
    QString server; // HOST[:PORT], empty: DNS SRV
    QString caFile; // empty: the system's authorities only
};

QString settingsPath();
std::optional<Settings> loadSettings();
// False with `error` set if the file cannot be written.
bool saveSettings(const Settings& settings, QString* error);
bool forgetSettings(QString* error);

// The avatar an account had before Tilecast first changed it.
struct SavedAvatar
{
    bool hadAvatar = false;
    QByteArray data;
    QString type; // MIME type, e.g. image/png
};

QString savedAvatarDir(const QString& bareJid);
bool hasSavedAvatar(const QString& bareJid);
std::optional<SavedAvatar> loadSavedAvatar(const QString& bareJid);
// Never replaces a copy already there: the first one is the user's own picture. True if
// a copy exists afterwards.
bool saveAvatarOnce(const QString& bareJid, const SavedAvatar& avatar, QString* error);
bool forgetSavedAvatar(const QString& bareJid, QString* error);

// The password in the first line of `path`. Refused when the file is not a regular file,
// when its group or others may read it, or when the first line is empty.
std::optional<QString> readPasswordFile(const QString& path, QString* error);

// Splits HOST[:PORT] (IPv6 in brackets). False for an empty host or a bad port.
bool parseServer(const QString& text, QString* host, quint16* port);

// A bare JID as accepted on the command line: node@domain, no resource, lower-case domain.
std::optional<QString> normaliseJid(const QString& text, QString* error);

} // namespace accountfiles
