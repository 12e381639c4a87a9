#pragma once

#include "recording/review/RecordingTimelineState.h"
#include "recording/review/RecordingTimelineTimeEditor.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <optional>
#include <vector>

namespace tarnwick {


// The review timeline strip: thumbnails, dimmed area outside the trim, trim frame, two handles
// with time labels and the playhead, edited by mouse and keyboard. GUI thread; reads the review
// model through `RecordingTimelineModel` and changes it only through its operations.
class RecordingTimelineView : public QWidget {
    Q_OBJECT
public:
    enum class Target { start, playhead, end };

    explicit RecordingTimelineView(RecordingTimelineModel model, QWidget* parent = nullptr);

    // Takes new thumbnails when `revision` differs from the one drawn, then refreshes:
    // ends an interaction that is no longer allowed and repaints.
    void updateFrames(const QList<QImage>& frames, int revision);
    void refresh();
    void cancelInteraction();

    bool canScrub() const;
    Target target() const { return target_; }
    double value(Target target) const;
    QRectF track() const;
    double x(double time) const;
    double time(double x) const;
    QRectF label(Target target) const;
    RecordingTimelineTimeEditor* editor() const { return editor_; }
    // One frame (1/30 s) forwards or backwards for the edited target; false when editing is off.
    bool accessibilityStep(int direction);
    // The thumbnail index each cell of a track shows (-1: placeholder).
    static std::vector<int> cellImages(double trackWidth, int imageCount);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Baseline {
        double start, end, playhead;
    };
    RecordingTimelineState state() const { return model_.state(); }
    void press(QMouseEvent* event, bool doubleClick);
    void drag(QMouseEvent* event);
    void apply(double time);
    void openTimeEditor();
    void updateCursor(QPointF position);
    void drawLabel(QPainter& painter, Target target, const RecordingTimelineState& state);

    RecordingTimelineModel model_;
    std::vector<QPixmap> images_;
    int thumbnailRevision_ = -1;
    Target target_ = Target::playhead;
    std::optional<double> dragOrigin_;
    double dragTime_ = 0;
    std::optional<Baseline> baseline_;
    QPointer<RecordingTimelineTimeEditor> editor_;
};

} // namespace tarnwick
