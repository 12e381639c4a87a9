#include "editor/tools/DoubleSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace tarnwick {

DoubleSlider::DoubleSlider(int resolution, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), resolution_(std::max(resolution, 1))
{
    setSingleStep(resolution_);
    setPageStep(5 * resolution_);
    connect(this, &QSlider::valueChanged, this, [this](int v) {
        if (!programmatic_)
            emit valueEdited(double(v) / resolution_);
    });
}

int DoubleSlider::position(double value) const
{
    const double p = std::round(value * resolution_);
    return std::isfinite(p) ? int(std::clamp(p, -1e9, 1e9)) : 0;
}

void DoubleSlider::setRangeF(double minimum, double maximum)
{
    if (position(minimum) == QSlider::minimum() && position(maximum) == QSlider::maximum())
        return;
    programmatic_ = true;
    setRange(position(minimum), position(maximum));
    programmatic_ = false;
}

void DoubleSlider::setValueF(double value)
{
    if (position(value) == this->value())
        return;
    programmatic_ = true;
    setValue(position(value));
    programmatic_ = false;
}

double DoubleSlider::valueF() const { return double(value()) / resolution_; }

void DoubleSlider::begin()
{
    if (editing_)
        return;
    editing_ = true;
    emit editingStarted();
}

void DoubleSlider::finish()
{
    if (!editing_)
        return;
    editing_ = false;
    emit editingFinished();
}

void DoubleSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && isEnabled())
        begin();
    QSlider::mousePressEvent(event);
}

void DoubleSlider::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    if (event->buttons() == Qt::NoButton)
        finish();
}

void DoubleSlider::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
        begin();
        break;
    default:
        break;
    }
    QSlider::keyPressEvent(event);
}

void DoubleSlider::keyReleaseEvent(QKeyEvent* event)
{
    QSlider::keyReleaseEvent(event);
    // A held key repeats as release-press pairs; only the real release ends the run.
    if (!event->isAutoRepeat() && !isSliderDown())
        finish();
}

void DoubleSlider::wheelEvent(QWheelEvent* event)
{
    const bool alone = !editing_;
    if (alone)
        begin();
    QSlider::wheelEvent(event);
    if (alone)
        finish();
}

void DoubleSlider::hideEvent(QHideEvent* event)
{
    finish();
    QSlider::hideEvent(event);
}

} // namespace tarnwick
