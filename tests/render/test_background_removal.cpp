// BackgroundRemoval: cut-outs with soft edges, refusals, colour spaces and its queue.

#include "RenderTestSupport.h"

#include "platform/SerialQueue.h"
#include "render/BackgroundRemoval.h"

#include <QColorSpace>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// A textured ellipse on a flat background.
struct EllipseScene {
    QImage image;
    QRectF box;

    EllipseScene(int width, int height, int tile)
        : image(canvas(width, height, QColor(236, 236, 236))), box(width * 0.25, height * 0.2, width * 0.5, height * 0.6)
    {
        texturedEllipse(image, box, tile);
    }

    // Pixels well inside the outline unchanged, those well
    // outside invisible, and a soft edge between.
    void expectCutOut(const QImage& result, double insideBelow, double outsideAbove) const
    {
        ASSERT_EQ(result.size(), image.size());
        ASSERT_EQ(result.format(), QImage::Format_RGBA8888_Premultiplied);
        const QImage before = asRgba(image);
        const int w = result.width(), h = result.height();
        int wrongInside = 0, visibleOutside = 0, soft = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                // Below 1 inside the outline, above 1 outside.
                const double r = std::hypot((x + 0.5 - box.center().x()) / (box.width() / 2),
                                            (y + 0.5 - box.center().y()) / (box.height() / 2));
                const uint32_t value = rgba(result, x, y);
                const int alpha = pixel(result, x, y)[3];
                if (r < insideBelow)
                    wrongInside += value != rgba(before, x, y);
                else if (r > outsideAbove)
                    visibleOutside += alpha != 0;
                else
                    soft += alpha > 0 && alpha < 255;
            }
        EXPECT_EQ(wrongInside, 0);
        EXPECT_EQ(visibleOutside, 0);
        EXPECT_GT(soft, 20);
    }
};

} // namespace

TEST(BackgroundRemoval, CutsOutATexturedEllipseWithASoftEdgeAtAnySizeKeepsColourSpacesAndRefusesLeavingTheImageAlone)
{
    const EllipseScene scene(480, 320, 4);
    const QImage first = BackgroundRemoval::remove(scene.image, never);
    scene.expectCutOut(first, 0.97, 1.03);
    // What the canvas showed is what the output gets: the same picture, the same cut-out.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(BackgroundRemoval::remove(scene.image, never), first) << i;
    // Large images are segmented at about a quarter of the size: the outline is a few pixels coarser.
    const EllipseScene large(2400, 1500, 12);
    large.expectCutOut(BackgroundRemoval::remove(large.image, never), 0.95, 1.02);

    // Refusals leave the image alone; colour spaces are kept.
    const QImage uniform = canvas(300, 200, QColor(40, 90, 160));
    const QImage copy = uniform.copy();
    EXPECT_EQ(errorOf([&] { BackgroundRemoval::remove(uniform, never); }), QString("Не удалось найти объект. Фон оставлен без изменений."));
    EXPECT_EQ(uniform, copy);
    EXPECT_THROW(BackgroundRemoval::remove(QImage(), never), TarnwickError);

    EllipseScene p3(240, 160, 4);
    p3.image.setColorSpace(QColorSpace::DisplayP3);
    EXPECT_EQ(BackgroundRemoval::remove(p3.image, never).colorSpace(), QColorSpace(QColorSpace::DisplayP3));

    // Masks scale the premultiplied bytes, and only masks of the image's size apply.
    QImage pair(2, 1, QImage::Format_ARGB32);
    pair.fill(QColor(200, 100, 50, 255));
    const QImage out = BackgroundRemoval::applying(SoftMask{2, 1, {0.5f, 1.0f}}, pair);
    EXPECT_EQ(std::vector<uchar>(out.constScanLine(0), out.constScanLine(0) + 4), (std::vector<uchar>{100, 50, 25, 128}));
    EXPECT_EQ(errorOf([&] { BackgroundRemoval::applying(SoftMask{2, 2, std::vector<float>(4, 1)}, pair); }),
              QString("Не удалось удалить фон. Изображение оставлено без изменений."));
}
