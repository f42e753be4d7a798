// SPDX-License-Identifier: GPL-3.0-or-later
// Renders one SVG into a PNG at build time, so the program ships plain PNGs and never loads QtSvg.
//
// Usage: tilecast-render-artwork <in.svg> <out.png> (--scale <factor> | --size <pixels>)
//   --scale: the SVG's viewBox size times the factor (1 for name.png, 1.5 for name@1.5x.png), drawn at
//            exactly that factor; a size that comes out fractional is rounded up, the last row or
//            column only partly drawn, as the program's window draws its own edges at that scale.
//   --size:  square output of that many pixels, for icon theme sizes.

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>

#include <cmath>
#include <cstdio>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "tilecast-render-artwork: %s\n", qPrintable(message));
    return 1;
}

bool isWhole(qreal v)
{
    return std::abs(v - std::round(v)) < 1e-6;
}

// The build runs without a session, so Qt complains about the missing runtime directory on every
// call; that noise would hide the renderer's own warnings about an SVG it cannot fully draw.
void dropSessionNoise(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(u"QStandardPaths:"))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char* argv[])
{
    qInstallMessageHandler(dropSessionNoise);
    // Text in the pictures needs a font database, hence a QGuiApplication; no display exists at build time.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QGuiApplication app(argc, argv);

    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() != 4 || (args.at(2) != u"--scale" && args.at(2) != u"--size"))
        return fail(QStringLiteral("usage: <in.svg> <out.png> (--scale <factor> | --size <pixels>)"));
    const QString input = args.at(0);
    const QString output = args.at(1);
    bool numberOk = false;
    const double number = args.at(3).toDouble(&numberOk);
    if (!numberOk || number <= 0)
        return fail(QStringLiteral("bad number: %1").arg(args.at(3)));

    // Qt would quietly substitute another font and change every text's width in the pictures.
    if (!QFontDatabase::families().contains(QStringLiteral("DejaVu Sans")))
        return fail(QStringLiteral("the DejaVu Sans font is missing (Debian package fonts-dejavu-core)"));

    QSvgRenderer renderer(input);
    if (!renderer.isValid())
        return fail(QStringLiteral("cannot read %1").arg(input));

    // The viewBox is the logical size in pixels; a fractional or offset one would blur every edge.
    const QRectF box = renderer.viewBoxF();
    if (box.isEmpty() || box.x() != 0 || box.y() != 0 || !isWhole(box.width()) || !isWhole(box.height()))
        return fail(QStringLiteral("%1: viewBox must be \"0 0 <w> <h>\" in whole pixels").arg(input));

    // Stretching the picture to a rounded size would put its edges elsewhere than the window's.
    QSizeF drawn;
    if (args.at(2) == u"--scale")
        drawn = box.size() * number;
    else
        drawn = QSizeF(qRound(number), qRound(number));
    const QSize size(int(std::ceil(drawn.width() - 1e-6)), int(std::ceil(drawn.height() - 1e-6)));

    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                               QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(QPointF(0, 0), drawn));
    }

    QDir().mkpath(QFileInfo(output).absolutePath());
    if (!image.save(output, "PNG"))
        return fail(QStringLiteral("cannot write %1").arg(output));
    return 0;
}
