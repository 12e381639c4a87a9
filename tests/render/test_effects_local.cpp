// computeLocal: area blur, pixelation, erase, and the hooks of the other modes.

#include "RenderTestSupport.h"


using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

BlurEffect compute(const Annotation& a, const QImage& source, double shotWidth = 0)
{
    const QSizeF size = source.size();
    return computeLocal(a, source, size, QSizeF(shotWidth > 0 ? shotWidth : size.width(), size.height()), never);
}

// Largest channel difference between the effect and the reference at `at`.
int maxDifference(const QImage& effect, const cv::Mat& reference, const QRect& at)
{
    int worst = 0;
    for (int y = 0; y < at.height(); ++y)
        for (int x = 0; x < at.width(); ++x)
            for (int c = 0; c < 4; ++c) {
                const double want = reference.at<cv::Vec4f>(y + at.y(), x + at.x())[c];
                worst = std::max(worst, static_cast<int>(std::lround(std::abs(pixel(effect, x, y)[c] - want))));
            }
    return worst;
}

} // namespace

TEST(AreaBlur, ChangesOnlyTheRectangleComesBackValidPremultipliedAndMatchesATrueGaussianAlsoAcrossTiles)
{
    QImage source(300, 200, QImage::Format_ARGB32);
    std::mt19937 rng(5);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            source.setPixelColor(x, y, QColor(rng() % 256, rng() % 256, rng() % 256, (x / 10) % 2 ? 255 : rng() % 40));
    const BlurEffect effect = compute(blurElement(BlurMode::area, QRectF(100.4, 50, 99.2, 80)), source);
    EXPECT_EQ(effect.rect, QRectF(100, 50, 100, 80));
    ASSERT_EQ(effect.image.format(), QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < effect.image.height(); ++y)
        for (int x = 0; x < effect.image.width(); ++x) {
            const std::uint8_t* p = pixel(effect.image, x, y);
            ASSERT_LE(std::max({p[0], p[1], p[2]}), p[3]) << x << "," << y;
        }
    // Laid over the shot, it changes nothing outside its rectangle.
    const QImage before = asRgba(source);
    QImage shown = before.copy();
    paint(shown, [&](QPainter& p) { p.drawImage(effect.rect, effect.image); });
    EXPECT_EQ(shown.copy(200, 0, 100, 200), before.copy(200, 0, 100, 200));
    EXPECT_NE(shown.copy(100, 50, 100, 80), before.copy(100, 50, 100, 80));

    // Interior, touching a corner, partly outside; small and large radii (the large
    // one reaches far past the image, which repeats its edge pixels).
    const QImage busy = busyImage(400, 300);
    for (const auto& [rect, width] : {std::pair{QRectF(0, 0, 120, 90), 700.0}, // sigma 14
                                      {QRectF(300, 250, 500, 500), 700.0}, // clipped to 100 × 50
                                      {QRectF(10, 10, 380, 280), 5120.0}}) { // sigma 73, wider than the image
        const BlurEffect result = compute(blurElement(BlurMode::area, rect), busy, width);
        const QRect r = result.rect.toRect();
        // Hard-edged stripes a sigma or two apart are the worst case for the box passes.
        EXPECT_LE(maxDifference(result.image, referenceGaussian(busy, areaBlurRadius(width)), r), 4)
            << rect.x() << "," << rect.y() << " W " << width;
    }

    // Wider than one working tile, at full resolution (sigma 10) and on the reduced
    // grid (sigma 20): the tiles join without a seam.
    const QImage wide = busyImage(2300, 90, 3);
    for (const auto& [region, sigma] : {std::pair{QRect(20, 5, 1250, 80), 10.0}, {QRect(20, 5, 2250, 80), 20.0}}) {
        const QImage blurred = blurredRegion(wide, wide.rect(), region, sigma);
        EXPECT_LE(maxDifference(blurred, referenceGaussian(wide, sigma), region), 4) << sigma;
    }
}

