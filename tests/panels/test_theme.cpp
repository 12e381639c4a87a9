#include "panels/Theme.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace tarnwick;

TEST(PrimaryButton, PaintsTheAccentBehindPaddedTextDimmedWhenDisabledPressedOrNot)
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
    EXPECT_NEAR(disabled.pixelColor(10, disabled.height() / 2).blueF(), 0.3 * Theme::accent().blueF(), 0.02);
    const auto pressed = PrimaryButtonStyle::look(false, true), released = PrimaryButtonStyle::look(false, false);
    EXPECT_EQ(pressed.background, released.background);
    EXPECT_EQ(pressed.foreground, released.foreground);
    EXPECT_NE(PrimaryButtonStyle::look(true, true).background, PrimaryButtonStyle::look(true, false).background);
    // Palette indices outside the palette are clamped into it.
    EXPECT_EQ(Theme::paletteColor(-3), Theme::colors().front());
    EXPECT_EQ(Theme::paletteColor(42), Theme::colors().back());
}

TEST(PrimaryButton, ItsThirteenPointsAreThirteenPixelsLikeTheTitles)
{
    // A point of the interface is a device-independent pixel, whatever the screen's DPI says.
    PrimaryButton button(QStringLiteral("Готово"));
    const QFont title = Theme::font(13, QFont::DemiBold);
    EXPECT_EQ(QFontInfo(button.font()).pixelSize(), 13);
    EXPECT_EQ(QFontMetrics(button.font()).height(), QFontMetrics(title).height());
    EXPECT_EQ(QFontMetrics(button.font()).horizontalAdvance(button.text()), QFontMetrics(title).horizontalAdvance(button.text()));
}
