// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/SlotFilling.h"

#include "mainwindow/Form1.h"

void addSelectedFileToSlideShow(Form1& form)
{
    for (int k = 1; k <= Form1::SlotCount; ++k) {
        TextField* slot = form.slot(k);
        if (!slot->text().isEmpty())
            continue;
        // The folder path is used as it is: in "/" this gives "//name".
        slot->setText(form.File1->path() + QLatin1Char('/') + form.File1->selectedFileName());
        form.List1->appendLine(form.File1->selectedFileName());
        form.Label23->setCaption(QString::number(form.List1->lineCount()));
        if (k == 1) {
            form.Command7->setEnabled(true);
            form.Command2->setEnabled(true);
        }
        return;
    }
    form.File1->setEnabled(false);
}
