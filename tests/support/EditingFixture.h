// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "editing/ConnectEditing.h"
#include "mainwindow/Form1.h"
#include "support/OrdinaryUser.h"
#include "support/SlideShowState.h"

// A main window with its editing handlers, driven the way a person drives
// it: folders opened and left through the folder list, files added with
// Enter in the file list. Works on raw byte paths where names may not be
// valid UTF-8.
struct EditingFixture
{
    QTemporaryDir dir;
    std::unique_ptr<Form1> form = std::make_unique<Form1>();

    EditingFixture()
    {
        connectEditingHandlers(*form);
        form->show();
    }

    // QTemporaryDir cannot remove names that are not UTF-8 or paths beyond
    // PATH_MAX; rm works level by level on raw names.
    ~EditingFixture()
    {
        QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), QStringLiteral("--"), dir.path()});
    }
    EditingFixture(const EditingFixture&) = delete;
    EditingFixture& operator=(const EditingFixture&) = delete;

    QByteArray root() const { return QFile::encodeName(dir.path()); }

    static bool makeFile(const QByteArray& path, const QByteArray& content = {})
    {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        const bool written = content.isEmpty() || ::write(fd, content.constData(), size_t(content.size())) ==
                                                      ssize_t(content.size());
        return ::close(fd) == 0 && written;
    }

    static bool makeFolder(const QByteArray& path) { return ::mkdir(path.constData(), 0755) == 0; }

    // Makes `relative` (and any folder above it) under the fixture's folder with
    // empty files of these names; its path, or empty when that failed.
    QString makeFiles(const QString& relative, const QStringList& names) const
    {
        const QString path = dir.path() + QLatin1Char('/') + relative;
        if (!QDir().mkpath(path))
            return {};
        for (const QString& name : names) {
            if (!makeFile(QFile::encodeName(path + QLatin1Char('/') + name)))
                return {};
        }
        return path;
    }

    // The folder list's entry that opens `path` (a link in the chain or a subfolder).
    QListWidgetItem* folderEntry(const QString& path) const
    {
        for (int i = 0; i < form->Dir1->count(); ++i) {
            if (form->Dir1->item(i)->data(Qt::UserRole).toString() == path)
                return form->Dir1->item(i);
        }
        return nullptr;
    }

    // Opens a subfolder of the folder shown, or a folder of the chain above it.
    bool activateFolder(const QString& path) const
    {
        QListWidgetItem* entry = folderEntry(path);
        if (!entry)
            return false;
        Q_EMIT form->Dir1->itemActivated(entry);
        return true;
    }

    // Shows `path`'s parent, then opens `path` from there.
    bool openFolder(const QString& path) const
    {
        const QString clean = QDir::cleanPath(path);
        const int slash = clean.lastIndexOf(QLatin1Char('/'));
        form->Dir1->setPath(slash <= 0 ? QStringLiteral("/") : clean.left(slash));
        return activateFolder(clean) && form->File1->path() == clean;
    }

    bool goUp() const
    {
        const QString here = form->Dir1->path();
        const int slash = here.lastIndexOf(QLatin1Char('/'));
        return here != QStringLiteral("/") &&
               activateFolder(slash <= 0 ? QStringLiteral("/") : here.left(slash));
    }

    // Enter on a listed file, as the keyboard user adds it.
    bool addFile(const QString& name) const
    {
        FileList* files = form->File1;
        if (!files->selectFile(name))
            return false;
        files->scrollTo(files->currentIndex());
        QTest::keyClick(files, Qt::Key_Return);
        return true;
    }

    // A double-click on a listed file, as the mouse user adds it.
    bool doubleClickFile(const QString& name) const
    {
        FileList* files = form->File1;
        if (files->names().count(name) != 1 || !files->selectFile(name))
            return false;
        files->scrollTo(files->currentIndex());
        const QPoint centre = files->visualRect(files->currentIndex()).center();
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, centre);
        return true;
    }

    QStringList slotTexts() const { return ::slotTexts(*form); }

    QStringList listLines() const { return ::listLines(*form); }

    // The slots, the slide-show list and the count tell the same story.
    QString inconsistency() const
    {
        const QStringList slots = slotTexts();
        const QStringList lines = listLines();
        const auto filled =
            std::count_if(slots.begin(), slots.end(), [](const QString& s) { return !s.isEmpty(); });
        if (form->Label23->caption() != QString::number(lines.size()))
            return QStringLiteral("count %1, list %2").arg(form->Label23->caption()).arg(lines.size());
        if (filled != lines.size())
            return QStringLiteral("%1 slots filled, list %2").arg(filled).arg(lines.size());
        for (int i = 0; i < lines.size(); ++i) {
            if (!slots[i].endsWith(QLatin1Char('/') + lines[i]))
                return QStringLiteral("slot %1 is %2, list says %3").arg(i + 1).arg(slots[i], lines[i]);
        }
        return {};
    }
};
