// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/ConnectEditing.h"

#include "editing/FolderBrowsing.h"
#include "editing/IntervalControls.h"
#include "editing/NewSlideShow.h"
#include "editing/SlotFilling.h"
#include "mainwindow/Form1.h"

void connectEditingHandlers(Form1& form)
{
    Form1* f = &form;
    QObject::connect(f->File1, &FileList::fileActivated, f, [f] { addSelectedFileToSlideShow(*f); });

    QObject::connect(f->Dir1, &FolderList::changed, f, [f] { followFolderChange(*f); });
    QObject::connect(f->Label10, &Label::clicked, f, [f] { enlargeFileList(*f); });
    QObject::connect(f->Label13, &Label::clicked, f, [f] { enlargeDirectoryList(*f); });
    QObject::connect(f->Label16, &Label::clicked, f, [f] { returnListsToNormal(*f); });

    QObject::connect(f->Command3, &QPushButton::clicked, f, [f] { stepIntervalUpOne(*f); });
    QObject::connect(f->Command5, &QPushButton::clicked, f, [f] { stepIntervalUpTen(*f); });
    QObject::connect(f->Command4, &QPushButton::clicked, f, [f] { stepIntervalDownOne(*f); });
    QObject::connect(f->Command6, &QPushButton::clicked, f, [f] { stepIntervalDownTen(*f); });
    QObject::connect(f->Timer22, &WindowTimer::fired, f, [f] { guardIntervalAtTenSeconds(*f); });
    QObject::connect(f->Timer23, &WindowTimer::fired, f, [f] { guardIntervalAtElevenSeconds(*f); });
    // What the guards do depends only on the interval: a tick that follows no change of it
    // would change nothing, so they wake once after each change instead of ten times a second.
    for (WindowTimer* guard : {f->Timer22, f->Timer23}) {
        guard->setWaitsForArm(true);
        QObject::connect(f->Text1, &QLineEdit::textChanged, guard, &WindowTimer::arm);
        guard->arm();
    }

    QObject::connect(f->Command7, &QPushButton::clicked, f, [f] { startNewSlideShow(*f); });
}
