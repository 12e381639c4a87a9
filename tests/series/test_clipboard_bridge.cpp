#include "series/SeriesFormat.h"
#include "platform/TarnwickError.h"

#include "SeriesTestSupport.h"
#include "support/PipeWatch.h"

#include <QBuffer>
#include <fcntl.h>
#include <sys/stat.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

const QString unavailable = QStringLiteral("Буфер обмена недоступен. Попробуйте снова.");

QByteArray png(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class ClipboardBridgeTest : public ::testing::Test, public SeriesParts<FakeClipboardBackend> {
protected:
    const QVector<Screenshot> series{shotWithComments({QStringLiteral("x"), QStringLiteral("y")}, Qt::red),
                                     shotWithComments({}, Qt::green), shotWithComments({QStringLiteral("z")}, Qt::blue)};
};

} // namespace

TEST_F(ClipboardBridgeTest, PreparedFolderHoldsLabelledImagesAndCommentFiles)
{
    bridge.prepare(series, TransferMode::chat);
    ASSERT_TRUE(bridge.packet());
    const TransferPacket& packet = *bridge.packet();
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
}

TEST_F(ClipboardBridgeTest, PublishedImagesFilesAndInlinedImages)
{
    bridge.prepare(series, TransferMode::chat);
    const TransferPacket& packet = *bridge.packet();
    EXPECT_EQ(board.publishedData(QStringLiteral("image/png")), readAll(packet.files.front()));
    const QByteArray uris = board.publishedData(QStringLiteral("text/uri-list"));
    EXPECT_TRUE(uris.startsWith(QUrl::fromLocalFile(packet.files[0]).toEncoded() + "\r\n"));
    bridge.publish(packet, TransferMode::combined);
    const QString html = QString::fromUtf8(board.publishedData(QStringLiteral("text/html")));
    EXPECT_EQ(html.count(QStringLiteral("<img alt=")), 3);
    EXPECT_TRUE(html.contains(QString::fromLatin1(readAll(packet.files[2]).toBase64())));
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
    // Any later write counts, even one of ours with the same content.
    ClipboardBridge(board, root.path(), stripeRenderer).publish(*bridge.packet(), TransferMode::chat);
    EXPECT_FALSE(bridge.isCurrent());
}

TEST_F(ClipboardBridgeTest, FailuresLeaveNoFolderAndTheBridgeUnchanged)
{
    bridge.prepare(series, TransferMode::chat);
    const TransferPacket before = *bridge.packet();
    const auto countBefore = bridge.changeCount();
    board.failWrites = true;
    EXPECT_EQ(errorOf([&] { bridge.prepare(series, TransferMode::combined); }), unavailable);
    EXPECT_EQ(entries(bridge.clipboardFolder()), QStringList{QFileInfo(before.directory).fileName()});
    EXPECT_EQ(bridge.changeCount(), countBefore);
    EXPECT_EQ(errorOf([&] { bridge.copyUnmarkedImage(series[0]); }), unavailable);

}

// A prepared series published again later (the last transfer repeated): a named pipe put in the
// place of one of its files would hold the program in open() for good. It is refused at once with
// the file's sentence, and the board keeps what it held.
TEST_F(ClipboardBridgeTest, APipeInThePlaceOfAPreparedFileIsRefusedAtOnce)
{
    bridge.prepare(series, TransferMode::chat);
    const TransferPacket packet = *bridge.packet();
    const QByteArray published = board.publishedData(QStringLiteral("image/png"));
    ASSERT_TRUE(QFile::remove(packet.files[0]));
    ASSERT_EQ(::mkfifo(QFile::encodeName(packet.files[0]).constData(), 0600), 0);
    PipeWatch watch({packet.files[0]});
    EXPECT_EQ(errorOf([&] { bridge.publish(packet, TransferMode::chat); }), QStringLiteral("Не удалось прочитать файл снимка A.png."));
    EXPECT_FALSE(watch.stop()) << "the pipe was opened and waited on";
    EXPECT_EQ(board.publishedData(QStringLiteral("image/png")), published);
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
    EXPECT_TRUE(html.contains("&lt;/script&gt; {\\rtf1\\b bold} &amp; &quot;q&quot;<br>"));
    EXPECT_TRUE(board.publishedData(QStringLiteral("text/rtf")).contains("\\{\\\\rtf1\\\\b bold\\}"));
    EXPECT_EQ(board.publishedData(QStringLiteral("text/plain")), (QStringLiteral("A1 ") + hostile).toUtf8());
}

TEST_F(ClipboardBridgeTest, SingleItemCopies)
{
    EXPECT_FALSE(bridge.copyText(QStringLiteral("  \n "), false));
    EXPECT_EQ(board.publications(), 0);
    EXPECT_TRUE(bridge.copyText(QStringLiteral("\nтекст\n"), false));
    EXPECT_EQ(board.publishedData(QStringLiteral("text/plain")), QStringLiteral("\nтекст\n").toUtf8());

    const QString path = bridge.copyUnmarkedImage(series[0]);
    QImage unmarked;
    ASSERT_TRUE(unmarked.loadFromData(readAll(path), "PNG"));
    EXPECT_EQ(unmarked.pixelColor(0, 0), QColor(Qt::red)); // no label, no markers
}

