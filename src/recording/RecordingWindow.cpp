#include "recording/RecordingWindow.h"

#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/TarnwickError.h"
#include "platform/WindowPlacement.h"
#include "recording/RecordingBlurControls.h"
#include "recording/RecordingBlurPreview.h"
#include "recording/RecordingContent.h"
#include "recording/RecordingReview.h"
#include "recording/RecordingUIModel.h"
#include "recording/RecordingWindowParts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QResizeEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

namespace tarnwick::recording {

using window::note;

RecordingWindow::RecordingWindow(RecordingReview& review, std::function<bool()> microphoneDenied)
    : QWidget(nullptr, Qt::Window), model_(review.model()), recordingReview_(review), microphoneDenied_(std::move(microphoneDenied)), placement_(platform::WindowPlacement::of(*this))
{
    setWindowTitle(QStringLiteral("Tarnwick · Запись экрана"));
    setPalette(Theme::darkPalette());
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor::fromRgbF(0.09f, 0.09f, 0.09f));
    setPalette(p);
    resize(650, 540);

    auto* root = new QVBoxLayout(this);
    // The window is never smaller than what its current phase needs (fitToContent).
    root->setSizeConstraint(QLayout::SetNoConstraint);
    root->setContentsMargins(24, 24, 24, 24);
    root->setSpacing(18);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    auto* mark = new QLabel;
    mark->setPixmap(platform::symbolIcon(u"circle-dot", Qt::red).pixmap(QSize(28, 28), devicePixelRatioF()));
    header->addWidget(mark);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    title_ = new QLabel;
    title_->setFont(Theme::font(21, QFont::DemiBold));
    subtitle_ = note(QString(), 12);
    subtitle_->setWordWrap(false);
    titles->addWidget(title_);
    titles->addWidget(subtitle_);
    header->addLayout(titles);
    header->addStretch();
    root->addLayout(header);

    middle_ = new QStackedWidget;
    settings_ = buildSettings();
    waiting_ = new QWidget;
    auto* waitingLayout = new QVBoxLayout(waiting_);
    auto* spinner = new QProgressBar;
    spinner->setRange(0, 0);
    waitingLayout->addStretch();
    waitingLayout->addWidget(spinner);
    waitingLayout->addWidget(new QLabel(QStringLiteral("Подготовка записи…")), 0, Qt::AlignHCenter);
    waitingLayout->addStretch();
    review_ = buildReview();
    middle_->addWidget(settings_);
    middle_->addWidget(waiting_);
    middle_->addWidget(review_);
    pages_ = new window::PageScrollArea;
    pages_->setFrameShape(QFrame::NoFrame);
    pages_->setWidgetResizable(true);
    pages_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pages_->viewport()->setAutoFillBackground(false);
    pages_->setWidget(middle_);
    middle_->setAutoFillBackground(false);
    root->addWidget(pages_, 1);

    message_ = new QLabel;
    message_->setWordWrap(true);
    message_->setFont(Theme::font(12));
    QPalette orange = message_->palette();
    orange.setColor(QPalette::WindowText, QColor(255, 149, 0));
    message_->setPalette(orange);
    root->addWidget(message_);

    auto* bottom = new QHBoxLayout;
    localNote_ = note(QStringLiteral("Локально · 30 кадров/с"), 11);
    localNote_->setWordWrap(false);
    discard_ = new QPushButton(QStringLiteral("Удалить запись"));
    saving_ = new QProgressBar;
    saving_->setRange(0, 0);
    saving_->setFixedWidth(60);
    savingText_ = new QLabel(QStringLiteral("Сохраняю…"));
    savingText_->setFont(Theme::font(12));
    record_ = new PrimaryButton(QStringLiteral("Записать"));
    record_->setDefault(true);
    save_ = new PrimaryButton(QStringLiteral("Сохранить MP4…"));
    bottom->addWidget(localNote_);
    bottom->addWidget(discard_);
    bottom->addStretch();
    bottom->addWidget(saving_);
    bottom->addWidget(savingText_);
    bottom->addWidget(record_);
    bottom->addWidget(save_);
    root->addLayout(bottom);

    connect(record_, &QPushButton::clicked, this, [this] {
        if (model_.startAction)
            model_.startAction();
    });
    connect(discard_, &QPushButton::clicked, this, [this] {
        if (model_.discardAction)
            model_.discardAction();
    });
    connect(save_, &QPushButton::clicked, this, [this] {
        if (model_.saveAction)
            model_.saveAction();
    });
    for (QPushButton* button : {record_, save_})
        button->setAutoDefault(false);
    auto* returnKey = new QShortcut(QKeySequence(Qt::Key_Return), this);
    connect(returnKey, &QShortcut::activated, record_, [this] {
        if (record_->isVisible())
            record_->click();
    });
    auto* saveKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    connect(saveKey, &QShortcut::activated, save_, [this] {
        if (save_->isVisible() && save_->isEnabled())
            save_->click();
    });

