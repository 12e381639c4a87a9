#include "app/CapturedImage.h"
#include "app/SeriesExport.h"
#include "render/ScreenshotRenderer.h"
#include "series/ClipboardBridge.h"
#include "support/FakeClipboardBackend.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;

// The clipboard's series file (its image/png), an unmarked copy and the series
// folder's file all reopen (as --open-image does) at the scale the shot was
// taken at, so the ruler reads the same in points.
TEST(PngScale, EveryWrittenShotReopensAtItsScale)
{
    QTemporaryDir dir;
    test::FakeClipboardBackend board;
    ClipboardBridge bridge(board, dir.path(), &ScreenshotRenderer::render);
    QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::darkCyan);
    Annotation ruler;
    ruler.rulerUnit = RulerUnit::pt;
    ruler.end = QPointF(100, 0);
    const auto reopened = [](const QString& path) {
        return CapturedImage::read(path).value_or(CapturedImage{{}, -1}).pixelsPerPoint;
    };
    for (const double scale : {1.0, 1.25, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        const Screenshot shot = Screenshot::make(image, scale);
        bridge.prepare({shot}, TransferMode::chat);
        EXPECT_EQ(reopened(bridge.packet()->files.value(0)), scale);
        EXPECT_EQ(reopened(bridge.copyUnmarkedImage(shot)), scale);
        const QString series = SeriesExport::write({shot}, dir.path(), [scale] { return QString::number(scale); });
        ruler.pixelsPerPoint = reopened(QDir(series).filePath(QStringLiteral("A.png")));
        EXPECT_DOUBLE_EQ(ruler.rulerDistance(), 100 / scale);
    }
}
