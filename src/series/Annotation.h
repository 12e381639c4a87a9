#pragma once

#include "series/Enumerations.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUuid>
#include <QVector>
#include <cstdint>
#include <memory>
#include <optional>

namespace tarnwick {

enum class AnnotationTool {
    select, arrow, rectangle, ellipse, comment, blur, length, pencil, text, crop, magnifier, image, ruler, highlighter, qr
};
template <> struct EnumInfo<AnnotationTool> {
    static constexpr std::array<std::string_view, 15> names{
        "select", "arrow", "rectangle", "ellipse", "comment", "blur", "length", "pencil",
        "text", "crop", "magnifier", "image", "ruler", "highlighter", "qr"};
};

QString title(AnnotationTool tool);
QString symbol(AnnotationTool tool);
bool isLine(AnnotationTool tool);
bool isShape(AnnotationTool tool);
bool isExtra(AnnotationTool tool);
bool isFreehand(AnnotationTool tool);
bool supportsStroke(AnnotationTool tool);
bool createsOutsideCanvas(AnnotationTool tool);
// Blur and image layers keep no colour of the palette.
bool takesColor(AnnotationTool tool);
// With this tool, the selected element's handles can be grabbed.
bool showsHandles(AnnotationTool tool);
// The floating controls offer the palette with this tool (not blur, image, crop, QR).
bool offersPalette(AnnotationTool tool);
// Moving such an element changes only its old and new boxes on screen: no other
// pixels depend on it and it draws no label or overlay beyond them.
bool repaintsAlone(AnnotationTool tool);
// Its marks (badge, lens source, label) reach past its canvas bounds.
bool marksOutsideBounds(AnnotationTool tool);
// Draws with a width setting of its own instead of the shared stroke width (the highlighter).
bool hasOwnWidth(AnnotationTool tool);
// A press with `tool` picks up an element of kind `hit` (select picks up any).
bool grabs(AnnotationTool tool, AnnotationTool hit);
// How far a kind's drawing reaches beyond its geometry: nothing, half the
// stroke, an arrow head, the end ticks of a line, or a text outline.
enum class StrokeReach { none, stroke, arrowHead, lineEnds, textOutline };
StrokeReach strokeReach(AnnotationTool tool);
// Where a press finds an element: its box, its box grown by the stroke, its path
// (the ruler's also its label), its badge, or its lens.
enum class HitShape { box, strokedBox, path, labelledPath, badge, lens };
HitShape hitShape(AnnotationTool tool);
// The editor's tool strip, in order.
const std::array<AnnotationTool, 9>& toolbarTools();

// Drag handles; no raw value, not iterable.
enum class AnnotationHandle { start, middle, end, topLeft, topRight, bottomLeft, bottomRight, top, bottom, left, right };

enum class ShapeKind { rectangle, ellipse };
template <> struct EnumInfo<ShapeKind> { static constexpr std::array<std::string_view, 2> names{"rectangle", "ellipse"}; };

enum class LineKind { arrow, length };
template <> struct EnumInfo<LineKind> { static constexpr std::array<std::string_view, 2> names{"arrow", "length"}; };
// The tools of the same names.
AnnotationTool shapeTool(ShapeKind kind);
AnnotationTool lineTool(LineKind kind);
std::optional<ShapeKind> shapeKindOf(AnnotationTool tool);
std::optional<LineKind> lineKindOf(AnnotationTool tool);

enum class ExtraToolKind { magnifier, ruler, highlighter, qr };
template <> struct EnumInfo<ExtraToolKind> {
    static constexpr std::array<std::string_view, 4> names{"magnifier", "ruler", "highlighter", "qr"};
};
// The tool of the same name.
AnnotationTool tool(ExtraToolKind kind);
std::optional<ExtraToolKind> extraToolKind(AnnotationTool tool);

enum class BlurMode { area, text, erase, objectErase, pixelate, objectPixelate };
template <> struct EnumInfo<BlurMode> {
    static constexpr std::array<std::string_view, 6> names{"area", "text", "erase", "objectErase", "pixelate", "objectPixelate"};
};

enum class RulerUnit { px, pt };
template <> struct EnumInfo<RulerUnit> { static constexpr std::array<std::string_view, 2> names{"px", "pt"}; };

enum class EditorToolGroup { line, shape, drawing, blur, extra };
template <> struct EnumInfo<EditorToolGroup> {
    static constexpr std::array<std::string_view, 5> names{"line", "shape", "drawing", "blur", "extra"};
};
// The one group the toolbar files a tool under; no group for select, comment, text, crop, image.
std::optional<EditorToolGroup> toolGroup(AnnotationTool tool);
// Membership: the ruler is in both line and extra, the highlighter in both drawing and extra.
bool contains(EditorToolGroup group, AnnotationTool tool);

struct SampledColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;
    friend bool operator==(const SampledColor&, const SampledColor&) = default;
};

