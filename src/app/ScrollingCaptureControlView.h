#pragma once

#include <QRegion>
#include <QWidget>

class QLabel;
class QPushButton;
class QScreen;

namespace tarnwick {

class ScrollingCaptureModel;

// The scrolling capture's floating control panel: title, size so far, hint,
// "Отмена" and "Готово". A frameless tool window that stays on top, never takes
// the focus from the page being scrolled and can be dragged by its background.
class ScrollingCaptureControlView : public QWidget {
public:
    static constexpr QSize panelSize{590, 110};

    explicit ScrollingCaptureControlView(ScrollingCaptureModel& model);

    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* finishButton() const { return finish_; }
    // The grabbed area: a drag that would bring the panel over it is refused.
    void keepOutOf(const QRect& area) { keepOut_ = area; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void scheduleRefresh();
    void refresh();

    ScrollingCaptureModel& model_;
    QLabel* dimensions_;
    QLabel* message_;
    QPushButton* cancel_;
    QPushButton* finish_;
    QPoint dragOffset_;
    QRect keepOut_;
    bool refreshQueued_ = false;
};

// The blue frame drawn just outside the grabbed area, so it never shows in
// the grabbed frames; lets every click through.
class SelectionOutline : public QWidget {
public:
    static constexpr int border = 2;
    // Around `pixels` (root pixels) on `screen`.
    SelectionOutline(QScreen& screen, const QRect& pixels);

    // Where its window goes (Qt's global coordinates) and its ring (the window's own), for an
    // area of root `pixels` on a screen of `scale` whose place in Qt's coordinates and in root
    // pixels are both `origin`. Qt scales the place, the size and each rectangle of a mask on
    // its own and rounds each: every edge that rounding gives stays outside the area.
    struct Shape {
        QRect window;
        QRegion ring;
    };
    static Shape around(const QRect& pixels, double scale, QPoint origin);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tarnwick
