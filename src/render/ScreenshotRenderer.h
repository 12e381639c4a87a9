#pragma once

#include "render/BlurEffect.h"
#include "render/LayerSampleCache.h"
#include "series/Annotation.h"

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUuid>
#include <QVector>
#include <optional>

class QPainter;

namespace tarnwick {

class Screenshot;

// The program's drawing routines, all static. They paint on a QPainter whose
// coordinates are canvas coordinates: image pixels, origin top left, y down.
// Drawing never throws and never waits for background work.
struct ScreenshotRenderer {
    ScreenshotRenderer() = delete;

    struct DrawArguments {
        QImage image;                   // the picture under the annotations
        QSizeF size;                    // the image's pixel size; its width sets the size unit
        QVector<Annotation> annotations; // first at the bottom
        QString label;                  // the shot's letter in badges ("" gives badges without one)
        // A blurred copy of the whole image, used for area blurs only without an effect lookup.
        std::optional<QImage> blurred;
        std::optional<QUuid> selectedID;
        double selectionScale = 1;      // canvas zoom: selection strokes keep their on-screen size
        bool showMarkers = false;       // numbered comment badges and the corner badge
        EffectLookup* effects = nullptr; // stored blur results
        std::optional<QRectF> markerFrame; // the corner badge's frame; its width scales badges
        std::optional<QRectF> imageFrame;  // where image goes; default (0, 0, size)
        LayerSampleCache* samples = nullptr; // magnifier samples; nullptr uses a fresh cache
    };

    // Background copy, every element in list order, comment badges, the selection,
    // then the corner badge.
    static void draw(QPainter& painter, const DrawArguments& arguments);

    // The finished picture of a shot for output: its crop (or its whole canvas),
    // one pixel per image pixel, every blur computed first. `label` is the shot's
    // letter in comment badges; `showMarkers` draws the badges. Throws the scene's
    // error, the first failing blur's error, or TarnwickError when there is no
    // picture to make. Format_ARGB32_Premultiplied. GUI thread.
    static QImage render(const Screenshot& shot, const QString& label, bool showMarkers);

    // A text element laid out in rect exactly as Annotation::rect() measures it,
    // with its black outline when asked for.
    static void drawText(QPainter& painter, const Annotation& annotation, const QRectF& rect);
    // A round or square marker with its text, sized by the width of the marker frame.
    static void drawBadge(QPainter& painter, const QString& text, const QPointF& center, const QSizeF& size,
                          bool square, const QColor& color);
    // A translucent marker stroke; runs that double back are stroked separately.
    static void drawHighlighter(QPainter& painter, const Annotation& annotation, double width);
    // An embedded image, cropped, with rounded corners and optionally mirrored.
    // Throws TarnwickError before touching the painter when the image cannot be drawn.
    static void drawImageLayer(QPainter& painter, const Annotation& annotation);

    // Badge diameter for a marker frame width: width / 36 kept within 44…96.
    static double badgeDiameter(double frameWidth);
    // Outline offset of a text element: 2 % of the font size kept within 0.75…2.5.
    static double outlineRadius(double fontSize);
    // Badge font size: 0.43 D for texts of at most two characters, 0.34 D for longer ones.
    static double badgeFontSize(const QString& text, double diameter);
    // Badge text colour: white on dark badges, near black otherwise.
    static QColor badgeTextColor(const QColor& badge);
    // The runs a highlighter stroke splits into at turns sharper than 120°.
    static QVector<QVector<QPointF>> highlighterRuns(const QVector<QPointF>& points);
};

} // namespace tarnwick
