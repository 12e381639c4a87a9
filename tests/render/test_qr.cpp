// QRCodeRecognizer on the real ZXing: text payloads only, the largest code wins.

#include "RenderTestSupport.h"

#include "render/recognition/QRCodeRecognizer.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// A QR code drawn with `module` pixels per module and a four-module quiet zone.
QImage qrCode(const std::wstring& payload, int module, ZXing::CharacterSet encoding = ZXing::CharacterSet::UTF8)
{
    const ZXing::BitMatrix bits =
        ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).setEncoding(encoding).setMargin(0).encode(payload, 0, 0);
    const int quiet = 4 * module;
    QImage image = canvas(bits.width() * module + 2 * quiet, bits.height() * module + 2 * quiet);
    paint(image, [&](QPainter& p) {
        for (int y = 0; y < bits.height(); ++y)
            for (int x = 0; x < bits.width(); ++x)
                if (bits.get(x, y))
                    p.fillRect(quiet + x * module, quiet + y * module, module, module, Qt::black);
    });
    return image;
}

QString read(const QImage& image) { return QRCodeRecognizer::recognize(image).value_or("(none)"); }

} // namespace

TEST(QRCodeRecognizer, ReadsAUnicodeAddressExactlyAlsoScaledTo150PercentAndTheLargerOfTwoCodesWins)
{
    EXPECT_EQ(read(qrCode(L"https://пример.рф/путь?q=тест", 4)), "https://пример.рф/путь?q=тест");

    QImage screenshot = canvas(640, 400, QColor(236, 239, 244));
    paint(screenshot, [](QPainter& p) {
        p.setFont(sans(14));
        p.setPen(QColor(40, 40, 40));
        for (int i = 0; i < 8; ++i)
            p.drawText(20, 30 + 22 * i, "Отсканируйте код, чтобы открыть страницу оплаты");
        p.fillRect(400, 200, 200, 180, Qt::white);
        p.drawImage(420, 210, qrCode(L"https://пример.рф/оплата?id=42", 3));
    });
    EXPECT_EQ(read(screenshot.scaled(960, 600, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)), "https://пример.рф/оплата?id=42");

    // Of two text codes the larger wins.
    const QImage sheet = painted(700, 400, QColor(250, 250, 250), [](QPainter& p) {
        p.drawImage(20, 20, qrCode(L"маленький", 3));
        p.drawImage(300, 60, qrCode(L"большой", 6));
    });
    EXPECT_EQ(read(sheet), "большой");
}

TEST(QRCodeRecognizer, TransparentBackgroundReadsAsWhiteLightCodesOnDarkReadAndBlankOrHugeImagesHoldNone)
{
    // Dark modules on nothing: a pasted PNG without a background.
    const QImage code = qrCode(L"прозрачный", 4);
    QImage clear = canvas(code.width(), code.height(), Qt::transparent);
    for (int y = 0; y < code.height(); ++y)
        for (int x = 0; x < code.width(); ++x)
            if (qGray(code.pixel(x, y)) < 128)
                clear.setPixel(x, y, qRgba(0, 0, 0, 255));
    EXPECT_EQ(read(clear), "прозрачный");
    // Light modules on a dark theme's panel.
    QImage inverted = code.convertToFormat(QImage::Format_RGB32);
    inverted.invertPixels();
    QImage dark = canvas(400, 300, QColor(30, 32, 36));
    paint(dark, [&](QPainter& p) { p.drawImage(60, 40, inverted); });
    EXPECT_EQ(read(dark), "прозрачный");

    // Blank, empty and huge images hold no code.
    for (const QImage& image : {canvas(300, 300), QImage(), canvas(200, 200, Qt::transparent)})
        EXPECT_EQ(read(image), "(none)") << image.width();
    // Refused by its size, before any pixel is read.
    QImage huge(20000, 20000, QImage::Format_Grayscale8);
    EXPECT_EQ(errorOf([&] { QRCodeRecognizer::recognize(huge); }),
              "Изображение слишком большое для поиска QR-кода. Выделите область поменьше.");
}
