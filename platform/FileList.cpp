#include "platform/FileList.h"

#include "platform/Controls.h"
#include "platform/NaturalSort.h"

#include <QDir>

FileList::FileList(QWidget* parent, const QString& name, const twips::Rect& rect, const QString& path,
                   const QString& pattern)
    : QListWidget(parent), m_path(path), m_patterns(pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts))
{
    placeControl(this, name, rect);
    setUniformItemSizes(true);
    setIconSize(QSize(16, 16));
    connect(this, &QListWidget::itemActivated, this, &FileList::fileActivated);
    refresh();
}

void FileList::setPath(const QString& path)
{
    m_path = path;
    refresh();
}

QString FileList::selectedFileName() const
{
    const QListWidgetItem* item = currentItem();
    return item ? item->text() : QString();
}

void FileList::refresh()
{
    clear();
    // QDir matches name filters case-insensitively unless told otherwise.
    QStringList names = QDir(m_path).entryList(m_patterns, QDir::Files);
    sortNaturally(names);
    addItems(names);
}
