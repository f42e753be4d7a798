// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/FileList.h"

#include "controls/Controls.h"
#include "controls/FolderList.h"
#include "platform/NaturalSort.h"

FileList::FileList(QWidget* parent, const QString& name, const twips::Rect& rect, const QString& path,
                   const QString& pattern)
    : QListView(parent), m_path(path), m_patterns(pattern)
{
    placeControl(this, name, rect);
    setModel(&m_model);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListView::activated, this, &FileList::fileActivated);
    refresh();
}

QString FileList::selectedFileName() const
{
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.data().toString() : QString();
}

bool FileList::selectFile(const QString& name)
{
    const int row = m_model.stringList().indexOf(name);
    if (row < 0)
        return false;
    setCurrentIndex(m_model.index(row));
    return true;
}

void FileList::refresh()
{
    showFiles(scanFolder(m_path, EntryKind::RegularFile, &m_patterns));
}

void FileList::showFiles(QStringList names)
{
    sortNaturally(names);
    m_model.setStringList(names);
}

void refreshFolderLists(FolderList& folders, FileList& files)
{
    files.setPath(folders.path());
    FolderContents contents = scanFolderContents(folders.path(), files.patterns());
    files.showFiles(std::move(contents.files));
    folders.showSubfolders(std::move(contents.folders));
}
