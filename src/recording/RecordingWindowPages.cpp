#include "recording/RecordingWindow.h"

#include "panels/Theme.h"
#include "recording/RecordingBlurControls.h"
#include "recording/RecordingBlurPreview.h"
#include "recording/RecordingContent.h"
#include "recording/RecordingUIModel.h"
#include "recording/RecordingWindowParts.h"
#include "platform/TarnwickError.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <algorithm>

// The recording window's pages: the settings before a recording and the review after it.

namespace tarnwick::recording {

namespace window {

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

QSize FittingScrollArea::sizeHint() const { return widget() ? widget()->sizeHint() : QScrollArea::sizeHint(); }

QSize FittingScrollArea::minimumSizeHint() const
{
    // Before it is shown the width, and so the height of wrapped text, is not known yet. Measured
    // at the width left beside a scroll bar, so that one appearing wraps no line out of view.
    const int bar = verticalScrollBar()->isVisible() ? 0 : verticalScrollBar()->sizeHint().width();
    const int least = essential && isVisible() ? essential(viewport()->width() - bar) : 0;
    return {QScrollArea::minimumSizeHint().width(), std::max(120, least)};
}

QSize PageScrollArea::sizeHint() const
{
    const QSize whole = widget()->sizeHint();
    return {whole.width(), std::min(whole.height(), cap_)};
}

QSize PageScrollArea::minimumSizeHint() const
{
    const QSize least = widget()->minimumSizeHint();
    // Cut short, it shows a scroll bar beside the pages, which keep their width.
    const int bar = least.height() > cap_ ? verticalScrollBar()->sizeHint().width() : 0;
    return {least.width() + bar, std::min(least.height(), cap_)};
}

bool PageScrollArea::hasHeightForWidth() const { return widget()->hasHeightForWidth(); }

int PageScrollArea::heightForWidth(int width) const { return std::min(widget()->heightForWidth(width), cap_); }

void PageScrollArea::setCap(int height)
{
    cap_ = height;
    updateGeometry();
}

} // namespace window

using window::note;

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
    layout->addWidget(themedDivider());

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
    layout->addWidget(themedDivider());

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
    controlsArea_ = new window::FittingScrollArea(pane);
    auto* controls = static_cast<window::FittingScrollArea*>(controlsArea_);
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

} // namespace tarnwick::recording
