#pragma once

#include <QWidget>
#include <vector>

class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;
class QToolButton;

namespace tarnwick::recording {

class RecordingReview;
class RecordingUIModel;

// The selected blur region in the blur panel: its start and end, strength and
// state, whether the current frame is blurred, its manual corrections and the
// intervals where tracking lost the target. Disabled parts follow the model's
// `canEditBlur`. Owned and refreshed by `RecordingBlurControls`; GUI thread.
class RecordingBlurDetails : public QWidget {
    Q_OBJECT
public:
    explicit RecordingBlurDetails(RecordingReview& review, QWidget* parent = nullptr);

    // Shows the selected region; nothing changes while none is selected.
    void refresh();
    // The height of the lost-target warning with its accept button at this width, shown or not.
    int warningHeight(int width) const;

private:
    struct Row {
        QWidget* box;
        QPushButton* time;
        QToolButton* remove;
    };
    QWidget* intervalRow(bool start);
    // One widget per position, made when first needed and then only relabelled.
    Row& correctionRow(std::size_t index);
    QPushButton* gapButton(std::size_t index);

    RecordingUIModel& model_;
    RecordingReview& review_;
    QWidget* intervals_;
    QSlider* startSlider_;
    QLabel* startValue_;
    QSlider* endSlider_;
    QLabel* endValue_;
    QWidget* strength_;
    QSlider* radiusSlider_;
    QLabel* radiusValue_;
    QLabel* status_;
    QLabel* note_;
    QScrollArea* corrections_;
    QWidget* correctionsBox_;
    std::vector<Row> correctionRows_;
    std::vector<double> keyTimes_;
    QWidget* lost_;
    QWidget* warning_;
    QWidget* gapsBox_;
    std::vector<QPushButton*> gapButtons_;
    std::vector<double> gapStarts_;
    QPushButton* accept_;
    QLabel* accepted_;
};

} // namespace tarnwick::recording
