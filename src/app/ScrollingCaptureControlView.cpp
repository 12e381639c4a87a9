#include "app/ScrollingCaptureControlView.h"

#include "app/ScrollingCaptureModel.h"
#include "panels/RoundedWindow.h"
#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/WindowPlacement.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace tarnwick {
namespace {

constexpr Qt::WindowFlags floatingFlags =
    Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus;
constexpr double panelRadius = 14;

QFont pixelFont(QFont font, int pixels, QFont::Weight weight = QFont::Normal)
{
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

} // namespace

ScrollingCaptureControlView::ScrollingCaptureControlView(ScrollingCaptureModel& model)
    : QWidget(nullptr, floatingFlags), model_(model)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Never the active window, and Qt shows help texts only in the active one unless told.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setFixedSize(panelSize);
    // A mask instead of translucency keeps the rounded corners without a compositor.
    keepWindowMask(*this, [this] { return roundedRegion(rect(), panelRadius); });
    // It belongs beside the grabbed area, where the capture puts it.
    platform::WindowPlacement::of(*this).setKeptClear(false);
    QPalette dark = palette();
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::ButtonText, Qt::white);
    setPalette(dark);

    auto* icon = new QLabel(this);
    icon->setPixmap(platform::symbolPixmap(u"file-down", 18, Theme::accent()));
    auto* title = new QLabel(QStringLiteral("Снимок со скроллом"), this);
    title->setFont(pixelFont(font(), 13, QFont::DemiBold));
    dimensions_ = new QLabel(this);
    dimensions_->setFont(pixelFont(QFontDatabase::systemFont(QFontDatabase::FixedFont), 11));
    dimensions_->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.6)"));
    cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
    cancel_->setStyleSheet(QStringLiteral(
        "QPushButton { color: white; background: rgba(255,255,255,0.14); border: none; border-radius: 7px; padding: 8px 14px; }"
        "QPushButton:pressed { background: rgba(255,255,255,0.24); }"
        "QPushButton:disabled { color: rgba(255,255,255,0.35); }"));
    finish_ = new PrimaryButton(QStringLiteral("Готово"), this);
    for (QPushButton* button : {cancel_, finish_})
        button->setFocusPolicy(Qt::NoFocus);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        if (model_.cancel)
            model_.cancel();
    });
    connect(finish_, &QPushButton::clicked, this, [this] {
        if (model_.finish)
            model_.finish();
    });
    message_ = new QLabel(this);
    message_->setWordWrap(true);
    message_->setFont(pixelFont(font(), 11));
    message_->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.6)"));

    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(icon);
    top->addWidget(title);
    top->addWidget(dimensions_);
    top->addStretch(1);
    top->addWidget(cancel_);
    top->addWidget(finish_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(10);
    column->addLayout(top);
    column->addWidget(message_);
    column->addStretch(1);

    connect(&model_, &ScrollingCaptureModel::changed, this, [this] { scheduleRefresh(); });
    refresh();
}

// One refresh per event-loop turn however many fields changed.
void ScrollingCaptureControlView::scheduleRefresh()
{
    if (refreshQueued_)
        return;
    refreshQueued_ = true;
    QTimer::singleShot(0, this, [this] { refresh(); });
}

void ScrollingCaptureControlView::refresh()
{
    refreshQueued_ = false;
    dimensions_->setText(model_.dimensions());
    message_->setText(model_.message());
    cancel_->setEnabled(!model_.stopping());
    finish_->setText(model_.stopping() ? QStringLiteral("Собираю…") : QStringLiteral("Готово"));
    finish_->setEnabled(model_.ready() && !model_.stopping());
}

void ScrollingCaptureControlView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setBrush(QColor(30, 30, 32, 245));
    painter.setPen(QPen(QColor(255, 255, 255, 41), 1));
    painter.drawRoundedRect(box, panelRadius, panelRadius);
}

void ScrollingCaptureControlView::mousePressEvent(QMouseEvent* event)
{
    dragOffset_ = event->globalPosition().toPoint() - pos();
}

void ScrollingCaptureControlView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    // Over the area the panel would show in the shot.
    const QPoint to = event->globalPosition().toPoint() - dragOffset_;
    if (!QRect(to, size()).intersects(keepOut_))
        move(to);
}

namespace {

// A length or an offset from the screen's origin in device pixels, as Qt rounds it.
int toDevice(int logical, double scale) { return qRound(logical * scale); }

// The largest logical value Qt shows at most at `device`, and the smallest at least there.
int lastAtMost(int device, double scale)
{
    int v = int(std::floor(device / scale)) + 1;
    while (toDevice(v, scale) > device)
        --v;
    return v;
}

int firstAtLeast(int device, double scale)
{
    int v = int(std::ceil(device / scale)) - 1;
    while (toDevice(v, scale) < device)
        ++v;
    return v;
}

} // namespace

SelectionOutline::Shape SelectionOutline::around(const QRect& pixels, double scale, QPoint origin)
{
    const int ring = toDevice(border, scale);
    const QRect area = pixels.translated(-origin);
    // The window reaches a ring's width past the area on every side.
    const int x = lastAtMost(area.left() - ring, scale), y = lastAtMost(area.top() - ring, scale);
    const QPoint at(toDevice(x, scale), toDevice(y, scale));
    const int width = firstAtLeast(area.right() + 1 + ring - at.x(), scale);
    const int height = firstAtLeast(area.bottom() + 1 + ring - at.y(), scale);
    // The hole holds every pixel of the area, in the window's own pixels.
    const QRect hole = area.translated(-at);
    const int top = lastAtMost(hole.top(), scale), left = lastAtMost(hole.left(), scale);
    const int bottom = firstAtLeast(hole.bottom() + 1, scale), right = firstAtLeast(hole.right() + 1, scale);
    QRegion band(0, 0, width, top);
    band += QRect(0, bottom, width, height - bottom);
    band += QRect(0, 0, left, height);
    band += QRect(right, 0, width - right, height);
    return {QRect(origin + QPoint(x, y), QSize(width, height)), band};
}

SelectionOutline::SelectionOutline(QScreen& screen, const QRect& pixels)
    : QWidget(nullptr, floatingFlags | Qt::WindowTransparentForInput)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Placed and scaled by the area's own screen, also where it touches another one.
    setScreen(&screen);
    const Shape shape = around(pixels, screen.devicePixelRatio(), screen.geometry().topLeft());
    setGeometry(shape.window);
    // Only the ring outside the area is ours; the area itself stays the page's.
    keepWindowMask(*this, [ring = shape.ring] { return ring; });
}

void SelectionOutline::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x0a, 0x84, 0xff));
}

} // namespace tarnwick
