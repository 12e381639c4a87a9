#pragma once

#include "series/ScreenCaptureMode.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <optional>

namespace tarnwick {

// The picker's command line for a capture into `destination`.
QStringList captureArguments(ScreenCaptureMode mode, const QString& destination);

// The picture a capture becomes. A window comes with transparent surroundings:
// it is laid over the canvas background, so the shot is opaque. Throws
// TarnwickError when the bitmap cannot be made.
QImage prepareCapturedImage(ScreenCaptureMode mode, const QImage& image);

// Pixels per point recorded in a PNG's pHYs chunk (72 dpi is one pixel per
// point); nothing when the data is no PNG or has no pHYs in metres.
std::optional<double> pngPixelsPerPoint(const QByteArray& png);

// An image file as a new shot takes it: the bitmap, read within the import
// limits, and its pixels per point (from pHYs, else 1). Nothing when unreadable or
// no regular file. It blocks while the file's disk does: not on the GUI thread.
struct CapturedImage {
    QImage image;
    double pixelsPerPoint = 1;
    static std::optional<CapturedImage> read(const QString& path);
};

} // namespace tarnwick
