// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;

// The banner's captions answer the pointer: the three list captions darken,
// the two others underline; moving over the banner itself rests them all.
// No leave tracking: a caption keeps its look until the pointer moves over
// the banner or another caption of its group.
void connectHoverFeedback(Form1& form);
