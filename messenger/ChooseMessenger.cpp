// SPDX-License-Identifier: GPL-3.0-or-later
#include "messenger/ChooseMessenger.h"

#include "messenger/ContractClient.h"
#include "messenger/PidginMessenger.h"

Outcome<std::unique_ptr<Messenger>> createMessenger()
{
    auto contractProgram = ContractClient::create();
    if (contractProgram)
        return contractProgram;
    auto pidgin = PidginMessenger::create();
    if (pidgin)
        return pidgin;
    return Failure{
        QStringLiteral("no messenger is running (%1; %2)").arg(contractProgram.failure(), pidgin.failure())};
}
