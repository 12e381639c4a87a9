#include "series/Screenshot.h"

#include "series/Geometry.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using T = AnnotationTool;

namespace {

Annotation element(T kind, QPointF start, QPointF end, const QString& text = {})
{
    Annotation a;
    a.id = QUuid::createUuid();
    a.kind = kind;
    a.start = start;
    a.end = end;
    a.text = text;
    a.strokeWidth = 4;
    return a;
}

QVector<QUuid> ids(const QVector<Annotation>& list)
{
    QVector<QUuid> out;
    for (const Annotation& a : list)
        out << a.id;
    return out;
}

const QSizeF pixels(1000, 800);

} // namespace

TEST(Visibility, CommentsCountOnlyByTheirPoint)
{
    const QRectF crop(100, 100, 200, 200);
    Annotation outside = element(T::comment, {99, 150}, {99, 150});
    Annotation inside = element(T::comment, {100, 150}, {100, 150});
    Annotation onFarEdge = element(T::comment, {300, 150}, {300, 150}); // half-open rectangle
    EXPECT_EQ(ids(Screenshot::visibleAnnotations({outside, inside, onFarEdge}, crop, pixels)), QVector<QUuid>{inside.id});
}

TEST(Visibility, HalfTheStrokeCountsAndDefaultsToTheImageWidth)
{
    const QRectF crop(100, 100, 200, 200);
    Annotation arrow = element(T::arrow, {150, 98}, {200, 98}); // 2 px above, stroke 4 reaches it
    Annotation far = element(T::arrow, {150, 97}, {200, 97});
    Annotation blur = element(T::blur, {150, 95}, {200, 99.5}); // no stroke: 0.5 px short
    EXPECT_EQ(ids(Screenshot::visibleAnnotations({arrow, far, blur}, crop, pixels)), QVector<QUuid>{arrow.id});

    // Stroke 0 uses max(width / 300, 3): 3000 px wide gives 10, reaching 5 px out.
    Annotation thin = element(T::rectangle, {10, 10}, {96, 96});
    thin.strokeWidth = 0;
    EXPECT_TRUE(Screenshot::visibleAnnotations({thin}, crop, pixels).isEmpty());
    EXPECT_EQ(Screenshot::visibleAnnotations({thin}, crop, QSizeF(3000, 800)).size(), 1);
}

TEST(Visibility, MagnifierSourceRevealsOnlyWhatLiesBelow)
{
    const QRectF crop(0, 0, 300, 300);
    Annotation below = element(T::rectangle, {600, 600}, {650, 650});
    Annotation lens = element(T::magnifier, {100, 100}, {200, 200});
    lens.magnifierSource = QRectF(590, 590, 80, 80);
    Annotation above = element(T::rectangle, {610, 610}, {620, 620});
    const auto visible = Screenshot::visibleAnnotations({below, lens, above}, crop, pixels);
    EXPECT_EQ(ids(visible), (QVector<QUuid>{below.id, lens.id}));
}

TEST(Visibility, ShotCommentsFollowTheCrop)
{
    Screenshot shot;
    shot.pixelSize = pixels;
    Annotation a = element(T::comment, {10, 10}, {10, 10}, QStringLiteral("a"));
    Annotation arrow = element(T::arrow, {0, 0}, {5, 5});
    Annotation b = element(T::comment, {500, 500}, {500, 500}, QStringLiteral("b"));
    shot.annotations = {a, arrow, b};
    EXPECT_EQ(ids(shot.comments()), (QVector<QUuid>{a.id, b.id}));
    shot.setCropRectOnly(QRectF(400, 400, 200, 200));
    EXPECT_EQ(ids(shot.comments()), QVector<QUuid>{b.id});
}

TEST(ShotLabels, LettersThenQuestionMark)
{
    EXPECT_EQ(shotLabel(0), QStringLiteral("A"));
    EXPECT_EQ(shotLabel(25), QStringLiteral("Z"));
    EXPECT_EQ(shotLabel(26), QStringLiteral("?"));
}

TEST(Navigation, FitsInsideTheInsetAndLimitsThePan)
{
    CanvasNavigation nav;
    const QRectF bounds(0, 0, 856, 656);
    const QRectF fitted = nav.imageRect(bounds, QRectF(0, 0, 1600, 1200));
    EXPECT_NEAR(fitted.width(), 800, 1e-9);
    EXPECT_NEAR(fitted.height(), 600, 1e-9);
    EXPECT_NEAR(fitted.center().x(), 428, 1e-9);

    nav.pan = QSizeF(500, -500);
    EXPECT_TRUE(geo::same(nav.imageRect(bounds, QRectF(0, 0, 1600, 1200)), fitted)); // fits: no shift

    nav.zoom = 2; // 1600 × 1200 in an 800 × 600 inset: slack 400 × 300
    const QRectF zoomed = nav.imageRect(bounds, QRectF(0, 0, 1600, 1200));
    EXPECT_NEAR(zoomed.left(), 428 - 800 + 400, 1e-9);
    EXPECT_NEAR(zoomed.top(), 328 - 600 - 300, 1e-9);
}
