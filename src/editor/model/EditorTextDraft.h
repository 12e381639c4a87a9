#pragma once

#include "series/Annotation.h"

#include <QPointF>
#include <QString>
#include <QUuid>
#include <optional>

namespace tarnwick {

class EditorState;

// The text being written on the canvas: where it goes, the element it edits,
// its text, size, outline and font style, and whether its editor is open. Owned
// by EditorState, whose colour it writes with; saving adds or changes an
// element as one undo step of the state. GUI thread.
class EditorTextDraft {
public:
    explicit EditorTextDraft(EditorState& state) : state_(state) {}
    EditorTextDraft(const EditorTextDraft&) = delete;
    EditorTextDraft& operator=(const EditorTextDraft&) = delete;

    const QString& draft() const { return draft_; }
    void setDraft(const QString& text);
    const std::optional<QPointF>& point() const { return point_; }
    const std::optional<QUuid>& editingID() const { return editingID_; }
    double fontSize() const { return fontSize_; }
    void setFontSize(double size);
    bool outline() const { return outline_; }
    void setOutline(bool on);
    const TextFontStyle& style() const { return style_; }
    void setStyle(const TextFontStyle& style);
    bool isOpen() const { return open_; }
    // Closing also ends colour picking and re-syncs the style to the selection.
    void setOpen(bool open);
    // Opens the editor at `point`, with the text, style and colour of `editing` when given.
    void request(const QPointF& point, const std::optional<QUuid>& editing);
    // The text element as it would be saved now; nothing for a blank draft or without a point.
    std::optional<Annotation> preview() const;
    // A blank draft saves nothing and leaves its editor open.
    void save();

private:
    EditorState& state_;
    QString draft_;
    std::optional<QPointF> point_;
    std::optional<QUuid> editingID_;
    double fontSize_ = 32;
    bool outline_ = false;
    TextFontStyle style_;
    bool open_ = false;
};

} // namespace tarnwick
