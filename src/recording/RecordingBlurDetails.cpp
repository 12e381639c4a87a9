#include "recording/RecordingBlurDetails.h"

#include "panels/Theme.h"
#include "platform/Icons.h"
#include "recording/RecordingReview.h"
#include "recording/RecordingUIModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace tarnwick::recording {

namespace {

const QColor orange(255, 149, 0);

// Numbers are written with a point whatever the locale: asprintf ignores it.
QString seconds(double value)
{
    return QString::asprintf("%.2f с", value);
}

QString interval(double start, double end)
{
    return QString::asprintf("%.2f–%.2f с", start, end);
}

int millis(double seconds)
{
    return static_cast<int>(std::lround(seconds * 1000));
}

QLabel* secondary(const QString& text, QWidget* parent)
{
    return themedLabel(text, 11, QFont::Normal, parent, Theme::muted());
}

void setColour(QLabel* label, const QColor& colour)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

// Sets a control from the model without calling the model back.
template <typename Widget, typename Set, typename Value>
void assign(Widget* widget, Set set, Value value)
{
    const QSignalBlocker blocker(widget);
    (widget->*set)(value);
}

QScrollArea* strip(QWidget* content, QWidget* parent)
{
    auto* area = new QScrollArea(parent);
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    // As high as the buttons it will hold.
    area->setFixedHeight(QPushButton(QStringLiteral("0.00 с")).sizeHint().height());
    return area;
}

} // namespace

RecordingBlurDetails::RecordingBlurDetails(RecordingReview& review, QWidget* parent) : QWidget(parent), model_(review.model()), review_(review)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(9);

    // A reported loss comes first: it is what the user has to act on before saving.
    lost_ = new QWidget(this);
    auto* lost = new QVBoxLayout(lost_);
    lost->setContentsMargins(0, 0, 0, 0);
    warning_ = new QWidget(lost_);
    auto* warning = new QHBoxLayout(warning_);
    warning->setContentsMargins(0, 0, 0, 0);
    warning->setAlignment(Qt::AlignTop);
    auto* sign = new QLabel(warning_);
    sign->setPixmap(platform::symbolIcon(u"triangle-alert", orange).pixmap(QSize(15, 15), devicePixelRatioF()));
    warning->addWidget(sign, 0, Qt::AlignTop);
    auto* column = new QVBoxLayout;
    column->setSpacing(5);
    // Outgrowing the box is reported with the losses: the same check, the same remedy.
    auto* text = new QLabel(QStringLiteral("Цель потеряна, не помещается в рамку или движение неоднозначно. "
                                           "Исправьте рамку после сбоя и нажмите «Отследить». Удачные участки "
                                           "сохранятся."),
                            warning_);
    text->setWordWrap(true);
    column->addWidget(text);
    gapsBox_ = new QWidget;
    auto* gaps = new QHBoxLayout(gapsBox_);
    gaps->setContentsMargins(0, 0, 0, 0);
    gaps->addStretch();
    column->addWidget(strip(gapsBox_, warning_));
    accept_ = new QPushButton(QStringLiteral("Оставить область в последнем положении на этих интервалах"), warning_);
    column->addWidget(accept_, 0, Qt::AlignLeft);
    warning->addLayout(column, 1);
    lost->addWidget(warning_);
    accepted_ = themedLabel(QStringLiteral("На потерянных интервалах область остаётся в последнем положении."), 11,
                            QFont::Normal, lost_, orange);
    lost->addWidget(accepted_);
    layout->addWidget(lost_);
    connect(accept_, &QPushButton::clicked, this, [this] { review_.acceptBlurGaps(); });

    intervals_ = new QWidget(this);
    auto* rows = new QVBoxLayout(intervals_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(5);
    rows->addWidget(intervalRow(true));
    rows->addWidget(intervalRow(false));
    layout->addWidget(intervals_);

    strength_ = new QWidget(this);
    auto* strength = new QHBoxLayout(strength_);
    strength->setContentsMargins(0, 0, 0, 0);
    strength->addWidget(new QLabel(QStringLiteral("Размытие"), strength_));
    radiusSlider_ = new QSlider(Qt::Horizontal, strength_);
    radiusSlider_->setRange(50, 600); // tenths of a pixel: the slider is continuous over 5…60
    radiusSlider_->setFixedWidth(110);
    radiusSlider_->setAccessibleName(QStringLiteral("Сила размытия"));
    radiusValue_ = new QLabel(strength_);
    radiusValue_->setFixedWidth(40);
    status_ = secondary(QString(), strength_);
    strength->addWidget(radiusSlider_);
    strength->addWidget(radiusValue_);
    strength->addStretch();
    strength->addWidget(status_);
    layout->addWidget(strength_);
    connect(radiusSlider_, &QSlider::valueChanged, this, [this](int tenths) { review_.changeBlurRadius(tenths / 10.0); });

    note_ = new QLabel(this);
    note_->setWordWrap(true);
    layout->addWidget(note_);

    correctionsBox_ = new QWidget;
    auto* keys = new QHBoxLayout(correctionsBox_);
    keys->setContentsMargins(0, 0, 0, 0);
    keys->setSpacing(6);
    keys->addWidget(secondary(QStringLiteral("Поправки:"), correctionsBox_));
    keys->addWidget(secondary(QStringLiteral("Перетащите рамку или её угол на нужном кадре"), correctionsBox_));
    keys->addStretch();
    corrections_ = strip(correctionsBox_, this);
    layout->addWidget(corrections_);

}

