#include "series/ClipboardBridge.h"
#include "series/TarnwickError.h"
#include "support/FakeClipboardBackend.h"

#include "SeriesTestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/time.h>
#include "support/Errors.h"

using namespace tarnwick;
using tarnwick::test::errorOf;
using tarnwick::test::FakeClipboardBackend;
using tarnwick::test::shotWithComments;
using tarnwick::test::stripeRenderer;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

class ClipboardBridgeTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    FakeClipboardBackend board;
    int renders = 0;
    ClipboardBridge bridge{board, root.path(), [this](const Screenshot& s, const QString& l, bool m) {
                               ++renders;
                               return stripeRenderer(s, l, m);
                           }};
    const QVector<Screenshot> series{shotWithComments({QStringLiteral("x"), QStringLiteral("y")}, Qt::red),
                                     shotWithComments({}, Qt::green), shotWithComments({QStringLiteral("z")}, Qt::blue)};
};

} // namespace

TEST_F(ClipboardBridgeTest, PreparedFolderHoldsLabelledImagesAndCommentFiles)
{
    bridge.prepare(series, TransferMode::chat);
    ASSERT_TRUE(bridge.packet());
    const TransferPacket& packet = *bridge.packet();
    EXPECT_EQ(QFileInfo(packet.directory).dir().path(), bridge.clipboardFolder());
    EXPECT_FALSE(QUuid::fromString(QFileInfo(packet.directory).fileName()).isNull());
    EXPECT_NE(QFileInfo(packet.directory).fileName(), packet.token);
    EXPECT_EQ(entries(packet.directory), (QStringList{QStringLiteral("A.png"), QStringLiteral("B.png"), QStringLiteral("C.png"),
                                                      QStringLiteral("Комментарии.md"), QStringLiteral("Комментарии.txt")}));
    // Byte for byte: UTF-8 without a byte-order mark, no trailing line break.
    EXPECT_EQ(readAll(packet.directory + QStringLiteral("/Комментарии.txt")), QByteArray("A1 x\nA2 y\nC1 z"));
    EXPECT_EQ(readAll(packet.directory + QStringLiteral("/Комментарии.md")), QByteArray("**A1** x\n\n**A2** y\n\n**C1** z"));
    // Each file is its own shot, rendered with its label and markers.
    QImage b;
    ASSERT_TRUE(b.loadFromData(readAll(packet.files[1]), "PNG"));
    EXPECT_EQ(b.pixelColor(10, 10), QColor(Qt::green));
    EXPECT_EQ(b.pixelColor(4, 0), QColor(Qt::black)); // stripe of "B" with markers: 5 px
    EXPECT_NE(b.pixelColor(5, 0), QColor(Qt::black));
    EXPECT_EQ(packet.comments.size(), 3);
    EXPECT_EQ(packet.comments[2], (SeriesComment{QStringLiteral("C1"), QStringLiteral("z")}));
}

TEST_F(ClipboardBridgeTest, EachModeOffersExactlyItsFormats)
{
    bridge.prepare(series, TransferMode::chat);
    const QStringList images{QStringLiteral("image/png"), QStringLiteral("text/uri-list"),
                             QStringLiteral("x-special/gnome-copied-files"), ClipboardBridge::tokenType()};
    const QStringList texts{QStringLiteral("text/plain"), QStringLiteral("text/plain;charset=utf-8"),
                            QStringLiteral("text/html"), QStringLiteral("text/rtf")};
    EXPECT_EQ(board.mimeTypes(), images);
    bridge.publish(*bridge.packet(), TransferMode::images);
    EXPECT_EQ(board.mimeTypes(), images);
    bridge.publish(*bridge.packet(), TransferMode::combined);
    EXPECT_EQ(board.mimeTypes(), images + texts);
    bridge.publish(*bridge.packet(), TransferMode::comments);
    EXPECT_EQ(board.mimeTypes(), QStringList{ClipboardBridge::tokenType()} + texts);
    EXPECT_EQ(bridge.mode(), TransferMode::comments);

    bridge.publish(*bridge.packet(), TransferMode::chat);
    const TransferPacket& packet = *bridge.packet();
    EXPECT_EQ(board.publishedData(QStringLiteral("image/png")), readAll(packet.files.front()));
    const QByteArray uris = board.publishedData(QStringLiteral("text/uri-list"));
    EXPECT_EQ(uris.split('\n').size(), 4); // three lines ended by CRLF
    EXPECT_TRUE(uris.startsWith(QUrl::fromLocalFile(packet.files[0]).toEncoded() + "\r\n"));
    EXPECT_TRUE(board.publishedData(QStringLiteral("x-special/gnome-copied-files")).startsWith("copy\nfile://"));
    EXPECT_EQ(board.publishedData(ClipboardBridge::tokenType()), packet.token.toUtf8());
}

