// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "platform/Outcome.h"

// Where the account lives on disk, apart from its password (which only the keychain keeps):
// the settings file under $XDG_CONFIG_HOME/tilecast/ and, once per account, the avatar it
// had before our first publish under $XDG_DATA_HOME/tilecast/.
//
// Everything here is the user's alone: folders 0700 and files 0600 whatever the umask, a
// file is replaced whole (a crash leaves the old one or the new one), and a symbolic link
// planted where a file of ours goes is neither followed nor read.
namespace accountfiles {

struct Settings
{
    QString jid;    // bare
    QString server; // HOST[:PORT], empty: DNS SRV
    QString caFile; // empty: the system's authorities only
};

QString settingsPath();
std::optional<Settings> loadSettings();
Status saveSettings(const Settings& settings);
Status forgetSettings();

// The avatar an account had before Tilecast first changed it.
struct SavedAvatar
{
    enum class Kind
    {
        None,    // the account had no avatar
        Kept,    // `data` is it
        NotKept, // it had one, which could not be kept, for `reason`
    };
    Kind kind = Kind::None;
    QByteArray data;
    QString type; // MIME type, e.g. image/png
    QString reason;
};

// The largest picture kept (the avatar data file, which is read back in whole).
constexpr qint64 MaxSavedAvatarBytes = 1024 * 1024;

QString savedAvatarDir(const QString& bareJid);
bool hasSavedAvatar(const QString& bareJid);
std::optional<SavedAvatar> loadSavedAvatar(const QString& bareJid);
// Never replaces a copy already there: the first one is the user's own picture. Succeeds
// if a copy exists afterwards.
Status saveAvatarOnce(const QString& bareJid, const SavedAvatar& avatar);
Status forgetSavedAvatar(const QString& bareJid);

// The password in the first line of `path`. Refused when the file is not a regular file,
// when its group or others may read it, or when the first line is empty.
Outcome<QString> readPasswordFile(const QString& path);
// A certificate authority to trust: a regular file that only its owner may change.
Outcome<QString> checkCaFile(const QString& path);

// Splits HOST[:PORT] (IPv6 in brackets). False for an empty host or a bad port.
bool parseServer(const QString& text, QString* host, quint16* port);

// A bare JID as accepted on the command line: node@domain, no resource, lower-case domain.
Outcome<QString> normaliseJid(const QString& text);

// The text of an INI file (as QSettings reads it) with `values` (key, value) under
// [section]. Refused if a value holds a control character: no value can add a line.
Outcome<QByteArray> iniText(const QString& section, const QList<std::pair<QString, QString>>& values);

} // namespace accountfiles
