#include "editor/canvas/ImageCanvasView.h"

#include "platform/PhysicalKey.h"
#include "platform/TarnwickError.h"
#include "render/ScreenshotEffects.h"
#include "series/Geometry.h"

#include <QAccessibleWidget>
#include <QMetaObject>
#include <QPointer>
#include <QEnterEvent>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>

namespace tarnwick {

namespace {

QString sentenceOf(const std::exception_ptr& error)
{
    return errorSentence(error, QStringLiteral("Не удалось подготовить изображение."));
}

// A screen reader announces the canvas as the picture it shows, not as a panel, by its name.
QAccessibleInterface* pictureRole(const QString& className, QObject* object)
{
    if (className == QLatin1String(ImageCanvasView::staticMetaObject.className()) && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Graphic);
    return nullptr;
}

} // namespace

ImageCanvasView::ImageCanvasView(EditorState& state, QClipboard* clipboard, QWidget* parent)
    : QWidget(parent), state_(state), clipboard_(clipboard)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_AcceptTouchEvents, false);
    static const bool pictureRoleInstalled = (QAccessible::installFactory(pictureRole), true);
    Q_UNUSED(pictureRoleInstalled);
    setAccessibleName(QStringLiteral("Снимок ") + state_.label() + QStringLiteral(", область разметки"));
    platform::watchKeyboard(); // before a key is held: a held key is one step
    connect(&state_, &EditorState::changed, this, [this] {
        refreshEffects();
        update();
        updateCursorShape();
    });
    refreshEffects();
    updateCursorShape();
}

ImageCanvasView::~ImageCanvasView()
{
    if (const std::shared_ptr<ScreenshotEffects> effects = observedEffects_.lock())
        effects->removeObserver(observerID_);
}

void ImageCanvasView::setInsets(double bottom, double left)
{
    if (bottom == bottomInset_ && left == leftInset_)
        return;
    bottomInset_ = bottom;
    leftInset_ = left;
    update();
}

void ImageCanvasView::refreshEffects()
{
    const RenderScene scene = state_.scene();
    if (observedEffects_.lock() != scene.effects) {
        if (const std::shared_ptr<ScreenshotEffects> old = observedEffects_.lock())
            old->removeObserver(observerID_);
        observedEffects_ = scene.effects;
        if (scene.effects) {
            QPointer<ImageCanvasView> self(this);
            scene.effects->setObserver(observerID_, [self] {
                if (self)
                    self->refreshEffects();
            });
        }
    }
    if (scene.effects)
        scene.effects->prepare(state_.effectiveAnnotations());
    if (readinessQueued_)
        return;
    readinessQueued_ = true;
    QMetaObject::invokeMethod(this, [this] { publishReadiness(); }, Qt::QueuedConnection);
}

void ImageCanvasView::publishReadiness()
{
    readinessQueued_ = false;
    const RenderScene scene = state_.scene();
    EffectReadiness ready;
    if (scene.effects)
        ready = scene.effects->readiness(state_.effectiveAnnotations());
    state_.effects().setPending(ready.pending);
    std::optional<QString> message = ready.message;
    if (scene.error)
        message = sentenceOf(scene.error);
    state_.effects().setFailed(scene.error || ready.failed);
    state_.effects().setMessage(message);
    update();
    // The read-out waits until the events at hand are handled: a held key's
    // repeats change the picture faster than anyone reads the colour.
    if (cursorPoint_ && !colorQueued_) {
        colorQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            colorQueued_ = false;
            if (cursorPoint_)
                updateCursorColor(*cursorPoint_);
        });
    }
}

void ImageCanvasView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Once the window is up, typing goes to the canvas unless an editor takes it.
    QTimer::singleShot(0, this, [this] {
        if (!state_.text().isOpen() && !state_.comment().isOpen())
            setFocus(Qt::OtherFocusReason);
    });
}

void ImageCanvasView::updateCursorShape()
{
    if (state_.style().pickingColor())
        setCursor(Qt::CrossCursor);
    else if (panOrigin_)
        setCursor(Qt::ClosedHandCursor);
    else if (spaceDown_)
        setCursor(Qt::OpenHandCursor);
    else if (state_.tool() == AnnotationTool::qr)
        setCursor(Qt::CrossCursor);
    else
        setCursor(Qt::ArrowCursor);
}

QRectF ImageCanvasView::contentFrame() const
{
    return QRectF(leftInset_, 0, std::max(width() - leftInset_, 60.0), std::max(height() - bottomInset_, 60.0));
}

QRectF ImageCanvasView::visibleRect() const { return state_.cropRect() ? *state_.cropRect() : state_.canvasRect(); }

