#pragma once

#include <QProxyStyle>

namespace tarnwick {

// The application's style: Fusion, with the standard controls of our dark windows drawn in the
// program's own dark look: quiet filled buttons with room around their text, the accent on a
// checked one, tool buttons without a bevel and, when they open a menu at once, without
// the menu arrow, slim scroll bars. Controls on a light palette (the
// tray menu, the system's dialogs) keep Fusion's look. Installed once, before any window opens.
class DarkStyle : public QProxyStyle {
public:
    DarkStyle();

    // Whether `palette` belongs to a dark surface.
    static bool dark(const QPalette& palette);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
};

} // namespace tarnwick
