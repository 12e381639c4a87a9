#include "recording/RecordingWindow.h"

#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/TarnwickError.h"
#include "recording/RecordingBlurControls.h"
#include "recording/RecordingBlurPreview.h"
#include "recording/RecordingContent.h"
#include "recording/RecordingReview.h"
#include "recording/RecordingUIModel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
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

namespace {

QLabel* note(const QString& text, int size)
{
    auto* label = new QLabel(text);
    label->setFont(Theme::font(size));
    label->setWordWrap(true);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Theme::muted());
    label->setPalette(p);
    return label;
}

// Asks for its content's whole height and scrolls when it gets less, but never hides the top
// `essential` pixels of it.
class FittingScrollArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override { return widget() ? widget()->sizeHint() : QScrollArea::sizeHint(); }
    QSize minimumSizeHint() const override
    {
        // Before it is shown the width, and so the height of wrapped text, is not known yet. Measured
        // at the width left beside a scroll bar, so that one appearing wraps no line out of view.
        const int bar = verticalScrollBar()->isVisible() ? 0 : verticalScrollBar()->sizeHint().width();
        const int least = essential && isVisible() ? essential(viewport()->width() - bar) : 0;
        return {QScrollArea::minimumSizeHint().width(), std::max(120, least)};
    }

    std::function<int(int width)> essential;
};

QFrame* divider()
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    return line;
}

} // namespace

QString RecordingWindow::fileSizeText(qint64 bytes)
{
    const QLocale russian(QLocale::Russian);
    if (bytes < 1000)
        return QStringLiteral("%1 байт").arg(bytes);
    if (bytes < 1000 * 1000)
        return russian.toString(qRound64(bytes / 1000.0)) + QStringLiteral(" КБ");
    if (bytes < 1000LL * 1000 * 1000)
        return russian.toString(bytes / 1e6, 'f', 1) + QStringLiteral(" МБ");
    return russian.toString(bytes / 1e9, 'f', 2) + QStringLiteral(" ГБ");
}

RecordingWindow::RecordingWindow(RecordingReview& review, std::function<bool()> microphoneDenied)
    : QWidget(nullptr, Qt::Window), model_(review.model()), recordingReview_(review), microphoneDenied_(std::move(microphoneDenied)), placement_(*this)
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
    root->addWidget(middle_, 1);

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
    refresh();
}

QWidget* RecordingWindow::buildSettings()
{
    auto* form = new QWidget;
    form->setFont(Theme::font(13));
    auto* layout = new QVBoxLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(17);
    auto edit = [this](auto change) {
        RecordingOptions options = model_.options();
        change(options);
        model_.setOptions(options);
    };

    auto* areaRow = new QHBoxLayout;
    area_ = new QButtonGroup(form);
    int id = 0;
    for (const QString& title : {QStringLiteral("Весь экран"), QStringLiteral("Выбранная область")}) {
        auto* button = new QPushButton(title);
        button->setCheckable(true);
        area_->addButton(button, id++);
        areaRow->addWidget(button);
    }
    areaRow->addStretch();
    layout->addLayout(areaRow);
    connect(area_, &QButtonGroup::idClicked, this,
            [edit](int which) { edit([which](RecordingOptions& o) { o.entireDisplay = which == 0; }); });

    screenRow_ = new QWidget;
    auto* screenRow = new QHBoxLayout(screenRow_);
    screenRow->setContentsMargins(0, 0, 0, 0);
    screens_ = new QComboBox;
    std::vector<platform::Monitor> monitors;
    try {
        monitors = RecordingContent::currentContent().displays;
    } catch (const TarnwickError&) {
        // Without an X server no screen has a number; recording says why when it starts.
    }
    for (QScreen* screen : QGuiApplication::screens())
        screens_->addItem(screen->name(), QVariant::fromValue(screenID(screen, monitors)));
    screenRow->addWidget(new QLabel(QStringLiteral("Экран")));
    screenRow->addWidget(screens_, 1);
    layout->addWidget(screenRow_);
    connect(screens_, &QComboBox::activated, this,
            [this](int index) { model_.setDisplayID(screens_->itemData(index).value<std::uint32_t>()); });
    areaHint_ = note(QStringLiteral("После нажатия «Записать» выделите область мышью. Esc — отмена."), 12);
    layout->addWidget(areaHint_);
    layout->addWidget(divider());

    const auto checkbox = [&](const QString& text, bool RecordingOptions::*field) {
        auto* box = new QCheckBox(text);
        connect(box, &QCheckBox::toggled, this, [edit, field](bool on) { edit([&](RecordingOptions& o) { o.*field = on; }); });
        return box;
    };
    cursor_ = checkbox(QStringLiteral("Записывать курсор"), &RecordingOptions::showsCursor);
    clicks_ = checkbox(QStringLiteral("Подсвечивать клики мыши"), &RecordingOptions::highlightsClicks);
    systemAudio_ = checkbox(QStringLiteral("Системный звук"), &RecordingOptions::systemAudio);
    microphone_ = checkbox(QStringLiteral("Микрофон"), &RecordingOptions::microphone);
    layout->addWidget(cursor_);
    layout->addWidget(clicks_);
    auto* audioRow = new QHBoxLayout;
    audioRow->setSpacing(24);
    audioRow->addWidget(systemAudio_);
    audioRow->addWidget(microphone_);
    audioRow->addStretch();
    layout->addLayout(audioRow);
    layout->addWidget(note(
        QStringLiteral("Звук приложений и голос можно записывать вместе. Микрофон — источник звука PulseAudio по "
                       "умолчанию."), 11));
    microphoneSettings_ = new QPushButton(QStringLiteral("Открыть настройки микрофона"));
    microphoneSettings_->setFont(Theme::font(11));
    connect(microphoneSettings_, &QPushButton::clicked, this, [] {
        QProcess::startDetached(QStandardPaths::findExecutable(QStringLiteral("pavucontrol")), {"--tab=4"});
    });
    layout->addWidget(microphoneSettings_, 0, Qt::AlignLeft);
    layout->addWidget(divider());

    const auto picker = [&](const QString& label, QComboBox*& combo, const QStringList& titles) {
        auto* row = new QHBoxLayout;
        combo = new QComboBox;
        combo->addItems(titles);
        row->addWidget(new QLabel(label));
        row->addWidget(combo, 1);
        layout->addLayout(row);
    };
    picker(QStringLiteral("Формат"), codec_, {QStringLiteral("HEVC · меньше файл"), QStringLiteral("H.264 · совместимость")});
    picker(QStringLiteral("Качество"), quality_,
           {QStringLiteral("Для веб-отправки · 720p"), QStringLiteral("Компактный · до 1920 px"),
            QStringLiteral("Чёткий текст · до 2560 px")});
    connect(codec_, &QComboBox::activated, this,
            [edit](int i) { edit([i](RecordingOptions& o) { o.codec = static_cast<RecordingCodec>(i); }); });
    connect(quality_, &QComboBox::activated, this,
            [edit](int i) { edit([i](RecordingOptions& o) { o.quality = static_cast<RecordingQuality>(i); }); });
    qualityNote_ = note(QString(), 11);
    layout->addWidget(qualityNote_);
    layout->addStretch();
    return form;
}