bool ImageCanvasView::expandingGesture() const
{
    if (movingOriginal_)
        return movingOriginal_->kind != AnnotationTool::crop && !movingMagnifierSource_;
    return draft_ && createsOutsideCanvas(draft_->kind);
}

QRectF ImageCanvasView::previewCanvas() const
{
    if (draft_ && expandingGesture())
        return state_.canvasFrame(draft_);
    return state_.canvasRect();
}

QRectF ImageCanvasView::previewViewport() const
{
    if (!state_.cropRect())
        return previewCanvas();
    if (draft_ && expandingGesture())
        return state_.viewportFrame(draft_);
    return *state_.cropRect();
}

QRectF ImageCanvasView::imageRect() const
{
    const QRectF vp = previewViewport();
    if (expandingGesture() && dragImageRect_ && dragViewport_ && dragViewport_->width() > 0) {
        // The content on screen stays still while the viewport grows around it.
        const QRectF& dir = *dragImageRect_;
        const QRectF& dvp = *dragViewport_;
        const double s = dir.width() / dvp.width();
        return QRectF(dir.left() + s * (vp.left() - dvp.left()), dir.top() + s * (vp.top() - dvp.top()),
                      s * vp.width(), s * vp.height());
    }
    return state_.navigation().imageRect(contentFrame(), vp);
}

double ImageCanvasView::brushDiameter() const
{
    double width = hasOwnWidth(state_.tool()) ? state_.style().highlighterWidth() : state_.style().strokeWidth();
    if (draft_ && isFreehand(draft_->kind))
        width = Screenshot::effectiveStrokeWidth(*draft_, state_.shot().pixelSize);
    const QRectF vp = previewViewport();
    return vp.width() > 0 ? width * imageRect().width() / vp.width() : width;
}

std::optional<QRectF> ImageCanvasView::brushPreviewRect() const
{
    if (!isFreehand(state_.tool()))
        return std::nullopt;
    if (state_.style().pickingColor() || state_.text().isOpen() || state_.comment().isOpen()
        || state_.images().capturing()
        || spaceDown_ || panOrigin_ || movingOriginal_)
        return std::nullopt;
    if (!cursorPoint_ || !QRectF(rect()).contains(*cursorPoint_))
        return std::nullopt;
    QPointF center = *cursorPoint_;
    if (draft_ && isFreehand(draft_->kind)) {
        const QRectF ir = imageRect();
        const QRectF vp = previewViewport();
        center = QPointF(ir.left() + (draft_->end.x() - vp.left()) * ir.width() / vp.width(),
                         ir.top() + (draft_->end.y() - vp.top()) * ir.height() / vp.height());
    }
    const double d = brushDiameter();
    return QRectF(center.x() - d / 2, center.y() - d / 2, d, d);
}

QRectF ImageCanvasView::brushDamage(const QPointF& center) const
{
    const double r = brushDiameter() / 2 + 3;
    return QRectF(center.x() - r, center.y() - r, 2 * r, 2 * r);
}

void ImageCanvasView::setCursorPoint(const std::optional<QPointF>& point)
{
    const std::optional<QPointF> old = cursorPoint_;
    cursorPoint_ = point;
    if (!isFreehand(state_.tool()))
        return;
    if (old.has_value() == point.has_value() && (!old || geo::same(*old, *point)))
        return;
    // The brush ring needs only its old and new squares.
    if (point)
        update(brushDamage(*point).toAlignedRect());
    if (old)
        update(brushDamage(*old).toAlignedRect());
}

void ImageCanvasView::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    updateCursorColor(event->position());
}

void ImageCanvasView::updateCursorColor(const QPointF& point)
{
    setCursorPoint(point);
    CursorColorState& color = state_.cursorColor();
    const QRectF ir = imageRect();
    const QRectF vp = previewViewport();
    const bool outside = !QRectF(rect()).contains(point) || !geo::contains(ir, point)
        || (!state_.canExport() && !state_.style().pickingColor()) || state_.comment().isOpen() || draft_;
    if (outside) {
        color.update(std::nullopt, false);
        return;
    }
    const QPointF pixel(vp.left() + (point.x() - ir.left()) / ir.width() * vp.width(),
                        vp.top() + (point.y() - ir.top()) / ir.height() * vp.height());
    Screenshot shot = state_.editedShot();
    if (state_.style().pickingColor())
        shot.annotations = state_.previewAnnotations(); // the text being written counts too
    std::optional<SampledColor> sample;
    try {
        sample = colorSampler_.sample(shot, pixel);
    } catch (...) {
        sample.reset();
    }
    color.update(sample, sample.has_value());
}

} // namespace tarnwick
