// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;

// "Activate!": locks the editing panel, copies the interval into the slide
// timers, starts the ring at slot 1 and hands the window to the notification
// area. "Deactivate": stops every slide timer and unlocks the panel; the
// picture applied last stays the messenger's.
void activateSlideShow(Form1& form);
void deactivateSlideShow(Form1& form);