QWidget* RecordingWindow::buildReview()
{
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);
    preview_ = new RecordingBlurPreview(recordingReview_, pane);
    blurControls_ = new RecordingBlurControls(recordingReview_, pane);
    layout->addWidget(preview_, 1);
    // On a low screen the blur controls scroll rather than push the time line over the picture.
    controlsArea_ = new FittingScrollArea(pane);
    auto* controls = static_cast<FittingScrollArea*>(controlsArea_);
    controls->setFrameShape(QFrame::NoFrame);
    controls->setWidgetResizable(true);
    controls->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    controls->viewport()->setAutoFillBackground(false);
    controls->setWidget(blurControls_);
    blurControls_->setAutoFillBackground(false);
    controls->essential = [this](int width) { return blurControls_->essentialHeight(width); };
    layout->addWidget(controls);
    auto* summary = new QHBoxLayout;
    summaryLeft_ = note(QString(), 11);
    summaryRight_ = note(QString(), 11);
    summaryLeft_->setWordWrap(false);
    summaryRight_->setWordWrap(false);
    summary->addWidget(summaryLeft_);
    summary->addStretch();
    summary->addWidget(summaryRight_);
    layout->addLayout(summary);
    return pane;
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
    const QSize least = root->totalMinimumSize();
    // The settings show whole: wrapped notes and an error take the height they need at this width.
    const bool settings = middle_->currentWidget() == settings_;
    const int width = std::max(this->width(), least.width());
    const int height = settings && root->hasHeightForWidth() ? root->totalHeightForWidth(width) : least.height();
    setMinimumSize(least.width(), std::max(least.height(), height));
}

void RecordingWindow::resizeForReview()
{
    placement_.grow(QSize(900, 820));
}

void RecordingWindow::keepOnScreen()
{
    placement_.keepInside();
}

bool RecordingWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Exposed: the window manager has framed the window, so its real frame is known.
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed())
        keepOnScreen();
    return QWidget::eventFilter(watched, event);
}

void RecordingWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        fitToContent(); // wrapped notes need another height at another width
    // A phase that needs more room grows the window; it stays on its screen.
    keepOnScreen();
}

void RecordingWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    windowHandle()->removeEventFilter(this);
    windowHandle()->installEventFilter(this);
    keepOnScreen();
}

void RecordingWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    // The window manager places a new window by its old size.
    keepOnScreen();
}

void RecordingWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (onClose)
        onClose();
}

} // namespace tarnwick::recording
