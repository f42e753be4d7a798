// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/Activation.h"

#include "mainwindow/Form1.h"
#include "slideshow/SlideRing.h"

void activateSlideShow(Form1& form)
{
    form.Command7->setEnabled(false);
    form.Command2->setEnabled(false);
    form.Command1->setEnabled(true);
    form.Label2->setCaption(QStringLiteral("Program Is Currently Active!"));
    // Timer1 keeps its period: 100 ms until the ring first wraps, then what
    // position 20 last gave it.
    form.slideTimer(1)->setEnabled(true);
    for (int k = 2; k <= Form1::SlotCount; ++k)
        form.slideTimer(k)->setPeriod(intervalMs(form));
    form.Label9->setCaption(form.Text10->text() + QStringLiteral(" Seconds"));
    form.Frame2->setEnabled(false);

    if (!form.isMinimised()) {
        form.trayIcon->add(form.iconRecord);
        form.setMinimised(true);
    } else {
        form.trayIcon->remove();
    }
}

void deactivateSlideShow(Form1& form)
{
    form.Command7->setEnabled(true);
    form.Label2->setCaption(QStringLiteral("Program Is Currently Not Active"));
    form.Label2->setBold(false);
    form.Command1->setEnabled(false);
    form.Command2->setEnabled(true);
    for (int k = 1; k <= Form1::SlotCount; ++k)
        form.slideTimer(k)->setEnabled(false);
    form.Text8->setText(QString());
    form.Frame2->setEnabled(true);
}
