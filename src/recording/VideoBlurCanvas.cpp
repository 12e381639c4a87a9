#include "recording/VideoBlurCanvas.h"

#include "recording/RecordingReview.h"
#include "recording/RecordingUIModel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace tarnwick::recording {

namespace {

constexpr double cornerGrab = 12;  // a press nearer than this to a corner resizes
constexpr double smallestDraft = 6; // a gesture smaller than this on screen changes nothing
const QColor selectionBlue(10, 132, 255);

// Left and top edges inside, right and bottom outside.
bool holds(const QRectF& r, QPointF p)
{
    return p.x() >= r.x() && p.x() < r.x() + r.width() && p.y() >= r.y() && p.y() < r.y() + r.height();
}

bool active(const review::VideoBlurRegion& region, double t)
{
    return region.start <= t && t < region.end;
}

QRectF spanned(QPointF a, QPointF b)
{
    return QRectF(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(a.x() - b.x()), std::abs(a.y() - b.y()));
}

} // namespace

VideoBlurCanvas::VideoBlurCanvas(RecordingReview& review, QWidget* parent) : QWidget(parent), model_(review.model()), review_(review)
{
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
    setMinimumHeight(180);
    connect(&review_.player(), &review::VideoPlayer::pictureChanged, this,
            [this] { update(videoRect().toAlignedRect()); });
    connect(&model_, &RecordingUIModel::outputSizeChanged, this, qOverload<>(&QWidget::update));
    // Drawing mode takes the keyboard, so its Esc reaches the canvas before the first press.
    connect(&model_, &RecordingUIModel::addingBlurChanged, this, [this] {
        if (model_.addingBlur())
            setFocus(Qt::OtherFocusReason);
    });
}

