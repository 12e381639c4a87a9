#pragma once

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QPalette>
#include <QPushButton>
#include <QRectF>
#include <array>

namespace tarnwick {

// The shared colours of every window and of the annotation palette.
namespace Theme {
// X11 has no system-wide accent colour, so Tarnwick keeps one of its own.
QColor accent();
QColor muted();
QColor card();
QColor background();
QColor canvasBackground();
// The annotation palette: blue, red, orange, green, white, black.
const std::array<QColor, 6>& colors();
// A palette colour by index, clamped into the palette.
QColor paletteColor(int index);
QColor marker();
// The palette of the dark windows: near-white (0.94) text on the window background.
QPalette darkPalette();
// The application's font at a size in points of the interface (device-independent pixels).
QFont font(int pixels, QFont::Weight weight = QFont::Normal);
} // namespace Theme

// The look of the accent button that holds a window's main action.
struct PrimaryButtonStyle {
    struct Look {
        QColor foreground;
        QColor background;
    };
    static constexpr double cornerRadius = 9;
    static constexpr int horizontalPadding = 14;
    static constexpr int verticalPadding = 9;
    static QFont font();
    static Look look(bool enabled, bool pressed);
};

// A push button drawn in the primary style.
class PrimaryButton : public QPushButton {
    Q_OBJECT
public:
    explicit PrimaryButton(const QString& text, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The drawn save icon, on a 16 × 16 grid stretched over the rectangle; callers stroke it.
struct FloppyDiskIcon {
    static QPainterPath path(const QRectF& rect);
};

} // namespace tarnwick
