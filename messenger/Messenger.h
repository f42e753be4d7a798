// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>
#include <memory>

#include "platform/Outcome.h"

// A running messenger, as the program needs it: who is signed in, and a picture to
// show as that account's display picture. Each back-end reaches its messenger its
// own way.
class Messenger
{
public:
    virtual ~Messenger() = default;

    // The signed-in account's name (empty text is a valid name); fails when no
    // account is signed in or the messenger cannot be reached.
    virtual Outcome<QString> signinName() = 0;
    // Makes the picture file at `path` the account's display picture.
    virtual Status applyDisplayPicture(const QString& path) = 0;

    // The signed-in name for a caller that keeps it on show: `answer` gets the name or
    // the failure on the program's main thread, and is never called when the answer is
    // the name `shown` already, which would change nothing. This default asks at once
    // and answers before it returns; a back-end that can ask without blocking answers
    // later instead, so that a check finding nothing new never wakes the caller.
    using NameAnswer = std::function<void(const Outcome<QString>&)>;
    virtual void checkSigninName(const QString& shown, NameAnswer answer);
};

// Creates a messenger object; fails when no messenger is running.
using MessengerFactory = std::function<Outcome<std::unique_ptr<Messenger>>()>;
