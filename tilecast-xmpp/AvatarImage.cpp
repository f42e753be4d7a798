// SPDX-License-Identifier: GPL-3.0-or-later
#include "tilecast-xmpp/AvatarImage.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <memory>

#include "platform/PictureFile.h"

namespace {

QByteArray encodePng(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // The strongest deflate: at 96 px it costs well under a millisecond more.
    writer.setQuality(0);
    return writer.write(image) ? bytes : QByteArray();
}

// Fits `image` into MaxEdge squares, then makes it small. What is given up, in order, when
// the plain PNG is over TargetBytes: first colour depth (a 256-colour palette, dithered,
// alpha kept), then size (15 % less each step). Photos full of fine detail are what reach
// the second step; they lose sharpness a contact hardly sees at avatar size, where the
// alternative would be a stanza growing toward the server's limit.
AvatarImage finish(QImage image)
{
    AvatarImage out;
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QSize size = image.size();
    if (size.width() > AvatarImage::MaxEdge || size.height() > AvatarImage::MaxEdge)
        size =
            size.scaled(AvatarImage::MaxEdge, AvatarImage::MaxEdge, Qt::KeepAspectRatio).expandedTo({1, 1});

    QByteArray png;
    QImage scaled;
    for (;;) {
        scaled = size == image.size() ? image
                                      : image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        png = encodePng(scaled);
        if (png.isEmpty())
            break;
        if (png.size() > AvatarImage::TargetBytes) {
            const QByteArray indexed =
                encodePng(scaled.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither));
            if (!indexed.isEmpty() && indexed.size() < png.size())
                png = indexed;
        }
        if (png.size() <= AvatarImage::TargetBytes || size.width() <= 16 || size.height() <= 16)
            break;
        size = (QSizeF(size) * 0.85).toSize().expandedTo({1, 1});
    }
    if (png.isEmpty()) {
        out.error = QStringLiteral("it cannot be converted to PNG");
        return out;
    }
    out.ok = true;
    out.png = png;
    out.size = scaled.size();
    out.sha1Hex = QCryptographicHash::hash(png, QCryptographicHash::Sha1).toHex();
    return out;
}

QString pixelLimitError(const QSize& size, const QByteArray& format)
{
    const qint64 pixels = qint64(size.width()) * size.height();
    const qint64 limit = format == "jpeg" ? AvatarImage::MaxJpegPixels : AvatarImage::MaxPixels;
    if (pixels <= limit)
        return {};
    return QStringLiteral("it is %1 x %2 pixels, more than the %3 million accepted")
        .arg(size.width())
        .arg(size.height())
        .arg(limit / 1'000'000);
}

// Asks for a smaller picture at once: the JPEG decoder shrinks while decoding (a 4000x3000
// photo decoded whole would take 48 MB for a 96 px result). The smooth pass in finish()
// makes the rest.
void shrinkWhileDecoding(QImageReader& reader, const QSize& size)
{
    const int decodeEdge = 4 * AvatarImage::MaxEdge;
    if (size.width() > decodeEdge || size.height() > decodeEdge)
        reader.setScaledSize(size.scaled(decodeEdge, decodeEdge, Qt::KeepAspectRatio).expandedTo({1, 1}));
}

} // namespace

Outcome<QString> checkReceivedPicture(const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    const QByteArray format = reader.format().toLower();
    if (format.isEmpty() || !size.isValid())
        return Failure{QStringLiteral("it is not a picture")};
    if (const QString error = pixelLimitError(size, format); !error.isEmpty())
        return Failure{error};
    shrinkWhileDecoding(reader, size);
    if (reader.read().isNull())
        return Failure{QStringLiteral("the %1 picture cannot be decoded").arg(QString::fromLatin1(format))};
    return QStringLiteral("image/") + QString::fromLatin1(format == "jpg" ? QByteArray("jpeg") : format);
}

AvatarImage makeAvatarImage(const QString& path)
{
    AvatarImage out;
    const PictureCheck check = checkPictureFile(path);
    if (!check.ok) {
        out.error = check.reason;
        return out;
    }
    const std::unique_ptr<QFile> file = openRegularFile(path, &out.error);
    if (!file)
        return out;
    // Refused before a single pixel is decoded: a small file can hold a vast picture.
    out.error = pixelLimitError(check.size, check.format);
    if (!out.error.isEmpty())
        return out;
    QImageReader reader(file.get(), check.format);
    reader.setAutoTransform(true);
    shrinkWhileDecoding(reader, check.size);
    const QImage image = reader.read();
    if (image.isNull()) {
        out.error = QStringLiteral("the %1 picture cannot be decoded (%2)")
                        .arg(QString::fromLatin1(check.format.toUpper()), reader.errorString());
        return out;
    }
    return finish(image);
}
