#pragma once

// Shared scenes, builders and pixel measures of the render tests.

#include "render/LayerEffects.h"
#include "render/LocalEffects.h"
#include "render/ScreenshotComposition.h"
#include "render/ScreenshotRenderer.h"
#include "series/Screenshot.h"
#include "platform/TarnwickError.h"
#include "support/Errors.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QtEndian>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <climits>
#include <cstring>
#include <map>
#include <opencv2/imgproc.hpp>
#include <random>

namespace tarnwick::testing {

using tarnwick::test::errorOf;

inline const CancellationTest never = [] { return false; };

// ---- pictures ----

inline QImage canvas(int width, int height, QColor fill = Qt::white)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

inline SharedImage solidImage(int width, int height, QColor color) { return std::make_shared<QImage>(canvas(width, height, color)); }

inline QImage asRgba(const QImage& image) { return image.convertToFormat(QImage::Format_RGBA8888_Premultiplied); }

// Hard edges and noise in every channel, opaque, in the effect format.
inline QImage busyImage(int w, int h, unsigned seed = 7)
{
    std::mt19937 rng(seed);
    QImage image(w, h, QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto v = static_cast<std::uint8_t>(((x / 37 + y / 23) % 2) * 255);
            const std::array<std::uint8_t, 4> p{v, static_cast<std::uint8_t>(rng() % 256), static_cast<std::uint8_t>(255 - v), 255};
            std::copy(p.begin(), p.end(), image.scanLine(y) + 4 * x);
        }
    return image;
}

inline void paint(QImage& target, const std::function<void(QPainter&)>& fn)
{
    QPainter painter(&target);
    fn(painter);
}

// A canvas with fn painted on it.
inline QImage painted(int width, int height, QColor fill, const std::function<void(QPainter&)>& fn)
{
    QImage image = canvas(width, height, fill);
    paint(image, fn);
    return image;
}

inline void disc(QImage& image, QPointF centre, double radius, QColor colour)
{
    paint(image, [&](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(centre, radius, radius);
    });
}

// An ellipse filled with many-coloured small tiles.
inline void texturedEllipse(QImage& image, const QRectF& box, int tile)
{
    paint(image, [&](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addEllipse(box);
        p.setClipPath(path);
        std::mt19937 random(7);
        std::uniform_int_distribution<int> channel(20, 200);
        for (int y = static_cast<int>(box.top()); y < box.bottom(); y += tile)
            for (int x = static_cast<int>(box.left()); x < box.right(); x += tile)
                p.fillRect(QRect(x, y, tile, tile), QColor(channel(random), channel(random), channel(random)));
    });
}

// The font every text picture of these tests is drawn in.
inline QFont sans(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

inline QImage textImage(int w, int h, const QString& text, int pixelSize, QPointF baseline, QColor ink = Qt::black,
                        QColor paper = Qt::white)
{
    QImage image = canvas(w, h, paper);
    paint(image, [&](QPainter& p) {
        p.setFont(sans(pixelSize));
        p.setPen(ink);
        p.drawText(baseline, text);
    });
    return image;
}

// ---- the `tesseract` command ----

// What the `tesseract` command reads off a picture, folded to single blanks.
inline QString commandReading(const QImage& image)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shot.png"));
    EXPECT_TRUE(image.save(path));
    QProcess tesseract;
    // OpenMP's threads wait for each other by spinning: beside other work one reading then
    // takes minutes instead of a second.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    tesseract.setProcessEnvironment(env);
    tesseract.start(QStringLiteral("tesseract"), {path, QStringLiteral("-"), QStringLiteral("-l"), QStringLiteral("rus+eng")});
    EXPECT_TRUE(tesseract.waitForFinished(600000));
    return QString::fromUtf8(tesseract.readAllStandardOutput()).simplified();
}


// ---- pixels ----

// The bytes of a pixel of an image in the effect format.
inline const std::uint8_t* pixel(const QImage& rgba, int x, int y) { return rgba.constScanLine(y) + 4 * x; }
inline uint32_t rgba(const QImage& image, int x, int y) { return qFromUnaligned<uint32_t>(pixel(image, x, y)); }

inline void forEachPixel(const QImage& image, QRect area, const std::function<void(int, int, QRgb)>& fn)
{
    area = area.isNull() ? image.rect() : area;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            fn(x, y, image.pixel(x, y));
}

// Bounding box of the pixels that satisfy the predicate; empty when none does.
inline QRect boundsWhere(const QImage& image, const std::function<bool(QRgb)>& predicate, QRect area = {})
{
    QRect bounds;
    forEachPixel(image, area, [&](int x, int y, QRgb c) {
        if (predicate(c))
            bounds |= QRect(x, y, 1, 1);
    });
    return bounds;
}

inline int countWhere(const QImage& image, const std::function<bool(QRgb)>& predicate, QRect area = {})
{
    int n = 0;
    forEachPixel(image, area, [&](int, int, QRgb c) { n += predicate(c) ? 1 : 0; });
    return n;
}

inline int maxChannelDifference(const QImage& a, const QImage& b, QRect area = {})
{
    int worst = 0;
    forEachPixel(a, area, [&](int x, int y, QRgb p) {
        const QRgb q = b.pixel(x, y);
        worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q)),
                          std::abs(qAlpha(p) - qAlpha(q))});
    });
    return worst;
}

