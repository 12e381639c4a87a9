#pragma once

#include "series/ScreenCaptureMode.h"

#include <QWidget>
#include <functional>

class QAction;
class QHBoxLayout;
class QPushButton;
class QToolButton;

namespace tarnwick {

class AppModel;
class EditorSaveControls;
class EditorState;
class PrimaryButton;

// What the header's buttons do outside the model; the shell fills them in.
struct EditorHeaderActions {
    std::function<void()> onSave;                // "В серию"
    std::function<void()> onCancel;              // "Отмена"
    std::function<void()> onCopyWithoutMarkers;  // copy and stay
    std::function<void()> onSaveWithoutMarkers;  // save into the image folder and close
    std::function<void()> onChooseSaveDirectory; // change the image folder
    std::function<void(ScreenCaptureMode)> onAddScreenshot;
    std::function<void()> onImportImage;
};

// The bar across the top of the editor: add a layer, undo and redo, the colour
// read-out, copy and save without markers, cancel and "В серию". Built once;
// `refresh` brings every control in line with the model.
class EditorHeader : public QWidget {
    Q_OBJECT
public:
    static constexpr int height = 58;
    // Narrower than this, the copy button shows its symbol only.
    static constexpr int compactWidth = 1000;

    EditorHeader(EditorState& state, AppModel* exportModel, EditorHeaderActions actions, QWidget* parent = nullptr);

    void refresh();
    // The canvas's colour read-out takes its place between the spacer and the copy button.
    void setColorReadOut(QWidget* readOut);
    bool compact() const { return compact_; }

    // The shortcuts' targets; each acts only while its control is enabled.
    bool undo();
    bool redo();
    bool pasteImage();
    bool save();

    QToolButton* addButton() const { return add_; }
    QToolButton* undoButton() const { return undo_; }
    QToolButton* redoButton() const { return redo_; }
    QToolButton* copyButton() const { return copy_; }
    EditorSaveControls* saveControls() const { return saveControls_; }
    QPushButton* cancelButton() const { return cancel_; }
    PrimaryButton* saveButton() const { return save_; }
    QAction* pasteAction() const { return paste_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateCopyLabel();

    EditorState& state_;
    EditorHeaderActions actions_;
    QHBoxLayout* row_;
    QToolButton* add_;
    QAction* paste_;
    QToolButton* undo_;
    QToolButton* redo_;
    QHBoxLayout* readOutSlot_;
    QToolButton* copy_;
    EditorSaveControls* saveControls_;
    QPushButton* cancel_;
    PrimaryButton* save_;
    bool compact_ = false;
    bool copied_ = false;
};

} // namespace tarnwick