TEST_F(ClipboardBridgeTest, ExpiryRemovesOnlyOldUuidFoldersAndLinksByTheirOwnAge)
{
    const QDir folder(bridge.clipboardFolder());
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto uuid = [] { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); };
    const auto age = [&](const QString& path, qint64 seconds) {
        const qint64 stamp = now.addSecs(-seconds).toSecsSinceEpoch();
        const struct timespec times[2] = {{stamp, 0}, {stamp, 0}};
        return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
    };
    // Links lead to folders outside, a fresh one and an old one, each with a file: only a link may go.
    QTemporaryDir outside, oldOutside;
    for (const QTemporaryDir* target : {&outside, &oldOutside})
        ASSERT_TRUE(QFile(target->filePath(QStringLiteral("keep.png"))).open(QIODevice::WriteOnly));
    ASSERT_TRUE(age(oldOutside.path(), 9 * 86400));
    // Name → age in seconds; only the UUID-named entries past the limit go, a link by its own age.
    const QString old = uuid(), other = uuid(), oldLink = uuid(), newLink = uuid();
    const std::pair<QString, qint64> ages[] = {{old, 8 * 86400}, {QStringLiteral("keep"), 8 * 86400},
                                               {other + QStringLiteral(".png"), 8 * 86400}, {uuid(), ClipboardBridge::expirySeconds}};
    for (const auto& [name, seconds] : ages) {
        ASSERT_TRUE(folder.mkdir(name));
        QFile inside(folder.filePath(name + QStringLiteral("/A.png")));
        ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
        ASSERT_TRUE(age(folder.filePath(name), seconds));
    }
    for (const auto& [name, target, seconds] : {std::tuple{oldLink, outside.path(), 8 * 86400},
                                                std::tuple{newLink, oldOutside.path(), 60}}) {
        ASSERT_TRUE(QFile::link(target, folder.filePath(name)));
        ASSERT_TRUE(age(folder.filePath(name), seconds));
    }
    bridge.cleanExpiredFiles(now);
    EXPECT_EQ(entries(folder.path()).size(), 4);
    EXPECT_FALSE(folder.exists(old));
    EXPECT_FALSE(QFileInfo(folder.filePath(oldLink)).isSymLink());
    EXPECT_TRUE(QFileInfo(folder.filePath(newLink)).isSymLink());
    for (const QTemporaryDir* target : {&outside, &oldOutside})
        EXPECT_EQ(entries(target->path()), QStringList{QStringLiteral("keep.png")});

    // A clipboard folder that is a link is not walked at all.
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral("elsewhere/") + old));
    ASSERT_TRUE(age(home.filePath(QStringLiteral("elsewhere/") + old), 8 * 86400));
    ASSERT_TRUE(QFile::link(home.filePath(QStringLiteral("elsewhere")), home.filePath(QStringLiteral("Tarnwick-Clipboard"))));
    ClipboardBridge(board, home.path(), stripeRenderer).cleanExpiredFiles(now);
    EXPECT_EQ(entries(home.filePath(QStringLiteral("elsewhere"))), QStringList{old});
}

TEST(SeriesFormatTest, TextsAreKeptAsStoredAndShotsPastZShareTheQuestionMark)
{
    const QVector<Screenshot> shots{shotWithComments({QString(), QStringLiteral("a*b <c> & d\nвторая")})};
    EXPECT_EQ(SeriesFormat::plainText(shots), QStringLiteral("A1 \nA2 a*b <c> & d\nвторая"));
    EXPECT_EQ(SeriesFormat::markdown(shots), QStringLiteral("**A1** \n\n**A2** a*b <c> & d\nвторая"));
    QVector<Screenshot> many(27, shotWithComments({}));
    many[26] = shotWithComments({QStringLiteral("q"), QStringLiteral("r")});
    EXPECT_EQ(SeriesFormat::plainText(many), QStringLiteral("?1 q\n?2 r"));
}

TEST(TransferContentTest, RtfEscapesEverythingOutsideAsciiAndLeavesOutBrokenImages)
{
    const QByteArray rtf = TransferContent::rtf({{QStringLiteral("A1"), QStringLiteral("Привет {\\par}\nёж 😀")}}, {});
    for (char c : rtf)
        ASSERT_LT(static_cast<unsigned char>(c), 128u);
    EXPECT_TRUE(rtf.contains("\\u1055?")); // П
    EXPECT_TRUE(rtf.contains("\\u-10179?\\u-8704?")); // 😀 as a surrogate pair
    EXPECT_TRUE(TransferContent::rtf({}, {png(1800, 400)}).contains("\\picwgoal18000\\pichgoal4000")); // 900 pt wide
    EXPECT_FALSE(TransferContent::rtf({}, {QByteArray("not a png")}).contains("\\pict"));
}