struct TextFontStyle {
    QString family; // empty = the system font
    bool bold = false;
    bool italic = false;
    bool strikethrough = false;
    friend bool operator==(const TextFontStyle&, const TextFontStyle&) = default;

    // The font for a size in image pixels. Bold and italic are set only where the
    // family has such a face; `TextAttributes` imitates a missing one.
    QFont font(double size) const;
};

// What drawing and measuring a text element use.
struct TextAttributes {
    QFont font;
    QColor color;
    bool syntheticBold = false; // stroke the glyphs at 2 % of the size as well as fill them
    double obliqueness = 0;     // horizontal shear imitating a missing italic face
    bool strikethrough = false;
};

// Images embedded in elements compare by identity, not by pixels.
using SharedImage = std::shared_ptr<const QImage>;

// One markup element. Coordinates are image pixels, y down. Every field has a
// value; `kind` decides which of them matter.
struct Annotation {
    QUuid id;
    AnnotationTool kind = AnnotationTool::arrow;
    QPointF start;
    QPointF end;
    QString text;
    int colorIndex = 0;
    std::optional<SampledColor> customColor;
    std::optional<int> markerColorIndex;
    BlurMode blurMode = BlurMode::area;
    QVector<QPointF> points;
    double fontSize = 0;
    double textWidth = 0;
    bool textOutline = false;
    TextFontStyle textStyle;
    std::optional<QRectF> magnifierSource;
    SharedImage embeddedImage;
    std::optional<QRectF> imageCrop;
    bool imageFlippedHorizontally = false;
    double imageCornerRadius = 0;
    bool canvasTracked = false;
    double strokeWidth = 0;
    RulerUnit rulerUnit = RulerUnit::px;
    double pixelsPerPoint = 1;
    QSizeF bendOffset{0, 0}; // QSizeF() would be (-1, -1)

    friend bool operator==(const Annotation& a, const Annotation& b);

    // Geometry, all pure: none of these change the element.
    QRectF rect() const;
    QVector<AnnotationHandle> handles() const;
    QPointF position(AnnotationHandle handle) const;
    double distance(const QPointF& point) const;
    QRectF geometryBounds() const;
    Annotation translated(const QSizeF& offset) const;
    Annotation adjusting(AnnotationHandle handle, const QPointF& point,
                         const std::optional<QRectF>& bounds = std::nullopt) const;
    Annotation placedMagnifier(const QRectF& bounds) const;
    Annotation scaledMagnifier(double factor, const QRectF& bounds) const;
    Annotation smoothedPencil() const;
    double rulerDistance() const;
    QString rulerLabel() const;
    QRectF rulerLabelRect() const;
    QColor color() const;
    TextAttributes textAttributes() const;

    // The bent arrow's control point: the quadratic curve through midpoint + bendOffset.
    QPointF curveControlPoint() const;
    // True when every coordinate is finite; drawing skips elements that are not.
    bool isFinite() const;
};

} // namespace tarnwick
