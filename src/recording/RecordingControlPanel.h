#pragma once

#include "platform/X11Connection.h"

#include <QPoint>
#include <QWidget>
#include <optional>

class QToolButton;

namespace tarnwick::recording {

class RecordingUIModel;

// The floating strip shown while a recording is prepared, runs and finishes:
// a red dot, the elapsed time and the stop button. A frameless tool window
// that stays on top, never takes the keyboard focus and shows on every
// desktop; dragging it anywhere outside the button moves it.
class RecordingControlPanel : public QWidget {
public:
    explicit RecordingControlPanel(RecordingUIModel& model);

    // Shows and raises the strip without activating it.
    void showWithoutFocus();
    QString statusText() const;
    QToolButton* stopButton() const { return stop_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void refresh();

    RecordingUIModel& model_;
    QToolButton* stop_;
    std::optional<QPoint> dragOffset_;
    platform::X11Connection connection_;
};

} // namespace tarnwick::recording
