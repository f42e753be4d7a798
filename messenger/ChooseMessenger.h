// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "messenger/Messenger.h"

// Creates the messenger object for whichever messenger runs at this moment: the program that
// owns org.tilecast.Messenger (the stand-in, tilecast-xmpp or any other that speaks the
// contract) if any, otherwise Pidgin; fails when neither runs. Asked afresh on every creation, so a messenger
// started later is found.
Outcome<std::unique_ptr<Messenger>> createMessenger();
