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
    QList<QByteArray> m_patterns; // lower-cased, in the file system's encoding
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
