#include "recording/review/RecordingTimeline.h"

#include "panels/Theme.h"
#include "platform/Icons.h"
#include "recording/review/RecordingTimelineThumbnails.h"
#include "recording/review/RecordingTimelineTime.h"
#include "recording/review/RecordingTimelineView.h"
#include "series/CanvasLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

QToolButton* frameButton(QStringView symbol, const QString& help, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setIcon(platform::symbolIcon(symbol));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(help);
    button->setAutoRaise(true);
    return button;
}

} // namespace

RecordingTimeline::RecordingTimeline(RecordingTimelineModel model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)), thumbnails_(new RecordingTimelineThumbnails(this)),
      view_(new RecordingTimelineView(model_, this)), play_(new QToolButton(this)), current_(new QLabel(this)),
      total_(new QLabel(this))
{
    play_->setFixedSize(44, 44);
    play_->setIconSize(QSize(18, 18));
    play_->setShortcut(QKeySequence(Qt::Key_Space));
    play_->setStyleSheet(QStringLiteral("QToolButton { background: %1; color: white; border-radius: 22px;"
                                        " border: 1px solid rgba(255, 255, 255, 38); font: 600 17px; }")
                             .arg(Theme::accent().name()));
    view_->setFixedHeight(108);
    view_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    QFont mono(CanvasLabel::family());
    mono.setPixelSize(12);
    mono.setWeight(QFont::Medium);
    current_->setFont(mono);
    mono.setPixelSize(10);
    mono.setWeight(QFont::Normal);
    total_->setFont(mono);
    total_->setStyleSheet(QStringLiteral("color: %1").arg(Theme::muted().name()));
    QToolButton* back = frameButton(u"step-back", QStringLiteral("Предыдущий кадр"), this);
    QToolButton* forward = frameButton(u"step-forward", QStringLiteral("Следующий кадр"), this);

    auto* steps = new QHBoxLayout;
    steps->setSpacing(8);
    steps->addWidget(back);
    steps->addWidget(forward);
    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 14, 0, 0);
    column->setSpacing(7);
    column->addWidget(current_, 0, Qt::AlignRight);
    column->addWidget(total_, 0, Qt::AlignRight);
    column->addLayout(steps);
    column->addStretch(1);
    auto* columnBox = new QWidget(this);
    columnBox->setFixedWidth(91);
    columnBox->setLayout(column);
    auto* playColumn = new QVBoxLayout;
    playColumn->setContentsMargins(0, 14, 0, 0);
    playColumn->addWidget(play_);
    playColumn->addStretch(1);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->addLayout(playColumn);
    row->addWidget(view_, 1, Qt::AlignTop);
    row->addWidget(columnBox, 0, Qt::AlignTop);

    connect(play_, &QToolButton::clicked, this, [this] { model_.playSelection(); });
    // Frame steps pass the value unclamped: the player clamps.
    connect(back, &QToolButton::clicked, this, [this] { model_.seekVideo(model_.state().playhead - 1.0 / 30); });
    connect(forward, &QToolButton::clicked, this, [this] { model_.seekVideo(model_.state().playhead + 1.0 / 30); });
    connect(thumbnails_, &RecordingTimelineThumbnails::changed, this,
            [this] { view_->updateFrames(thumbnails_->frames(), thumbnails_->revision()); });
    refresh();
}

void RecordingTimeline::refresh()
{
    RecordingTimelineState s = model_.state();
    setEnabled(!s.exporting && s.canScrub);
    if (playingShown_ != s.playing || play_->icon().isNull()) {
        playingShown_ = s.playing;
        play_->setIcon(platform::symbolIcon(s.playing ? u"pause" : u"play"));
    }
    play_->setToolTip(s.playing ? QStringLiteral("Приостановить · Пробел") : QStringLiteral("Воспроизвести фрагмент · Пробел"));
    play_->setAccessibleName(s.playing ? QStringLiteral("Приостановить видео") : QStringLiteral("Воспроизвести видео"));
    current_->setText(RecordingTimelineTime::string(s.playhead));
    total_->setText(QStringLiteral("/ ") + RecordingTimelineTime::string(s.duration));
    if (isVisible())
        thumbnails_->load(s.videoSource, s.duration);
    view_->refresh();
}

void RecordingTimeline::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    RecordingTimelineState s = model_.state();
    thumbnails_->load(s.videoSource, s.duration);
}

void RecordingTimeline::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    thumbnails_->cancel();
    view_->cancelInteraction();
}

} // namespace tarnwick
