// SPDX-License-Identifier: GPL-3.0-or-later
#include "tilecast-xmpp/AccountFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace accountfiles {

namespace {

const QString AvatarInfo = QStringLiteral("avatar.ini");
const QString AvatarData = QStringLiteral("avatar.data");

QString configRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString dataRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Makes `base`/`relative` a folder of the user's alone. `base` ($XDG_CONFIG_HOME ...) may
// be a link the user made and is only created when missing; every folder of `relative`
// must be a real folder of the user's, and loses any access of group and others.
Status ensurePrivateDir(const QString& base, const QString& relative)
{
    if (!QFileInfo(base).isDir() && !QDir().mkpath(base))
        return Failure{QStringLiteral("cannot create %1").arg(base)};
    QString path = base;
    for (const QString& part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        const QByteArray native = QFile::encodeName(path);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return Failure{QStringLiteral("cannot create %1: %2").arg(path, systemError())};
        struct stat st;
        if (::lstat(native.constData(), &st) != 0)
            return Failure{QStringLiteral("cannot look at %1: %2").arg(path, systemError())};
        if (!S_ISDIR(st.st_mode))
            return Failure{QStringLiteral("%1 is not a folder (a link or a file is in its place)").arg(path)};
        if (st.st_uid != ::geteuid())
            return Failure{QStringLiteral("%1 belongs to another user").arg(path)};
        if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
            return Failure{QStringLiteral("cannot make %1 private: %2").arg(path, systemError())};
    }
    return {};
}

// Replaces `path` whole with `bytes`, mode 0600. A link at `path` is replaced, not followed.
Status writePrivateFile(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    QByteArray temporary =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return Failure{QStringLiteral("cannot write %1: %2").arg(path, systemError())};
    bool ok = ::fchmod(fd, 0600) == 0;
    for (qsizetype done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? n : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    const QString why = systemError();
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        const QString error = ok ? systemError() : why;
        ::unlink(temporary.constData());
        return Failure{QStringLiteral("cannot write %1: %2").arg(path, error)};
    }
    return {};
}

// The whole of `path` if it is a regular file (never through a link) of at most `maxBytes`.
Outcome<QByteArray> readPrivateFile(const QString& path, qint64 maxBytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Failure{QStringLiteral("cannot read %1: %2").arg(path, systemError())};
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes) {
        ::close(fd);
        return Failure{QStringLiteral("%1 is not a file of at most %2 bytes").arg(path).arg(maxBytes)};
    }
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    return file.read(maxBytes);
}

// What an earlier version left readable by others becomes the user's alone.
void tightenExisting(const QString& path, mode_t mode)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::lstat(native.constData(), &st) == 0 && !S_ISLNK(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 077) != 0)
        ::chmod(native.constData(), mode);
}

bool isPlainFile(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// Reads what iniText() writes (and what QSettings wrote before): [section] and key=value
// lines, a value plain or in double quotes with backslash escapes.
QHash<QString, QString> parseIni(const QByteArray& text)
{
    QHash<QString, QString> values;
    QString section;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        QString raw = line.mid(equals + 1).trimmed();
        QString value;
        if (raw.startsWith(QLatin1Char('"'))) {
            for (qsizetype i = 1; i < raw.size() && raw.at(i) != QLatin1Char('"'); ++i) {
                QChar c = raw.at(i);
                if (c == QLatin1Char('\\') && i + 1 < raw.size())
                    c = raw.at(++i);
                value += c;
            }
        } else {
            value = raw;
        }
        if (value.startsWith(QStringLiteral("@@")))
            value.remove(0, 1);
        values.insert(section.isEmpty() || section == QLatin1String("General") ? key : section + u'/' + key,
                      value);
    }
    return values;
}

} // namespace

Outcome<QByteArray> iniText(const QString& section, const QList<std::pair<QString, QString>>& values)
{
    QByteArray text = '[' + section.toUtf8() + "]\n";
    for (const auto& [key, value] : values) {
        QString quoted;
        for (const QChar c : value) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::LineSeparator ||
                c == QChar::ParagraphSeparator)
                return Failure{QStringLiteral("the %1 holds a control character").arg(key)};
            if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        // A leading @ would make QSettings read the value as a typed one.
        if (quoted.startsWith(QLatin1Char('@')))
            quoted.prepend(QLatin1Char('@'));
        text += key.toUtf8() + "=\"" + quoted.toUtf8() + "\"\n";
    }
    return text;
}

