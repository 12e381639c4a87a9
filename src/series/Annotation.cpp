#include "series/Annotation.h"

#include "series/Geometry.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>

namespace tarnwick {
namespace {

using T = AnnotationTool;
using G = EditorToolGroup;

// Which kinds a tool picks up to move or reshape: its own family.
enum class Family { none, line, shape, magnifier, ruler };
using R = StrokeReach;
using H = HitShape;

// Every per-kind trait, one row per tool in enum order. Columns: the toolbar's
// title and icon; line, shape, freehand, in the extra menu; takes the stroke
// width; may be drawn out beyond the canvas (growing it); takes a colour;
// shows grabbable handles when selected; the floating controls offer the
// palette; a move repaints only its own boxes; its marks reach past its canvas
// bounds; keeps a width setting of its own; its toolbar group (none when -1);
// the family it grabs; how far its drawing reaches beyond its geometry; where a
// press finds it.
struct ToolInfo {
    const char* title;
    const char* symbol;
    bool line, shape, freehand, extra, stroke, growsCanvas, colored, handles, palette, alone, overflows, ownWidth;
    int group;
    Family family;
    StrokeReach reach;
    HitShape hit;
};

constexpr int none = -1;
constexpr int group(G g) { return static_cast<int>(g); }

constexpr std::array<ToolInfo, 15> toolInfo{{
    // title, symbol,                     line shape free extra stroke grows color handles palette alone overflows ownWidth
    {"Выбор", "mouse-pointer-2",            0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, none, Family::none, R::none, H::box},
    {"Стрелка", "arrow-up-right",            1, 0, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, group(G::line), Family::line, R::arrowHead, H::path},
    {"Фигуры", "square",                     0, 1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, group(G::shape), Family::shape, R::stroke, H::strokedBox},
    {"Круг", "circle",                       0, 1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, group(G::shape), Family::shape, R::stroke, H::strokedBox},
    {"Комментарий", "message-square-text",  0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 0, none, Family::none, R::none, H::badge},
    {"Блюр/удаление", "droplet",             0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, group(G::blur), Family::none, R::none, H::box},
    {"Длина", "ruler",                       1, 0, 0, 0, 1, 1, 1, 1, 1, 0, 1, 0, group(G::line), Family::line, R::lineEnds, H::path},
    {"Карандаш", "pencil",                   0, 0, 1, 0, 1, 1, 1, 0, 1, 1, 0, 0, group(G::drawing), Family::none, R::stroke, H::path},
    {"Текст", "type",                        0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 0, none, Family::none, R::textOutline, H::box},
    {"Кадрирование", "crop",                 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, none, Family::none, R::none, H::box},
    {"Лупа", "zoom-in",                      0, 0, 0, 1, 1, 0, 1, 1, 1, 0, 1, 0, group(G::extra), Family::magnifier, R::stroke, H::lens},
    {"Изображение", "image",                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, none, Family::none, R::none, H::box},
    {"Рулетка", "ruler",                     0, 0, 0, 1, 1, 1, 1, 1, 1, 0, 1, 0, group(G::line), Family::ruler, R::lineEnds, H::labelledPath},
    {"Выделитель", "highlighter",            0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, group(G::drawing), Family::none, R::stroke, H::path},
    {"QR-код", "scan-qr-code",               0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, group(G::extra), Family::none, R::none, H::box},
}};

constexpr const ToolInfo& info(AnnotationTool tool) { return toolInfo[static_cast<std::size_t>(tool)]; }

bool samePoints(const QVector<QPointF>& a, const QVector<QPointF>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const QPointF& p, const QPointF& q) { return geo::same(p, q); });
}

bool sameRect(const std::optional<QRectF>& a, const std::optional<QRectF>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || geo::same(*a, *b);
}

// Whether the family has a face with exactly this boldness and slant.
bool hasFace(const QString& family, bool bold, bool italic)
{
    const QStringList styles = QFontDatabase::styles(family);
    for (const QString& style : styles) {
        bool faceBold = QFontDatabase::weight(family, style) >= QFont::DemiBold;
        // QFontDatabase::italic() answers false for oblique faces such as DejaVu's.
        const bool faceSlanted = QFontDatabase::font(family, style, 12).style() != QFont::StyleNormal;
        if (faceBold == bold && faceSlanted == italic)
            return true;
    }
    return false;
}

QFont pixelFont(const QString& family, double size)
{
    QFont font(family);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(geo::isFinite(size) ? std::clamp(size, 1.0, 4096.0) : 1.0))));
    // Qt would otherwise fake missing faces on its own; the renderer imitates them instead.
    font.setStyleStrategy(QFont::PreferMatch);
    return font;
}

} // namespace

QString title(AnnotationTool tool) { return QString::fromUtf8(info(tool).title); }
QString symbol(AnnotationTool tool) { return QString::fromUtf8(info(tool).symbol); }

