#pragma once

#include "panels/PermissionSetupModel.h"

#include <QWidget>
#include <array>
#include <functional>

class QLabel;
class QPushButton;

namespace tarnwick {

class PermissionCard;
class PrimaryButton;

// The wizard window's content: header with the granted count, an explanation,
// one card per permission, a closing note and the button row. It changes the
// model only through its operations and redraws once per event-loop turn after
// the model changed. GUI thread only.
class PermissionSetupView : public QWidget {
    Q_OBJECT
public:
    static constexpr int fixedWidth = 620; // wider only when the buttons need it

    // `onRefresh` is the owner's refresh routine; without it the view refreshes the model itself.
    PermissionSetupView(PermissionSetupModel& model, std::function<void()> onClose,
                        std::function<void()> onRefresh = {}, QWidget* parent = nullptr);

    // Shows the model now (normally queued after each change).
    void refresh();

    PermissionCard* card(SetupPermission permission) const { return cards_[static_cast<std::size_t>(permission)]; }
    QPushButton* closeButton() const { return closeButton_; }
    QPushButton* refreshButton() const { return refreshButton_; }
    PrimaryButton* primaryButton() const { return primary_; }
    QLabel* countLabel() const { return count_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void scheduleRefresh();
    void mainAction();

    PermissionSetupModel& model_;
    QWidget* content_; // all of the window's content, in a scroll area for low screens
    std::function<void()> onClose_;
    std::function<void()> onRefresh_;
    bool refreshQueued_ = false;

    QLabel* count_;
    QLabel* explanation_;
    std::array<PermissionCard*, 3> cards_{};
    QLabel* note_;
    QPushButton* closeButton_;
    QPushButton* refreshButton_;
    PrimaryButton* primary_;
};

} // namespace tarnwick
