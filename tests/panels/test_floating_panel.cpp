#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelView.h"
#include "panels/PanelDragRegion.h"
#include "series/SeriesTestSupport.h"

#include <QApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

using namespace tarnwick;

TEST(FloatingPanelPlacement, ConstrainedOriginTable)
{
    const QRectF laptop(0, 0, 1440, 875);
    const QRectF external(1440, 0, 1920, 1080);
    const QSizeF panel(180, 191);
    struct Case {
        const char* name;
        QPointF origin;
        QSizeF size;
        QList<QRectF> frames;
        QPointF expected;
    };
    const Case cases[] = {
        {"inside stays", {300, 200}, panel, {laptop}, {300, 200}},
        {"past the right edge", {1400, 200}, panel, {laptop}, {1260, 200}},
        {"past the left edge", {-40, 200}, panel, {laptop}, {0, 200}},
        {"past the top edge", {300, -30}, panel, {laptop}, {300, 0}},
        {"past the bottom edge", {300, 800}, panel, {laptop}, {300, 684}},
        {"far away to the corner", {5000, 5000}, panel, {laptop}, {1260, 684}},
        {"wider and taller than the frame", {50, 50}, {300, 400}, {QRectF(10, 20, 200, 100)}, {10, 20}},
        {"nearest screen wins", {1500, -50}, panel, {laptop, external}, {1500, 0}},
        {"offset frame", {0, 0}, panel, {QRectF(100, 30, 500, 400)}, {100, 30}},
        {"tie goes to the earlier screen", {150, 500}, {100, 100},
         {QRectF(0, 0, 150, 1000), QRectF(250, 0, 150, 1000)}, {50, 500}},
        {"no frames", {-7000, 12.5}, panel, {}, {-7000, 12.5}},
        {"beyond any screen", {1.7e308, -qInf()}, panel, {laptop}, {1260, 0}},
        {"beyond any screen, no frames", {1.7e308, qQNaN()}, panel, {}, {32767, 0}},
    };
    for (const Case& c : cases) {
        const QPointF got = FloatingPanel::constrainedOrigin(c.origin, c.size, c.frames);
        EXPECT_DOUBLE_EQ(got.x(), c.expected.x()) << c.name;
        EXPECT_DOUBLE_EQ(got.y(), c.expected.y()) << c.name;
    }
}

namespace {

// The panel on the series model fixture, with screens the test sets.
class FloatingPanelTest : public test::SeriesModelTest {
protected:
    QList<QRectF> frames{QRectF(0, 0, 1440, 875)};
    std::unique_ptr<FloatingPanel> makePanel(QSettings& preferences)
    {
        return std::make_unique<FloatingPanel>(*model, preferences, [this] { return frames; });
    }
};

} // namespace

TEST_F(FloatingPanelTest, FirstPlacementStoredOriginsAndJunk)
{
    auto panel = makePanel(settings);
    panel->present();
    EXPECT_EQ(panel->pos(), QPoint(1440 - 180 - 14, 875 - 191 - 14));
    EXPECT_TRUE(panel->isVisible());

    struct Case { const char* name; QVariant stored; QPoint expected; };
    const QPoint corner(1246, 670);
    const Case cases[] = {
        {"far away", QVariantList{5000.0, 5000.0}, {1260, 684}},
        {"as read back from the file", QStringList{QStringLiteral("300"), QStringLiteral("200.4")}, {300, 200}},
        {"one number", QVariantList{100.0}, corner},
        {"not a number", QVariantList{100.0, QStringLiteral("x")}, corner},
        {"infinite", QVariantList{qInf(), 10.0}, corner},
        {"beyond any screen", QVariantList{1.7e308, 1.7e308}, corner},
        {"not a list", QStringLiteral("300"), corner},
    };
    for (const Case& c : cases) {
        settings.setValue(QStringLiteral("floatingPanelOrigin"), c.stored);
        auto fresh = makePanel(settings);
        fresh->present();
        EXPECT_EQ(fresh->pos(), c.expected) << c.name;
    }
}

TEST_F(FloatingPanelTest, DragMovesFreelyThenClampsSavesAndSurvivesARestart)
{
    frames << QRectF(1440, 0, 1920, 1080);
    auto panel = makePanel(settings);
    panel->present();
    const QPoint start = panel->pos();
    PanelDragRegion& handle = panel->view().dragRegion();
    auto send = [&](QEvent::Type type, QPointF global, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(5, 5), global, Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&handle, &event);
    };
    send(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
    send(QEvent::MouseMove, {-1900, 130}, Qt::LeftButton);
    EXPECT_EQ(panel->pos(), start + QPoint(-2000, 30)); // no clamping while dragging
    EXPECT_FALSE(settings.contains(QStringLiteral("floatingPanelOrigin")));
    send(QEvent::MouseButtonRelease, {-1900, 130}, Qt::NoButton);
    EXPECT_EQ(panel->pos(), QPoint(0, 684)); // back on the nearest screen

    // A later move onto the second screen, then that screen goes away.
    panel->move(2000, 500);
    panel->rememberPosition();
    settings.sync();
    const QString copy = root.filePath(QStringLiteral("restart.ini"));
    ASSERT_TRUE(QFile::copy(settings.fileName(), copy)); // read back from disk, as by the next run
    QSettings restarted(copy, QSettings::IniFormat);
    auto next = makePanel(restarted);
    next->present();
    EXPECT_EQ(next->pos(), QPoint(2000, 500));
    frames.removeLast();
    next->present();
    EXPECT_EQ(next->pos(), QPoint(1260, 500));
}