TEST(Pixelate, SquaresOfConstantColourOnAGridFromTheLowerLeftCorner)
{
    // W = 1300 gives 20-pixel squares; the crop is 100 × 70, so the grid, counted from
    // the crop's bottom edge, has its row boundaries at 10, 30 and 50 from the top.
    const QImage source = busyImage(200, 150, 11);
    const BlurEffect effect = compute(blurElement(BlurMode::pixelate, QRectF(40, 30, 100, 70)), source, 1300);
    ASSERT_EQ(effect.image.size(), QSize(100, 70));
    const QImage& out = effect.image;
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 100; ++x) {
            // Every pixel equals the first pixel of its square.
            const int firstY = std::max(0, 70 - ((70 - 1 - y) / 20 + 1) * 20);
            ASSERT_EQ(rgba(out, x, y), rgba(out, x / 20 * 20, firstY)) << x << "," << y;
        }

    // Each square carries the crop blurred by half a square, at the square's centre:
    // square (1, 1) from the lower left has its centre at x = 30, 40 from the top.
    const cv::Mat reference = referenceGaussian(source.copy(40, 30, 100, 70), 10);
    for (int c = 0; c < 4; ++c) {
        const double want = (reference.at<cv::Vec4f>(39, 29)[c] + reference.at<cv::Vec4f>(39, 30)[c]
                             + reference.at<cv::Vec4f>(40, 29)[c] + reference.at<cv::Vec4f>(40, 30)[c]) / 4;
        EXPECT_NEAR(pixel(out, 30, 40)[c], want, 3) << c;
    }
}

TEST(Erase, RebuildsAFlatBackgroundContinuesAGradientAndAtTheImageEdgeBorrowsTheOppositeLine)
{
    const QImage source = asRgba(textImage(400, 200, QStringLiteral("Пароль 123"), 30, {115, 110}, Qt::black, QColor(40, 120, 200)));
    const BlurEffect flat = compute(blurElement(BlurMode::erase, QRectF(100, 50, 200, 100)), source);
    ASSERT_EQ(flat.image.size(), QSize(200, 100));
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(rgba(flat.image, x, y), rgba(source, 0, 0)) << x << "," << y;

    // A horizontal ramp around the area: the patch continues it.
    QImage ramp = asRgba(canvas(300, 100, QColor(0, 0, 90)));
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 300; ++x)
            ramp.scanLine(y)[4 * x] = static_cast<std::uint8_t>(x * 255 / 299);
    const BlurEffect continued = compute(blurElement(BlurMode::erase, QRectF(100, 20, 100, 60)), ramp);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_NEAR(pixel(continued.image, x, y)[0], (100 + x) * 255 / 299, 2) << x << "," << y;

    // The area touches only the top edge: its own top row (noise) must not show;
    // the line below it, striped in runs of 20, stands in for the missing top line.
    QImage edge = asRgba(canvas(200, 100, QColor(100, 100, 100)));
    const QImage noise = busyImage(200, 100, 9);
    for (int y = 0; y < 40; ++y)
        std::copy_n(noise.constScanLine(y) + 4 * 50, 4 * 100, edge.scanLine(y) + 4 * 50);
    for (int x = 0; x < 200; ++x)
        edge.scanLine(40)[4 * x] = (x / 20) % 2 ? 220 : 30;
    const BlurEffect top = compute(blurElement(BlurMode::erase, QRectF(50, 0, 100, 40)), edge);
    for (int y = 1; y < 40; ++y)
        ASSERT_TRUE(std::equal(top.image.constScanLine(y), top.image.constScanLine(y) + 400, top.image.constScanLine(0))) << y;
    // The stripes of the line below come through (median-smoothed at their joins).
    EXPECT_GT(pixel(top.image, 15, 0)[0], pixel(top.image, 5, 0)[0] + 100);

    EXPECT_EQ(errorOf([&] { compute(blurElement(BlurMode::erase, QRectF(-5, -5, 300, 300)), edge); }),
              QStringLiteral("Оставьте вокруг выделения видимый фон для восстановления."));
}

TEST(TextBlur, BlursOnlyTheWordBoxesTheRecogniserGivesAndKeepsACropWithoutWords)
{
    const QImage source = busyImage(300, 200, 13);
    const QRectF area(50, 60, 100, 50);
    {
        HookScope none;
        EXPECT_EQ(errorOf([&] { compute(blurElement(BlurMode::text, area), source); }),
                  QStringLiteral("Размытие текста недоступно: распознавание слов не подключено."));
    }
    QImage seen;
    HookScope words({.wordRegions = [&](const QImage& image, const CancellationTest&) {
        seen = image;
        // x 10 ... 40, y 10 ... 20 from the top of the 100 × 50 crop (origin lower left: 30 ... 40).
        return QVector<QRectF>{QRectF(0.1, 0.6, 0.3, 0.2)};
    }});
    const BlurEffect effect = compute(blurElement(BlurMode::text, area), source);
    EXPECT_EQ(seen, source.copy(50, 60, 100, 50));
    ASSERT_EQ(effect.rect, area);
    auto same = [&](int x, int y) { return rgba(effect.image, x, y) == rgba(seen, x, y); };
    // The box grown by 2 pixels: x 8 ... 42, y 8 ... 22.
    for (auto [x, y] : {std::pair{25, 15}, {8, 8}, {41, 21}})
        EXPECT_FALSE(same(x, y)) << x << "," << y;
    for (auto [x, y] : {std::pair{7, 15}, {25, 22}, {80, 40}})
        EXPECT_TRUE(same(x, y)) << x << "," << y;

    // No words keep the crop with a notice.
    HookScope empty({.wordRegions = [](const QImage&, const CancellationTest&) { return QVector<QRectF>{}; }});
    EXPECT_EQ(compute(blurElement(BlurMode::text, QRectF(10, 10, 60, 40)), source).message, QStringLiteral("Текст в выделении не найден"));
}

