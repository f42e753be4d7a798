// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/FolderBrowsing.h"

#include "mainwindow/Form1.h"

void followFolderChange(Form1& form)
{
    refreshFolderLists(*form.Dir1, *form.File1);
    form.Label17->setCaption(form.Dir1->path());
}

namespace {

// Each layout sets absolute values, in twips: the file list's top and
// height, then the folder list's height.
void setListLayout(Form1& form, int fileTop, int fileHeight, int folderHeight)
{
    setTopTwips(form.File1, fileTop);
    setHeightTwips(form.File1, fileHeight);
    setHeightTwips(form.Dir1, folderHeight);
}

} // namespace

void enlargeFileList(Form1& form)
{
    setListLayout(form, 1080, 2040, 315);
}

void enlargeDirectoryList(Form1& form)
{
    setListLayout(form, 2670, 285, 1890);
}

void returnListsToNormal(Form1& form)
{
    setListLayout(form, 1800, 1260, 990);
}
