#include "render/QRCodeRecognizer.h"

#include "series/TarnwickError.h"

#include <QPainter>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
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

// Bytes that have no text form: control characters and bytes above 0x7f.
std::wstring binaryPayload()
{
    std::wstring bytes;
    for (int i = 0; i < 48; ++i)
        bytes.push_back(wchar_t((i * 37 + 1) & 0xff));
    return bytes;
}

QImage sheet(int w, int h, const std::vector<std::pair<QImage, QPoint>>& codes)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(250, 250, 250));
    QPainter p(&image);
    for (const auto& [code, at] : codes)
        p.drawImage(at, code);
    return image;
}

std::string read(const QImage& image)
{
    const auto payload = QRCodeRecognizer::recognize(image);
    return payload ? payload->toStdString() : "(none)";
}

} // namespace

TEST(QRCodeRecognizer, ReadsAUnicodeAddressExactly)
{
    EXPECT_EQ(read(qrCode(L"https://пример.рф/путь?q=тест", 4)), "https://пример.рф/путь?q=тест");
}

TEST(QRCodeRecognizer, TheLargerOfTwoCodesWinsWhereverItStands)
{
    const QImage small = qrCode(L"маленький", 3);
    const QImage large = qrCode(L"большой", 6);
    EXPECT_EQ(read(sheet(700, 400, {{small, {20, 20}}, {large, {300, 60}}})), "большой");
    EXPECT_EQ(read(sheet(700, 400, {{large, {20, 20}}, {small, {400, 60}}})), "большой");
    EXPECT_EQ(read(sheet(400, 700, {{small, {20, 20}}, {large, {60, 300}}})), "большой");
}

TEST(QRCodeRecognizer, CodesWithoutTextAreSkipped)
{
    const QImage binary = qrCode(binaryPayload(), 6, ZXing::CharacterSet::BINARY);
    EXPECT_EQ(read(binary), "(none)");
    // A large binary code beside a small text code: the text is the answer.
    EXPECT_EQ(read(sheet(700, 400, {{binary, {20, 20}}, {qrCode(L"текст", 3), {480, 60}}})), "текст");
}

TEST(QRCodeRecognizer, CodeInAScreenshotScaledTo150PercentStillReads)
{
    QImage screenshot(640, 400, QImage::Format_ARGB32_Premultiplied);
    screenshot.fill(QColor(236, 239, 244));
    QPainter p(&screenshot);
    QFont font("DejaVu Sans");
    font.setPixelSize(14);
    p.setFont(font);
    p.setPen(QColor(40, 40, 40));
    for (int i = 0; i < 8; ++i)
        p.drawText(20, 30 + 22 * i, "Отсканируйте код, чтобы открыть страницу оплаты");
    p.fillRect(400, 200, 200, 180, Qt::white);
    p.drawImage(420, 210, qrCode(L"https://пример.рф/оплата?id=42", 3));
    p.end();
    const QImage scaled = screenshot.scaled(960, 600, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_EQ(read(scaled), "https://пример.рф/оплата?id=42");
}

TEST(QRCodeRecognizer, TransparentBackgroundReadsAsWhite)
{
    // Dark modules on nothing: a pasted PNG without a background.
    QImage code = qrCode(L"прозрачный", 4);
    QImage clear(code.size(), QImage::Format_ARGB32_Premultiplied);
    clear.fill(Qt::transparent);
    for (int y = 0; y < code.height(); ++y)
        for (int x = 0; x < code.width(); ++x)
            if (qGray(code.pixel(x, y)) < 128)
                clear.setPixel(x, y, qRgba(0, 0, 0, 255));
    EXPECT_EQ(read(clear), "прозрачный");
}

TEST(QRCodeRecognizer, BlankEmptyAndHugeImages)
{
    QImage blank(300, 300, QImage::Format_RGB32);
    blank.fill(Qt::white);
    EXPECT_EQ(read(blank), "(none)");
    EXPECT_EQ(read(QImage()), "(none)");
    QImage one(1, 1, QImage::Format_ARGB32_Premultiplied);
    one.fill(Qt::black);
    EXPECT_EQ(read(one), "(none)");
    QImage clear(200, 200, QImage::Format_ARGB32_Premultiplied);
    clear.fill(Qt::transparent);
    EXPECT_EQ(read(clear), "(none)");

    // Refused by its size, before any pixel is read.
    QImage huge(20000, 20000, QImage::Format_Grayscale8);
    ASSERT_FALSE(huge.isNull());
    try {
        QRCodeRecognizer::recognize(huge);
        ADD_FAILURE() << "no error";
    } catch (const TarnwickError& error) {
        EXPECT_EQ(error.errorDescription().toStdString(),
            "Изображение слишком большое для поиска QR-кода. Выделите область поменьше.");
    }
}

TEST(QRCodeRecognizer, LargestKeepsTheFirstOfEqualCodesAndIgnoresEmptyOnes)
{
    using QRCodeRecognizer::largest;
    EXPECT_EQ(largest({{"a", 0.25}, {"b", 0.25}}), QString("a"));
    EXPECT_EQ(largest({{"a", 0.25}, {"b", 0.5}, {"c", 0.5}}), QString("b"));
    EXPECT_EQ(largest({{"", 0.9}, {"b", 0.1}}), QString("b"));
    EXPECT_EQ(largest({{"a", 0.3}, {"", 0.9}, {"c", 0.2}}), QString("a"));
    EXPECT_FALSE(largest({{"", 0.5}}));
    EXPECT_FALSE(largest({}));
}
