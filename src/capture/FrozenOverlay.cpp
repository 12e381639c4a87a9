#include "capture/FrozenOverlay.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <utility>
#include <cmath>

namespace tarnwick::capture {

namespace {

const QColor veil(0, 0, 0, 89); // black at 0.35
const QColor outline(0, 122, 255);
constexpr int promptLeft = 24;
constexpr int promptTop = 28;
constexpr int noteGap = 14; // between two notes' boxes, and from a box to the next text
constexpr int noteWidth = 760;

} // namespace

FrozenOverlay::FrozenOverlay(QScreen* screen, QRect pixels, QImage frozen, Options options, Handlers handlers)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint),
      pixels_(pixels),
      scale_(screen->devicePixelRatio()),
      frozen_(std::move(frozen)),
      options_(std::move(options)),
      handlers_(std::move(handlers)),
      band_(QRectF(QPointF(0, 0), screen->geometry().size()), options_.minimumSize)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setScreen(screen);
    setGeometry(screen->geometry());
    setCursor(Qt::CrossCursor);
    setMouseTracking(options_.picksWindows);
    // The window's events still carry the pointer's device pixel: Qt rounds
    // what it hands the widget to whole device-independent pixels, which at
    // 1.25 or 1.5 misses the pixel the user pointed at.
    create();
    windowHandle()->installEventFilter(this);
}

QRect bandPixels(const QRectF& local, double scale, QPoint origin)
{
    const auto edge = [scale](double v) { return int(std::lround(v * scale)); };
    return QRect(QPoint(edge(local.left()), edge(local.top())), QPoint(edge(local.right()) - 1, edge(local.bottom()) - 1))
        .translated(origin);
}

bool FrozenOverlay::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseMove || type == QEvent::MouseButtonRelease)
        exact_ = static_cast<QMouseEvent*>(event)->position();
    return QWidget::eventFilter(watched, event);
}

QPoint FrozenOverlay::toRoot(QPointF local) const
{
    return pixels_.topLeft() + QPoint(int(std::lround(local.x() * scale_)), int(std::lround(local.y() * scale_)));
}

QRectF FrozenOverlay::fromRoot(const QRect& root) const
{
    const QRect r = root.intersected(pixels_).translated(-pixels_.topLeft());
    if (r.isEmpty())
        return {};
    return QRectF(r.x() / scale_, r.y() / scale_, r.width() / scale_, r.height() / scale_);
}

QRectF FrozenOverlay::hole() const
{
    return options_.picksWindows ? highlight_ : band_.selection();
}

QRect FrozenOverlay::labelRect() const
{
    const QRectF h = hole();
    if (!options_.showsSize || options_.picksWindows || h.isEmpty())
        return {};
    const QSize text = fontMetrics().size(0, QStringLiteral("00000 × 00000")) + QSize(12, 6);
    QPoint at = h.bottomRight().toPoint() + QPoint(-text.width(), 6);
    if (at.y() + text.height() > height())
        at.setY(int(h.bottom()) - text.height() - 6);
    at.setX(std::max(0, at.x()));
    return QRect(at, text);
}

void FrozenOverlay::setHighlight(const QRect& root)
{
    const QRectF before = hole();
    highlight_ = fromRoot(root);
    if (highlight_ != before)
        repaintAround(before);
}

void FrozenOverlay::setPicksWindows(bool on)
{
    if (on == options_.picksWindows)
        return;
    const QRectF before = hole();
    options_.picksWindows = on;
    setMouseTracking(on);
    band_ = RubberBand(QRectF(QPointF(0, 0), size()), options_.minimumSize);
    highlight_ = {};
    repaintAround(before);
}

const QString FrozenOverlay::keyboardHeldNotice = QStringLiteral(
    "Клавиатуру держит другая программа: Esc не сработает. Отмена — правый щелчок.");

void FrozenOverlay::grabKeyboardSoon(int attempts)
{
    if (!isVisible())
        return;
    activateWindow();
    if (windowHandle() && windowHandle()->setKeyboardGrabEnabled(true)) {
        if (std::exchange(refusedGrabs_, 0) >= attemptsBeforeNotice && handlers_.keyboardHeld)
            handlers_.keyboardHeld(false);
        return;
    }
    // Said where the user looks, not only in a log: else Escape seems simply broken.
    if (++refusedGrabs_ == attemptsBeforeNotice && handlers_.keyboardHeld)
        handlers_.keyboardHeld(true);
    if (attempts > 0)
        QTimer::singleShot(20, this, [this, attempts] { grabKeyboardSoon(attempts - 1); });
    else
        qWarning("tarnwick-capture: the keyboard stayed taken by another program; Esc and the keys reach it instead");
}

void FrozenOverlay::setNotice(const QString& text)
{
    if (text == notice_)
        return;
    const QRect before = noticeRect();
    notice_ = text;
    update(before | noticeRect());
}

QRect FrozenOverlay::noticeRect() const
{
    if (notice_.isEmpty())
        return {};
    const int top = options_.prompt.isEmpty() ? promptTop : noteBox(options_.prompt, promptTop).bottom() + noteGap;
    return noteBox(notice_, top);
}