inline bool near(QRgb pixel, QColor color, int tolerance = 12)
{
    return std::abs(qRed(pixel) - color.red()) <= tolerance && std::abs(qGreen(pixel) - color.green()) <= tolerance
        && std::abs(qBlue(pixel) - color.blue()) <= tolerance && std::abs(qAlpha(pixel) - color.alpha()) <= tolerance;
}

inline bool dark(QRgb pixel) { return qAlpha(pixel) > 128 && qGray(pixel) < 100; }

// A true Gaussian over the whole image, edges repeated, in floating point.
inline cv::Mat referenceGaussian(const QImage& image, double sigma)
{
    cv::Mat wrapped(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.constBits()),
                    static_cast<size_t>(image.bytesPerLine()));
    cv::Mat source, blurred;
    wrapped.convertTo(source, CV_32F);
    const int k = 2 * static_cast<int>(std::ceil(4 * sigma)) + 1;
    cv::GaussianBlur(source, blurred, cv::Size(k, k), sigma, sigma, cv::BORDER_REPLICATE);
    return blurred;
}

// ---- elements and drawing ----

inline Annotation element(AnnotationTool kind, QPointF start = {}, QPointF end = {})
{
    Annotation a;
    a.id = QUuid::createUuid();
    a.kind = kind;
    a.start = start;
    a.end = end;
    a.fontSize = 24;
    return a;
}

inline Annotation blurElement(BlurMode mode, const QRectF& rect)
{
    Annotation a = element(AnnotationTool::blur, rect.topLeft(), rect.bottomRight());
    a.blurMode = mode;
    return a;
}

inline Annotation arrowElement(QPointF start, QPointF end, double width = 8)
{
    Annotation a = element(AnnotationTool::arrow, start, end);
    a.strokeWidth = width;
    a.customColor = SampledColor{0, 0, 0, 255};
    return a;
}

inline Annotation commentAt(QPointF point, const QString& text = QStringLiteral("заметка"))
{
    Annotation a = element(AnnotationTool::comment, point, point);
    a.text = text;
    return a;
}

inline Annotation imageLayer(const QRectF& rect, QColor color)
{
    Annotation a = element(AnnotationTool::image, rect.topLeft(), rect.bottomRight());
    a.embeddedImage = solidImage(static_cast<int>(rect.width()), static_cast<int>(rect.height()), color);
    return a;
}

// Arguments drawing the annotations over a picture of its own size.
inline ScreenshotRenderer::DrawArguments arguments(const QImage& picture, QVector<Annotation> annotations)
{
    ScreenshotRenderer::DrawArguments a;
    a.image = picture;
    a.size = picture.size();
    a.annotations = std::move(annotations);
    return a;
}

// draw() of the arguments on a copy of target.
inline QImage drawn(const QImage& target, const ScreenshotRenderer::DrawArguments& arguments)
{
    QImage out = target.copy();
    QPainter painter(&out);
    ScreenshotRenderer::draw(painter, arguments);
    return out;
}

inline QImage drawn(const QImage& picture, QVector<Annotation> annotations)
{
    return drawn(picture, arguments(picture, std::move(annotations)));
}

// A stand-in effect engine: results per element id; a missing id is pending.
struct FakeEffects : EffectLookup {
    std::optional<EffectResult> cached(const Annotation& annotation) override
    {
        ++lookups;
        auto it = results.find(annotation.id);
        return it == results.end() ? std::nullopt : std::optional<EffectResult>(it->second);
    }
    void succeed(const Annotation& a, QColor colour)
    {
        const QImage image = canvas(static_cast<int>(a.rect().width()), static_cast<int>(a.rect().height()), colour);
        results.insert_or_assign(a.id, EffectResult::success({image, a.rect(), std::nullopt}));
    }
    void fail(const Annotation& a)
    {
        results.insert_or_assign(a.id, EffectResult::failure(std::make_exception_ptr(TarnwickError::message("Сбой"))));
    }
    std::map<QUuid, EffectResult> results;
    int lookups = 0;
};

