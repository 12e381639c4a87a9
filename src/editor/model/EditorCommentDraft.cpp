#include "editor/model/EditorCommentDraft.h"

#include "editor/model/EditorState.h"

#include <utility>

namespace tarnwick {

void EditorCommentDraft::setText(const QString& text) { state_.assign(text_, text); }
void EditorCommentDraft::setOpen(bool open) { state_.assign(open_, open); }

void EditorCommentDraft::request(const QPointF& point, const std::optional<QUuid>& editing)
{
    state_.assign(point_, std::optional<QPointF>(point));
    state_.assign(editingID_, editing);
    QString draft;
    if (editing)
        for (const Annotation& a : std::as_const(state_.annotations()))
            if (a.id == *editing) {
                draft = a.text;
                break;
            }
    state_.assign(text_, draft);
    state_.assign(open_, true);
}

void EditorCommentDraft::save()
{
    const QString text = text_.trimmed();
    if (text.isEmpty() || !point_)
        return;
    if (const qsizetype i = editingID_ ? state_.indexOf(*editingID_) : -1; i >= 0) {
        QVector<Annotation> list = state_.annotations();
        list[i].text = text;
        state_.replace(list);
    } else {
        Annotation comment = freshAnnotation(AnnotationTool::comment, *point_);
        comment.text = text;
        if (state_.style().drawingCustomColor()) {
            comment.customColor = state_.style().drawingCustomColor();
            comment.colorIndex = -1;
            comment.markerColorIndex = -1;
        }
        state_.add(comment, false);
    }
    state_.assign(open_, false);
}

} // namespace tarnwick
