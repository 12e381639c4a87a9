#pragma once

#include "series/Annotation.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

class QBoxLayout;
class QFrame;
class QMenu;
class QScrollArea;
class QToolButton;

namespace tarnwick {

class EditorFloatingControls;
class EditorState;
class EditorToolStrip;
class EditorToolVariants;

// The floating toolbar over the editor: a rounded surface with the tool strip,
// the floating controls and the orientation menu, and next to it the variant
// cards of the current tool group with the option strip and the corner
// control. Horizontal, it sits at the bottom of its host with the contextual row
// above; vertical, it is a scrolling column at the left with the contextual
// pieces beside it. Its pieces are separate children of the host, so the canvas
// around them keeps its clicks. Layout choices that depend on width come from
// size hints and the host's width only. Refreshes on the model's coalesced
// `changed()`. GUI thread; owned by the host.
class EditorFloatingToolbar : public QObject {
    Q_OBJECT
public:
    // `setVertical` stores a choice made in the orientation menu; the owner answers with setVertical().
    EditorFloatingToolbar(EditorState& state, QWidget* host, std::function<void(bool)> chooseVertical);

    void setVertical(bool vertical);
    bool vertical() const { return vertical_; }
    // The comments panel takes 264 points at the right of the horizontal bar.
    void setCommentsShown(bool shown);
    void setEnabled(bool enabled);
    // The option strip (with whether it has anything to show) and the corner control.
    void setSupplementalControls(QWidget* strip, std::function<bool()> hasContent);
    void setCornerControl(QWidget* control);

    // The group of the last strip press; the group whose variants show.
    std::optional<EditorToolGroup> chosenGroup() const { return chosenGroup_; }
    std::optional<EditorToolGroup> contextualGroup() const;
    // The variants on screen, if any.
    EditorToolVariants* shownVariants() const;

    QWidget* surface() const { return surface_; }
    EditorToolStrip* strip() const { return strip_; }
    EditorFloatingControls* controls() const { return controls_; }
    QToolButton* orientationButton() const { return orientation_; }
    QMenu* orientationMenu() const { return menu_; }

    void refresh();
    void place();
    // Where the pieces beside the bar stand now (variants, option strip, corner control), in the
    // host's coordinates; empty when none shows.
    QRect contextBox() const;

signals:
    // The pieces have moved; what floats beside them follows.
    void placed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool cornerShown() const;
    void followControls();
    int surfaceWidth(bool compact) const;
    void placePieces();
    void orient();
    // Lays `pieces` out in a row when `row`, else a column, centred; returns the whole box.
    QRect stack(const QVector<QWidget*>& pieces, QPoint origin, bool row, bool centred);

    EditorState& state_;
    QWidget* host_;
    std::function<void(bool)> chooseVertical_;
    bool vertical_ = false;
    bool commentsShown_ = false;
    std::optional<EditorToolGroup> chosenGroup_;

    QWidget* surface_;
    QBoxLayout* surfaceBox_;
    QScrollArea* scroll_;
    QWidget* tools_;
    QBoxLayout* toolsBox_;
    QFrame* divider_;
    EditorToolStrip* strip_;
    EditorFloatingControls* controls_;
    QToolButton* orientation_;
    QMenu* menu_;
    std::array<EditorToolVariants*, 5> variants_{};
    QPointer<QWidget> supplemental_;
    std::function<bool()> supplementalHasContent_;
    QPointer<QWidget> corner_;
};

} // namespace tarnwick
