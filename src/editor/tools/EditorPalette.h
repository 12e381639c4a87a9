#pragma once

#include <QAbstractButton>
#include <QWidget>
#include <array>

namespace tarnwick {

class EditorState;

// The rainbow swatch that starts picking a colour from the shot; while a picked
// colour is in use it carries the ring, and the picked colour shows as a badge.
// The canvas does the sampling click. Stateless: paints the model's values and
// repaints on the model's coalesced `changed()`. GUI thread.
class CustomColorSlot : public QAbstractButton {
    Q_OBJECT
public:
    CustomColorSlot(EditorState& state, int swatchPadding, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    EditorState& state_;
    int padding_;
};

// The six annotation colours and the custom slot. A swatch recolours the
// selection (one undo step) and becomes the colour of new markup. Refreshes
// itself on the model's coalesced `changed()`. GUI thread.
class EditorPalette : public QWidget {
    Q_OBJECT
public:
    static constexpr int swatchCount = 6;

    explicit EditorPalette(EditorState& state, QWidget* parent = nullptr);
    void refresh();

    QAbstractButton* swatch(int position) const { return swatches_[static_cast<std::size_t>(position)]; }
    CustomColorSlot* customSlot() const { return slot_; }

private:
    EditorState& state_;
    std::array<QAbstractButton*, swatchCount> swatches_{};
    CustomColorSlot* slot_;
};

} // namespace tarnwick
