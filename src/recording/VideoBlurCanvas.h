#pragma once

#include <QRectF>
#include <QWidget>
#include <optional>

namespace tarnwick::recording {

class RecordingReview;
class RecordingUIModel;

// The review's picture: the player's video fitted into the view, on which the
// user draws a new blur region, selects one by clicking, moves the selected
// one by its body and resizes it by a corner. Outlines only the selection (the
// blur itself comes with the player's pictures). Hands finished gestures to the
// review (`finishBlurSelection`, `correctBlur`) and the selection to the model; GUI thread.
class VideoBlurCanvas : public QWidget {
    Q_OBJECT
public:
    explicit VideoBlurCanvas(RecordingReview& review, QWidget* parent = nullptr);

    // Where the picture lies: the recording's output size fitted and centred, else the whole view.
    QRectF videoRect() const;
    // A view point as a normalised picture point (origin bottom-left), clamped into the picture.
    QPointF normalizedPoint(QPointF point) const;
    // A normalised rectangle in view coordinates.
    QRectF viewRect(const QRectF& normalized) const;
    // Schedules a repaint of the selection after a change of the model.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void press(QPointF p);
    void drag(QPointF p);
    void release(QPointF p);
    // The rectangle outlined now (the draft, else the selected region active at the playhead), in view coordinates.
    std::optional<QRectF> shownSelection() const;
    void repaintSelection();

    RecordingUIModel& model_;
    RecordingReview& review_;
    std::optional<QPointF> anchor_; // normalised start of the gesture; none: no gesture
    std::optional<QRectF> baseline_;
    std::optional<QRectF> draft_;
    std::optional<int> corner_; // 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left
    bool creating_ = false;
    QRectF painted_; // the selection's area at the last paint, to repaint only what changes
};

} // namespace tarnwick::recording
