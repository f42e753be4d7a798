#pragma once

#include <QString>

class Form5;

// Opens the update notice, unless one is already counting down. Five seconds
// later it hands the download address to the desktop's web browser and
// closes; the exit of the program does not cut that short.
void openUpdateNotice(const QString& downloadUrl);
// The notice now counting down, if any.
Form5* updateNotice();
