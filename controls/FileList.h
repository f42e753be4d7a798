// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListView>
#include <QStringListModel>

#include "controls/Twips.h"
#include "platform/FolderScan.h"

class FolderList;

// A file list: the regular files of one folder whose names match a pattern
// such as "*.gif;*.jpg", sorted naturally. Activating an entry (double-click
// or Enter) raises fileActivated(). Built on a plain string model, so a
// folder of a hundred thousand pictures fills it in a blink.
class FileList : public QListView
{
    Q_OBJECT
public:
    FileList(QWidget* parent, const QString& name, const twips::Rect& rect, const QString& path,
             const QString& pattern);

    QString path() const { return m_path; }
    // Takes effect at the next refresh().
    void setPath(const QString& path) { m_path = path; }
    // The bare name of the selected file, empty when none is selected.
    QString selectedFileName() const;
    void refresh();
    // As refresh(), with the matching names of path() already read, unsorted.
    void showFiles(QStringList names);
    const NamePatterns& patterns() const { return m_patterns; }

    int count() const { return m_model.rowCount(); }
    QStringList names() const { return m_model.stringList(); }
    // Selects the named file, as a click on it does; false when it is not listed.
    bool selectFile(const QString& name);

Q_SIGNALS:
    void fileActivated();

private:
    QString m_path;
    NamePatterns m_patterns;
    QStringListModel m_model;
};

// The file list follows the folder list to its folder, and both are filled
// from one read of it: reading is most of what a large folder costs.
void refreshFolderLists(FolderList& folders, FileList& files);
