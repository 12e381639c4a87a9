#include "panels/FloatingPanel.h"

#include "panels/FloatingPanelView.h"
#include "panels/PanelDragRegion.h"
#include "panels/RoundedWindow.h"
#include "platform/PlacementRules.h"
#include "platform/UsableArea.h"
#include "platform/WindowPlacement.h"
#include "platform/WindowManager.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace tarnwick {
namespace {

const QString originKey = QStringLiteral("floatingPanelOrigin");

// INI files keep no types: a number written by us comes back as text.
std::optional<double> number(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: return value.toDouble();
    case QMetaType::QString: {
        bool ok = false;
        const double parsed = value.toString().trimmed().toDouble(&ok);
        return ok ? std::optional<double>(parsed) : std::nullopt;
    }
    default: return std::nullopt;
    }
}

// X11 keeps window positions in 16 bits: anything farther out is junk.
constexpr double coordinateLimit = 32767;

bool usable(double value) { return std::isfinite(value) && std::abs(value) <= coordinateLimit; }

} // namespace

FloatingPanel::FloatingPanel(AppModel& model, QSettings& preferences, FrameSource visibleFrames, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      preferences_(preferences), visibleFrames_(std::move(visibleFrames)),
      onX11_(QGuiApplication::platformName() == u"xcb")
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Never the active window, and Qt shows help texts only in the active one unless told.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(panelWidth, panelHeight);
    setWindowTitle(QStringLiteral("Tarnwick"));
    // A window manager that never answers does not keep the panel hidden.
    withdrawalWait_.setSingleShot(true);
    withdrawalWait_.setInterval(3000);
    connect(&withdrawalWait_, &QTimer::timeout, this, &FloatingPanel::presentAfterWithdrawal);

    view_ = new FloatingPanelView(model, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    connect(&view_->dragRegion(), &PanelDragRegion::dragFinished, this, &FloatingPanel::rememberPosition);

    roundWindowCorners(*this, connection_, cornerRadius);
    platform::WindowPlacement::of(*this).setAreas([this] {
        QList<QRect> areas;
        for (const QRectF& frame : visibleFrames_ ? visibleFrames_() : QList<QRectF>())
            areas << frame.toRect();
        return areas;
    });
    if (onX11_) {
        workArea_ = std::make_unique<platform::WorkAreaWatch>();
        connect(workArea_.get(), &platform::WorkAreaWatch::changed, this, &FloatingPanel::followWorkArea);
    }
}

QList<QRectF> FloatingPanel::screenFrames()
{
    QList<QRectF> frames;
    for (const QScreen* screen : QGuiApplication::screens())
        frames << QRectF(platform::usableArea(*screen));
    return frames;
}

QPointF FloatingPanel::constrainedOrigin(QPointF origin, QSizeF size, const QList<QRectF>& visibleFrames)
{
    return platform::nearestInside(origin, size, visibleFrames);
}

std::optional<QPointF> FloatingPanel::savedOrigin() const
{
    const QVariant stored = preferences_.value(originKey);
    if (stored.typeId() != QMetaType::QVariantList && stored.typeId() != QMetaType::QStringList)
        return std::nullopt;
    const QVariantList list = stored.toList();
    if (list.size() != 2)
        return std::nullopt;
    const std::optional<double> x = number(list[0]), y = number(list[1]);
    if (!x || !y || !usable(*x) || !usable(*y))
        return std::nullopt;
    return QPointF(*x, *y);
}

void FloatingPanel::openAtHome()
{
    using Place = platform::WindowPlacement::Place;
    platform::WindowPlacement& placement = platform::WindowPlacement::of(*this);
    if (const std::optional<QPointF> saved = savedOrigin())
        placement.setPlace(Place::at(saved->toPoint()));
    else
        placement.setPlace(Place::inCorner(int(cornerInset)));
    placement.open();
}

void FloatingPanel::followWorkArea()
{
    // Back into its corner while the user has not put it anywhere; else the placement keeps it off the dock.
    if (positioned_ && !savedOrigin())
        openAtHome();
}

void FloatingPanel::present()
{
    showAfterWithdrawal_ = false;
    withdrawalWait_.stop();
    if (!positioned_) {
        openAtHome();
        positioned_ = true;
    } else {
        // A screen the panel was left on may have gone away since.
        platform::WindowPlacement::of(*this).refit();
    }
    show();
    raise();
    if (onX11_) {
        platform::showOnAllDesktops(connection_, static_cast<std::uint32_t>(winId()));
        // A panel shown again right after it was hidden can lose the states it was mapped with:
        // the window manager, withdrawing it late, clears them. Each time the panel is exposed
        // they are asked again (an early exposure may still belong to the previous mapping).
        windowHandle()->installEventFilter(this);
    }
}

bool FloatingPanel::eventFilter(QObject* watched, QEvent* event)
{
    // Asked of a window on its way out, the states would have the window manager map it again.
    if (onX11_ && !showAfterWithdrawal_ && isVisible() && watched == windowHandle() && event->type() == QEvent::Expose
        && windowHandle()->isExposed()) {
        const auto id = static_cast<std::uint32_t>(winId());
        platform::showOnAllDesktops(connection_, id);
        platform::keepAbove(connection_, id);
    }
    return QWidget::eventFilter(watched, event);
}

bool FloatingPanel::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    if (showAfterWithdrawal_) {
        const auto id = static_cast<std::uint32_t>(winId());
        if (platform::isManagementChange(connection_, eventType, message, id) && !platform::isManaged(connection_, id))
            presentAfterWithdrawal();
    }
    return QWidget::nativeEvent(eventType, message, result);
}

void FloatingPanel::setTaskbarEntry(bool shown)
{
    const Qt::WindowFlags kind = shown ? Qt::Window : Qt::Tool;
    if ((windowFlags() & Qt::WindowType_Mask) == kind)
        return;
    const bool visible = isVisible();
    setWindowFlags((windowFlags() & ~Qt::WindowType_Mask) | kind);
    if (!visible)
        return;
    // Mapped again before the window manager has let the hidden window go (its WM_STATE
    // gone), it is taken for the old one and left unmapped or without its states.
    if (!onX11_ || !platform::windowManagerRunning(connection_))
        return present();
    showAfterWithdrawal_ = true;
    withdrawalWait_.start();
}

void FloatingPanel::setVisible(bool visible)
{
    if (!visible) {
        showAfterWithdrawal_ = false;
        withdrawalWait_.stop();
    } else if (onX11_ && !isVisible()) {
        // Read when the window manager takes the window in; a new window each time the flags change.
        platform::refuseFocus(connection_, static_cast<std::uint32_t>(winId()));
    }
    QWidget::setVisible(visible);
}

void FloatingPanel::presentAfterWithdrawal()
{
    if (!std::exchange(showAfterWithdrawal_, false))
        return;
    withdrawalWait_.stop();
    present();
}

void FloatingPanel::rememberPosition()
{
    platform::WindowPlacement::of(*this).refit();
    positioned_ = true;
    preferences_.setValue(originKey, QVariantList{double(x()), double(y())});
}

} // namespace tarnwick
