#include <QImage>
#include <gtest/gtest.h>

// Browsers copy WebP, some programs TIFF; Qt reads them only through plugins
// of a package of their own.
TEST(ImageFormats, WebPAndTiffAreRead)
{
    const std::pair<const char*, const char*> images[] = {
        {"WEBP", "UklGRh4AAABXRUJQVlA4TBEAAAAvAUAAAAdQjyIXpf+BiOh/AAA="},
        {"TIFF", "SUkqABQAAADIHijIHijIHijIHigOAAABAwABAAAAAgAAAAEBAwABAAAAAgAAAAIBAwADAAAA0gAAAAMBAwABAAAAAQAAAAYBAwABAAAAAgA"
                 "AABEBBAABAAAACAAAABIBAwABAAAAAQAAABUBAwABAAAAAwAAABYBBAABAAAAqqoKABcBBAABAAAADAAAABoBBQABAAAAwgAAABsBBQAB"
                 "AAAAygAAABwBAwABAAAAAQAAACgBAwABAAAAAgAAAAAAAABgAAAAAQAAAGAAAAABAAAACAAIAAgA"},
    };
    for (const auto& [format, base64] : images) {
        const QImage image = QImage::fromData(QByteArray::fromBase64(base64));
        ASSERT_EQ(image.size(), QSize(2, 2)) << format;
        EXPECT_EQ(image.pixelColor(1, 1), QColor(200, 30, 40)) << format;
    }
}
