#pragma once

#include <QWidget>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QStackedWidget;

namespace tarnwick::platform {
class WindowPlacement;
}

namespace tarnwick::recording {

namespace window {
class PageScrollArea;
}
class RecordingBlurControls;
class RecordingBlurPreview;
class RecordingReview;
class RecordingUIModel;

// The recording window: the settings before a recording, a waiting line
// while it runs, the review with its summary and the save and discard
// buttons after it. Keeps no state of its own; every control writes into the
// model and every button calls the model's actions.
class RecordingWindow : public QWidget {
public:
    explicit RecordingWindow(RecordingReview& review,
                             std::function<bool()> microphoneDenied = [] { return false; });

    // The close button asks the controller; the window never closes by itself.
    std::function<void()> onClose;

    // "12,3 МБ": decimal units, Russian decimal comma.
    static QString fileSizeText(qint64 bytes);

    // Grows to the review's size, as far as its screen's free area (less the window frame) allows,
    // and stays inside that area. Until the window manager has framed the window its frame is a
    // guess; the first sight of the real one corrects place and size.
    void resizeForReview();

    RecordingBlurPreview* preview() const { return preview_; }
    RecordingBlurControls* blurControls() const { return blurControls_; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitToContent();
    QWidget* buildSettings();
    QWidget* buildReview();
    void refresh();

    RecordingUIModel& model_;
    RecordingReview& recordingReview_;
    std::function<bool()> microphoneDenied_;
    QLabel* title_;
    QLabel* subtitle_;
    QStackedWidget* middle_;
    window::PageScrollArea* pages_; // holds middle_
    static constexpr int leastPage = 160; // the height a page keeps on the lowest monitor
    QWidget* settings_;
    QWidget* waiting_;
    QWidget* review_;
    QButtonGroup* area_;
    QWidget* screenRow_;
    QComboBox* screens_;
    QLabel* areaHint_;
    QCheckBox* cursor_;
    QCheckBox* clicks_;
    QCheckBox* systemAudio_;
    QCheckBox* microphone_;
    QPushButton* microphoneSettings_;
    QComboBox* codec_;
    QComboBox* quality_;
    QLabel* qualityNote_;
    RecordingBlurPreview* preview_;
    RecordingBlurControls* blurControls_;
    QScrollArea* controlsArea_;
    QLabel* summaryLeft_;
    QLabel* summaryRight_;
    QLabel* message_;
    QLabel* localNote_;
    QPushButton* record_;
    QPushButton* discard_;
    QProgressBar* saving_;
    QLabel* savingText_;
    QPushButton* save_;
    platform::WindowPlacement& placement_;
};

} // namespace tarnwick::recording
