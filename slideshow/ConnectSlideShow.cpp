// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/ConnectSlideShow.h"

#include "mainwindow/Form1.h"
#include "slideshow/Activation.h"
#include "slideshow/SlideRing.h"

void connectSlideShowHandlers(Form1& form, MessengerLink& messenger)
{
    Form1* f = &form;
    QObject::connect(f->Command2, &QPushButton::clicked, f, [f] { activateSlideShow(*f); });
    QObject::connect(f->Command1, &QPushButton::clicked, f, [f] { deactivateSlideShow(*f); });
    for (int k = 1; k <= Form1::SlotCount; ++k) {
        QObject::connect(f->slideTimer(k), &WindowTimer::fired, f,
                         [f, k, &messenger] { runSlideTick(*f, k, messenger); });
    }
}
