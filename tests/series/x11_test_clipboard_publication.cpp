#include "platform/QtClipboardBackend.h"
#include "series/ClipboardBridge.h"
#include "support/X11Client.h"

#include "SeriesTestSupport.h"

#include <QFile>
#include <QSet>
#include <gtest/gtest.h>

using namespace tarnwick;
using tarnwick::test::runProcess;
using tarnwick::test::shotWithComments;
using tarnwick::test::waitUntil;
using tarnwick::test::xclipRead;
using tarnwick::test::xclipTargets;

namespace {

class ClipboardPublication : public ::testing::Test, public tarnwick::test::SeriesParts<platform::QtClipboardBackend> {
protected:
    const QVector<Screenshot> series{shotWithComments({QStringLiteral("первый <b>")}, Qt::red),
                                     shotWithComments({QStringLiteral("второй")}, Qt::blue)};
};

const QSet<QString> imageTypes{QStringLiteral("image/png"), QStringLiteral("text/uri-list"),
                               QStringLiteral("x-special/gnome-copied-files"), QStringLiteral("com.tarnwick.series-token")};
// Qt answers text/plain under the classic X text targets as well.
const QSet<QString> textTypes{QStringLiteral("text/plain"), QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("UTF8_STRING"),
                              QStringLiteral("STRING"), QStringLiteral("TEXT"), QStringLiteral("text/html"), QStringLiteral("text/rtf")};

} // namespace

TEST_F(ClipboardPublication, EveryModeOffersExactlyItsTargets)
{
    // Text asked for directly, as a GTK text field does, is none in the image modes.
    const auto expectNoText = [] {
        for (const char* target : {"UTF8_STRING", "STRING", "TEXT", "text/plain"})
            EXPECT_TRUE(xclipRead(QString::fromLatin1(target)).isEmpty()) << target;
    };
    bridge.prepare(series, TransferMode::chat);
    EXPECT_EQ(xclipTargets(), imageTypes);
    expectNoText();
    bridge.publish(*bridge.packet(), TransferMode::images);
    EXPECT_EQ(xclipTargets(), imageTypes);
    expectNoText();
    bridge.publish(*bridge.packet(), TransferMode::combined);
    EXPECT_EQ(xclipTargets(), imageTypes + textTypes);
    bridge.publish(*bridge.packet(), TransferMode::comments);
    EXPECT_EQ(xclipTargets(), QSet<QString>{QStringLiteral("com.tarnwick.series-token")} + textTypes);
    EXPECT_EQ(QString::fromUtf8(xclipRead(QStringLiteral("text/plain;charset=utf-8"))), QStringLiteral("A1 первый <b>\nB1 второй"));
    EXPECT_TRUE(xclipRead(QStringLiteral("text/html")).contains("&lt;b&gt;"));
}

TEST_F(ClipboardPublication, ImagesAndFilesReachAnotherClient)
{
    bridge.prepare(series, TransferMode::chat);
    QImage first;
    ASSERT_TRUE(first.loadFromData(xclipRead(QStringLiteral("image/png")), "PNG"));
    EXPECT_EQ(first.pixelColor(20, 20), QColor(Qt::red));

    const QList<QByteArray> lines = xclipRead(QStringLiteral("text/uri-list")).split('\n');
    ASSERT_GE(lines.size(), 2);
    const QStringList files{QUrl::fromEncoded(lines[0].trimmed()).toLocalFile(), QUrl::fromEncoded(lines[1].trimmed()).toLocalFile()};
    EXPECT_TRUE(files[0].endsWith(QStringLiteral("/A.png")));
    EXPECT_TRUE(files[1].endsWith(QStringLiteral("/B.png")));
    for (const QString& file : files)
        EXPECT_TRUE(QFile::exists(file)) << file.toStdString();
}

TEST_F(ClipboardPublication, AnotherOwnerEndsIsCurrent)
{
    bridge.prepare(series, TransferMode::chat);
    ASSERT_TRUE(bridge.isCurrent());
    ASSERT_EQ(runProcess(QStringLiteral("sh"),
                         {QStringLiteral("-c"), QStringLiteral("printf other | xclip -selection clipboard -i >/dev/null 2>&1")}),
              0);
    EXPECT_TRUE(waitUntil([&] { return !bridge.isCurrent(); }, std::chrono::milliseconds(3000)));
    EXPECT_EQ(xclipRead(QStringLiteral("UTF8_STRING")), QByteArray("other"));
}