QString settingsPath()
{
    return configRoot() + QStringLiteral("/tilecast/xmpp.conf");
}

std::optional<Settings> loadSettings()
{
    const QString path = settingsPath();
    if (!isPlainFile(path))
        return std::nullopt;
    tightenExisting(QFileInfo(path).absolutePath(), 0700);
    tightenExisting(path, 0600);
    Outcome<QByteArray> text = readPrivateFile(path, 64 * 1024);
    if (!text)
        return std::nullopt;
    const QHash<QString, QString> values = parseIni(text.value());
    Settings settings;
    settings.jid = values.value(QStringLiteral("account/jid"));
    settings.server = values.value(QStringLiteral("account/server"));
    settings.caFile = values.value(QStringLiteral("account/ca-file"));
    if (settings.jid.isEmpty())
        return std::nullopt;
    return settings;
}

Status saveSettings(const Settings& settings)
{
    if (Status dir = ensurePrivateDir(configRoot(), QStringLiteral("tilecast")); !dir)
        return dir;
    QList<std::pair<QString, QString>> values{{QStringLiteral("jid"), settings.jid}};
    if (!settings.server.isEmpty())
        values.append({QStringLiteral("server"), settings.server});
    if (!settings.caFile.isEmpty())
        values.append({QStringLiteral("ca-file"), settings.caFile});
    Outcome<QByteArray> text = iniText(QStringLiteral("account"), values);
    if (!text)
        return Failure{QStringLiteral("cannot write %1: %2").arg(settingsPath(), text.failure())};
    return writePrivateFile(settingsPath(), text.value());
}

Status forgetSettings()
{
    const QByteArray native = QFile::encodeName(settingsPath());
    if (::unlink(native.constData()) != 0 && errno != ENOENT)
        return Failure{QStringLiteral("cannot remove %1: %2").arg(settingsPath(), systemError())};
    return {};
}

QString savedAvatarDir(const QString& bareJid)
{
    // A JID may hold characters a file name should not; hex keeps it one safe component.
    return dataRoot() + QStringLiteral("/tilecast/xmpp-original-avatar/") +
           QString::fromLatin1(bareJid.toUtf8().toHex());
}

bool hasSavedAvatar(const QString& bareJid)
{
    return isPlainFile(savedAvatarDir(bareJid) + u'/' + AvatarInfo);
}

std::optional<SavedAvatar> loadSavedAvatar(const QString& bareJid)
{
    const QString dir = savedAvatarDir(bareJid);
    if (!hasSavedAvatar(bareJid))
        return std::nullopt;
    for (const QString& folder :
         {dataRoot() + QStringLiteral("/tilecast"), QFileInfo(dir).absolutePath(), dir})
        tightenExisting(folder, 0700);
    for (const QString& file : {AvatarInfo, AvatarData})
        tightenExisting(dir + u'/' + file, 0600);
    Outcome<QByteArray> text = readPrivateFile(dir + u'/' + AvatarInfo, 64 * 1024);
    if (!text)
        return std::nullopt;
    const QHash<QString, QString> info = parseIni(text.value());
    SavedAvatar avatar;
    const bool hadAvatar = info.value(QStringLiteral("had-avatar")) == QLatin1String("true");
    const bool kept = info.value(QStringLiteral("kept"), QStringLiteral("true")) == QLatin1String("true");
    avatar.kind = !hadAvatar ? SavedAvatar::Kind::None
                  : kept     ? SavedAvatar::Kind::Kept
                             : SavedAvatar::Kind::NotKept;
    avatar.type = info.value(QStringLiteral("type"));
    avatar.reason = info.value(QStringLiteral("reason"));
    if (avatar.kind == SavedAvatar::Kind::Kept) {
        Outcome<QByteArray> data = readPrivateFile(dir + u'/' + AvatarData, MaxSavedAvatarBytes);
        if (!data || data.value().isEmpty())
            return std::nullopt;
        avatar.data = data.take();
    }
    return avatar;
}

