#pragma once

#include <QScrollArea>

namespace tarnwick::platform {

// Holds all of a window's content (inside the window's layout margins), unseen while the window
// has room for it: on a monitor with less room than the content needs, the window's placement
// lowers its cap and the content scrolls instead of being cut. A frameless, transparent scroll
// area whose content follows its size.
class RoomScrollArea : public QScrollArea {
    Q_OBJECT
public:
    explicit RoomScrollArea(QWidget* content, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The least size it asks of the window's layout, at most; the window's layout takes it in when
    // it is activated next. False when it had that cap.
    bool setCap(QSize cap);

private:
    QSize cap_{QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
};

} // namespace tarnwick::platform
