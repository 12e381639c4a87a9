#include "app/CapturedImage.h"
#include "app/SeriesExport.h"
#include "series/ClipboardBridge.h"
#include "support/FakeClipboardBackend.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;

// The clipboard's image/png, the series folder's file and an unmarked copy all
// reopen (as --open-image does) at the scale the shot was taken at, so the
// ruler reads the same in points.
TEST(PngScale, EveryWrittenShotReopensAtItsScale)
{
    QTemporaryDir dir;
    test::FakeClipboardBackend board;
    ClipboardBridge bridge(board, dir.path());
    QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::darkCyan);
    Annotation ruler;
    ruler.rulerUnit = RulerUnit::pt;
    ruler.end = QPointF(100, 0);
    const auto reopened = [](const QString& path) {
        const std::optional<CapturedImage> c = CapturedImage::read(path);
        return c ? c->pixelsPerPoint : -1;
    };
    for (const double scale : {1.0, 1.25, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        const Screenshot shot = Screenshot::make(image, scale);
        bridge.prepare({shot}, TransferMode::chat);
        const QString series = SeriesExport::write({shot}, dir.path(), [scale] { return QString::number(scale); });
        const QByteArray pasted = board.publishedData(QStringLiteral("image/png"));
        bridge.copyUnmarkedImage(shot);
        for (const QByteArray& png : {pasted, board.publishedData(QStringLiteral("image/png"))}) {
            QFile file(dir.filePath(QStringLiteral("reopened.png")));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(png) == png.size());
            file.close();
            EXPECT_EQ(reopened(file.fileName()), scale);
        }
        ruler.pixelsPerPoint = reopened(QDir(series).filePath(QStringLiteral("A.png")));
        EXPECT_DOUBLE_EQ(ruler.rulerDistance(), 100 / scale);
    }
}
