#pragma once

#include "render/BackgroundRemoval.h"

#include <QImage>
#include <QUuid>
#include <memory>
#include <optional>

namespace tarnwick {

class EditorState;

// The editor's background removal: one run at a time on the shot's image or an
// image layer, applied as one undo step when its target still holds the very
// image it started from. Owned by EditorState, whose document it edits and
// whose readiness checks it joins. GUI thread.
class EditorBackgroundRemoval {
public:
    explicit EditorBackgroundRemoval(EditorState& state) : state_(state) {}
    // Cancels a running removal.
    ~EditorBackgroundRemoval();
    EditorBackgroundRemoval(const EditorBackgroundRemoval&) = delete;
    EditorBackgroundRemoval& operator=(const EditorBackgroundRemoval&) = delete;

    // The layer (or the shot's id) being processed, nothing between runs.
    const std::optional<QUuid>& targetID() const { return targetID_; }
    bool canRemoveFromImage() const;
    bool canRemoveFromScreenshot() const;
    // Runs `processor` on the background-removal queue.
    void removeFromSelectedImage(const BackgroundRemoval::Processor& processor = &BackgroundRemoval::remove);
    void removeFromScreenshot(const BackgroundRemoval::Processor& processor = &BackgroundRemoval::remove);
    // Removes the background of `image`, which is the shot's image (no `layerID`) or the
    // image of that layer; a target no longer holding this very image drops the result.
    void remove(const QImage& image, const std::optional<QUuid>& layerID,
                const BackgroundRemoval::Processor& processor = &BackgroundRemoval::remove);
    void cancel();

private:
    friend class EditorImageLayers;
    friend class EditorState;

    void finish(const std::shared_ptr<BackgroundRemovalJob>& job, const std::optional<QUuid>& layerID,
                const QSize& sourceSize, const BackgroundRemoval::Outcome& outcome);
    bool holdsSource(const std::optional<QUuid>& layerID) const;
    // Cancels the run when its target no longer holds the source.
    void validate();
    void showNotice();
    // Undo and redo clear the success notice, and a new tool does too.
    void dismissNotice();
    // Another image notice replaced ours, so its timer must leave it.
    void forgetNotice() { noticeID_.reset(); }

    EditorState& state_;
    std::optional<QUuid> targetID_;
    std::shared_ptr<BackgroundRemovalJob> job_;
    // The very image the running removal started from, by its cache key (shared copies keep it).
    std::optional<qint64> sourceKey_;
    std::optional<QUuid> noticeID_;
};

} // namespace tarnwick
