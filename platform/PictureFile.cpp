// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PictureFile.h"

#include <QImageReader>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString describeErrno(int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("no such file");
    case EACCES:
        return QStringLiteral("permission denied");
    case ENOTDIR:
        return QStringLiteral("a part of the path is not a directory");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

QString describeFileType(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("it is a directory");
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a FIFO, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device, not a regular file");
    return QStringLiteral("it is not a regular file");
}

} // namespace

bool isPictureFormat(const QByteArray& format)
{
    return format == "png" || format == "jpeg" || format == "jpg" || format == "gif" || format == "bmp";
}

std::unique_ptr<QFile> openRegularFile(const QString& path, QString* reason)
{
    if (path.isEmpty()) {
        *reason = QStringLiteral("the path is empty");
        return nullptr;
    }
    if (path.contains(QChar(u'\0'))) {
        // The file system would silently cut the name at the NUL.
        *reason = QStringLiteral("the path contains a NUL character");
        return nullptr;
    }
    const QByteArray native = QFile::encodeName(path);

    // Look before opening: opening a FIFO blocks and opening a device may have
    // side effects.
    struct stat st;
    if (::stat(native.constData(), &st) != 0) {
        *reason = describeErrno(errno);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        *reason = describeFileType(st.st_mode);
        return nullptr;
    }

    // O_NONBLOCK and the second look guard against the file being swapped for
    // something else in between.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *reason = describeErrno(errno);
        return nullptr;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *reason = S_ISREG(st.st_mode) ? describeErrno(errno) : describeFileType(st.st_mode);
        ::close(fd);
        return nullptr;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *reason = file->errorString();
        ::close(fd);
        return nullptr;
    }
    return file;
}

PictureCheck checkPictureFile(const QString& path)
{
    PictureCheck check;
    const std::unique_ptr<QFile> file = openRegularFile(path, &check.reason);
    if (!file)
        return check;

    QImageReader reader(file.get());
    // The name's extension proves nothing; only the bytes count.
    reader.setDecideFormatFromContent(true);
    check.format = reader.format();
    if (check.format.isEmpty()) {
        check.reason = file->size() == 0 ? QStringLiteral("the file is empty")
                                         : QStringLiteral("its content is not a GIF, JPEG, BMP or PNG image");
        return check;
    }
    if (!isPictureFormat(check.format)) {
        check.reason = QStringLiteral("its content is a %1 image; only GIF, JPEG, BMP and PNG are supported")
                           .arg(QString::fromLatin1(check.format.toUpper()));
        return check;
    }
    check.size = reader.size();
    if (!check.size.isValid() || check.size.isEmpty()) {
        check.reason = QStringLiteral("the %1 image header cannot be read")
                           .arg(QString::fromLatin1(check.format.toUpper()));
        return check;
    }
    check.ok = true;
    return check;
}
