#pragma once

#include <QColor>
#include <QWidget>

class QScrollArea;

namespace tarnwick {

class EditorState;
class EditorToolDetails;

// The frame around the tool details: a frameless tool window 310 px wide and at
// most 460 px high, the details padded by 18 px in a vertical scroll area on the
// given surface colour. It does not take the keyboard from the editor, so tool
// keys still reach the canvas; a click anywhere outside it (or on the anchor
// again) closes it. The floating controls open it from their settings button.
// GUI thread; the state outlives it.
class ToolDetailsPopover : public QWidget {
    Q_OBJECT
public:
    ToolDetailsPopover(EditorState& state, const QColor& surface, QWidget* parent = nullptr);
    ~ToolDetailsPopover() override;

    EditorToolDetails& details() const { return *details_; }
    // Shows the popover below `anchor` (above it where the screen ends), or closes it
    // when it is already open from that anchor.
    void toggle(QWidget* anchor);
    void showAnchored(QWidget* anchor);

signals:
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void fitHeight();

    EditorToolDetails* details_;
    QScrollArea* scroll_;
    QWidget* anchor_ = nullptr;
};

} // namespace tarnwick
