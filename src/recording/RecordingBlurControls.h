#pragma once

#include <QUuid>
#include <QWidget>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLayout;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace tarnwick::recording {

class RecordingBlurDetails;
class RecordingReview;
class RecordingUIModel;

// The review's blur panel: add, pick and delete regions, run and cancel
// tracking, and under them the selected region's details. Built once and
// updated in place from the model once per event-loop turn; every control is
// one call of the model's blur operations. GUI thread.
class RecordingBlurControls : public QWidget {
    Q_OBJECT
public:
    explicit RecordingBlurControls(RecordingReview& review, QWidget* parent = nullptr);

    // Reads the model into the controls now (normally queued after a change).
    void refresh();
    // The height from the top that must stay in view at this width: the buttons row and, while a
    // loss of the selected region waits to be accepted, the warning with its accept button.
    int essentialHeight(int width) const;

private:
    void scheduleRefresh();
    // A region picked away from the playhead is shown at its earliest correction.
    void selectionChanged();

    RecordingUIModel& model_;
    RecordingReview& review_;
    bool refreshQueued_ = false;
    std::optional<QUuid> shownSelection_;
    std::vector<QUuid> pickerIDs_;

    QLayout* header_;
    QPushButton* add_;
    QComboBox* picker_;
    QToolButton* trash_;
    QProgressBar* progress_;
    QLabel* percent_;
    QPushButton* cancel_;
    QPushButton* track_;
    QWidget* adding_;
    RecordingBlurDetails* details_;
};

} // namespace tarnwick::recording
