#include "panels/Theme.h"

#include <QImage>
#include <QPainterPath>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

QVector<QPointF> vertices(const QPainterPath& path)
{
    QVector<QPointF> points;
    for (int i = 0; i < path.elementCount(); ++i)
        points.push_back(path.elementAt(i));
    return points;
}

} // namespace

TEST(FloppyDisk, VerticesOnTheSixteenGrid)
{
    const QVector<QPointF> expected{
        {2, 1}, {12, 1}, {15, 4}, {15, 15}, {1, 15}, {1, 1}, {2, 1}, // outline, closed back to its start
        {4, 1}, {4, 6}, {11, 6}, {11, 1},                             // shutter
        {4, 15}, {4, 10}, {12, 10}, {12, 15},                         // label
    };
    EXPECT_EQ(vertices(FloppyDiskIcon::path(QRectF(0, 0, 16, 16))), expected);

    // A wide rectangle stretches x only.
    const QVector<QPointF> wide = vertices(FloppyDiskIcon::path(QRectF(0, 0, 32, 16)));
    ASSERT_EQ(wide.size(), expected.size());
    for (qsizetype i = 0; i < wide.size(); ++i) {
        EXPECT_DOUBLE_EQ(wide[i].x(), 2 * expected[i].x());
        EXPECT_DOUBLE_EQ(wide[i].y(), expected[i].y());
    }
    // Offset rectangles move every vertex.
    EXPECT_EQ(vertices(FloppyDiskIcon::path(QRectF(10, 20, 16, 16))).front(), QPointF(12, 21));
}

TEST(ThemePalette, FixedColoursAndClamping)
{
    EXPECT_EQ(Theme::colors().size(), 6u);
    EXPECT_EQ(Theme::colors()[4], QColor(Qt::white));
    EXPECT_EQ(Theme::colors()[5], QColor(Qt::black));
    EXPECT_EQ(Theme::paletteColor(-3), Theme::colors()[0]);
    EXPECT_EQ(Theme::paletteColor(42), Theme::colors()[5]);
    EXPECT_EQ(Theme::canvasBackground(), QColor(23, 23, 23));
    EXPECT_NEAR(Theme::marker().greenF(), 0.53, 0.002);
}

TEST(PrimaryButton, DisabledLookWhetherPressedOrNot)
{
    for (bool pressed : {false, true}) {
        const auto look = PrimaryButtonStyle::look(false, pressed);
        EXPECT_NEAR(look.foreground.alphaF(), 0.55, 0.005);
        EXPECT_EQ(look.foreground.rgb(), QColor(Qt::white).rgb());
        EXPECT_NEAR(look.background.alphaF(), 0.3, 0.005);
        EXPECT_EQ(look.background.rgb(), Theme::accent().rgb());
    }
    EXPECT_NEAR(PrimaryButtonStyle::look(true, true).background.alphaF(), 0.8, 0.005);
    EXPECT_NEAR(PrimaryButtonStyle::look(true, false).background.alphaF(), 1.0, 0.005);
}

TEST(PrimaryButton, PaintsTheAccentBehindPaddedWhiteText)
{
    PrimaryButton button(QStringLiteral("Готово"));
    button.resize(button.sizeHint());
    EXPECT_GE(button.width(), QFontMetrics(button.font()).horizontalAdvance(button.text()) + 28);
    const QImage enabled = button.grab().toImage();
    // Away from the rounded corners the fill is the accent colour.
    EXPECT_EQ(QColor(enabled.pixel(10, enabled.height() / 2)).rgb(), Theme::accent().rgb());

    button.setEnabled(false);
    QImage disabled(button.size(), QImage::Format_ARGB32_Premultiplied);
    disabled.fill(Qt::black);
    button.render(&disabled, QPoint(), QRegion(), QWidget::DrawChildren);
    const QColor dim = disabled.pixelColor(10, disabled.height() / 2);
    EXPECT_NEAR(dim.blueF(), 0.3 * Theme::accent().blueF(), 0.02);
}
