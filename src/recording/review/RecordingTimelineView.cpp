#include "recording/review/RecordingTimelineView.h"

#include "panels/PopupAnchor.h"
#include "panels/Theme.h"
#include "recording/review/RecordingTimelineAccessible.h"
#include "platform/KeyNames.h"
#include "recording/review/RecordingTimelineTime.h"
#include "recording/review/RecordingTimelineTimeEditor.h"
#include "series/CanvasLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace tarnwick {

namespace {

constexpr double trackTop = 12;
constexpr double trackHeight = 54;
constexpr double cellWidth = 68;
constexpr int maximumCells = 12;

QColor white(double opacity) { return QColor::fromRgbF(1, 1, 1, float(opacity)); }
QColor grey(double level, double opacity = 1) { return QColor::fromRgbF(float(level), float(level), float(level), float(opacity)); }

} // namespace

RecordingTimelineView::RecordingTimelineView(RecordingTimelineModel model, QWidget* parent)
    : QWidget(parent), model_(std::move(model))
{
    RecordingTimelineAccessible::install();
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAccessibleName(QStringLiteral("Текущий кадр"));
    setToolTip(platform::keyText(u"Нажмите на миниатюры для перехода. Перетащите края или время для обрезки. "
                                 u"⌥ — точнее; стрелки — по кадру; двойной щелчок по времени — ввод."));
}

bool RecordingTimelineView::canScrub() const { return state().canScrub; }

double RecordingTimelineView::value(Target target) const
{
    RecordingTimelineState s = state();
    return target == Target::start ? s.start : target == Target::end ? s.end : s.playhead;
}

QRectF RecordingTimelineView::track() const { return {10, trackTop, std::max(width() - 20.0, 1.0), trackHeight}; }

double RecordingTimelineView::x(double time) const
{
    QRectF t = track();
    return t.left() + std::clamp(time / std::max(state().duration, 0.001), 0.0, 1.0) * t.width();
}

double RecordingTimelineView::time(double x) const
{
    QRectF t = track();
    return std::clamp((x - t.left()) / t.width(), 0.0, 1.0) * state().duration;
}

QRectF RecordingTimelineView::label(Target target) const
{
    RecordingTimelineState s = state();
    double w = std::max(CanvasLabel::size(RecordingTimelineTime::string(s.duration), 10, false).width() + 28, 90.0);
    double W = width();
    double startX = std::min(std::max(x(s.start) - 10, 0.0), W - w);
    double endX = std::min(std::max(x(s.end) + 10 - w, 0.0), W - w);
    if (endX < startX + w + 6) {
        endX = std::max(W - w, 0.0);
        startX = 0;
    }
    return {target == Target::start ? startX : endX, 76, w, 25};
}

std::vector<int> RecordingTimelineView::cellImages(double trackWidth, int imageCount)
{
    int n = int(std::ceil(trackWidth / cellWidth));
    int cells = std::min(std::max(n, 1), maximumCells);
    std::vector<int> result;
    for (int i = 0; i < cells; ++i) {
        int index = n < 2 ? (imageCount > 0 ? 0 : -1)
                          : int(std::round(double(i) * std::max(imageCount - 1, 0) / (cells - 1)));
        result.push_back(index < imageCount ? index : -1);
    }
    return result;
}

void RecordingTimelineView::updateFrames(const QList<QImage>& frames, int revision)
{
    if (revision != thumbnailRevision_) {
        images_.clear();
        for (const QImage& frame : frames)
            images_.push_back(frame.isNull() ? QPixmap() : QPixmap::fromImage(frame));
        thumbnailRevision_ = revision;
    }
    bool scrub = canScrub();
    if (!scrub)
        cancelInteraction();
    static const char* const names[] = {"Начало фрагмента", "Текущий кадр", "Конец фрагмента"};
    setAccessibleName(QString::fromUtf8(names[int(target_)]));
    setAccessibleDescription(RecordingTimelineTime::string(value(target_)));
    update();
    updateCursor(mapFromGlobal(QCursor::pos()));
}

void RecordingTimelineView::refresh() { updateFrames({}, thumbnailRevision_); }

void RecordingTimelineView::cancelInteraction()
{
    dragOrigin_.reset();
    baseline_.reset();
    if (editor_)
        editor_->close();
    editor_ = nullptr;
}