QRectF VideoBlurCanvas::videoRect() const
{
    const QSizeF s = model_.outputSize();
    if (s.width() <= 0 || s.height() <= 0)
        return QRectF(rect());
    const double scale = std::min(width() / s.width(), height() / s.height());
    const QSizeF fitted = s * scale;
    return QRectF(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

QPointF VideoBlurCanvas::normalizedPoint(QPointF p) const
{
    const QRectF v = videoRect();
    return QPointF(std::clamp((p.x() - v.x()) / std::max(v.width(), 1.0), 0.0, 1.0),
                   std::clamp(1 - (p.y() - v.y()) / std::max(v.height(), 1.0), 0.0, 1.0));
}

QRectF VideoBlurCanvas::viewRect(const QRectF& r) const
{
    const QRectF v = videoRect();
    return QRectF(v.x() + r.x() * v.width(), v.y() + (1 - (r.y() + r.height())) * v.height(), r.width() * v.width(),
                  r.height() * v.height());
}

void VideoBlurCanvas::refresh()
{
    repaintSelection();
}

std::optional<QRectF> VideoBlurCanvas::shownSelection() const
{
    if (draft_)
        return viewRect(*draft_);
    const review::VideoBlurRegion* selected = model_.selectedBlur();
    if (selected && active(*selected, model_.playhead()))
        return viewRect(selected->rect(model_.playhead()));
    return std::nullopt;
}

void VideoBlurCanvas::repaintSelection()
{
    const std::optional<QRectF> now = shownSelection();
    const QRectF area = now ? painted_.united(now->adjusted(-6, -6, 6, 6)) : painted_;
    if (!area.isEmpty())
        update(area.toAlignedRect());
}

void VideoBlurCanvas::press(QPointF p)
{
    if (!model_.canEditBlur() || !holds(videoRect(), p))
        return;
    review_.player().pause();
    setFocus(Qt::MouseFocusReason);
    anchor_ = normalizedPoint(p);
    corner_.reset();
    creating_ = model_.addingBlur();
    baseline_.reset();
    draft_.reset();
    if (creating_)
        return;

    const double t = model_.playhead();
    if (const review::VideoBlurRegion* selected = model_.selectedBlur(); selected && active(*selected, t)) {
        const QRectF r = viewRect(selected->rect(t));
        const QPointF corners[] = {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()};
        for (int i = 0; i < 4 && !corner_; ++i)
            if (std::hypot(corners[i].x() - p.x(), corners[i].y() - p.y()) < cornerGrab)
                corner_ = i;
    }
    if (!corner_) {
        std::optional<QUuid> hit;
        const auto& regions = model_.blurRegions();
        for (auto it = regions.rbegin(); it != regions.rend() && !hit; ++it)
            if (active(*it, t) && holds(viewRect(it->rect(t)), p))
                hit = it->id;
        model_.setSelectedBlurID(hit);
    }
    if (const review::VideoBlurRegion* selected = model_.selectedBlur()) {
        baseline_ = selected->rect(t);
        draft_ = baseline_;
    }
    repaintSelection();
}

void VideoBlurCanvas::drag(QPointF p)
{
    if (!anchor_)
        return;
    const QPointF q = normalizedPoint(p);
    if (creating_) {
        draft_ = spanned(*anchor_, q);
    } else if (baseline_ && corner_) {
        // The corner opposite the grabbed one stays, in picture terms (y up).
        const QRectF& b = *baseline_;
        const double left = b.x(), right = b.x() + b.width(), low = b.y(), high = b.y() + b.height();
        const QPointF fixed[] = {{right, low}, {left, low}, {left, high}, {right, high}};
        draft_ = review::VideoBlurRegion::clamp(spanned(fixed[*corner_], q));
    } else if (baseline_) {
        draft_ = review::VideoBlurRegion::clamp(baseline_->translated(q - *anchor_));
    }
    repaintSelection();
}

void VideoBlurCanvas::release(QPointF p)
{
    if (!anchor_)
        return;
    drag(p);
    const QRectF v = videoRect();
    if (draft_ && draft_->width() * v.width() >= smallestDraft && draft_->height() * v.height() >= smallestDraft) {
        if (creating_)
            review_.finishBlurSelection(*draft_);
        else if (baseline_ && *draft_ != *baseline_)
            review_.correctBlur(*draft_);
    }
    anchor_.reset();
    baseline_.reset();
    draft_.reset();
    corner_.reset();
    creating_ = false;
    repaintSelection();
}

void VideoBlurCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        press(event->position());
}

void VideoBlurCanvas::mouseMoveEvent(QMouseEvent* event)
{
    setCursor(model_.addingBlur() && holds(videoRect(), event->position()) ? Qt::CrossCursor : Qt::ArrowCursor);
    if (event->buttons() & Qt::LeftButton)
        drag(event->position());
}

void VideoBlurCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        release(event->position());
}

void VideoBlurCanvas::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape)
        return QWidget::keyPressEvent(event);
    anchor_.reset();
    draft_.reset();
    baseline_.reset();
    model_.setAddingBlur(false);
    repaintSelection();
}

void VideoBlurCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), 10, 10);
    painter.setClipPath(clip);
    painter.fillRect(rect(), Qt::black);
    if (const QImage& picture = review_.player().picture(); !picture.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QSizeF fitted = QSizeF(picture.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio);
        painter.drawImage(QRectF(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted),
                          picture);
    }
    const std::optional<QRectF> r = shownSelection();
    painted_ = r ? r->adjusted(-6, -6, 6, 6) : QRectF();
    if (!r)
        return;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 3));
    painter.drawRect(*r);
    painter.setPen(QPen(selectionBlue, 1.5));
    painter.drawRect(*r);
    painter.setPen(QPen(selectionBlue, 1));
    painter.setBrush(Qt::white);
    for (const QPointF c : {r->topLeft(), r->topRight(), r->bottomRight(), r->bottomLeft()})
        painter.drawRect(QRectF(c - QPointF(4, 4), QSizeF(8, 8)));
}

} // namespace tarnwick::recording
