#pragma once

#include <QPoint>
#include <QPointF>
#include <QWidget>
#include <optional>

namespace tarnwick {

// A handle that moves its top-level window with the left mouse button; the first click on
// an inactive window already drags. Nothing is clamped while dragging. `dragFinished` comes
// on the release that ends a drag begun here: the floating panel keeps its position then,
// other windows (the editor) are only moved. GUI thread.
class PanelDragRegion : public QWidget {
    Q_OBJECT
public:
    explicit PanelDragRegion(QWidget* parent = nullptr);

signals:
    void dragFinished();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Device pixels at the press.
    std::optional<QPointF> pointerOrigin_;
    std::optional<QPointF> windowOrigin_;
};

} // namespace tarnwick
