// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "messenger/Messenger.h"

// The one process-wide reference to the messenger object. Reads reuse the
// object held (creating one if there is none); every apply of a picture
// creates a fresh object first and keeps it in place of the old one.
class MessengerLink
{
public:
    explicit MessengerLink(MessengerFactory create);

    Outcome<QString> readSigninName();
    // readSigninName() for a caller that shows the name: see Messenger::checkSigninName.
    void checkSigninName(const QString& shown, Messenger::NameAnswer answer);
    Status applyDisplayPicture(const QString& path);

private:
    Status holdOne();

    MessengerFactory m_create;
    std::unique_ptr<Messenger> m_shared;
};
