// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "messenger/ContractClient.h"
#include "messenger/MessengerLink.h"
#include "slideshow/ConnectSlideShow.h"
#include "support/EditingFixture.h"

// The editing fixture with the slide show wired to the messenger on the test's
// bus (the real stand-in, see StandInProcess), for one picture and its tick.
struct StandInShowFixture : EditingFixture
{
    MessengerLink link{&ContractClient::create};

    StandInShowFixture() { connectSlideShowHandlers(*form, link); }

    // Writes `content` to `folder`/pic.jpg and adds it to the slide show; its
    // path, or empty when a step failed.
    QByteArray addPicture(const QByteArray& folder, const QByteArray& content) const
    {
        const QByteArray picture = folder + "/pic.jpg";
        if (!makeFolder(folder) || !makeFile(picture, content) || !openFolder(QFile::decodeName(folder)) ||
            !addFile(QStringLiteral("pic.jpg")))
            return {};
        return picture;
    }

    // Activate!, then the first position's tick at once.
    void activateAndTick() const
    {
        form->Command2->click();
        Q_EMIT form->slideTimer(1)->fired();
    }
};
