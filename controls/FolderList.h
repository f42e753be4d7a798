// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QListWidget>

#include "controls/Twips.h"

// A folder list: the chain of folders from "/" down to the current folder,
// then the current folder's subfolders. Activating an entry (double-click or
// Enter) makes it the current folder and raises changed(). The folder icons are the
// program's own, drawn for every screen scale (a desktop's icon theme would change them).
class FolderList : public QListWidget
{
    Q_OBJECT
public:
    struct Icons
    {
        QIcon open; // the current folder and those above it
        QIcon closed;
    };

    FolderList(QWidget* parent, const QString& name, const twips::Rect& rect, const QString& path,
               Icons icons);

    QString path() const { return m_path; }
    void setPath(const QString& path);
    void refresh();
    // As refresh(), with the subfolders of path() already read, unsorted.
    void showSubfolders(QStringList subfolders);

Q_SIGNALS:
    void changed();

private:
    QString m_path;
    Icons m_icons;
};