    for (auto signal : {&RecordingUIModel::phaseChanged, &RecordingUIModel::messageChanged,
                        &RecordingUIModel::optionsChanged, &RecordingUIModel::displayIDChanged,
                        &RecordingUIModel::outputSizeChanged, &RecordingUIModel::fileBytesChanged,
                        &RecordingUIModel::trimChanged, &RecordingUIModel::blurRegionsChanged,
                        &RecordingUIModel::selectedBlurIDChanged, &RecordingUIModel::addingBlurChanged,
                        &RecordingUIModel::trackingProgressChanged})
        connect(&model_, signal, this, &RecordingWindow::refresh);
    // Before each fit, and when it opens: a monitor lower than the window has its page scroll.
    placement_.onRoomChanged = [this] { fitToContent(); };
    refresh();
}

void RecordingWindow::refresh()
{
    const RecordingPhase phase = model_.phase();
    const RecordingOptions& options = model_.options();
    const bool setup = phase == RecordingPhase::setup;
    const bool reviewing = phase == RecordingPhase::review || phase == RecordingPhase::exporting;
    title_->setText(setup ? QStringLiteral("Запись экрана") : QStringLiteral("Готовая запись"));
    subtitle_->setText(setup ? QStringLiteral("Покажите действие, которое сложно объяснить снимком")
                             : QStringLiteral("Оставьте нужный фрагмент и сохраните MP4"));
    middle_->setCurrentWidget(setup ? settings_ : reviewing ? review_ : waiting_);

    area_->button(options.entireDisplay ? 0 : 1)->setChecked(true);
    screenRow_->setVisible(options.entireDisplay);
    areaHint_->setVisible(!options.entireDisplay);
    screens_->setCurrentIndex(screens_->findData(QVariant::fromValue(model_.displayID())));
    const QSignalBlocker b1(cursor_), b2(clicks_), b3(systemAudio_), b4(microphone_);
    cursor_->setChecked(options.showsCursor);
    clicks_->setChecked(options.highlightsClicks);
    systemAudio_->setChecked(options.systemAudio);
    microphone_->setChecked(options.microphone);
    microphoneSettings_->setVisible(options.microphone && microphoneDenied_() &&
                                    !QStandardPaths::findExecutable(QStringLiteral("pavucontrol")).isEmpty());
    codec_->setCurrentIndex(static_cast<int>(options.codec));
    quality_->setCurrentIndex(static_cast<int>(options.quality));
    qualityNote_->setText(
        options.quality == RecordingQuality::web
            ? QStringLiteral("720p и усиленное сжатие для отправки в чат или на сайт. Пропорции сохраняются, маленькие "
                             "области не увеличиваются. HEVC даёт меньший файл; H.264 — для совместимости.")
            : QStringLiteral("HEVC экономит место. Для старых проигрывателей выберите H.264. Размер файла зависит от "
                             "движения на экране; «Чёткий текст» сохраняет больше деталей."));

    const QSizeF size = model_.outputSize();
    summaryLeft_->setText(QStringLiteral("%1 × %2 · %3")
                              .arg(static_cast<qint64>(size.width()))
                              .arg(static_cast<qint64>(size.height()))
                              .arg(fileSizeText(model_.fileBytes())));
    const auto& trim = model_.trim();
    summaryRight_->setText(QStringLiteral("Итог: ") + RecordingUIModel::time(std::max(trim.end - trim.start, 0.0)) +
                           QStringLiteral(" · ") +
                           (model_.blurRegions().empty() ? QStringLiteral("без повторного сжатия")
                                                         : QStringLiteral("с размытием")));

    message_->setVisible(model_.message().has_value());
    message_->setText(model_.message().value_or(QString()));

    localNote_->setVisible(setup);
    record_->setVisible(setup);
    discard_->setVisible(!setup);
    save_->setVisible(!setup);
    discard_->setEnabled(phase == RecordingPhase::review);
    save_->setEnabled(phase == RecordingPhase::review && !model_.trackingProgress());
    saving_->setVisible(phase == RecordingPhase::exporting);
    savingText_->setVisible(phase == RecordingPhase::exporting);
    fitToContent();
}

void RecordingWindow::fitToContent()
{
    controlsArea_->updateGeometry(); // a reported loss keeps its warning in view at this width
    QLayout* root = layout();
    // The settings show whole: wrapped notes and an error take the height they need at this width.
    const bool settings = middle_->currentWidget() == settings_;
    const auto least = [&] {
        const QSize size = root->totalMinimumSize();
        const int width = std::max(this->width(), size.width());
        const int height = settings && root->hasHeightForWidth() ? root->totalHeightForWidth(width) : size.height();
        return QSize(size.width(), std::max(size.height(), height));
    };
    // A monitor too low for the whole page has it scroll above the bottom bar, down to a few lines.
    pages_->setCap(0);
    const int rest = least().height();
    pages_->setCap(std::max(leastPage, placement_.room().height() - rest));
    placement_.setLeast(least());
}

void RecordingWindow::resizeForReview()
{
    placement_.ask(QSize(900, 820));
}

void RecordingWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        fitToContent(); // wrapped notes need another height at another width
}

bool RecordingWindow::event(QEvent* event)
{
    // Another monitor has another room, and maybe another scale: the window's least size follows
    // before the window is fitted to that monitor.
    if (event->type() == QEvent::ScreenChangeInternal)
        fitToContent();
    return QWidget::event(event);
}

void RecordingWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (onClose)
        onClose();
}

} // namespace tarnwick::recording
