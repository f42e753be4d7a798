// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QThread;

// The thread that takes a messenger's answers to questions asked without waiting, so
// that an answer that changes nothing costs the main thread no wake-up. Started on first
// use (from the main thread), stopped when the application object goes.
QThread* replyThread();
