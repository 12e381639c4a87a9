#include "app/ScrollingCaptureController.h"

#include "app/ScrollingCaptureControlView.h"
#include "app/ScrollingCaptureKeys.h"
#include "capture/RecordingAreaSelector.h"
#include "platform/PlacementRules.h"
#include "platform/UsableArea.h"
#include "platform/WindowPlacement.h"

#include <QScreen>
#include <algorithm>
#include <cmath>

namespace tarnwick {
namespace {

constexpr int panelGap = 12;

QString messageFor(ScrollAppendKind kind)
{
    switch (kind) {
    case ScrollAppendKind::unmatched:
        return QStringLiteral("Не удалось совместить. Вернитесь немного вверх и прокручивайте медленнее.");
    case ScrollAppendKind::skipped:
        return QStringLiteral("Прокрутите медленнее — часть страницы пропущена. Вернитесь немного вверх.");
    case ScrollAppendKind::limit:
        return QStringLiteral("Достигнут предел размера. Нажмите «Готово», чтобы сохранить собранное.");
    default:
        return QStringLiteral("Прокручивайте вниз небольшими шагами · Enter — готово · Esc — отмена");
    }
}

} // namespace

ScrollingCaptureController::ScrollingCaptureController(GrabFactory grabFactory, QObject* parent)
    : QObject(parent), grabFactory_(std::move(grabFactory))
{
}

ScrollingCaptureController::~ScrollingCaptureController()
{
    if (control_)
        platform::WindowPlacement::keepClearOf(std::nullopt);
}

ScrollingCaptureController::ControlPlacement ScrollingCaptureController::controlPlacement(const QRect& selection,
                                                                                          const QRect& visibleFrame)
{
    const QSize size = ScrollingCaptureControlView::panelSize;
    const QRect& frame = visibleFrame;
    constexpr int border = SelectionOutline::border;
    // Centred on the side it takes, then kept inside the frame.
    const auto placed = [&](int x, int y, const QRect& area) {
        const QPointF origin = platform::nearestInside(QPointF(x, y), QSizeF(size), {QRectF(frame)});
        return ControlPlacement{origin.toPoint(), area};
    };
    // panelGap from the selection, less where the frame's edge is nearer; never over the outline.
    const auto gap = [&](int room, int extent) { return std::min(panelGap, room - extent); };
    const int midX = selection.x() + selection.width() / 2 - size.width() / 2;
    const int midY = selection.y() + selection.height() / 2 - size.height() / 2;
    const int below = frame.bottom() - selection.bottom();
    const int above = selection.top() - frame.top();
    const int right = frame.right() - selection.right();
    const int left = selection.left() - frame.left();
    if (below >= size.height() + border)
        return placed(midX, selection.bottom() + 1 + gap(below, size.height()), selection);
    if (above >= size.height() + border)
        return placed(midX, selection.top() - gap(above, size.height()) - size.height(), selection);
    if (right >= size.width() + border)
        return placed(selection.right() + 1 + gap(right, size.width()), midY, selection);
    if (left >= size.width() + border)
        return placed(selection.left() - gap(left, size.width()) - size.width(), midY, selection);
    // Rows the panel and the outline take at the bottom or at the top of the area.
    const int bottomY = frame.bottom() + 1 - size.height();
    const int coveredBelow = selection.bottom() - (bottomY - border) + 1;
    const int coveredAbove = frame.top() + size.height() + border - selection.top();
    if (coveredBelow <= coveredAbove)
        return placed(midX, bottomY, selection.adjusted(0, 0, 0, -std::max(0, coveredBelow)));
    return placed(midX, frame.top(), selection.adjusted(0, std::max(0, coveredAbove), 0, 0));
}

void ScrollingCaptureController::begin(const std::function<void()>& activateTarget)
{
    const QUuid session = QUuid::createUuid();
    sessionId_ = session;
    selector_ = std::make_unique<recording::RecordingAreaSelector>();
    QPointer<ScrollingCaptureController> self(this);
    selector_->select(QStringLiteral("Выделите область страницы для прокрутки · Esc — отмена"),
                      [self, session, activateTarget](std::optional<recording::AreaSelection> area) {
                          if (!self || self->sessionId_ != session)
                              return;
                          // The selector is the caller: it goes once its handler has returned.
                          self->selector_.release()->deleteLater();
                          if (!area || !area->screen)
                              self->complete(Outcome());
                          else
                              self->capture(area->screen, area->pixels, activateTarget);
                      });
}

QRect ScrollingCaptureController::pixelsInside(const QRect& pixels, const QRect& logical, double scale, QPoint origin)
{
    const QRect r = logical.translated(-origin);
    const QPoint from(int(std::ceil(r.left() * scale)), int(std::ceil(r.top() * scale)));
    const QPoint to(int(std::floor((r.right() + 1) * scale)), int(std::floor((r.bottom() + 1) * scale)));
    return pixels & QRect(from + origin, to + origin - QPoint(1, 1));
}

QRect ScrollingCaptureController::logicalCover(const QRect& pixels, double scale, QPoint origin)
{
    const QRect r = pixels.translated(-origin);
    const QPoint from(int(std::floor(r.left() / scale)), int(std::floor(r.top() / scale)));
    const QPoint to(int(std::ceil((r.right() + 1) / scale)), int(std::ceil((r.bottom() + 1) / scale)));
    return QRect(from + origin, to + origin - QPoint(1, 1));
}

void ScrollingCaptureController::capture(QScreen* screen, const QRect& pixels,
                                         const std::function<void()>& activateTarget)
{
    if (!sessionId_)
        sessionId_ = QUuid::createUuid();
    const QUuid session = *sessionId_;
    captureScale_ = screen->devicePixelRatio();
    const QPoint origin = screen->geometry().topLeft();

    control_ = std::make_unique<ScrollingCaptureControlView>(model_);
    const QRect selection = logicalCover(pixels, captureScale_, origin);
    const ControlPlacement placement = controlPlacement(selection, platform::usableArea(*screen));
    // Rows the panel covers are left out; the rest is grabbed to the very device pixel dragged.
    const QRect grabbed =
        placement.area == selection ? pixels : pixelsInside(pixels, placement.area, captureScale_, origin);
    control_->setScreen(screen);
    platform::WindowPlacement::of(*control_).setPlace(platform::WindowPlacement::Place::at(placement.origin));
    control_->keepOutOf(placement.area);
    // Windows of ours opened while it runs keep out of the grabbed area.
    platform::WindowPlacement::keepClearOf(grabbed);
    control_->show();
    control_->raise();
    outline_ = std::make_unique<SelectionOutline>(*screen, grabbed);
    outline_->show();
    outline_->raise();
    if (activateTarget)
        activateTarget();

    QPointer<ScrollingCaptureController> self(this);
    model_.finish = [self] {
        if (self)
            self->stop(false, std::nullopt);
    };
    model_.cancel = [self] {
        if (self)
            self->stop(true, std::nullopt);
    };
    engine_ = std::make_unique<ScrollingCaptureEngine>(grabFactory_());
    engine_->onProgress = [this, session](int w, int h, ScrollAppendResult r) { progress(session, w, h, r); };
    engine_->onFailure = [this, session](const TarnwickError& e) { failure(session, e); };
    try {
        engine_->start(grabbed);
    } catch (const TarnwickError& error) {
        complete(error);
        return;
    }
    shortcuts_ = std::make_unique<ScrollingCaptureKeys>(model_.finish, model_.cancel);
}

void ScrollingCaptureController::present()
{
    if (selector_) {
        for (QWidget* panel : selector_->panels())
            panel->raise();
    } else if (control_) {
        control_->show();
        control_->raise();
    }
}

void ScrollingCaptureController::progress(const QUuid& session, int width, int height, ScrollAppendResult result)
{
    if (sessionId_ != session || model_.stopping())
        return;
    model_.setDimensions(QStringLiteral("%1 × %2 px").arg(width).arg(height));
    model_.setReady(height >= 1);
    model_.setMessage(messageFor(result.kind));
}

void ScrollingCaptureController::failure(const QUuid& session, const TarnwickError& error)
{
    if (sessionId_ != session || model_.stopping())
        return;
    // The sentence ends with its own full stop; the hint follows it as a new sentence.
    QString reason = error.errorDescription();
    if (reason.endsWith(u'.'))
        reason.chop(1);
    model_.setMessage(QStringLiteral("Захват прерван: %1. Можно завершить собранную часть.").arg(reason));
    if (!model_.ready())
        stop(true, error);
}

void ScrollingCaptureController::stop(bool discard, std::optional<TarnwickError> failure)
{
    if (!sessionId_ || model_.stopping())
        return;
    if (!discard && !model_.ready())
        return;
    model_.setStopping(true);
    shortcuts_.reset();
    if (!engine_) {
        complete(failure ? Outcome(*failure) : Outcome());
        return;
    }
    QPointer<ScrollingCaptureController> self(this);
    engine_->finish(discard, [self, failure](const ScrollingCaptureEngine::Result& result) {
        if (!self)
            return;
        if (failure)
            self->complete(*failure);
        else if (const auto* error = std::get_if<TarnwickError>(&result))
            self->complete(*error);
        else if (const QImage& image = std::get<QImage>(result); image.isNull())
            self->complete(Outcome());
        else
            self->complete(ScrollingCaptureShot{image, self->captureScale_});
    });
}

void ScrollingCaptureController::complete(const Outcome& outcome)
{
    if (control_)
        platform::WindowPlacement::keepClearOf(std::nullopt);
    sessionId_.reset();
    shortcuts_.reset();
    // The engine may be the one calling us: it goes once this call has returned,
    // and reports it still has on its way go nowhere.
    if (engine_) {
        engine_->onProgress = nullptr;
        engine_->onFailure = nullptr;
        engine_.release()->deleteLater();
    }
    selector_.reset();
    control_.reset();
    outline_.reset();
    if (auto report = std::exchange(onComplete, nullptr))
        report(outcome);
}

} // namespace tarnwick
