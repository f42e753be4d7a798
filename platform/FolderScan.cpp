// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FolderScan.h"

#include <QFile>

#include <dirent.h>
#include <optional>
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

// What an entry is once links are followed; nothing for anything else, or
// for a link that leads nowhere.
std::optional<EntryKind> kindOf(const char* folder, const dirent* entry)
{
    switch (entry->d_type) {
    case DT_REG:
        return EntryKind::RegularFile;
    case DT_DIR:
        return EntryKind::Folder;
    case DT_LNK:
    case DT_UNKNOWN:
        break;
    default:
        return std::nullopt;
    }
    // Links (and file systems that do not tell the type) need a look at the target.
    QByteArray full(folder);
    full += '/';
    full += entry->d_name;
    struct stat info;
    if (::stat(full.constData(), &info) != 0)
        return std::nullopt;
    if (S_ISREG(info.st_mode))
        return EntryKind::RegularFile;
    if (S_ISDIR(info.st_mode))
        return EntryKind::Folder;
    return std::nullopt;
}

// The name's bytes at 'at' are the lower-cased literal, ASCII case ignored.
bool literalAt(const QByteArray& name, qsizetype at, const QByteArray& literal)
{
    const char* n = name.constData() + at;
    for (const char c : literal) {
        if (lowerAscii(*n++) != c)
            return false;
    }
    return true;
}

bool isAscii(const QByteArray& name)
{
    for (const char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

NamePatterns::NamePatterns(const QString& patterns)
{
    for (const QString& p : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        QByteArray bytes = QFile::encodeName(p.trimmed());
        for (char& c : bytes)
            c = lowerAscii(c);
        Pattern pattern;
        pattern.text = bytes;
        qsizetype from = 0;
        qsizetype to = bytes.size();
        while (from < to && bytes[from] == '*')
            ++from;
        while (to > from && bytes[to - 1] == '*')
            --to;
        pattern.anyStart = from > 0;
        pattern.anyEnd = to < bytes.size();
        pattern.literal = bytes.mid(from, to - from);
        pattern.plain = !pattern.literal.contains('*') && !pattern.literal.contains('?');
        m_patterns << pattern;
    }
}

bool NamePatterns::matches(const QByteArray& name) const
{
    for (const Pattern& p : m_patterns) {
        if (!p.plain) {
            if (wildcardMatch(p.text.constData(), name.constData()))
                return true;
            continue;
        }
        const qsizetype spare = name.size() - p.literal.size();
        if (spare < 0 || (!p.anyStart && !p.anyEnd && spare != 0))
            continue;
        if (!p.anyStart) {
            if (literalAt(name, 0, p.literal))
                return true;
        } else if (!p.anyEnd) {
            if (literalAt(name, spare, p.literal))
                return true;
        } else {
            for (qsizetype at = 0; at <= spare; ++at) {
                if (literalAt(name, at, p.literal))
                    return true;
            }
        }
    }
    return false;
}

namespace {

// A name that is not UTF-8 does not survive QString (each bad byte becomes
// U+FFFD): listed, it would name no file, and the messenger's D-Bus text
// could not carry it anyway. Plain ASCII, most names, needs no check.
void appendName(QStringList& names, const QByteArray& name)
{
    if (isAscii(name)) {
        names << QString::fromLatin1(name);
        return;
    }
    const QString decoded = QFile::decodeName(name);
    if (QFile::encodeName(decoded) == name)
        names << decoded;
}

struct Wanted
{
    QStringList* names = nullptr; // null: this kind is not wanted
    const NamePatterns* patterns = nullptr;

    bool takes(const QByteArray& name) const { return names && (!patterns || patterns->matches(name)); }
};

// Reads a folder once, for its regular files, its folders or both.
void readFolder(const QString& path, const Wanted& files, const Wanted& folders)
{
    const QByteArray folder = QFile::encodeName(path);
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    QByteArray name;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        name.setRawData(entry->d_name, static_cast<uint>(qstrlen(entry->d_name)));
        const bool asFile = files.takes(name);
        const bool asFolder = folders.takes(name);
        if (!asFile && !asFolder)
            continue;
        const std::optional<EntryKind> kind = kindOf(folder.constData(), entry);
        if (asFile && kind == EntryKind::RegularFile)
            appendName(*files.names, name);
        else if (asFolder && kind == EntryKind::Folder)
            appendName(*folders.names, name);
    }
    ::closedir(dir);
}

} // namespace

QStringList scanFolder(const QString& path, EntryKind kind, const NamePatterns* patterns)
{
    QStringList names;
    const Wanted wanted{&names, patterns};
    if (kind == EntryKind::RegularFile)
        readFolder(path, wanted, Wanted());
    else
        readFolder(path, Wanted(), wanted);
    return names;
}

FolderContents scanFolderContents(const QString& path, const NamePatterns& filePatterns)
{
    FolderContents contents;
    readFolder(path, Wanted{&contents.files, &filePatterns}, Wanted{&contents.folders, nullptr});
    return contents;
}
