#include "recording/RecordingBlurControls.h"

#include "panels/Theme.h"
#include "platform/Icons.h"
#include "recording/RecordingBlurDetails.h"
#include "recording/RecordingReview.h"
#include "recording/RecordingUIModel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarnwick::recording {

namespace {
constexpr int cardPadding = 12;
constexpr int cardSpacing = 9;
} // namespace

RecordingBlurControls::RecordingBlurControls(RecordingReview& review, QWidget* parent)
    : QWidget(parent), model_(review.model()), review_(review)
{
    setFont(Theme::font(11));
    auto* card = new RoundedSurface(QColor::fromRgbF(1, 1, 1, 0.045f), 10, this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(card);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(cardPadding, cardPadding, cardPadding, cardPadding);
    layout->setSpacing(cardSpacing);

    auto* header = new QHBoxLayout;
    header_ = header;
    add_ = new QPushButton(platform::symbolIcon(u"droplet"), QStringLiteral("Добавить размытие"), card);
    picker_ = new QComboBox(card);
    picker_->setMaximumWidth(140);
    picker_->setAccessibleName(QStringLiteral("Область"));
    trash_ = new QToolButton(card);
    trash_->setIcon(platform::symbolIcon(u"trash-2"));
    trash_->setToolTip(QStringLiteral("Удалить размытие"));
    progress_ = new QProgressBar(card);
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setFixedWidth(90);
    percent_ = new QLabel(card);
    percent_->setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 9));
    cancel_ = new QPushButton(QStringLiteral("Отменить анализ"), card);
    track_ = new QPushButton(platform::symbolIcon(u"crosshair"), QString(), card);
    for (QWidget* w : std::initializer_list<QWidget*>{add_, picker_, trash_})
        header->addWidget(w);
    header->addStretch();
    for (QWidget* w : std::initializer_list<QWidget*>{progress_, percent_, cancel_, track_})
        header->addWidget(w);
    layout->addLayout(header);

    adding_ = new QWidget(card);
    auto* addingRow = new QHBoxLayout(adding_);
    addingRow->setContentsMargins(0, 0, 0, 0);
    addingRow->addWidget(themedLabel(QStringLiteral("Выделите прямоугольник на кадре. Esc — отмена."), 11, QFont::Normal, adding_, Theme::muted()));
    auto* stopAdding = new QPushButton(QStringLiteral("Отмена"), adding_);
    addingRow->addWidget(stopAdding);
    addingRow->addStretch();
    layout->addWidget(adding_);
    details_ = new RecordingBlurDetails(review_, card);
    layout->addWidget(details_);

    connect(add_, &QPushButton::clicked, this, [this] { review_.beginBlurSelection(); });
    connect(stopAdding, &QPushButton::clicked, this, [this] { model_.setAddingBlur(false); });
    connect(picker_, &QComboBox::activated, this, [this](int index) {
        model_.setSelectedBlurID(index > 0 ? std::optional(pickerIDs_[index - 1]) : std::nullopt);
    });
    connect(trash_, &QToolButton::clicked, this, [this] { review_.deleteBlur(); });
    connect(track_, &QPushButton::clicked, this, [this] { review_.trackBlur(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { review_.cancelBlurTracking(); });

    for (auto signal : {&RecordingUIModel::blurRegionsChanged, &RecordingUIModel::selectedBlurIDChanged,
                        &RecordingUIModel::addingBlurChanged, &RecordingUIModel::trackingProgressChanged,
                        &RecordingUIModel::playheadChanged, &RecordingUIModel::trimChanged,
                        &RecordingUIModel::phaseChanged, &RecordingUIModel::canTrimChanged})
        connect(&model_, signal, this, &RecordingBlurControls::scheduleRefresh);
    connect(&model_, &RecordingUIModel::selectedBlurIDChanged, this, &RecordingBlurControls::selectionChanged);
    shownSelection_ = model_.selectedBlurID();
    refresh();
}

int RecordingBlurControls::essentialHeight(int width) const
{
    int height = 2 * cardPadding + header_->sizeHint().height();
    const review::VideoBlurRegion* region = model_.selectedBlur();
    if (region && !model_.addingBlur() && !region->gaps.empty() && !region->acceptedGaps)
        height += 2 * cardSpacing + details_->warningHeight(width - 2 * cardPadding); // and a gap below it
    return height;
}

void RecordingBlurControls::scheduleRefresh()
{
    if (std::exchange(refreshQueued_, true))
        return;
    QMetaObject::invokeMethod(this, &RecordingBlurControls::refresh, Qt::QueuedConnection);
}

void RecordingBlurControls::selectionChanged()
{
    if (std::exchange(shownSelection_, model_.selectedBlurID()) == model_.selectedBlurID())
        return;
    const review::VideoBlurRegion* region = model_.selectedBlur();
    const double t = model_.playhead();
    if (!region || (region->start <= t && t < region->end))
        return;
    const auto keys = region->manualKeys();
    review_.seekVideo(keys.empty() ? region->start : keys.front().time, false);
}

void RecordingBlurControls::refresh()
{
    refreshQueued_ = false;
    const bool editable = model_.canEditBlur();
    const auto& regions = model_.blurRegions();
    const review::VideoBlurRegion* selected = model_.selectedBlur();
    const std::optional<double> progress = model_.trackingProgress();

    add_->setEnabled(editable);
    std::vector<QUuid> ids;
    for (const review::VideoBlurRegion& r : regions)
        ids.push_back(r.id);
    if (ids != pickerIDs_) {
        const QSignalBlocker blocker(picker_);
        pickerIDs_ = ids;
        picker_->clear();
        picker_->addItem(QStringLiteral("Выберите область"));
        for (std::size_t i = 0; i < ids.size(); ++i)
            picker_->addItem(QStringLiteral("Область %1").arg(i + 1));
    }
    const auto at = std::find(ids.begin(), ids.end(), selected ? selected->id : QUuid());
    {
        const QSignalBlocker blocker(picker_);
        picker_->setCurrentIndex(selected ? static_cast<int>(at - ids.begin()) + 1 : 0);
    }
    picker_->setVisible(!regions.empty());
    trash_->setVisible(!regions.empty());
    trash_->setEnabled(editable);

    progress_->setVisible(progress.has_value());
    percent_->setVisible(progress.has_value());
    cancel_->setVisible(progress.has_value());
    if (progress) {
        progress_->setValue(static_cast<int>(*progress * 1000));
        percent_->setText(QStringLiteral("%1%").arg(static_cast<int>(*progress * 100 + 1e-9))); // 0.29 reads 29%
    }
    track_->setVisible(!progress && selected);
    if (selected) {
        track_->setText(selected->pending.empty() && !selected->gaps.empty() ? QStringLiteral("Повторить потерянное")
                                                                             : QStringLiteral("Отследить"));
        track_->setEnabled(editable && !(selected->pending.empty() && selected->gaps.empty()));
    }

    adding_->setVisible(model_.addingBlur());
    details_->setVisible(!model_.addingBlur() && selected);
    if (!model_.addingBlur() && selected)
        details_->refresh();
}

} // namespace tarnwick::recording
