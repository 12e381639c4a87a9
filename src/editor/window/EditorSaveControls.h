#pragma once

#include <QToolButton>
#include <QWidget>
#include <functional>
#include <optional>

class QAction;
class QMenu;


namespace tarnwick {

class AppModel;

// The header's save button (saves the shot without markers into the image
// folder and closes) and the small menu that shows and changes that folder.
// With a model the shown folder follows the model's image folder at once.
class EditorSaveControls : public QWidget {
    Q_OBJECT
public:
    EditorSaveControls(AppModel* model, std::function<void()> onSave, std::function<void()> onChooseDirectory,
                       QWidget* parent = nullptr);

    void setDirectory(const std::optional<QString>& directory);
    void setCanSave(bool canSave);
    void setCanChoose(bool canChoose);

    QToolButton* saveButton() const { return save_; }
    QToolButton* folderButton() const { return folder_; }
    QMenu* folderMenu() const { return menu_; }

private:
    std::function<void()> onSave_;
    std::function<void()> onChooseDirectory_;
    std::optional<QString> directory_;
    QToolButton* save_;
    QToolButton* folder_;
    QMenu* menu_;
    QAction* path_;
    QAction* choose_;
};

// A footer button that zooms the canvas of its editor window by a fixed factor;
// outside an editor window it does nothing.
class CanvasZoomButton : public QToolButton {
    Q_OBJECT
public:
    explicit CanvasZoomButton(double factor, QWidget* parent = nullptr);
    double factor() const { return factor_; }
    void setFactor(double factor);

private:
    void zoomCanvas();
    double factor_ = 1;
};

} // namespace tarnwick