TEST_F(ClipboardBridgeTest, CombinedHtmlInlinesEveryImage)
{
    bridge.prepare(series, TransferMode::combined);
    const QString html = QString::fromUtf8(board.publishedData(QStringLiteral("text/html")));
    EXPECT_EQ(html.count(QStringLiteral("<img alt=")), 3);
    EXPECT_TRUE(html.contains(QString::fromLatin1(readAll(bridge.packet()->files[2]).toBase64())));
    EXPECT_TRUE(html.endsWith(QStringLiteral("<p><strong>C1</strong> z</p></body></html>")));
    EXPECT_TRUE(board.publishedData(QStringLiteral("text/rtf")).contains("\\pngblip"));
}

TEST_F(ClipboardBridgeTest, IsCurrentOnlyWhileOurPublicationStands)
{
    EXPECT_FALSE(bridge.isCurrent());
    bridge.prepare(series, TransferMode::chat);
    EXPECT_TRUE(bridge.isCurrent());
    // Another program writes, even the same token: the change count moved.
    board.takeByOtherProgram({{ClipboardBridge::tokenType(), bridge.packet()->token.toUtf8()}});
    EXPECT_FALSE(bridge.isCurrent());
    bridge.publish(*bridge.packet(), TransferMode::chat);
    EXPECT_TRUE(bridge.isCurrent());
    EXPECT_TRUE(bridge.copyText(QStringLiteral("hello"), false));
    EXPECT_FALSE(bridge.isCurrent());
    EXPECT_FALSE(bridge.changeCount());
}

TEST_F(ClipboardBridgeTest, FailuresLeaveNoFolderAndTheBridgeUnchanged)
{
    bridge.prepare(series, TransferMode::chat);
    const TransferPacket before = *bridge.packet();
    const auto countBefore = bridge.changeCount();

    board.failWrites = true;
    EXPECT_EQ(errorOf([&] { bridge.prepare(series, TransferMode::combined); }),
              QStringLiteral("Буфер обмена недоступен. Попробуйте снова."));
    EXPECT_EQ(entries(bridge.clipboardFolder()), QStringList{QFileInfo(before.directory).fileName()});
    EXPECT_EQ(bridge.packet()->token, before.token);
    EXPECT_EQ(bridge.changeCount(), countBefore);
    EXPECT_EQ(bridge.mode(), TransferMode::chat);

    // A renderer that fails: same story, and its own sentence comes through.
    board.failWrites = false;
    ClipboardBridge failing(board, root.path(), [](const Screenshot&, const QString&, bool) -> QImage {
        throw TarnwickError::message(QStringLiteral("Не удалось подготовить изображение."));
    });
    EXPECT_EQ(errorOf([&] { failing.prepare(series, TransferMode::chat); }), QStringLiteral("Не удалось подготовить изображение."));
    EXPECT_EQ(entries(bridge.clipboardFolder()).size(), 1);
    EXPECT_FALSE(failing.packet());

    // A renderer that yields nothing cannot be encoded.
    ClipboardBridge empty(board, root.path(), [](const Screenshot&, const QString&, bool) { return QImage(); });
    EXPECT_EQ(errorOf([&] { empty.prepare(series, TransferMode::chat); }), QStringLiteral("Не удалось записать снимок A."));
    EXPECT_EQ(entries(bridge.clipboardFolder()).size(), 1);
}

TEST_F(ClipboardBridgeTest, UnchangedShotsReuseTheirPngByteForByte)
{
    bridge.prepare(series, TransferMode::chat);
    const QByteArray first = readAll(bridge.packet()->files[0]);
    EXPECT_EQ(renders, 3);
    QVector<Screenshot> edited = series;
    edited[1].annotations << shotWithComments({QStringLiteral("new")}).annotations;
    bridge.prepare(edited, TransferMode::chat);
    EXPECT_EQ(renders, 4); // only the edited shot is rendered again
    EXPECT_EQ(readAll(bridge.packet()->files[0]), first);
    // Reuse follows the label: after a deletion the shots behind are rendered anew.
    bridge.prepare({edited[1], edited[2]}, TransferMode::chat);
    EXPECT_EQ(renders, 6);
    QImage fresh;
    ASSERT_TRUE(fresh.loadFromData(readAll(bridge.packet()->files[1]), "PNG"));
    EXPECT_EQ(fresh.pixelColor(3, 0), QColor(Qt::black)); // "B" with markers
}

