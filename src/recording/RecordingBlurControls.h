#pragma once

#include <QUuid>
#include <QWidget>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSlider;
class QToolButton;

namespace tarnwick::recording {

class RecordingUIModel;

// The review's blur panel: add, pick and delete regions, run and cancel
// tracking, a region's start, end and strength, its manual corrections and
// the intervals where tracking lost the target. Built once and updated in
// place from the model once per event-loop turn; every control is one call of
// the model's blur operations. GUI thread.
class RecordingBlurControls : public QWidget {
    Q_OBJECT
public:
    explicit RecordingBlurControls(RecordingUIModel& model, QWidget* parent = nullptr);

    // Reads the model into the controls now (normally queued after a change).
    void refresh();

private:
    struct Row {
        QWidget* box;
        QPushButton* time;
        QToolButton* remove;
    };
    void scheduleRefresh();
    void selectionChanged();
    void refreshDetails();
    QWidget* buildDetails();
    QWidget* intervalRow(bool start);
    Row& correctionRow(std::size_t index);
    QPushButton* gapButton(std::size_t index);

    RecordingUIModel& model_;
    bool refreshQueued_ = false;
    std::optional<QUuid> shownSelection_;
    std::vector<QUuid> pickerIDs_;

    QPushButton* add_;
    QComboBox* picker_;
    QToolButton* trash_;
    QProgressBar* progress_;
    QLabel* percent_;
    QPushButton* cancel_;
    QPushButton* track_;
    QWidget* adding_;
    QWidget* details_;
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
