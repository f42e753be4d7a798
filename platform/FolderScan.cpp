// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FolderScan.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

namespace {

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Iterative wildcard match with one back-tracking point per '*'.
bool wildcardMatch(const char* pattern, const char* name)
{
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || (*pattern && lowerAscii(*name) == *pattern)) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

bool isKind(const char* folder, const dirent* entry, EntryKind kind)
{
    const unsigned char wanted = kind == EntryKind::Folder ? DT_DIR : DT_REG;
    if (entry->d_type == wanted)
        return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return false;
    // Links (and file systems that do not tell the type) need a look at the target.
    QByteArray full(folder);
    full += '/';
    full += entry->d_name;
    struct stat info;
    if (::stat(full.constData(), &info) != 0)
        return false;
    return kind == EntryKind::Folder ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode);
}

} // namespace

NamePatterns::NamePatterns(const QString& patterns)
{
    for (const QString& p : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        QByteArray bytes = QFile::encodeName(p.trimmed());
        for (char& c : bytes)
            c = lowerAscii(c);
        m_patterns << bytes;
    }
}

bool NamePatterns::matches(const QByteArray& name) const
{
    for (const QByteArray& p : m_patterns) {
        if (wildcardMatch(p.constData(), name.constData()))
            return true;
    }
    return false;
}

QStringList scanFolder(const QString& path, EntryKind kind, const NamePatterns* patterns)
{
    QStringList names;
    const QByteArray folder = QFile::encodeName(path);
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    QByteArray name;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        name.setRawData(entry->d_name, static_cast<uint>(qstrlen(entry->d_name)));
        if (patterns && !patterns->matches(name))
            continue;
        if (!isKind(folder.constData(), entry, kind))
            continue;
        // A name that is not UTF-8 does not survive QString (each bad byte
        // becomes U+FFFD): listed, it would name no file, and the messenger's
        // D-Bus text could not carry it anyway.
        const QString decoded = QFile::decodeName(name);
        if (QFile::encodeName(decoded) == name)
            names << decoded;
    }
    ::closedir(dir);
    return names;
}
