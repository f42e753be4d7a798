// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;
class MessengerLink;

// The tick of ring position k (1..20): applies slot k as the display picture
// if the picture applied last is slot k-1's (position 1 always applies),
// hands over to the next position, and updates the status panel. A failed
// apply shows the error line, unlocks the editing panel and stops positions
// 1 to 6.
void runSlideTick(Form1& form, int position, MessengerLink& messenger);

// The interval in milliseconds, as the slide timers take it.
int intervalMs(const Form1& form);
