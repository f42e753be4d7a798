// SPDX-License-Identifier: GPL-3.0-or-later
// The program's pictures, compiled in as resources (rendered from resources/artwork/*.svg at build
// time, each as name.png and at every scale of renderedScales as name@1.25x.png ... name@2x.png).
// Sizes below are logical pixels.
#pragma once

#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QString>

#include <initializer_list>
#include <iterator>

namespace artwork {

// Resource paths of the 1x files, for style sheets and the like (those find the @2x file themselves).
inline QString bannerPath()
{
    return QStringLiteral(":/artwork/banner.png"); // 562 x 88
}
inline QString statusPanelPath()
{
    return QStringLiteral(":/artwork/status-panel.png"); // 543 x 143
}
inline QString editingPanelPath()
{
    return QStringLiteral(":/artwork/editing-panel.png"); // 543 x 220
}
inline QString bottomStripPath()
{
    return QStringLiteral(":/artwork/bottom-strip.png"); // 256 x 31
}
inline QString splashPath()
{
    return QStringLiteral(":/artwork/splash.png"); // 324 x 139
}
inline QString updateNoticePath()
{
    return QStringLiteral(":/artwork/update-notice.png"); // 324 x 139
}
inline QString aboutStripPath()
{
    return QStringLiteral(":/artwork/about-strip.png"); // 64 x 372
}
inline QString aboutPanelPath()
{
    return QStringLiteral(":/artwork/about-panel.png"); // 278 x 294
}
inline QString confirmBannerPath()
{
    return QStringLiteral(":/artwork/confirm-banner.png"); // 424 x 91
}
inline QString programIcon16Path()
{
    return QStringLiteral(":/artwork/icon-16.png");
}
inline QString programIcon32Path()
{
    return QStringLiteral(":/artwork/icon-32.png");
}
inline QString aboutIcon16Path()
{
    return QStringLiteral(":/artwork/about-icon-16.png");
}
inline QString aboutIcon32Path()
{
    return QStringLiteral(":/artwork/about-icon-32.png");
}
inline QString folderOpenPath()
{
    return QStringLiteral(":/artwork/folder-open.png"); // 16 x 16
}
inline QString folderClosedPath()
{
    return QStringLiteral(":/artwork/folder-closed.png"); // 16 x 16
}

// The screen scales each picture is rendered at (as in resources/CMakeLists.txt), 1 included.
inline constexpr qreal renderedScales[] = {1.0, 1.25, 1.5, 1.75, 2.0};

// The rendered scale to draw at on a screen of this ratio: the ratio itself where it is one of
// them, else the next larger one (Qt scales a sharper picture down), else the largest.
inline qreal renderedScaleFor(qreal ratio)
{
    for (const qreal scale : renderedScales)
        if (scale >= ratio - 0.001)
            return scale;
    return renderedScales[std::size(renderedScales) - 1];
}

// The file of a 1x path at one of the rendered scales.
inline QString scaledPath(const QString& path, qreal scale)
{
    if (scale == 1.0)
        return path;
    QString scaled = path;
    return scaled.replace(QStringLiteral(".png"), QStringLiteral("@%1x.png").arg(scale));
}

inline QString highDpiPath(const QString& path)
{
    return scaledPath(path, 2.0);
}

inline qreal screenRatio()
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

// Every file here is a PNG, which Qt decodes itself. Naming the format and not letting the reader
// guess keeps Qt from loading every image-format plugin (GIF, JPEG, ICO, SVG with QtSvg) to ask each
// whether it wants the file: QPixmap(path) and QIcon::addFile(path) both do that, even for a ".png".
// The image is the same, and so is the @2x file's device pixel ratio, which the reader takes from the name.
inline QImage decode(const QString& path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

inline QPixmap decodePixmap(const QString& path)
{
    return QPixmap::fromImage(decode(path));
}

// QPixmap(path) never looks for the scaled files (only QIcon, style sheets and rich text do, and those
// know @2x alone), so the pixmaps below pick the file for the ratio. The default is the primary
// screen's ratio; pass a widget's devicePixelRatioF() for a window elsewhere. They need a
// QGuiApplication.
inline QPixmap pixmapFor(const QString& path, qreal ratio = screenRatio())
{
    const qreal scale = renderedScaleFor(ratio);
    if (scale != 1.0) {
        QPixmap scaled = decodePixmap(scaledPath(path, scale));
        if (!scaled.isNull()) {
            scaled.setDevicePixelRatio(scale);
            return scaled;
        }
    }
    return decodePixmap(path);
}

inline QPixmap banner(qreal ratio = screenRatio())
{
    return pixmapFor(bannerPath(), ratio);
}
inline QPixmap statusPanel(qreal ratio = screenRatio())
{
    return pixmapFor(statusPanelPath(), ratio);
}
inline QPixmap editingPanel(qreal ratio = screenRatio())
{
    return pixmapFor(editingPanelPath(), ratio);
}
inline QPixmap bottomStrip(qreal ratio = screenRatio())
{
    return pixmapFor(bottomStripPath(), ratio);
}
inline QPixmap splash(qreal ratio = screenRatio())
{
    return pixmapFor(splashPath(), ratio);
}
inline QPixmap updateNotice(qreal ratio = screenRatio())
{
    return pixmapFor(updateNoticePath(), ratio);
}
inline QPixmap aboutStrip(qreal ratio = screenRatio())
{
    return pixmapFor(aboutStripPath(), ratio);
}
inline QPixmap aboutPanel(qreal ratio = screenRatio())
{
    return pixmapFor(aboutPanelPath(), ratio);
}
inline QPixmap confirmBanner(qreal ratio = screenRatio())
{
    return pixmapFor(confirmBannerPath(), ratio);
}

// The @2x files are added by hand: QIcon only looks for them itself when the application's ratio is
// above 1, which misses a 2x tray beside a 1x primary screen, and then it also serves 1x requests
// from the @2x file. addPixmap() gives the same icon as addFile() would: the same sizes in the same
// order, the @2x pixmaps keeping the ratio of 2 from their names, so no entry replaces another.
inline QIcon iconFromFiles(std::initializer_list<QString> paths)
{
    QIcon icon;
    for (const QString& path : paths) {
        icon.addPixmap(decodePixmap(path));
        icon.addPixmap(decodePixmap(highDpiPath(path)));
    }
    return icon;
}

// A folder in the folder list, opened (the current one and those above it) or not, at every
// rendered scale: an item view asks its icon for the size times its window's ratio.
inline QIcon folderIcon(bool open)
{
    const QString path = open ? folderOpenPath() : folderClosedPath();
    QIcon icon;
    for (const qreal scale : renderedScales) {
        QPixmap pixmap = decodePixmap(scaledPath(path, scale));
        pixmap.setDevicePixelRatio(scale);
        icon.addPixmap(pixmap);
    }
    return icon;
}

// Window and tray icon (16 and 32 px).
inline QIcon programIcon()
{
    return iconFromFiles({programIcon16Path(), programIcon32Path()});
}

// Icon of the about window (16 and 32 px).
inline QIcon aboutIcon()
{
    return iconFromFiles({aboutIcon16Path(), aboutIcon32Path()});
}

} // namespace artwork
