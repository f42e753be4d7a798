// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;

// The folder list opened another folder: the file list and the path line follow it.
void followFolderChange(Form1& form);

// The three layouts of the folder and file lists.
void enlargeFileList(Form1& form);
void enlargeDirectoryList(Form1& form);
void returnListsToNormal(Form1& form);
