// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Wildcard patterns such as "*.gif;*.jpg" ('*' any run, '?' one character),
// matched without regard to ASCII case, as on the desktop the pattern comes from.
class NamePatterns
{
public:
    explicit NamePatterns(const QString& patterns);

    bool matches(const QByteArray& name) const;

private:
    // Most patterns are a plain text with '*' only at its ends ("*.gif",
    // "*.bmp*"): those are checked as a suffix, prefix or substring.
    struct Pattern
    {
        QByteArray text;    // lower-cased, in the file system's encoding
        QByteArray literal; // text without the stars at its ends
        bool anyStart = false;
        bool anyEnd = false;
        bool plain = false; // no wildcard inside literal
    };
    QList<Pattern> m_patterns;
};

enum class EntryKind
{
    RegularFile, // regular files and links to them
    Folder,      // folders and links to them
};

// The names of one folder's entries of the given kind, dot-names and names
// that are not valid UTF-8 left out, unsorted. A folder that cannot be read
// gives what could be read, or nothing.
QStringList scanFolder(const QString& path, EntryKind kind, const NamePatterns* patterns = nullptr);

// One read of a folder for both of its lists: what scanFolder() gives for its
// regular files matching the patterns, and for its folders. A large folder
// costs mostly its reading.
struct FolderContents
{
    QStringList files;
    QStringList folders;
};
FolderContents scanFolderContents(const QString& path, const NamePatterns& filePatterns);
