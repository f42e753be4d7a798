// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include "platform/Outcome.h"

// A display picture made ready for XMPP: PNG, at most MaxEdge x MaxEdge.
struct AvatarImage
{
    // XEP-0084 recommends 32..96 px; contacts' clients scale from there.
    static constexpr int MaxEdge = 96;
    // Small enough to travel in one stanza to every server and to old clients' vCards.
    static constexpr int TargetBytes = 8 * 1024;
    // Pictures decoded whole may have at most this many pixels (160 MB as 32-bit colour);
    // a JPEG is shrunk by the decoder itself, so it may be far larger.
    static constexpr qint64 MaxPixels = 40'000'000;
    static constexpr qint64 MaxJpegPixels = 400'000'000;

    bool ok = false;
    QString error; // phrased to follow "Cannot use ...: "
    QByteArray png;
    QSize size;
    QByteArray sha1Hex; // of `png`: the XEP-0084 item id
};

// Reads `path` (GIF, JPEG, BMP or PNG by content, checked the way every messenger here
// checks; an animation gives its first frame) and converts it. Pictures that fit already
// keep their size: no upscaling.
// Decodes the picture: run it off the thread that answers D-Bus.
AvatarImage makeAvatarImage(const QString& path);

// A picture received as an account's avatar (any format Qt reads), checked by decoding it
// within the pixel limits. Its MIME type, by content.
Outcome<QString> checkReceivedPicture(const QByteArray& data);
