#include "render/recognition/QRCodeRecognizer.h"

#include "render/recognition/GreyImage.h"
#include "render/recognition/ScreenTextRecognizer.h"
#include "platform/TarnwickError.h"

#include <ZXing/ReadBarcode.h>

#include <algorithm>

namespace tarnwick::QRCodeRecognizer {

namespace {

// Grey levels on white, or the sentence for a failed allocation.
QImage readableGrey(const QImage& image)
{
    QImage grey = greyOnWhite(image);
    if (grey.isNull())
        throw TarnwickError::message(QStringLiteral("Не хватает памяти для поиска QR-кода."));
    return grey;
}

// Payloads that read as text; binary data has no text form to copy.
bool isTextPayload(ZXing::ContentType type)
{
    return type == ZXing::ContentType::Text || type == ZXing::ContentType::GS1
        || type == ZXing::ContentType::ISO15434;
}

// The text codes of a grey image.
std::vector<Code> readCodes(const QImage& grey)
{
    const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum,
        static_cast<int>(grey.bytesPerLine()));
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    hints.setTryHarder(true);
    hints.setTryRotate(true);

    const double imageArea = double(grey.width()) * double(grey.height());
    std::vector<Code> codes;
    for (const ZXing::Result& result : ZXing::ReadBarcodes(view, hints)) {
        if (!result.isValid() || result.format() != ZXing::BarcodeFormat::QRCode
            || !isTextPayload(result.contentType()))
            continue;
        const auto& corners = result.position();
        int minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
        for (const auto& corner : corners) {
            minX = std::min(minX, corner.x);
            maxX = std::max(maxX, corner.x);
            minY = std::min(minY, corner.y);
            maxY = std::max(maxY, corner.y);
        }
        const std::string text = result.text();
        codes.push_back({QString::fromUtf8(text.data(), qsizetype(text.size())),
            double(maxX - minX) * double(maxY - minY) / imageArea});
    }
    return codes;
}

} // namespace

std::optional<QString> largest(const std::vector<Code>& codes)
{
    const Code* chosen = nullptr;
    for (const Code& code : codes) {
        if (code.payload.isEmpty())
            continue;
        if (!chosen || code.area > chosen->area)
            chosen = &code;
    }
    if (!chosen)
        return std::nullopt;
    return chosen->payload;
}

std::optional<QString> recognize(const QImage& image)
{
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        return std::nullopt;
    const qint64 pixels = qint64(image.width()) * qint64(image.height());
    if (pixels > ScreenTextRecognizer::maxPixels)
        throw TarnwickError::message(QStringLiteral(
            "Изображение слишком большое для поиска QR-кода. Выделите область поменьше."));

    QImage grey = readableGrey(image);
    std::vector<Code> codes = readCodes(grey);
    // Dark themes show light modules on a dark ground.
    if (codes.empty()) {
        grey.invertPixels();
        codes = readCodes(grey);
    }
    return largest(codes);
}

} // namespace tarnwick::QRCodeRecognizer
