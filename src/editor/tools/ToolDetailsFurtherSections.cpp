// The tool details' sections for the shot itself, a running background removal,
// the crop, the blur modes and the edit-text button.
#include "editor/model/EditorState.h"
#include "editor/tools/EditorImageCornerControl.h"
#include "editor/tools/EditorToolDetails.h"
#include "editor/tools/ToolLook.h"
#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/KeyNames.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <array>

namespace tarnwick {
namespace {

struct BlurModeText {
    const char* title;
    const char* hint;
};

constexpr std::array<BlurModeText, 6> blurModeTexts{{
    {"Вся область", "Размывается вся выделенная область."},
    {"Только текст", "Размываются найденные слова; остальная часть области сохраняется."},
    {"Удалить", "Фон восстанавливается по краям. Лучше работает на ровном фоне; выделите объект с запасом."},
    {"Удалить объект", "Экспериментально. Выделите небольшой объект с запасом. Его место заполняется соседней "
                       "текстурой; на сложном фоне возможны артефакты."},
    {"Пиксели", "Изображение в области превращается в крупные квадраты."},
    {"Пиксели объекта", "Выделите весь объект или его часть, например лицо. Пиксели накладываются только на "
                        "контур внутри выделения."},
}};

} // namespace

void EditorToolDetails::buildFurtherSections()
{
    using S = DetailsSection;
    // The shot itself: background removal is always available on this system.
    QVBoxLayout* box = addSection(S::sourceShot, true);
    box->addWidget(toolLook::title(QStringLiteral("Исходный снимок"), this));
    sourceBackground_ = new QPushButton(platform::symbolIcon(QStringLiteral("square-user")),
                                        QStringLiteral("Удалить фон"), this);
    box->addWidget(sourceBackground_, 0, Qt::AlignLeft);
    box->addWidget(toolLook::label(QStringLiteral("Скругление углов"), 12, this));
    sourceCorner_ = new EditorImageCornerControl(state_, this);
    box->addWidget(sourceCorner_, 0, Qt::AlignLeft);
    box->addWidget(toolLook::hint(platform::keyText(u"⌘C — скопировать PNG с прозрачностью и закрыть редактор. ⌘Z — вернуть фон."), this));
    connect(sourceBackground_, &QPushButton::clicked, this, [this] {
        if (state_.backgroundRemoval().canRemoveFromScreenshot())
            state_.backgroundRemoval().remove(state_.shot().image, std::nullopt);
    });

    box = addSection(S::removalProgress, false);
    auto* progress = new QHBoxLayout;
    progress->addWidget(toolLook::busyIndicator(this));
    progress->addWidget(toolLook::label(QStringLiteral("Удаляем фон…"), 11, this));
    progress->addStretch(1);
    box->addLayout(progress);
    auto* cancelRemoval = new QPushButton(QStringLiteral("Отменить удаление фона"), this);
    cancelRemoval->setFlat(true);
    box->addWidget(cancelRemoval, 0, Qt::AlignLeft);
    connect(cancelRemoval, &QPushButton::clicked, this, [this] { state_.backgroundRemoval().cancel(); });

    box = addSection(S::imageNotice, false);
    notice_ = toolLook::hint(QString(), this);
    box->addWidget(notice_);

    box = addSection(S::crop, true);
    cropTitle_ = toolLook::title(QString(), this);
    box->addWidget(cropTitle_);
    box->addWidget(toolLook::hint(QStringLiteral("Выделите область, поправьте её за точки или перетащите рамку. "
                                                 "Enter — применить, Esc — отменить."), this));
    auto* cropRow = new QHBoxLayout;
    applyCrop_ = new PrimaryButton(QStringLiteral("Применить"), this);
    applyCrop_->setAccessibleName(QStringLiteral("Применить кадрирование"));
    applyCrop_->setShortcut(QKeySequence(Qt::Key_Return));
    cancelCrop_ = new QPushButton(QStringLiteral("Отменить рамку"), this);
    cropRow->addWidget(applyCrop_);
    cropRow->addWidget(cancelCrop_);
    cropRow->addStretch(1);
    box->addLayout(cropRow);
    resetCrop_ = new QPushButton(QStringLiteral("Вернуть весь снимок"), this);
    resetCrop_->setAccessibleName(QStringLiteral("Сбросить кадрирование"));
    box->addWidget(resetCrop_, 0, Qt::AlignLeft);
    connect(applyCrop_, &QPushButton::clicked, this, [this] { state_.cropping().apply(); });
    connect(cancelCrop_, &QPushButton::clicked, this, [this] { state_.cropping().cancel(); });
    connect(resetCrop_, &QPushButton::clicked, this, [this] { state_.cropping().remove(); });

    box = addSection(S::blur, true);
    box->addWidget(toolLook::title(QStringLiteral("Обработка области"), this));
    blurPicker_ = new DarkComboBox(this);
    for (const BlurModeText& mode : blurModeTexts)
        blurPicker_->addItem(QString::fromUtf8(mode.title));
    blurPicker_->setAccessibleName(QStringLiteral("Режим"));
    auto* modeRow = new QHBoxLayout;
    modeRow->addWidget(toolLook::label(QStringLiteral("Режим"), 12, this));
    modeRow->addWidget(blurPicker_, 1);
    box->addLayout(modeRow);
    box->addWidget(toolLook::hint(QStringLiteral("Чтобы изменить размер, выберите область инструментом «Выбор» "
                                                 "и потяните за край или угловую точку."), this));
    blurHint_ = toolLook::hint(QString(), this);
    box->addWidget(blurHint_);
    blurBusy_ = toolLook::busyIndicator(this);
    box->addWidget(blurBusy_);
    effectMessage_ = toolLook::hint(QString(), this);
    box->addWidget(effectMessage_);
    connect(blurPicker_, &QComboBox::activated, this,
            [this](int i) { state_.style().setBlurMode(static_cast<BlurMode>(i)); });

    auto* editText = new QPushButton(QStringLiteral("Изменить текст"), this);
    editText->setFlat(true);
    addSection(S::editText, false)->addWidget(editText, 0, Qt::AlignLeft);
    connect(editText, &QPushButton::clicked, this, [this] {
        if (const std::optional<Annotation> a = state_.selectedAnnotation(); a && a->kind == AnnotationTool::text)
            state_.text().request(a->start, a->id);
    });
}

void EditorToolDetails::refreshFurtherSections()
{
    sourceBackground_->setEnabled(state_.backgroundRemoval().canRemoveFromScreenshot());
    notice_->setText(state_.images().message().value_or(QString()));
    cropTitle_->setText(state_.cropping().targetID() ? QStringLiteral("Кадрирование слоя")
                                                      : QStringLiteral("Кадрирование"));
    const bool pending = state_.cropping().pending().has_value();
    applyCrop_->setEnabled(pending);
    cancelCrop_->setEnabled(pending);
    toolLook::show(resetCrop_, !state_.cropping().targetID());
    resetCrop_->setEnabled(state_.cropRect().has_value());
    const int mode = static_cast<int>(state_.style().blurMode());
    if (blurPicker_->currentIndex() != mode) {
        const QSignalBlocker block(blurPicker_);
        blurPicker_->setCurrentIndex(mode);
    }
    blurHint_->setText(QString::fromUtf8(blurModeTexts[std::size_t(mode)].hint));
    toolLook::show(blurBusy_, state_.effects().pending());
    const std::optional<QString>& message = state_.effects().message();
    toolLook::show(effectMessage_, message.has_value());
    effectMessage_->setText(message.value_or(QString()));
    QPalette p = effectMessage_->palette();
    p.setColor(QPalette::WindowText, state_.effects().failed() ? QColor(Qt::red) : Theme::muted());
    effectMessage_->setPalette(p);
}

} // namespace tarnwick