// Where a note at `top` stands with its dark box: as wide as its text, in lines of at most noteWidth.
QRect FrozenOverlay::noteBox(const QString& text, int top) const
{
    const QFontMetrics metrics(noteFont());
    const int room = std::max(1, std::min(width() - 2 * promptLeft, noteWidth));
    const QRect lines = metrics.boundingRect(QRect(0, 0, room, 10 * metrics.height()), Qt::TextWordWrap, text);
    return QRect(promptLeft - 10, top - 6, std::min(lines.width(), room) + 20, lines.height() + 12);
}

QFont FrozenOverlay::noteFont()
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(16);
    return font;
}

namespace {

// The hole's outline, which reaches one pixel either side of its edge.
QRegion outlineOf(const QRect& hole)
{
    return QRegion(hole.adjusted(-2, -2, 2, 2)).subtracted(QRegion(hole.adjusted(2, 2, -2, -2)));
}

} // namespace

void FrozenOverlay::repaintAround(const QRectF& before)
{
    // Only what changed: a drag over a large band repaints two thin strips, not the band.
    const QRect oldHole = before.toAlignedRect();
    const QRect newHole = hole().toAlignedRect();
    QRegion changed = QRegion(oldHole).xored(QRegion(newHole));
    changed += outlineOf(oldHole) + outlineOf(newHole) + labelRect() + lastLabel_;
    update(changed);
}

void FrozenOverlay::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    const QRegion dirty = event->region();
    const QRectF h = hole();
    // The picture is dimmed as it is painted, so start-up does no work on all of it.
    for (const QRect& r : dirty) {
        if (frozen_.isNull())
            p.fillRect(r, QColor(40, 40, 40));
        else
            p.drawImage(r, frozen_, QRectF(r.topLeft() * scale_, r.size() * scale_));
    }
    p.save();
    p.setClipRegion(dirty.subtracted(QRegion(h.toAlignedRect())));
    p.fillRect(dirty.boundingRect(), veil);
    p.restore();

    if (!h.isEmpty()) {
        if (frozen_.isNull())
            p.fillRect(h, QColor(90, 90, 90));
        p.setPen(QPen(outline, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(h);
    }
    if (!options_.prompt.isEmpty() && noteBox(options_.prompt, promptTop).intersects(dirty.boundingRect()))
        paintNote(p, options_.prompt, promptTop);
    if (const QRect note = noticeRect(); note.intersects(dirty.boundingRect()))
        paintNote(p, notice_, note.top() + 6);
    lastLabel_ = labelRect();
    if (!lastLabel_.isEmpty()) {
        const QSize size = bandPixels(h, scale_, {}).size();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 170));
        p.drawRoundedRect(lastLabel_, 4, 4);
        p.setPen(Qt::white);
        p.drawText(lastLabel_, Qt::AlignCenter, QStringLiteral("%1 × %2").arg(size.width()).arg(size.height()));
    }
}

// One line of text at `top` on a dark rounded box: white text alone is lost on a light page
// under the thin veil.
void FrozenOverlay::paintNote(QPainter& p, const QString& text, int top) const
{
    const QRect box = noteBox(text, top);
    p.setFont(noteFont());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 170));
    p.drawRoundedRect(box, 8, 8);
    p.setPen(Qt::white);
    p.drawText(box.adjusted(10, 6, -10, -6), Qt::TextWordWrap, text);
}

QPointF FrozenOverlay::pointerAt(const QMouseEvent* event) const
{
    // The unrounded position of this very event, unless the window saw another since.
    const QPointF rounded = event->position();
    return std::abs(exact_.x() - rounded.x()) <= 0.5 && std::abs(exact_.y() - rounded.y()) <= 0.5 ? exact_ : rounded;
}

QPointF FrozenOverlay::bandPoint(const QMouseEvent* event) const
{
    QPointF local = pointerAt(event);
    // The X pointer stops on the last pixel of the screen; there it stands for
    // the far edge, so a drag into a corner takes the last row and column too.
    // Half a pixel's slack: the last pixel's position is a fraction at 1.5.
    const double last = 1.5 / scale_;
    if (local.x() > width() - last)
        local.setX(width());
    if (local.y() > height() - last)
        local.setY(height());
    return local;
}

void FrozenOverlay::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton && options_.rightClickCancels) {
        if (handlers_.cancelled)
            handlers_.cancelled();
        return;
    }
    if (event->button() != Qt::LeftButton || options_.picksWindows)
        return;
    const QRectF before = hole();
    band_.press(bandPoint(event));
    repaintAround(before);
}

void FrozenOverlay::mouseMoveEvent(QMouseEvent* event)
{
    if (options_.picksWindows) {
        if (handlers_.hovered)
            handlers_.hovered(toRoot(pointerAt(event)));
        return;
    }
    const QRectF before = hole();
    if (band_.drag(bandPoint(event)))
        repaintAround(before);
}

void FrozenOverlay::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (options_.picksWindows) {
        if (handlers_.clicked)
            handlers_.clicked(toRoot(pointerAt(event)));
        return;
    }
    const QRectF before = hole();
    const std::optional<QRectF> done = band_.release(bandPoint(event));
    repaintAround(before);
    if (done && handlers_.selected)
        handlers_.selected(*done);
}

void FrozenOverlay::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        if (handlers_.cancelled)
            handlers_.cancelled();
        return;
    }
    // Not in the middle of a drag: the band the button still holds would vanish under it.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat() && !band_.isPressed() && handlers_.switched)
            handlers_.switched();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tarnwick::capture
