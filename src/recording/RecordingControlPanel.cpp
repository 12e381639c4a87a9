#include "recording/RecordingControlPanel.h"

#include "panels/RoundedWindow.h"
#include "panels/Theme.h"
#include "platform/WindowManager.h"
#include "platform/WindowPlacement.h"
#include "recording/RecordingUIModel.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace tarnwick::recording {

namespace {
constexpr int dotDiameter = 9;
constexpr int padding = 18;
constexpr int spacing = 12;
constexpr int textWidth = 112;
constexpr int buttonSide = 30;
constexpr double cornerRadius = 14;
} // namespace

RecordingControlPanel::RecordingControlPanel(RecordingUIModel& model)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      model_(model), stop_(new QToolButton(this))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Never the active window, and Qt shows help texts only in the active one unless told.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(258, 52);
    roundWindowCorners(*this, connection_, cornerRadius);
    // It belongs beside the recorded area, where the recorder puts it.
    platform::WindowPlacement::of(*this).setKeptClear(false);
    setPalette(Theme::darkPalette());
    stop_->setFocusPolicy(Qt::NoFocus);
    stop_->setFixedSize(buttonSide, buttonSide);
    stop_->setText(QStringLiteral("■"));
    stop_->setToolTip(QStringLiteral("Остановить запись и открыть обрезку"));
    stop_->setAccessibleName(QStringLiteral("Остановить запись"));
    const int contentWidth = dotDiameter + spacing + textWidth + spacing + buttonSide;
    stop_->move((width() - contentWidth) / 2 + contentWidth - buttonSide, (height() - buttonSide) / 2);
    connect(stop_, &QToolButton::clicked, this, [this] {
        if (model_.stopAction)
            model_.stopAction();
    });
    connect(&model_, &RecordingUIModel::phaseChanged, this, &RecordingControlPanel::refresh);
    connect(&model_, &RecordingUIModel::elapsedChanged, this, &RecordingControlPanel::refresh);
    refresh();
}

QString RecordingControlPanel::statusText() const
{
    switch (model_.phase()) {
    case RecordingPhase::starting:
        return QStringLiteral("Подготовка…");
    case RecordingPhase::stopping:
        return QStringLiteral("Завершение…");
    default:
        return RecordingUIModel::time(model_.elapsed());
    }
}

void RecordingControlPanel::refresh()
{
    stop_->setEnabled(model_.phase() == RecordingPhase::recording);
    update();
}

void RecordingControlPanel::showWithoutFocus()
{
    show();
    raise();
    if (QGuiApplication::platformName() == QLatin1String("xcb") && connection_.connect())
        platform::showOnAllDesktops(connection_, static_cast<std::uint32_t>(winId()));
}

void RecordingControlPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(shape, QColor(30, 30, 30, 220));
    painter.setPen(QPen(QColor(255, 255, 255, 41), 1));
    painter.drawPath(shape);
    const int contentWidth = dotDiameter + spacing + textWidth + spacing + buttonSide;
    const int left = std::max(padding, (width() - contentWidth) / 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::red);
    painter.drawEllipse(QRectF(left, (height() - dotDiameter) / 2.0, dotDiameter, dotDiameter));
    QFont font = Theme::font(13, QFont::Medium);
    font.setStyleHint(QFont::Monospace);
    font.setFamily(QStringLiteral("monospace"));
    painter.setFont(font);
    painter.setPen(QColor(240, 240, 240));
    painter.drawText(QRect(left + dotDiameter + spacing, 0, textWidth, height()), Qt::AlignLeft | Qt::AlignVCenter,
                     statusText());
}

void RecordingControlPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragOffset_ = event->globalPosition().toPoint() - pos();
}

void RecordingControlPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (dragOffset_)
        move(event->globalPosition().toPoint() - *dragOffset_);
}

void RecordingControlPanel::mouseReleaseEvent(QMouseEvent*)
{
    dragOffset_.reset();
}

} // namespace tarnwick::recording
