#include "update/UpdateServer.h"

UpdateServer UpdateServer::builtIn()
{
    return UpdateServer{QStringLiteral(TILECAST_UPDATE_HOST)};
}
