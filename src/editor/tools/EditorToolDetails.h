#pragma once

#include "editor/tools/ToolDetailsSections.h"

#include <QWidget>
#include <array>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace tarnwick {

class DoubleSlider;
class EditorImageCornerControl;
class EditorState;
class SegmentedPicker;

// The options of the current tool or selection, one section per subject stacked
// in a fixed order; the sections are built once and shown or hidden as the model
// changes, so an open menu or a slider drag survives every change. It has no
// frame of its own: the toolbar's settings popover hosts it. GUI thread; the state outlives it.
class EditorToolDetails : public QWidget {
    Q_OBJECT
public:
    explicit EditorToolDetails(EditorState& state, QWidget* parent = nullptr);

    // The sections now shown, in order.
    QVector<DetailsSection> shownSections() const;
    QWidget* section(DetailsSection section) const { return sections_[std::size_t(section)]; }
    DoubleSlider* strokeSlider() const { return strokeSlider_; }
    void refresh();

private:
    // The content column of a new section; a boxed one ends with a divider.
    QVBoxLayout* addSection(DetailsSection section, bool boxed);
    void buildToolSections();
    void buildImageSections();
    void buildFurtherSections();
    void refreshFurtherSections();

    EditorState& state_;
    QVBoxLayout* column_;
    std::array<QWidget*, 15> sections_{};
    QComboBox* extraPicker_ = nullptr;
    QProgressBar* qrBusy_ = nullptr;
    SegmentedPicker* rulerPicker_ = nullptr;
    QComboBox* linePicker_ = nullptr;
    QComboBox* shapePicker_ = nullptr;
    QLabel* strokeValue_ = nullptr;
    DoubleSlider* strokeSlider_ = nullptr;
    QWidget* zoomRow_ = nullptr;
    QLabel* zoomValue_ = nullptr;
    QPushButton* layerBackground_ = nullptr;
    QPushButton* removeLayer_ = nullptr;
    EditorImageCornerControl* layerCorner_ = nullptr;
    QPushButton* sourceBackground_ = nullptr;
    EditorImageCornerControl* sourceCorner_ = nullptr;
    QLabel* notice_ = nullptr;
    QLabel* cropTitle_ = nullptr;
    QPushButton* applyCrop_ = nullptr;
    QPushButton* cancelCrop_ = nullptr;
    QPushButton* resetCrop_ = nullptr;
    QComboBox* blurPicker_ = nullptr;
    QLabel* blurHint_ = nullptr;
    QProgressBar* blurBusy_ = nullptr;
    QLabel* effectMessage_ = nullptr;
};

} // namespace tarnwick