int RecordingBlurDetails::warningHeight(int width) const
{
    return warning_->hasHeightForWidth() ? warning_->heightForWidth(width) : warning_->sizeHint().height();
}

QWidget* RecordingBlurDetails::intervalRow(bool start)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    QLabel* title = secondary(start ? QStringLiteral("Начало") : QStringLiteral("Конец"), row);
    title->setFixedWidth(48);
    auto* slider = new QSlider(Qt::Horizontal, row);
    slider->setAccessibleName(start ? QStringLiteral("Начало размытия") : QStringLiteral("Конец размытия"));
    auto* value = new QLabel(row);
    value->setFixedWidth(64);
    value->setAlignment(Qt::AlignCenter);
    auto* here = new QPushButton(start ? QStringLiteral("Отсюда") : QStringLiteral("Досюда"), row);
    here->setToolTip(start ? QStringLiteral("Начать на текущем кадре") : QStringLiteral("Закончить на текущем кадре"));
    for (QWidget* w : std::initializer_list<QWidget*>{title, slider, value, here})
        layout->addWidget(w);
    connect(slider, &QSlider::valueChanged, this,
            [this, start](int ms) { review_.changeBlurInterval(ms / 1000.0, start); });
    connect(here, &QPushButton::clicked, this,
            [this, start] { review_.changeBlurInterval(model_.playhead(), start); });
    (start ? startSlider_ : endSlider_) = slider;
    (start ? startValue_ : endValue_) = value;
    return row;
}