// ---- effects, their queue and scenes ----

// Restores the process-wide effect hooks when a test ends.
class HookScope {
public:
    explicit HookScope(LocalEffectHooks hooks = {}) : saved_(localEffectHooks()) { setLocalEffectHooks(std::move(hooks)); }
    ~HookScope() { setLocalEffectHooks(saved_); }
    HookScope(const HookScope&) = delete;
    HookScope& operator=(const HookScope&) = delete;

private:
    LocalEffectHooks saved_;
};

// Object modes held on the effects queue until the test lets them go, so a test can
// look at the queue standing still. Erase answers a 2 × 2 patch with a notice,
// pixelate the plain pixelation. The hooks share the ownership, so a job still
// unwinding outlives the test.
struct HeldObjectModes : std::enable_shared_from_this<HeldObjectModes> {
    std::atomic<bool> released{false}, honourCancel{true}, onGuiThread{false};
    std::atomic<int> started{0}, finished{0}, cancelled{0};

    void hold(const CancellationTest& isCancelled)
    {
        onGuiThread = onGuiThread || QThread::currentThread() == QCoreApplication::instance()->thread();
        ++started;
        while (!released) {
            if (honourCancel && isCancelled()) {
                ++cancelled;
                throw CancellationError();
            }
            QThread::msleep(1);
        }
        ++finished;
    }
    LocalEffectHooks hooks()
    {
        LocalEffectHooks h;
        h.objectErase = [self = shared_from_this()](const QImage&, const QRectF& rect, const CancellationTest& isCancelled) {
            self->hold(isCancelled);
            return BlurEffect{asRgba(canvas(2, 2, QColor(9, 9, 9))), rect, QStringLiteral("Объект не найден, удалена вся область")};
        };
        h.objectPixelate = [self = shared_from_this()](const QImage& image, const QRectF& rect, double block,
                                                       const CancellationTest& isCancelled) {
            self->hold(isCancelled);
            return BlurEffect{pixelatedCrop(image.copy(rect.toRect()), block), rect, std::nullopt};
        };
        return h;
    }
};

// Runs the GUI thread's events until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()>& condition, int milliseconds = 20000)
{
    return QTest::qWaitFor(condition, milliseconds);
}

// Runs one small job through the effects queue and waits for its notice: every job
// queued before it has ended by then, and its notices have been delivered.
inline void drainEffects()
{
    const QImage tiny = asRgba(canvas(8, 8));
    auto probe = ScreenshotEffects::create(tiny, tiny.size(), QPointF(0, 0), tiny.size());
    bool done = false;
    probe->setObserver(QUuid::createUuid(), [&] { done = true; });
    probe->prepare({blurElement(BlurMode::pixelate, QRectF(0, 0, 8, 8))});
    if (!waitUntil([&] { return done; }))
        ADD_FAILURE() << "the effects queue did not drain";
}

inline std::shared_ptr<ScreenshotComposition> compositionOf(const QImage& image)
{
    return std::make_shared<ScreenshotComposition>(image, QSizeF(image.size()));
}

inline std::shared_ptr<LayerEffectStack> stackOf(const RenderScene& scene)
{
    return std::dynamic_pointer_cast<LayerEffectStack>(scene.effects->ordered());
}

inline Screenshot shotOf(const QImage& image, QVector<Annotation> annotations = {})
{
    Screenshot shot = Screenshot::make(image, 2);
    shot.annotations = std::move(annotations);
    return shot;
}

// The canvas's road: the scene of the shot's canvas, its blurs prepared and drawn
// once every job has finished.
inline QImage drawnOnCanvas(const Screenshot& shot)
{
    RenderScene scene = shot.composition->scene(shot.annotations, shot.canvasRect);
    scene.effects->prepare(shot.annotations);
    waitUntil([&] { return !scene.effects->readiness(shot.annotations).pending; });
    QImage out = canvas(static_cast<int>(shot.canvasRect.width()), static_cast<int>(shot.canvasRect.height()), Qt::transparent);
    QPainter painter(&out);
    painter.translate(-shot.canvasRect.topLeft());
    auto args = arguments(scene.background, shot.annotations);
    args.size = shot.pixelSize;
    args.effects = scene.effects.get();
    args.imageFrame = shot.canvasRect;
    ScreenshotRenderer::draw(painter, args);
    return out;
}

} // namespace tarnwick::testing
