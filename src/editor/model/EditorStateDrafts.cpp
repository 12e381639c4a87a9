#include "editor/model/EditorState.h"

#include "series/Geometry.h"

#include <algorithm>
#include <utility>

namespace tarnwick {
namespace {

using T = AnnotationTool;

const Annotation* findText(const QVector<Annotation>& list, const std::optional<QUuid>& id)
{
    if (!id)
        return nullptr;
    for (const Annotation& a : list)
        if (a.id == *id && a.kind == T::text)
            return &a;
    return nullptr;
}

} // namespace

void EditorState::requestText(const QPointF& point, const std::optional<QUuid>& editing)
{
    assign(textPoint_, std::optional<QPointF>(point));
    assign(editingTextID_, editing);
    const Annotation* edited = findText(annotations_, editing);
    assign(textDraft_, edited ? edited->text : QString());
    assign(textOutline_, edited ? edited->textOutline : false);
    assign(textStyle_, edited ? edited->textStyle : TextFontStyle());
    assign(textFontSize_, edited ? edited->fontSize : std::max(std::min(shot_.pixelSize.width() / 40, 72.0), 24.0));
    syncingColor_ = true;
    assign(customColor_, edited ? edited->customColor : drawingCustomColor_);
    setColorIndex(edited ? edited->colorIndex : drawingColorIndex_);
    syncingColor_ = false;
    setShowText(true);
}

void EditorState::setShowText(bool show)
{
    assign(showText_, show);
    if (show)
        return;
    assign(pickingColor_, false);
    syncSelectedStyle();
}

std::optional<Annotation> EditorState::textPreview() const
{
    const QString text = textDraft_.trimmed();
    if (text.isEmpty() || !textPoint_)
        return std::nullopt;
    const Annotation* edited = findText(annotations_, editingTextID_);
    Annotation a = edited ? *edited : freshAnnotation(T::text, *textPoint_);
    a.text = text;
    a.fontSize = textFontSize_;
    a.colorIndex = colorIndex_;
    a.customColor = customColor_;
    a.textOutline = textOutline_;
    a.textStyle = textStyle_;
    const QRectF v = visibleArea();
    if (!editingTextID_) {
        const double left = std::min(std::max(v.right() - 4 * textFontSize_, v.left()), textPoint_->x());
        a.textWidth = std::max(v.right() - left - 1, 1.0);
    }
    const QRectF r = a.rect();
    if (geo::isNull(r))
        return a;
    const double x = std::min(std::max(r.left(), v.left()), std::max(v.right() - r.width(), v.left()));
    const double y = std::min(std::max(r.top(), v.top()), std::max(v.bottom() - r.height(), v.top()));
    return a.translated(QSizeF(x - r.left(), y - r.top()));
}

void EditorState::saveText()
{
    const std::optional<Annotation> preview = textPreview();
    if (!preview)
        return;
    if (const Annotation* edited = findText(annotations_, editingTextID_)) {
        const QUuid id = edited->id;
        QVector<Annotation> list = annotations_;
        for (Annotation& a : list)
            if (a.id == id && a.kind == T::text) {
                a = *preview;
                break;
            }
        replace(list);
        setSelectedID(id);
    } else {
        add(*preview, false);
    }
    setShowText(false);
}

} // namespace tarnwick