Status saveAvatarOnce(const QString& bareJid, const SavedAvatar& avatar)
{
    if (hasSavedAvatar(bareJid))
        return {};
    const QString relative =
        QStringLiteral("tilecast/xmpp-original-avatar/") + QFileInfo(savedAvatarDir(bareJid)).fileName();
    if (Status dir = ensurePrivateDir(dataRoot(), relative); !dir)
        return dir;
    const QString dir = savedAvatarDir(bareJid);
    const bool hadAvatar = avatar.kind != SavedAvatar::Kind::None;
    QList<std::pair<QString, QString>> values{
        {QStringLiteral("had-avatar"), hadAvatar ? QStringLiteral("true") : QStringLiteral("false")}};
    if (avatar.kind == SavedAvatar::Kind::Kept) {
        if (avatar.data.isEmpty() || avatar.data.size() > MaxSavedAvatarBytes)
            return Failure{QStringLiteral("a picture of %1 bytes is not kept").arg(avatar.data.size())};
        if (Status data = writePrivateFile(dir + u'/' + AvatarData, avatar.data); !data)
            return data;
        values.append({QStringLiteral("type"), avatar.type});
    } else if (avatar.kind == SavedAvatar::Kind::NotKept) {
        values.append({QStringLiteral("kept"), QStringLiteral("false")});
        values.append({QStringLiteral("reason"), avatar.reason});
    }
    Outcome<QByteArray> text = iniText(QStringLiteral("General"), values);
    if (!text)
        return Failure{QStringLiteral("cannot keep the avatar: %1").arg(text.failure())};
    // The description goes last: its presence is what says a complete copy exists.
    return writePrivateFile(dir + u'/' + AvatarInfo, text.value());
}

Status forgetSavedAvatar(const QString& bareJid)
{
    const QString dir = savedAvatarDir(bareJid);
    struct stat st;
    if (::lstat(QFile::encodeName(dir).constData(), &st) != 0)
        return {};
    // A link in the folder's place is removed, never followed.
    const bool removed = S_ISDIR(st.st_mode) ? QDir(dir).removeRecursively() : QFile::remove(dir);
    if (!removed)
        return Failure{QStringLiteral("cannot remove %1").arg(dir)};
    return {};
}

Outcome<QString> readPasswordFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Failure{QStringLiteral("cannot read the password file %1: %2").arg(path, systemError())};
    struct stat st;
    QFile file;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Failure{QStringLiteral("the password file %1 is not a regular file").arg(path)};
    }
    if (st.st_mode & (S_IRGRP | S_IROTH)) {
        ::close(fd);
        return Failure{QStringLiteral("the password file %1 may be read by others (mode %2); "
                                      "allow only its owner: chmod 600 %1")
                           .arg(path)
                           .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'))};
    }
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    // A password is short; the cap keeps a wrong file (a disk image ...) from being read whole.
    QByteArray line = file.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        return Failure{QStringLiteral("the password file %1 has no password in its first line").arg(path)};
    return QString::fromUtf8(line);
}

Outcome<QString> checkCaFile(const QString& path)
{
    const QFileInfo info(path);
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode) || !info.isReadable())
        return Failure{QStringLiteral("--ca-file: cannot read %1").arg(path)};
    // Whoever may change the file may make us trust any server.
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return Failure{QStringLiteral("--ca-file: %1 may be changed by others (mode %2); "
                                      "allow only its owner to write it: chmod go-w %1")
                           .arg(path)
                           .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'))};
    for (const QChar c : path)
        if (c.unicode() < 0x20)
            return Failure{QStringLiteral("--ca-file: the path holds a control character")};
    return info.absoluteFilePath();
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
    for (const QChar c : h)
        if (c.unicode() <= 0x20 || c == QLatin1Char('/'))
            return false;
    if (h.isEmpty())
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

Outcome<QString> normaliseJid(const QString& text)
{
    const QString jid = text.trimmed();
    const qsizetype at = jid.indexOf(QLatin1Char('@'));
    if (jid.contains(QLatin1Char('/')))
        return Failure{
            QStringLiteral("\"%1\" has a resource part; give the bare address, e.g. alice@example.org")
                .arg(text)};
    bool control = false;
    for (const QChar c : jid)
        control = control || c.unicode() <= 0x20 || c.unicode() == 0x7f;
    if (at <= 0 || at == jid.size() - 1 || jid.indexOf(QLatin1Char('@'), at + 1) >= 0 || control)
        return Failure{QStringLiteral("\"%1\" is not an XMPP address like alice@example.org").arg(text)};
    return jid.left(at) + QLatin1Char('@') + jid.mid(at + 1).toLower();
}

} // namespace accountfiles
