// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/UpdateServer.h"

UpdateServer UpdateServer::builtIn()
{
    return UpdateServer{QStringLiteral(TILECAST_UPDATE_HOST)};
}
