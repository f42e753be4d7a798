// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QCoreApplication;

// Makes SIGTERM and SIGINT end the event loop normally (exit code 0). The
// handler only writes a byte to a socket pair; the quitting happens in the loop.
bool quitOnTerminationSignals(QCoreApplication* app);
