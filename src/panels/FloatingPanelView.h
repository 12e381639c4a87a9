#pragma once

#include <QPixmap>
#include <QWidget>

class QAbstractButton;
class QLabel;
class QMessageBox;
class QPushButton;
class QToolButton;

namespace tarnwick {

class AppModel;
class FloatingPanelMenu;
class NewShotButton;
class PanelDragRegion;
class ShotStack;

// The content of the floating panel: header (name, shot count, main menu, hide button), the
// stack of the last shots, the new-shot button and the status line, on a dark rounded card.
// It shows what the model publishes, updating its widgets in place once per event-loop turn
// after the model changed, and acts only through the model's operations and actions. It also
// asks before the series is cleared, while the model's confirmClear is set and the panel is not
// hidden. GUI thread.
class FloatingPanelView : public QWidget {
    Q_OBJECT
public:
    explicit FloatingPanelView(AppModel& model, QWidget* parent = nullptr);

    // Reads the model into the widgets; runs by itself after every change of the model.
    void refresh();

    PanelDragRegion& dragRegion() const { return *dragRegion_; }
    FloatingPanelMenu& menu() const { return *menu_; }
    QToolButton& menuButton() const { return *menuButton_; }
    ShotStack& shotStack() const { return *stack_; }
    QLabel& countLabel() const { return *count_; }
    QAbstractButton& hideButton() const;
    QAbstractButton& newShotButton() const;
    QLabel& statusLabel() const { return *status_; }
    QPushButton& screenAccessButton() const { return *screenAccess_; }
    // The clear confirmation; visible while it asks.
    QMessageBox& clearConfirmation();

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void scheduleRefresh();
    QWidget* makeHeader();
    void askToClear();

    AppModel& model_;
    bool refreshPending_ = false;
    QPixmap surface_;
    // Hidden after it was shown (a capture, the editor): the clear confirmation waits for the panel.
    bool hidden_ = false;
    PanelDragRegion* dragRegion_ = nullptr;
    QLabel* count_ = nullptr;
    FloatingPanelMenu* menu_ = nullptr;
    QToolButton* menuButton_ = nullptr;
    QToolButton* hide_ = nullptr;
    ShotStack* stack_ = nullptr;
    NewShotButton* newShot_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* screenAccess_ = nullptr;
    QMessageBox* confirmation_ = nullptr;
    QPushButton* confirmClear_ = nullptr;
};

} // namespace tarnwick
