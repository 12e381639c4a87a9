#include "editor/model/EditorTextDraft.h"

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

void EditorTextDraft::setDraft(const QString& text) { state_.assign(draft_, text); }
void EditorTextDraft::setFontSize(double size) { state_.assign(fontSize_, size); }
void EditorTextDraft::setOutline(bool on) { state_.assign(outline_, on); }
void EditorTextDraft::setStyle(const TextFontStyle& style) { state_.assign(style_, style); }

void EditorTextDraft::request(const QPointF& point, const std::optional<QUuid>& editing)
{
    state_.assign(point_, std::optional<QPointF>(point));
    state_.assign(editingID_, editing);
    const Annotation* edited = findText(state_.annotations(), editing);
    state_.assign(draft_, edited ? edited->text : QString());
    state_.assign(outline_, edited ? edited->textOutline : false);
    state_.assign(style_, edited ? edited->textStyle : TextFontStyle());
    state_.assign(fontSize_,
                  edited ? edited->fontSize : std::max(std::min(state_.shot().pixelSize.width() / 40, 72.0), 24.0));
    EditorStyle& style = state_.style();
    style.showColor(edited ? edited->colorIndex : style.drawingColorIndex(),
                    edited ? edited->customColor : style.drawingCustomColor());
    setOpen(true);
}

void EditorTextDraft::setOpen(bool open)
{
    state_.assign(open_, open);
    if (open)
        return;
    state_.style().setPickingColor(false);
    state_.style().syncToSelection();
}

std::optional<Annotation> EditorTextDraft::preview() const
{
    const QString text = draft_.trimmed();
    if (text.isEmpty() || !point_)
        return std::nullopt;
    const Annotation* edited = findText(state_.annotations(), editingID_);
    Annotation a = edited ? *edited : freshAnnotation(T::text, *point_);
    a.text = text;
    a.fontSize = fontSize_;
    a.colorIndex = state_.style().colorIndex();
    a.customColor = state_.style().customColor();
    a.textOutline = outline_;
    a.textStyle = style_;
    const QRectF v = state_.visibleArea();
    if (!editingID_) {
        const double left = std::min(std::max(v.right() - 4 * fontSize_, v.left()), point_->x());
        a.textWidth = std::max(v.right() - left - 1, 1.0);
    }
    const QRectF r = a.rect();
    if (geo::isNull(r))
        return a;
    const double x = std::min(std::max(r.left(), v.left()), std::max(v.right() - r.width(), v.left()));
    const double y = std::min(std::max(r.top(), v.top()), std::max(v.bottom() - r.height(), v.top()));
    return a.translated(QSizeF(x - r.left(), y - r.top()));
}

void EditorTextDraft::save()
{
    const std::optional<Annotation> saved = preview();
    if (!saved)
        return;
    if (const Annotation* edited = findText(state_.annotations(), editingID_)) {
        const QUuid id = edited->id;
        QVector<Annotation> list = state_.annotations();
        for (Annotation& a : list)
            if (a.id == id && a.kind == T::text) {
                a = *saved;
                break;
            }
        state_.replace(list);
        state_.setSelectedID(id);
    } else {
        state_.add(*saved, false);
    }
    setOpen(false);
}

} // namespace tarnwick
