// SPDX-License-Identifier: GPL-3.0-or-later
#include "messenger/Messenger.h"

void Messenger::checkSigninName(const QString& shown, NameAnswer answer)
{
    const Outcome<QString> name = signinName();
    if (!name || name.value() != shown)
        answer(name);
}