TEST(ObjectModes, ReachObjectRemovalOrTheirHooksAndReturnTheirResultUnchanged)
{
    // By default the real object removal answers.
    QImage scene = canvas(400, 300, QColor(128, 128, 128));
    disc(scene, {200, 150}, 30, QColor(220, 30, 30));
    const BlurEffect real = compute(blurElement(BlurMode::objectErase, QRectF(120, 70, 160, 160)), scene);
    EXPECT_EQ(real.message, QStringLiteral("Объект удалён. Проверьте восстановленный фон."));

    const QImage source = busyImage(300, 200, 19);
    QRectF erasedAt;
    bool cancelSeen = false;
    const QImage marker = asRgba(canvas(5, 5, QColor(1, 2, 3)));
    HookScope hooks({.objectErase = [&](const QImage&, const QRectF& rect, const CancellationTest& isCancelled) {
        erasedAt = rect;
        cancelSeen = isCancelled();
        return BlurEffect{marker, QRectF(1, 2, 5, 5), QStringLiteral("Объект не найден")};
    }});
    const BlurEffect erased = computeLocal(blurElement(BlurMode::objectErase, QRectF(10.5, 10, 50, 250)), source,
                                           source.size(), QSizeF(1300, 200), [] { return true; });
    EXPECT_EQ(erasedAt, QRectF(10, 10, 51, 190)); // integral, within the image
    EXPECT_TRUE(cancelSeen);
    EXPECT_EQ(erased.image, marker);
}

TEST(LocalEffects, EmptyOrOutsideAreasAndImpossibleSizesFailWithTheirSentences)
{
    const QImage source = busyImage(100, 80);
    const QString empty = QStringLiteral("Выделенная область пуста.");
    HookScope hooks({.wordRegions = [](const QImage&, const CancellationTest&) { return QVector<QRectF>{}; }});
    for (BlurMode mode : allCases<BlurMode>()) {
        for (const QRectF& rect : {QRectF(10, 10, 0, 30), QRectF(200, 200, 50, 50), QRectF(-60, 10, 50, 20),
                                   QRectF(qQNaN(), 10, 20, 20), QRectF(10, 10, qInf(), 20), QRectF(100, 0, 10, 10)})
            EXPECT_EQ(errorOf([&] { compute(blurElement(mode, rect), source); }), empty)
                << rawValue(mode) << " " << rect.x() << "," << rect.y();
        const Annotation small = blurElement(mode, QRectF(1, 1, 5, 5));
        EXPECT_EQ(errorOf([&] { computeLocal(small, QImage(), QSizeF(100, 80), {}, never); }), empty);
    }
    // Huge but finite coordinates are simply clipped to the image.
    const BlurEffect all = compute(blurElement(BlurMode::area, QRectF(-1e300, -1e300, 2e300, 2e300)), source);
    EXPECT_EQ(all.rect, QRectF(0, 0, 100, 80));

    // Effect bitmaps of impossible sizes are refused; nonsense spreads keep the pixels.
    const QString failure = QStringLiteral("Не удалось подготовить область изображения.");
    EXPECT_EQ(errorOf([] { effectContext(1 << 30, 1 << 30); }), failure);
    EXPECT_EQ(errorOf([] { filteredImage([](const ImageContext&) { return QImage(); }); }),
              QStringLiteral("Не удалось обработать область. Попробуйте другой режим."));

    for (double sigma : {0.0, -4.0, qQNaN()})
        EXPECT_EQ(blurredRegion(source, source.rect(), QRect(5, 5, 20, 10), sigma), source.copy(5, 5, 20, 10)) << sigma;
}
