#include "platform/QtClipboardBackend.h"
#include "support/X11Client.h"

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace tarnwick::platform;
using namespace tarnwick::test;

namespace {

// Noise compresses badly: a few megabytes, more than one X request can carry.
QByteArray bigPng()
{
    QImage image(1200, 900, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y)
        random.fillRange(reinterpret_cast<quint32*>(image.scanLine(y)), image.width());
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

TEST(QtClipboardBackend, OffersExactlyThePublishedTypesWithTheirBytes)
{
    const QByteArray png = bigPng(), text = QStringLiteral("A1 первый\nA2 <b> & \"c\"").toUtf8();
    ASSERT_GT(png.size(), 1 << 20);
    const ClipboardFormat uris{QStringLiteral("text/uri-list"), "file:///tmp/A.png\r\nfile:///tmp/B.png\r\n"};
    const ClipboardContent images{uris, {QStringLiteral("x-special/gnome-copied-files"), "copy\nfile:///tmp/A.png"},
                                  {QStringLiteral("image/png"), png}, {QStringLiteral("com.tarnwick.series-token"), "T"}};
    const ClipboardContent texts{{QStringLiteral("text/plain"), text}, {QStringLiteral("text/plain;charset=utf-8"), text},
                                 {QStringLiteral("text/html"), "<p><strong>A1</strong> первый</p>"},
                                 {QStringLiteral("text/rtf"), "{\\rtf1\\ansi {\\b A1} \\u1087?}"}};
    const QStringList textTargets{QStringLiteral("UTF8_STRING"), QStringLiteral("STRING"), QStringLiteral("TEXT")};
    QtClipboardBackend clipboard;
    // Qt answers the X11 text targets from "text/plain" only: never text made of the file list.
    for (const ClipboardContent& content : {images, images + texts}) {
        ASSERT_TRUE(clipboard.publish(content));
        QSet<QString> expected;
        for (const ClipboardFormat& format : content)
            expected << format.mimeType;
        const bool withText = content.size() > images.size();
        if (withText)
            expected += QSet<QString>(textTargets.begin(), textTargets.end());
        EXPECT_EQ(xclipTargets(), expected);
        for (const ClipboardFormat& format : content)
            EXPECT_EQ(xclipRead(format.mimeType), format.data) << format.mimeType.toStdString();
        for (const QString& target : textTargets + QStringList{QStringLiteral("text/plain")})
            EXPECT_EQ(xclipRead(target).isEmpty(), !withText) << target.toStdString();
    }
    EXPECT_EQ(xclipRead(QStringLiteral("UTF8_STRING")), text);
}

TEST(QtClipboardBackend, CountsEveryChangeAndNoticesAnotherOwnerAtOnce)
{
    const QString token = QStringLiteral("com.tarnwick.series-token");
    QtClipboardBackend clipboard;
    const std::uint64_t start = clipboard.changeCount();
    // A type given twice keeps its first data.
    ASSERT_TRUE(clipboard.publish({{token, "1"}, {QStringLiteral("text/plain"), "ours"}, {QStringLiteral("text/plain"), "x"}}));
    EXPECT_EQ(clipboard.changeCount(), start + 1);
    EXPECT_EQ(clipboard.publishedData(QStringLiteral("text/plain")), "ours");
    // Publishing again replaces every format. Our own writes count once: the
    // hand-off compares counts a second apart, a late echo would break it. A
    // read by another client has Qt handle every event queued before it.
    ASSERT_TRUE(clipboard.publish({{token, "2"}}));
    EXPECT_EQ(xclipRead(token), "2");
    EXPECT_EQ(clipboard.changeCount(), start + 2);
    EXPECT_TRUE(clipboard.ownsClipboard());
    EXPECT_TRUE(clipboard.publishedData(QStringLiteral("text/plain")).isEmpty());

    // Another program's write: the server knows before Qt handles the event.
    ASSERT_TRUE(xclipWrite("theirs"));
    EXPECT_FALSE(clipboard.ownsClipboard());
    EXPECT_TRUE(clipboard.publishedData(token).isEmpty());
    EXPECT_TRUE(waitUntil([&] { return clipboard.changeCount() > start + 2; }));
    // Clearing leaves another program's clipboard alone, and gives ours up.
    const std::uint64_t foreign = clipboard.changeCount();
    clipboard.clear();
    EXPECT_EQ(clipboard.changeCount(), foreign);
    EXPECT_EQ(xclipRead(QStringLiteral("UTF8_STRING")), "theirs");
    ASSERT_TRUE(clipboard.publish({{token, "3"}}));
    clipboard.clear();
    EXPECT_EQ(clipboard.changeCount(), foreign + 2);
    EXPECT_FALSE(clipboard.ownsClipboard());
    EXPECT_EQ(xclipRead(token), "<xclip failed>");
}