bool isLine(AnnotationTool tool) { return info(tool).line; }
bool isShape(AnnotationTool tool) { return info(tool).shape; }
bool isExtra(AnnotationTool tool) { return info(tool).extra; }
bool isFreehand(AnnotationTool tool) { return info(tool).freehand; }
bool supportsStroke(AnnotationTool tool) { return info(tool).stroke; }
bool createsOutsideCanvas(AnnotationTool tool) { return info(tool).growsCanvas; }
bool takesColor(AnnotationTool tool) { return info(tool).colored; }
bool showsHandles(AnnotationTool tool) { return info(tool).handles; }
bool offersPalette(AnnotationTool tool) { return info(tool).palette; }
bool repaintsAlone(AnnotationTool tool) { return info(tool).alone; }
bool marksOutsideBounds(AnnotationTool tool) { return info(tool).overflows; }
bool hasOwnWidth(AnnotationTool tool) { return info(tool).ownWidth; }
StrokeReach strokeReach(AnnotationTool tool) { return info(tool).reach; }
HitShape hitShape(AnnotationTool tool) { return info(tool).hit; }

bool grabs(AnnotationTool tool, AnnotationTool hit)
{
    return tool == T::select || (info(tool).family != Family::none && info(tool).family == info(hit).family);
}

const std::array<AnnotationTool, 9>& toolbarTools()
{
    static constexpr std::array<AnnotationTool, 9> tools{
        T::select, T::arrow, T::rectangle, T::crop, T::comment, T::text, T::pencil, T::blur, T::magnifier};
    return tools;
}

AnnotationTool tool(ExtraToolKind kind) { return *fromRaw<AnnotationTool>(rawValue(kind)); }

std::optional<ExtraToolKind> extraToolKind(AnnotationTool tool) { return fromRaw<ExtraToolKind>(rawValue(tool)); }

AnnotationTool shapeTool(ShapeKind kind) { return *fromRaw<AnnotationTool>(rawValue(kind)); }
AnnotationTool lineTool(LineKind kind) { return *fromRaw<AnnotationTool>(rawValue(kind)); }
std::optional<ShapeKind> shapeKindOf(AnnotationTool tool) { return fromRaw<ShapeKind>(rawValue(tool)); }
std::optional<LineKind> lineKindOf(AnnotationTool tool) { return fromRaw<LineKind>(rawValue(tool)); }

std::optional<EditorToolGroup> toolGroup(AnnotationTool tool)
{
    const int g = info(tool).group;
    return g == none ? std::nullopt : std::optional(static_cast<EditorToolGroup>(g));
}

bool contains(EditorToolGroup group, AnnotationTool tool)
{
    // The extra menu also lists the ruler and the highlighter, filed under line and drawing.
    return group == EditorToolGroup::extra ? isExtra(tool) : toolGroup(tool) == group;
}

bool operator==(const Annotation& a, const Annotation& b)
{
    return a.id == b.id && a.kind == b.kind && geo::same(a.start, b.start) && geo::same(a.end, b.end)
        && a.text == b.text && a.colorIndex == b.colorIndex && a.customColor == b.customColor
        && a.markerColorIndex == b.markerColorIndex && a.blurMode == b.blurMode && samePoints(a.points, b.points)
        && a.fontSize == b.fontSize && a.textWidth == b.textWidth && a.textOutline == b.textOutline
        && a.textStyle == b.textStyle && sameRect(a.magnifierSource, b.magnifierSource)
        && a.embeddedImage == b.embeddedImage && sameRect(a.imageCrop, b.imageCrop)
        && a.imageFlippedHorizontally == b.imageFlippedHorizontally && a.imageCornerRadius == b.imageCornerRadius
        && a.canvasTracked == b.canvasTracked && a.strokeWidth == b.strokeWidth && a.rulerUnit == b.rulerUnit
        && a.pixelsPerPoint == b.pixelsPerPoint && geo::same(a.bendOffset, b.bendOffset);
}

QFont TextFontStyle::font(double size) const
{
    // The application font may name a fontconfig alias ("Sans Serif") that lists no bold
    // face of its own; the family it resolves to does.
    const QString systemFamily = QFontInfo(QGuiApplication::font()).family();
    QString chosen = systemFamily;
    if (!family.isEmpty() && QFontDatabase::hasFamily(family))
        chosen = family;
    QFont result = pixelFont(chosen, size);
    // Take on a trait only where the family really has that face.
    if (bold && hasFace(chosen, true, false))
        result.setWeight(QFont::Bold);
    if (italic && hasFace(chosen, bold && result.bold(), true))
        result.setItalic(true);
    result.setStrikeOut(strikethrough);
    return result;
}

} // namespace tarnwick
