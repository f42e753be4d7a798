// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QSize>
#include <QString>

#include <memory>

// What a look at a would-be display picture found.
struct PictureCheck
{
    bool ok = false;
    QString reason;    // why it was refused, phrased to follow "Cannot use ...: "
    QByteArray format; // "png", "jpeg", "gif" or "bmp" as detected from the content
    QSize size;        // from the image header; the pixels are never decoded here
};

// Accepts a readable regular file (links followed) whose content is a GIF,
// JPEG, BMP or PNG with a readable header. Reads the header only, so a huge
// picture costs no more than a small one.
PictureCheck checkPictureFile(const QString& path);

// Opens `path` for reading only if it is a regular file, without ever
// blocking on a FIFO or touching a device. Null with `reason` set otherwise.
std::unique_ptr<QFile> openRegularFile(const QString& path, QString* reason);

// GIF, JPEG, BMP or PNG, as Qt's image reader names them.
bool isPictureFormat(const QByteArray& format);
