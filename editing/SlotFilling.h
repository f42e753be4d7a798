// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;

// A double-click in the file list: the file goes into the first free slot,
// its name onto the slide-show list, and the count follows. With all twenty
// slots taken the file list is disabled instead.
void addSelectedFileToSlideShow(Form1& form);