void RecordingTimelineView::paintEvent(QPaintEvent*)
{
    RecordingTimelineState s = state();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QRectF t = track();
    QPainterPath outline;
    outline.addRoundedRect(t, 12, 12);
    painter.fillPath(outline, grey(0.16));

    painter.save();
    painter.setClipPath(outline);
    std::vector<int> cells = cellImages(t.width(), int(images_.size()));
    for (int i = 0; i < int(cells.size()); ++i) {
        QRectF cell(t.left() + t.width() * i / cells.size(), trackTop, t.width() / cells.size() + 0.5, trackHeight);
        const QPixmap* image = cells[i] >= 0 && !images_[cells[i]].isNull() ? &images_[cells[i]] : nullptr;
        if (!image) {
            painter.fillRect(cell, white(i % 2 == 0 ? 0.03 : 0.06));
            continue;
        }
        // Aspect-fill: the part of the image that covers the cell.
        double scale = std::max(cell.width() / image->width(), cell.height() / image->height());
        QSizeF source(cell.width() / scale, cell.height() / scale);
        QRectF from((image->width() - source.width()) / 2, (image->height() - source.height()) / 2, source.width(),
                    source.height());
        painter.drawPixmap(cell, *image, from);
    }
    double startX = x(s.start), endX = x(s.end);
    painter.fillRect(QRectF(t.left(), trackTop, std::max(startX - t.left(), 0.0), trackHeight), QColor(0, 0, 0, 166));
    painter.fillRect(QRectF(endX, trackTop, std::max(t.right() - endX, 0.0), trackHeight), QColor(0, 0, 0, 166));
    painter.restore();
    painter.setPen(QPen(white(0.18), 1));
    painter.drawPath(outline);

    painter.setPen(QPen(white(0.85), 1.5));
    painter.drawRoundedRect(QRectF(startX, trackTop, std::max(endX - startX, 1.0), trackHeight), 7, 7);

    bool focused = hasFocus();
    for (Target target : {Target::start, Target::end}) {
        QRectF handle(x(value(target)) - 6, trackTop, 12, trackHeight);
        QColor fill = target == target_ && focused ? Theme::accent()
                                                   : grey(0.88, s.canScrub && !s.tracking ? 1 : 0.4);
        QPainterPath path;
        path.addRoundedRect(handle, 4, 4);
        painter.fillPath(path, fill);
        painter.setPen(QPen(QColor(0, 0, 0, 128), 1));
        for (double dx : {-1.5, 1.5})
            painter.drawLine(QPointF(handle.center().x() + dx, handle.center().y() - 7),
                             QPointF(handle.center().x() + dx, handle.center().y() + 7));
        drawLabel(painter, target, s);
    }

    double px = x(s.playhead);
    painter.setPen(QPen(Theme::accent(), 2));
    painter.drawLine(QPointF(px, 6), QPointF(px, t.bottom() + 5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::accent());
    painter.drawEllipse(QRectF(px - 4, 3, 8, 8));

    if (focused) {
        QColor ring = Theme::accent();
        ring.setAlphaF(0.35f);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(ring, 1));
        painter.drawRoundedRect(t.adjusted(-3, -3, 3, 3), 14, 14);
    }
}

void RecordingTimelineView::drawLabel(QPainter& painter, Target target, const RecordingTimelineState& s)
{
    QRectF box = label(target);
    QPainterPath path;
    path.addRoundedRect(box, 6, 6);
    painter.fillPath(path, grey(0.18));
    QFont font(CanvasLabel::family());
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(Theme::muted());
    painter.drawText(QRectF(box.left() + 6, box.top() + 5, 14, 16), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("↔"));
    font.setPixelSize(10);
    painter.setFont(font);
    painter.setPen(grey(0.94));
    painter.drawText(QRectF(box.left() + 23, box.top() + 6, box.width() - 27, 15), Qt::AlignLeft | Qt::AlignTop,
                     RecordingTimelineTime::string(target == Target::start ? s.start : s.end));
}

void RecordingTimelineView::updateCursor(QPointF p)
{
    RecordingTimelineState s = state();
    QRectF t = track();
    auto near = [&](double at) { return QRectF(at - 10, trackTop, 20, trackHeight).contains(p); };
    if (s.canScrub && !s.tracking
        && (near(x(s.start)) || near(x(s.end)) || label(Target::start).contains(p) || label(Target::end).contains(p)))
        setCursor(Qt::SizeHorCursor);
    else if (s.canScrub && t.contains(p))
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void RecordingTimelineView::mousePressEvent(QMouseEvent* event) { press(event, false); }

void RecordingTimelineView::mouseDoubleClickEvent(QMouseEvent* event) { press(event, true); }

void RecordingTimelineView::press(QMouseEvent* event, bool doubleClick)
{
    RecordingTimelineState s = state();
    if (!s.canScrub) {
        event->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    baseline_ = Baseline{s.start, s.end, s.playhead};
    QPointF p = event->position();
    QRectF t = track();
    bool editable = !s.tracking;
    Target hit = Target::playhead;
    if (editable && label(Target::start).contains(p))
        hit = Target::start;
    else if (editable && label(Target::end).contains(p))
        hit = Target::end;
    else if (editable && p.y() >= t.top() && p.y() <= t.bottom() && std::abs(p.x() - x(s.start)) <= 10)
        hit = Target::start;
    else if (editable && p.y() >= t.top() && p.y() <= t.bottom() && std::abs(p.x() - x(s.end)) <= 10)
        hit = Target::end;
    else if (p.y() > t.bottom() + 6) {
        baseline_.reset();
        return;
    }
    target_ = hit;
    if (doubleClick && hit != Target::playhead) {
        openTimeEditor();
        baseline_.reset();
        return;
    }
    dragOrigin_ = p.x();
    if (hit == Target::playhead)
        model_.seekVideo(time(p.x()));
    dragTime_ = value(target_);
    refresh();
}

void RecordingTimelineView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::NoButton)
        updateCursor(event->position());
    else
        drag(event);
}

