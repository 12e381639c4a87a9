#pragma once

#include <QSlider>

namespace tarnwick {

// A horizontal slider over a range of real numbers that reports one editing run:
// `editingStarted` before the first change of a mouse press, key press or wheel
// turn, `valueEdited` for every change the user makes, `editingFinished` on the
// release (or when the slider is hidden mid-run). Values set by the program
// report nothing. GUI thread.
class DoubleSlider : public QSlider {
    Q_OBJECT
public:
    // `resolution` positions per unit: 1 moves in whole steps, 100 is near continuous.
    explicit DoubleSlider(int resolution, QWidget* parent = nullptr);

    void setRangeF(double minimum, double maximum);
    void setValueF(double value);
    double valueF() const;
    bool editing() const { return editing_; }

signals:
    void editingStarted();
    void valueEdited(double value);
    void editingFinished();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void begin();
    void finish();
    int position(double value) const;

    const int resolution_;
    bool editing_ = false;
    bool programmatic_ = false;
};

} // namespace tarnwick
