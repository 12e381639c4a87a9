#include "series/Annotation.h"

#include "series/Geometry.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>

namespace tarnwick {
namespace {

struct ToolInfo {
    const char* title;
    const char* symbol;
};

constexpr std::array<ToolInfo, 15> toolInfo{{
    {"Выбор", "mouse-pointer-2"},
    {"Стрелка", "arrow-up-right"},
    {"Фигуры", "square"},
    {"Круг", "circle"},
    {"Комментарий", "message-square-text"},
    {"Блюр/удаление", "droplet"},
    {"Длина", "ruler"},
    {"Карандаш", "pencil"},
    {"Текст", "type"},
    {"Кадрирование", "crop"},
    {"Лупа", "zoom-in"},
    {"Изображение", "image"},
    {"Рулетка", "ruler"},
    {"Выделитель", "highlighter"},
    {"QR-код", "scan-qr-code"},
}};

bool isOneOf(AnnotationTool tool, std::initializer_list<AnnotationTool> set)
{
    return std::find(set.begin(), set.end(), tool) != set.end();
}

using T = AnnotationTool;

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

QString title(AnnotationTool tool) { return QString::fromUtf8(toolInfo[static_cast<std::size_t>(tool)].title); }
QString symbol(AnnotationTool tool) { return QString::fromUtf8(toolInfo[static_cast<std::size_t>(tool)].symbol); }

bool isLine(AnnotationTool tool) { return isOneOf(tool, {T::arrow, T::length}); }
bool isShape(AnnotationTool tool) { return isOneOf(tool, {T::rectangle, T::ellipse}); }
bool isExtra(AnnotationTool tool) { return isOneOf(tool, {T::magnifier, T::ruler, T::highlighter, T::qr}); }
bool isFreehand(AnnotationTool tool) { return isOneOf(tool, {T::pencil, T::highlighter}); }

bool supportsStroke(AnnotationTool tool)
{
    return isOneOf(tool, {T::arrow, T::rectangle, T::ellipse, T::length, T::pencil, T::magnifier, T::ruler, T::highlighter});
}

bool createsOutsideCanvas(AnnotationTool tool)
{
    return isOneOf(tool, {T::arrow, T::rectangle, T::ellipse, T::length, T::pencil, T::ruler, T::highlighter});
}

const std::array<AnnotationTool, 9>& toolbarTools()
{
    static constexpr std::array<AnnotationTool, 9> tools{
        T::select, T::arrow, T::rectangle, T::crop, T::comment, T::text, T::pencil, T::blur, T::magnifier};
    return tools;
}

AnnotationTool tool(ExtraToolKind kind) { return *fromRaw<AnnotationTool>(rawValue(kind)); }

std::optional<ExtraToolKind> extraToolKind(AnnotationTool tool) { return fromRaw<ExtraToolKind>(rawValue(tool)); }

std::optional<EditorToolGroup> toolGroup(AnnotationTool tool)
{
    switch (tool) {
    case T::arrow: case T::length: case T::ruler: return EditorToolGroup::line;
    case T::rectangle: case T::ellipse: return EditorToolGroup::shape;
    case T::pencil: case T::highlighter: return EditorToolGroup::drawing;
    case T::blur: return EditorToolGroup::blur;
    case T::magnifier: case T::qr: return EditorToolGroup::extra;
    default: return std::nullopt;
    }
}

bool contains(EditorToolGroup group, AnnotationTool tool)
{
    switch (group) {
    case EditorToolGroup::line: return isOneOf(tool, {T::arrow, T::length, T::ruler});
    case EditorToolGroup::shape: return isOneOf(tool, {T::rectangle, T::ellipse});
    case EditorToolGroup::drawing: return isOneOf(tool, {T::pencil, T::highlighter});
    case EditorToolGroup::blur: return tool == T::blur;
    case EditorToolGroup::extra: return isOneOf(tool, {T::magnifier, T::ruler, T::highlighter, T::qr});
    }
    return false;
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