TEST_F(ClipboardBridgeTest, HostileCommentTextStaysText)
{
    const QString hostile = QStringLiteral("<script>alert(1)</script> {\\rtf1\\b bold} & \"q\"\n") + QString(1'000'000, u'ж');
    bridge.prepare({shotWithComments({hostile})}, TransferMode::combined);
    const QByteArray html = board.publishedData(QStringLiteral("text/html"));
    EXPECT_FALSE(html.contains("<script>"));
    EXPECT_TRUE(html.contains("&lt;script&gt;"));
    const QByteArray rtf = board.publishedData(QStringLiteral("text/rtf"));
    EXPECT_TRUE(rtf.contains("\\{\\\\rtf1\\\\b bold\\}"));
    EXPECT_EQ(board.publishedData(QStringLiteral("text/plain")), (QStringLiteral("A1 ") + hostile).toUtf8());
}

TEST_F(ClipboardBridgeTest, SingleItemCopies)
{
    EXPECT_FALSE(bridge.copyText(QStringLiteral("  \n "), false));
    EXPECT_EQ(board.publications(), 0);
    EXPECT_TRUE(bridge.copyText(QStringLiteral("   "), true));
    EXPECT_TRUE(bridge.copyText(QStringLiteral("\nтекст\n"), false));
    EXPECT_EQ(board.publishedData(QStringLiteral("text/plain")), QStringLiteral("\nтекст\n").toUtf8());

    const QString path = bridge.copyUnmarkedImage(series[0]);
    EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("Screenshot.png"));
    EXPECT_EQ(QFileInfo(QFileInfo(path).dir().path()).dir().path(), bridge.clipboardFolder());
    EXPECT_EQ(board.publishedData(QStringLiteral("image/png")), readAll(path));
    QImage unmarked;
    ASSERT_TRUE(unmarked.loadFromData(readAll(path), "PNG"));
    EXPECT_EQ(unmarked.pixelColor(0, 0), QColor(Qt::red)); // no label, no markers

    board.failWrites = true;
    const int folders = static_cast<int>(entries(bridge.clipboardFolder()).size());
    EXPECT_EQ(errorOf([&] { bridge.copyUnmarkedImage(series[0]); }), QStringLiteral("Буфер обмена недоступен. Попробуйте снова."));
    EXPECT_EQ(entries(bridge.clipboardFolder()).size(), folders);
}

TEST_F(ClipboardBridgeTest, ExpiryRemovesOnlyOldUuidFolders)
{
    const QDir folder(bridge.clipboardFolder());
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    const QString old = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString young = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString edge = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    for (const QString& name : {old, young, edge, QStringLiteral("keep")}) {
        ASSERT_TRUE(folder.mkdir(name));
        QFile inside(folder.filePath(name + QStringLiteral("/A.png")));
        ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto age = [&](const QString& name, qint64 seconds) {
        const qint64 stamp = now.addSecs(-seconds).toSecsSinceEpoch();
        struct timeval times[2] = {{stamp, 0}, {stamp, 0}};
        ASSERT_EQ(::utimes(QFile::encodeName(folder.filePath(name)).constData(), times), 0);
    };
    age(old, 8 * 86400);
    age(QStringLiteral("keep"), 8 * 86400);
    age(young, 86400);
    age(edge, ClipboardBridge::expirySeconds);
    bridge.cleanExpiredFiles(now);
    EXPECT_EQ(entries(folder.path()).size(), 3);
    EXPECT_FALSE(folder.exists(old));
    EXPECT_TRUE(folder.exists(young));
    EXPECT_TRUE(folder.exists(edge));
    EXPECT_TRUE(folder.exists(QStringLiteral("keep")));
}

TEST_F(ClipboardBridgeTest, AFullDiskLeavesNoHalfWrittenFolder)
{
    bridge.prepare(series, TransferMode::chat);
    const TransferPacket before = *bridge.packet();

    // A second temporary root on a tiny file system of its own.
    const QString small = root.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkdir(small));
    if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(small)};

    ClipboardBridge cramped(board, small, [](const Screenshot& shot, const QString&, bool) {
        QImage noise(400, 400, QImage::Format_ARGB32);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 251, (x * y) % 253, (x + y * 31) % 255));
        Q_UNUSED(shot);
        return noise;
    });
    cramped.publish(before, TransferMode::chat);
    const auto published = board.changeCount();
    EXPECT_EQ(errorOf([&] { cramped.prepare(series, TransferMode::chat); }),
              QStringLiteral("Не удалось записать файл «A.png»: на диске нет места."));
    EXPECT_TRUE(entries(cramped.clipboardFolder()).isEmpty());
    EXPECT_EQ(board.changeCount(), published); // the previous publication stands
    EXPECT_EQ(board.publishedData(ClipboardBridge::tokenType()), before.token.toUtf8());
}
