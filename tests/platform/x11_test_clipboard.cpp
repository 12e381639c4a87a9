#include "platform/QtClipboardBackend.h"
#include "support/ClipboardContract.h"
#include "support/X11Client.h"

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <QSet>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace tarnwick::platform;
using tarnwick::test::runProcess;
using tarnwick::test::xclipRead;
using tarnwick::test::xclipTargets;
using tarnwick::test::waitUntil;
using tarnwick::test::X11Client;

namespace {

// Another program takes the clipboard: xclip reads stdin, owns CLIPBOARD and
// stays in the background until the server goes. Its parent exits before the
// child has sent the request to own the selection, so this returns once the
// server names the new owner. The wait does not turn the Qt event loop, so Qt
// may not have handled the loss yet.
void xclipWrite(const QByteArray& text)
{
    X11Client x;
    const std::uint32_t before = x.selectionOwner("CLIPBOARD");
    ASSERT_EQ(runProcess(QStringLiteral("sh"),
                         {QStringLiteral("-c"), QStringLiteral("xclip -selection clipboard -i >/dev/null 2>&1")},
                         nullptr, text),
              0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::uint32_t owner = x.selectionOwner("CLIPBOARD");
    for (; owner == before && std::chrono::steady_clock::now() < deadline; owner = x.selectionOwner("CLIPBOARD"))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_NE(owner, before) << "xclip did not take the clipboard";
}

// Noise compresses badly: a few megabytes, more than one X request can carry.
QByteArray bigPng()
{
    QImage image(1200, 900, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

TEST(QtClipboardBackend, OffersExactlyThePublishedTypesWithTheirBytes)
{
    const QByteArray png = bigPng();
    ASSERT_GT(png.size(), 1 << 20);
    const QByteArray text = QStringLiteral("A1 первый\nA2 <b> & \"c\"").toUtf8();
    const ClipboardContent content{
        {QStringLiteral("text/uri-list"), "file:///run/user/0/tarnwick/A.png\r\nfile:///run/user/0/tarnwick/B.png\r\n"},
        {QStringLiteral("x-special/gnome-copied-files"), "copy\nfile:///run/user/0/tarnwick/A.png\nfile:///run/user/0/tarnwick/B.png"},
        {QStringLiteral("image/png"), png},
        {QStringLiteral("com.tarnwick.series-token"), "3F2504E0-4F89-11D3-9A0C-0305E82C3301"},
        {QStringLiteral("text/plain"), text},
        {QStringLiteral("text/plain;charset=utf-8"), text},
        {QStringLiteral("text/html"), "<html><body><p><strong>A1</strong> первый</p></body></html>"},
        {QStringLiteral("text/rtf"), "{\\rtf1\\ansi {\\b A1} \\u1087?}"},
    };
    QtClipboardBackend clipboard;
    ASSERT_TRUE(clipboard.publish(content));

    QSet<QString> expected;
    for (const ClipboardFormat& format : content)
        expected << format.mimeType;
    // Qt answers the X11 text targets from "text/plain"; receivers ask for them.
    expected << QStringLiteral("UTF8_STRING") << QStringLiteral("STRING") << QStringLiteral("TEXT");
    EXPECT_EQ(xclipTargets(), expected);

    for (const ClipboardFormat& format : content)
        EXPECT_EQ(xclipRead(format.mimeType), format.data) << format.mimeType.toStdString();
    EXPECT_EQ(xclipRead(QStringLiteral("UTF8_STRING")), text);
}

TEST(QtClipboardBackend, ImagesOnlyOfferNoTextAtAll)
{
    const ClipboardContent content{
        {QStringLiteral("image/png"), bigPng()},
        {QStringLiteral("text/uri-list"), "file:///tmp/A.png\r\n"},
        {QStringLiteral("x-special/gnome-copied-files"), "copy\nfile:///tmp/A.png"},
        {QStringLiteral("com.tarnwick.series-token"), "TOKEN"},
    };
    QtClipboardBackend clipboard;
    ASSERT_TRUE(clipboard.publish(content));
    // No text/plain, text/x-moz-url or UTF8_STRING derived from the file list:
    // a chat would paste the file URLs as a message of their own.
    QSet<QString> expected;
    for (const ClipboardFormat& format : content)
        expected << format.mimeType;
    EXPECT_EQ(xclipTargets(), expected);
    EXPECT_EQ(xclipRead(QStringLiteral("text/uri-list")), "file:///tmp/A.png\r\n");
    // Asked for directly, the text targets give no text either.
    for (const char* target : {"UTF8_STRING", "STRING", "TEXT", "text/plain"})
        EXPECT_TRUE(xclipRead(QString::fromLatin1(target)).isEmpty()) << target;
}

TEST(QtClipboardBackend, OwnWriteCountsOnceAndStaysCurrent)
{
    // The hand-off compares the count right after a publication with the count
    // a second later; a late echo of our own write would break every hand-off.
    QtClipboardBackend clipboard;
    const std::uint64_t before = clipboard.changeCount();
    ASSERT_TRUE(clipboard.publish({{QStringLiteral("com.tarnwick.series-token"), "TOKEN"}}));
    const std::uint64_t published = clipboard.changeCount();
    EXPECT_EQ(published, before + 1);
    EXPECT_EQ(xclipRead(QStringLiteral("com.tarnwick.series-token")), "TOKEN");
    waitUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(clipboard.changeCount(), published);
    EXPECT_TRUE(clipboard.ownsClipboard());
}

TEST(QtClipboardBackend, NoticesAnotherProgramTakingTheClipboard)
{
    QtClipboardBackend clipboard;
    ASSERT_TRUE(clipboard.publish({{QStringLiteral("com.tarnwick.series-token"), "TOKEN"},
                                   {QStringLiteral("text/plain"), "ours"}}));
    const std::uint64_t published = clipboard.changeCount();
    EXPECT_EQ(clipboard.publishedData(QStringLiteral("com.tarnwick.series-token")), "TOKEN");

    xclipWrite("theirs");
    // The server knows the new owner before Qt handles the event.
    EXPECT_FALSE(clipboard.ownsClipboard());
    EXPECT_TRUE(clipboard.publishedData(QStringLiteral("com.tarnwick.series-token")).isEmpty());
    EXPECT_TRUE(waitUntil([&] { return clipboard.changeCount() > published; }));
    EXPECT_FALSE(xclipTargets().contains(QStringLiteral("com.tarnwick.series-token")));

    clipboard.clear();
    EXPECT_EQ(xclipRead(QStringLiteral("UTF8_STRING")), "theirs");
}

TEST(QtClipboardBackend, KeepsTheContractOfTheFake)
{
    QtClipboardBackend clipboard;
    tarnwick::test::checkClipboardContract(clipboard, [&] {
        const std::uint64_t before = clipboard.changeCount();
        xclipWrite("theirs");
        waitUntil([&] { return clipboard.changeCount() > before; });
    });
}
