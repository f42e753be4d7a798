// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;

// "New Slide Show": asks first (unless the user said not to ask again in
// this run), then empties the slots, the list and the count.
void startNewSlideShow(Form1& form);