void RecordingTimelineView::drag(QMouseEvent* event)
{
    RecordingTimelineState s = state();
    if (!s.canScrub || !dragOrigin_ || (target_ != Target::playhead && s.tracking))
        return;
    double px = event->position().x();
    if (std::abs(px - *dragOrigin_) <= 0.0001)
        return;
    bool fine = event->modifiers() & Qt::AltModifier;
    double delta = (px - *dragOrigin_) / track().width() * s.duration * (fine ? 0.1 : 1.0);
    double t = dragTime_ + delta;
    double grid = fine ? 1000 : 30;
    apply(std::round(t * grid) / grid);
    dragOrigin_ = px;
    s = state();
    double lo = target_ == Target::end ? s.start + std::min(s.duration, 0.1) : 0;
    double hi = target_ == Target::start ? s.end - std::min(s.duration, 0.1) : s.duration;
    dragTime_ = std::min(std::max(t, lo), hi);
}

void RecordingTimelineView::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragOrigin_)
        drag(event);
    dragOrigin_.reset();
    baseline_.reset();
}

bool RecordingTimelineView::accessibilityStep(int direction)
{
    if (!canScrub())
        return false;
    apply(value(target_) + direction / 30.0);
    return true;
}

void RecordingTimelineView::apply(double t)
{
    if (!std::isfinite(t))
        return;
    RecordingTimelineState s = state();
    if (!s.canScrub || (target_ != Target::playhead && s.tracking))
        return;
    if (target_ == Target::start)
        model_.changeStart(t);
    else if (target_ == Target::end)
        model_.changeEnd(t);
    else
        model_.seekVideo(t);
    refresh();
}

bool RecordingTimelineView::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress && canScrub()) {
        auto* key = static_cast<QKeyEvent*>(event);
        int step = key->key() == Qt::Key_Tab ? 1 : key->key() == Qt::Key_Backtab ? -1 : 0;
        int next = int(target_) + step;
        if (step != 0 && next >= 0 && next <= int(Target::end)) {
            target_ = Target(next);
            refresh();
            return true;
        }
    }
    return QWidget::event(event);
}

void RecordingTimelineView::keyPressEvent(QKeyEvent* event)
{
    RecordingTimelineState s = state();
    if (!s.canScrub) {
        event->ignore();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        if (!baseline_)
            break;
        model_.restoreTrim(baseline_->start, baseline_->end);
        model_.seekVideo(baseline_->playhead);
        cancelInteraction();
        update();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (target_ == Target::playhead || s.tracking)
            break;
        openTimeEditor();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        double step = (event->modifiers() & Qt::AltModifier ? 0.001 : 1.0 / 30)
                      * (event->modifiers() & Qt::ShiftModifier ? 10 : 1);
        apply(value(target_) + (event->key() == Qt::Key_Left ? -step : step));
        return;
    }
    case Qt::Key_Space:
        model_.playSelection();
        return;
    default:
        break;
    }
    event->ignore();
}

void RecordingTimelineView::openTimeEditor()
{
    RecordingTimelineState s = state();
    if (!s.canScrub || s.tracking || target_ == Target::playhead)
        return;
    if (editor_)
        editor_->close();
    Target target = target_;
    QPointer<RecordingTimelineView> self(this);
    // The source as a flag and a string: GCC 12 misreads an optional QString in a lambda.
    bool hadSource = s.videoSource.has_value();
    QString source = s.videoSource.value_or(QString());
    auto commit = [self, target, hadSource, source](double seconds) {
        if (!self)
            return;
        RecordingTimelineState now = self->state();
        if (now.canScrub && !now.tracking && now.videoSource.has_value() == hadSource
            && now.videoSource.value_or(QString()) == source) {
            self->target_ = target;
            self->apply(seconds);
        }
        if (self->editor_)
            self->editor_->close();
        self->editor_ = nullptr;
    };
    QString title = target == Target::start ? QStringLiteral("Начало фрагмента") : QStringLiteral("Конец фрагмента");
    editor_ = new RecordingTimelineTimeEditor(title, RecordingTimelineTime::string(value(target)), commit, this);
    // Under the time it edits, also when the window moves while it is open.
    const auto place = [self, target] {
        if (self && self->editor_)
            self->editor_->move(self->mapToGlobal(self->label(target).toAlignedRect().bottomLeft() + QPoint(0, 4)));
    };
    place();
    followAnchor(*editor_, *this, place);
    editor_->show();
}

} // namespace tarnwick
