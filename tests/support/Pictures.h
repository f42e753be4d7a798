// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRandomGenerator>
#include <QtEndian>

// Pictures the tests make: what a camera gives, the smallest GIF, and files that only claim
// to be pictures.
namespace testsupport::pictures {

// The smallest GIF: 1x1, two-colour palette. Qt reads GIF but cannot write it.
inline QByteArray tinyGif()
{
    return QByteArray::fromHex("47494638396101000100800000000000ffffff2c00000000010001000002024401003b");
}

inline quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray length(4, '\0');
    qToBigEndian(quint32(data.size()), length.data());
    QByteArray crc(4, '\0');
    qToBigEndian(crc32(type + data), crc.data());
    return length + type + data + crc;
}

// A PNG that claims width x height (8-bit RGBA) but carries no pixel data: its header
// reads fine, decoding it cannot succeed. A few hundred bytes for any size.
inline QByteArray pngHeaderOnly(quint32 width, quint32 height)
{
    QByteArray header(13, '\0');
    qToBigEndian(width, header.data());
    qToBigEndian(height, header.data() + 4);
    header[8] = 8; // bit depth
    header[9] = 6; // RGBA
    return QByteArray::fromHex("89504e470d0a1a0a") + pngChunk("IHDR", header) + pngChunk("IDAT", {}) +
           pngChunk("IEND", {});
}

// Detail everywhere, as in a photo: a gradient with noise. The hardest case to keep small.
inline QImage photoLike(int width, int height, bool alpha = false)
{
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QRandomGenerator random(42);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(64));
            line[x] =
                qRgba((x * 255 / qMax(1, width - 1) + noise) % 256, (y * 255 / qMax(1, height - 1)) % 256,
                      noise * 4 % 256, alpha ? (x + y) % 256 : 255);
        }
    }
    return image;
}

} // namespace testsupport::pictures