RecordingBlurDetails::Row& RecordingBlurDetails::correctionRow(std::size_t index)
{
    while (correctionRows_.size() <= index) {
        const std::size_t i = correctionRows_.size();
        Row row{new QWidget(correctionsBox_), nullptr, new QToolButton};
        auto* layout = new QHBoxLayout(row.box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        row.time = new QPushButton(row.box);
        row.time->setToolTip(QStringLiteral("Перейти к ручному положению"));
        row.remove->setIcon(platform::symbolIcon(u"x"));
        row.remove->setToolTip(QStringLiteral("Удалить поправку"));
        layout->addWidget(row.time);
        layout->addWidget(row.remove);
        // After "Поправки:" and the rows before it; the hint stays last.
        static_cast<QHBoxLayout*>(correctionsBox_->layout())->insertWidget(static_cast<int>(i) + 1, row.box);
        connect(row.time, &QPushButton::clicked, this, [this, i] { review_.seekVideo(keyTimes_[i], false); });
        connect(row.remove, &QToolButton::clicked, this, [this, i] { review_.deleteBlurKey(keyTimes_[i]); });
        correctionRows_.push_back(row);
    }
    return correctionRows_[index];
}

QPushButton* RecordingBlurDetails::gapButton(std::size_t index)
{
    while (gapButtons_.size() <= index) {
        const std::size_t i = gapButtons_.size();
        auto* button = new QPushButton(gapsBox_);
        static_cast<QHBoxLayout*>(gapsBox_->layout())->insertWidget(static_cast<int>(i), button);
        connect(button, &QPushButton::clicked, this, [this, i] { review_.seekVideo(gapStarts_[i], false); });
        gapButtons_.push_back(button);
    }
    return gapButtons_[index];
}

void RecordingBlurDetails::refresh()
{
    const review::VideoBlurRegion* selected = model_.selectedBlur();
    if (!selected)
        return;
    const review::VideoBlurRegion& region = *selected;
    const bool editable = model_.canEditBlur();
    const double t = model_.playhead();

    intervals_->setEnabled(editable);
    const int range = std::max(millis(model_.trim().duration), 1);
    for (auto [slider, value, time] : {std::tuple{startSlider_, startValue_, region.start},
                                       std::tuple{endSlider_, endValue_, region.end}}) {
        assign(slider, &QSlider::setMaximum, range);
        if (slider->value() != millis(time) && !slider->isSliderDown())
            assign(slider, &QSlider::setValue, millis(time));
        value->setText(seconds(time));
    }

    strength_->setEnabled(editable);
    if (radiusSlider_->value() != static_cast<int>(std::lround(region.radius * 10)) && !radiusSlider_->isSliderDown())
        assign(radiusSlider_, &QSlider::setValue, static_cast<int>(std::lround(region.radius * 10)));
    radiusValue_->setText(QStringLiteral("%1 px").arg(static_cast<long long>(std::trunc(region.radius))));
    const bool lostShown = !region.gaps.empty() && !region.acceptedGaps;
    status_->setText(lostShown       ? QStringLiteral("Есть потерянные участки")
                     : region.tracked ? QStringLiteral("Отслеживание готово")
                                      : QStringLiteral("Правки · запустите отслеживание"));

    const bool outside = t < region.start || t >= region.end;
    note_->setText(outside ? QStringLiteral("Размытие выключено на этом кадре · интервал ") +
                                 interval(region.start, region.end)
                           : QStringLiteral("Размер задаётся вручную · при потере цели рамка остаётся на месте"));
    setColour(note_, outside ? orange : Theme::muted());

    corrections_->setEnabled(editable);
    const auto keys = region.manualKeys();
    keyTimes_.clear();
    for (std::size_t i = 0; i < std::max(keys.size(), correctionRows_.size()); ++i) {
        if (i >= keys.size()) {
            correctionRows_[i].box->hide();
            continue;
        }
        Row& row = correctionRow(i);
        keyTimes_.push_back(keys[i].time);
        row.time->setText(seconds(keys[i].time));
        row.remove->setVisible(keys.size() >= 2);
        row.box->show();
    }

    lost_->setVisible(!region.gaps.empty());
    warning_->setVisible(lostShown);
    accepted_->setVisible(!region.gaps.empty() && region.acceptedGaps);
    accept_->setEnabled(editable);
    gapStarts_.clear();
    for (std::size_t i = 0; i < std::max(region.gaps.size(), gapButtons_.size()); ++i) {
        if (i >= region.gaps.size()) {
            gapButtons_[i]->hide();
            continue;
        }
        QPushButton* button = gapButton(i);
        gapStarts_.push_back(region.gaps[i].start);
        button->setText(interval(region.gaps[i].start, region.gaps[i].end));
        button->show();
    }
}

} // namespace tarnwick::recording
