#include "app/CapturedImage.h"

#include "editor/model/EditorImageImporter.h"
#include "panels/Theme.h"
#include "platform/ImageScale.h"
#include "platform/TarnwickError.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>
#include <algorithm>
#include <cmath>

namespace tarnwick {

QStringList captureArguments(ScreenCaptureMode mode, const QString& destination)
{
    QStringList arguments{QStringLiteral("-i"), QStringLiteral("-x"), QStringLiteral("-t"), QStringLiteral("png")};
    if (mode == ScreenCaptureMode::window)
        arguments << QStringLiteral("-w") << QStringLiteral("-o");
    return arguments << destination;
}

QImage prepareCapturedImage(ScreenCaptureMode mode, const QImage& image)
{
    if (mode != ScreenCaptureMode::window)
        return image;
    QImage opaque(image.size(), QImage::Format_ARGB32_Premultiplied);
    if (opaque.isNull())
        throw TarnwickError::message(QStringLiteral("Не удалось подготовить снимок окна."));
    opaque.fill(Theme::canvasBackground());
    {
        QPainter painter(&opaque);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawImage(0, 0, image);
    }
    // The scale of the capture travels with the shot, not with the bitmap.
    opaque.setDotsPerMeterX(image.dotsPerMeterX());
    opaque.setDotsPerMeterY(image.dotsPerMeterY());
    if (opaque.isNull())
        throw TarnwickError::message(QStringLiteral("Не удалось подготовить фон снимка окна."));
    return opaque;
}

std::optional<double> pngPixelsPerPoint(const QByteArray& png)
{
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (!png.startsWith(signature))
        return std::nullopt;
    // Chunks: 4-byte length, 4-byte type, data, 4-byte CRC; pHYs comes before the image data.
    qsizetype at = signature.size();
    while (at + 8 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        const QByteArray type = png.mid(at + 4, 4);
        if (type == "IDAT" || type == "IEND" || length > quint32(png.size() - at - 8))
            return std::nullopt;
        if (type == "pHYs" && length == 9) {
            const char* data = png.constData() + at + 8;
            const quint32 perMetre = qFromBigEndian<quint32>(data);
            if (data[8] != 1 || perMetre == 0)
                return std::nullopt;
            return std::max(platform::pixelsPerPoint(perMetre), 0.001);
        }
        at += 12 + qsizetype(length);
    }
    return std::nullopt;
}

std::optional<CapturedImage> CapturedImage::read(const QString& path)
{
    QFile file;
    if (!EditorImageImporter::openFile(path, file))
        return std::nullopt;
    const QByteArray head = file.peek(64 * 1024);
    QImageReader reader(&file);
    std::optional<QImage> image = EditorImageImporter::read(reader);
    if (!image || image->isNull())
        return std::nullopt;
    return CapturedImage{*image, pngPixelsPerPoint(head).value_or(1.0)};
}

} // namespace tarnwick
