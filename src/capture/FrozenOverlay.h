#pragma once

#include "capture/RubberBand.h"

#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>

class QFont;
class QPainter;

namespace tarnwick::capture {

// One screen's veil: a borderless override-redirect window over the whole
// screen showing the frozen picture dimmed, the rubber band (or a highlighted
// window) as an undimmed hole with a blue outline, an optional prompt and an
// optional size read-out in pixels. Owned by SelectionOverlays; GUI thread.
// Coordinates are the widget's own (device-independent pixels); `pixels()`
// is where the screen lies in the frozen root image (device pixels).
class FrozenOverlay : public QWidget {
public:
    struct Options {
        QString prompt;
        bool showsSize = false;         // "640 × 480" beside the band, in device pixels
        QSizeF minimumSize{1, 1};       // smaller bands are dropped
        bool rightClickCancels = false; // besides Escape
        bool picksWindows = false;      // a click picks the highlighted window; no band
    };
    struct Handlers {
        std::function<void(QRectF)> selected;   // a finished band
        std::function<void(QPoint)> hovered;    // pointer moved (window mode), root pixels
        std::function<void(QPoint)> clicked;    // left click (window mode), root pixels
        std::function<void()> cancelled;
        std::function<void()> switched;         // Space: area ↔ window, between drags
        std::function<void(bool)> keyboardHeld; // another program keeps the keyboard (true) or let it go
    };
    // What the veils say while another program keeps the keyboard.
    static const QString keyboardHeldNotice;

    // `frozen` is this screen's part of the frozen image; a null image shows a plain veil.
    FrozenOverlay(QScreen* screen, QRect pixels, QImage frozen, Options options, Handlers handlers);

    QRect pixels() const { return pixels_; }
    double scale() const { return scale_; }
    // Root pixels of a point in this widget, and back.
    QPoint toRoot(QPointF local) const;
    QRectF fromRoot(const QRect& root) const;

    // Highlights a rectangle (root pixels; empty for none), as window mode does.
    void setHighlight(const QRect& root);
    // Window mode (a click picks, no band) or the rubber band, which starts afresh.
    void setPicksWindows(bool on);
    bool picksWindows() const { return options_.picksWindows; }
    // Asks the server for the keyboard until it is granted while the overlay
    // shows (another client may hold it for a while; a busy machine may take
    // seconds to let it go). Refused for a second, it reports keyboardHeld.
    void grabKeyboardSoon(int attempts = 500);
    static constexpr int attemptsBeforeNotice = 50;

    // A line under the prompt, empty for none.
    void setNotice(const QString& text);
    const QString& notice() const { return notice_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointF pointerAt(const QMouseEvent* event) const;
    QPointF bandPoint(const QMouseEvent* event) const;
    QRectF hole() const;
    QRect labelRect() const;
    QRect noticeRect() const;
    QRect noteBox(const QString& text, int top) const;
    static QFont noteFont();
    void paintNote(QPainter& p, const QString& text, int top) const;
    void repaintAround(const QRectF& before);

    QRect pixels_;
    double scale_;
    QImage frozen_;
    Options options_;
    Handlers handlers_;
    RubberBand band_;
    QRectF highlight_;
    QRect lastLabel_;
    QPointF exact_; // the last pointer position before Qt rounded it
    QString notice_;
    int refusedGrabs_ = 0;
};

// Root pixels of a band in a screen's own coordinates: each edge rounded to
// its nearest pixel, so a band between two pixels' edges is exactly those pixels.
QRect bandPixels(const QRectF& local, double scale, QPoint origin);

} // namespace tarnwick::capture
