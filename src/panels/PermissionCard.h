#pragma once

#include "panels/PermissionSetupModel.h"

#include <QFrame>

class QLabel;
class QPushButton;

namespace tarnwick {

// The wizard's card of one permission: symbol, title, description, what is
// missing (after a request), and either "Разрешено" or its own button, which
// calls the model's requestIndividually. Built once; refresh() shows the model.
class PermissionCard : public QFrame {
    Q_OBJECT
public:
    PermissionCard(PermissionSetupModel& model, SetupPermission permission, QWidget* parent = nullptr);

    void refresh();
    QPushButton* button() const { return button_; }
    QLabel* notice() const { return notice_; }
    bool highlighted() const { return highlighted_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PermissionSetupModel& model_;
    SetupPermission permission_;
    QLabel* symbol_;
    QLabel* notice_;
    QWidget* grantedLabel_;
    QPushButton* button_;
    bool highlighted_ = false;
    std::optional<bool> shownGranted_;
};

} // namespace tarnwick
