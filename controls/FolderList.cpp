// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/FolderList.h"

#include <QDir>

#include "controls/Controls.h"
#include "platform/FolderScan.h"
#include "platform/NaturalSort.h"

namespace {
constexpr int PathRole = Qt::UserRole;
constexpr int IndentPerLevel = 2;
} // namespace

FolderList::FolderList(QWidget* parent, const QString& name, const twips::Rect& rect, const QString& path,
                       Icons icons)
    : QListWidget(parent), m_path(QDir::cleanPath(path)), m_icons(std::move(icons))
{
    placeControl(this, name, rect);
    setUniformItemSizes(true);
    setIconSize(QSize(16, 16));
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const QString target = item->data(PathRole).toString();
        if (target == m_path)
            return;
        // The change handler re-reads the list; reading it here too would
        // read a large folder twice.
        m_path = target;
        Q_EMIT changed();
    });
    refresh();
}

void FolderList::setPath(const QString& path)
{
    m_path = QDir::cleanPath(path);
    refresh();
}

void FolderList::refresh()
{
    // Subfolders of the current folder; one that cannot be read just has none.
    showSubfolders(scanFolder(m_path, EntryKind::Folder));
}

void FolderList::showSubfolders(QStringList subfolders)
{
    clear();
    const QIcon& openIcon = m_icons.open;
    const QIcon& closedIcon = m_icons.closed;

    // The chain from the root down to the current folder.
    QStringList chain;
    for (QString p = m_path; !p.isEmpty();) {
        chain.prepend(p);
        if (p == QStringLiteral("/"))
            break;
        const int slash = p.lastIndexOf(QLatin1Char('/'));
        p = slash <= 0 ? QStringLiteral("/") : p.left(slash);
    }
    int level = 0;
    QListWidgetItem* current = nullptr;
    for (const QString& folder : std::as_const(chain)) {
        const QString label = folder == QStringLiteral("/") ? folder : folder.section(QLatin1Char('/'), -1);
        auto* item = new QListWidgetItem(openIcon, QString(level * IndentPerLevel, QLatin1Char(' ')) + label);
        item->setData(PathRole, folder);
        addItem(item);
        current = item;
        ++level;
    }

    sortNaturally(subfolders);
    const QString prefix = m_path.endsWith(QLatin1Char('/')) ? m_path : m_path + QLatin1Char('/');
    // Items join the list once filled: one made with the list as its parent
    // searches every row at each of its setters (it is not in the list yet),
    // and a folder of 100,000 subfolders took seconds.
    for (const QString& sub : std::as_const(subfolders)) {
        auto* item = new QListWidgetItem(closedIcon, QString(level * IndentPerLevel, QLatin1Char(' ')) + sub);
        item->setData(PathRole, prefix + sub);
        addItem(item);
    }
    setCurrentItem(current);
}
