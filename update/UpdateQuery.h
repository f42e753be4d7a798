// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;
class UpdateNotice;
struct UpdateServer;

// Asks the update server, while the main window loads, whether a newer
// version exists: any answer but exactly "no update" opens the update notice.
// A check that cannot be made (no network, no such host, an error status, an
// oversized answer) is quiet: no notice, and the load goes on.
void queryForUpdate(Form1& form, const UpdateServer& server, UpdateNotice& notice);
