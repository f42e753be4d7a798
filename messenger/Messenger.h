#pragma once

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

#include "platform/Outcome.h"

// The messenger's automation object: the two operations the program uses.
class Messenger
{
public:
    // Property number of the display picture's path for setMyProperty().
    static constexpr int UserTilePath = 2; // MCONTACTPROP_USERTILE_PATH

    virtual ~Messenger() = default;

    // The signed-in account's name (empty text is a valid name); fails when no
    // account is signed in or the messenger cannot be reached.
    virtual Outcome<QString> mySigninName() = 0;
    virtual Status setMyProperty(int property, const QVariant& value) = 0;
};

// Creates a messenger object; fails when no messenger is running.
using MessengerFactory = std::function<Outcome<std::unique_ptr<Messenger>>()>;
