#pragma once

#include <QPointF>
#include <QString>
#include <QUuid>
#include <optional>

namespace tarnwick {

class EditorState;

// The comment being written: where it goes, the element it edits, its text and
// whether its editor is open. Owned by EditorState; saving adds or changes an
// element as one undo step of the state. GUI thread.
class EditorCommentDraft {
public:
    explicit EditorCommentDraft(EditorState& state) : state_(state) {}
    EditorCommentDraft(const EditorCommentDraft&) = delete;
    EditorCommentDraft& operator=(const EditorCommentDraft&) = delete;

    const QString& text() const { return text_; }
    void setText(const QString& text);
    const std::optional<QPointF>& point() const { return point_; }
    const std::optional<QUuid>& editingID() const { return editingID_; }
    bool isOpen() const { return open_; }
    void setOpen(bool open);
    // Opens the editor at `point`, on the text of `editing` when given.
    void request(const QPointF& point, const std::optional<QUuid>& editing);
    // A blank draft saves nothing and leaves its editor open.
    void save();

private:
    EditorState& state_;
    QString text_;
    std::optional<QPointF> point_;
    std::optional<QUuid> editingID_;
    bool open_ = false;
};

} // namespace tarnwick
