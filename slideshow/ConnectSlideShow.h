// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;
class MessengerLink;

// Connects "Activate!", "Deactivate" and the twenty slide timers.
void connectSlideShowHandlers(Form1& form, MessengerLink& messenger);
