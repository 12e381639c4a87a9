#pragma once

#include "series/Annotation.h"

#include <QWidget>
#include <functional>
#include <optional>

class QAbstractButton;
class QBoxLayout;
class QScrollArea;
class QToolButton;

namespace tarnwick {

class EditorPalette;
class EditorPopover;
class EditorState;

// The buttons after the tool strip: the colour button with the palette
// popover, the settings button with the tool details popover, and, in the
// vertical column only, the delete button for the selection. The popovers close
// when the tool changes and when colour picking starts; the palette's also when
// the colour changes. Refreshes on the model's coalesced `changed()`. GUI thread.
class EditorFloatingControls : public QWidget {
    Q_OBJECT
public:
    // Builds the tool details shown in the settings popover, parented by the caller.
    using DetailsContent = std::function<QWidget*(EditorState& state)>;

    explicit EditorFloatingControls(EditorState& state, QWidget* parent = nullptr);

    // A new orientation closes both popovers.
    void setVertical(bool vertical);
    // Until it is set the settings button is disabled.
    void setDetailsContent(DetailsContent content);
    void refresh();

    // The tool whose options the buttons stand for: crop while cropping, else the
    // selected element's kind, else the tool new elements are drawn with.
    static AnnotationTool controlledTool(const EditorState& state);
    static bool hasColor(AnnotationTool tool);

    QAbstractButton* colorButton() const { return color_; }
    QToolButton* settingsButton() const { return settings_; }
    QToolButton* deleteButton() const { return delete_; }
    EditorPopover* palettePopover() const { return palettePopover_; }
    EditorPopover* detailsPopover() const { return detailsPopover_; }
    EditorPalette* palette() const { return palette_; }

private:
    void toggle(EditorPopover* popover);
    void closePopovers();

    EditorState& state_;
    QBoxLayout* box_;
    QAbstractButton* color_;
    QToolButton* settings_;
    QToolButton* delete_;
    EditorPalette* palette_;
    EditorPopover* palettePopover_;
    EditorPopover* detailsPopover_;
    QScrollArea* detailsScroll_;
    DetailsContent detailsContent_;
    bool vertical_ = false;
    AnnotationTool seenTool_;
    int seenColor_;
    bool seenPicking_;
};

} // namespace tarnwick
