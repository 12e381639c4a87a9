#include "render/QRCodeRecognizer.h"

#include <QPainter>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <ZXing/ReadBarcode.h>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

// A QR code drawn with `module` pixels per module and a four-module quiet zone.
QImage qrCode(const std::wstring& payload, int module, ZXing::CharacterSet encoding = ZXing::CharacterSet::UTF8)
{
    const ZXing::BitMatrix bits =
        ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).setEncoding(encoding).setMargin(0).encode(payload, 0, 0);
    const int quiet = 4 * module;
    QImage image(bits.width() * module + 2 * quiet, bits.height() * module + 2 * quiet, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    for (int y = 0; y < bits.height(); ++y)
        for (int x = 0; x < bits.width(); ++x)
            if (bits.get(x, y))
                p.fillRect(quiet + x * module, quiet + y * module, module, module, Qt::black);
    return image;
}

} // namespace

TEST(QRCodeRecognizer, Tmp)
{
    std::wstring binary;
    for (int i = 0; i < 40; ++i) binary.push_back(wchar_t((i * 37) & 0xff));
    QImage img = qrCode(binary, 4, ZXing::CharacterSet::BINARY);
    QImage grey = img.convertToFormat(QImage::Format_Grayscale8);
    ZXing::DecodeHints hints; hints.setFormats(ZXing::BarcodeFormat::QRCode);
    for (auto& r : ZXing::ReadBarcodes({grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum, int(grey.bytesPerLine())}, hints))
        std::printf("valid %d type %s eci %d text %zu\n", r.isValid(), ZXing::ToString(r.contentType()).c_str(), r.hasECI(), r.text().size());
    auto t = QRCodeRecognizer::recognize(qrCode(L"https://пример.рф/путь?q=тест", 4));
    std::printf("%s\n", t ? t->toStdString().c_str() : "none");
}
