#include "editor/tools/EditorSupplementalControls.h"

#include "editor/model/EditorState.h"
#include "editor/tools/DoubleSlider.h"
#include "editor/tools/SegmentedPicker.h"
#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/KeyNames.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

namespace tarnwick {
namespace {

using T = AnnotationTool;

QPushButton* textButton(const QString& text, const QString& accessibleName, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setAccessibleName(accessibleName);
    b->setFocusPolicy(Qt::NoFocus); // the keys stay with the canvas
    return b;
}

QPushButton* backgroundButton(QWidget* parent)
{
    QPushButton* b = textButton(QStringLiteral("Удалить фон"), QStringLiteral("Удалить фон"), parent);
    b->setIcon(platform::symbolIcon(QStringLiteral("square-user")));
    b->setFont(toolLook::font(11));
    return b;
}

} // namespace

double magnifierFactor(const Annotation& magnifier)
{
    if (!magnifier.magnifierSource)
        return 2;
    return magnifier.rect().width() / std::max(magnifier.magnifierSource->width(), 1.0);
}

EditorSupplementalControls::EditorSupplementalControls(EditorState& state, QWidget* parent)
    : FloatingCapsule(parent), state_(state)
{
    setFont(toolLook::font(12));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(8);

    strokeGroup_ = new QWidget(this);
    strokeGroup_->setToolTip(platform::keyText(u"Толщина линии · [ уменьшить, ] увеличить на 1 px"));
    auto* stroke = new QHBoxLayout(strokeGroup_);
    stroke->setContentsMargins(0, 0, 0, 0);
    stroke->setSpacing(7);
    strokeSlider_ = new DoubleSlider(100, strokeGroup_);
    strokeSlider_->setFixedWidth(82);
    strokeSlider_->setAccessibleName(QStringLiteral("Толщина линии"));
    strokeValue_ = toolLook::label(QString(), 10, strokeGroup_);
    strokeValue_->setFont(toolLook::monospaced(10));
    strokeValue_->setMinimumWidth(31);
    strokeValue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette muted = strokeValue_->palette();
    muted.setColor(QPalette::WindowText, Theme::muted());
    strokeValue_->setPalette(muted);
    stroke->addWidget(strokeSlider_);
    stroke->addWidget(strokeValue_);
    row->addWidget(strokeGroup_);

    rulerUnits_ = new SegmentedPicker(QStringLiteral("Единицы рулетки"), {QStringLiteral("px"), QStringLiteral("pt")}, false, this);
    rulerUnits_->setFixedWidth(70);
    row->addWidget(rulerUnits_);

    applyCrop_ = textButton(QStringLiteral("Применить"), QStringLiteral("Применить кадрирование"), this);
    cancelCrop_ = toolLook::symbolButton(QStringLiteral("x"), QStringLiteral("Отменить рамку"), this);
    editText_ = textButton(QStringLiteral("Изменить"), QStringLiteral("Изменить текст"), this);
    row->addWidget(applyCrop_);
    row->addWidget(cancelCrop_);
    row->addWidget(editText_);

    zoomGroup_ = new QWidget(this);
    auto* zoom = new QHBoxLayout(zoomGroup_);
    zoom->setContentsMargins(0, 0, 0, 0);
    zoom->setSpacing(6);
    QToolButton* smaller = toolLook::symbolButton(QStringLiteral("minus"), QStringLiteral("Уменьшить лупу"), zoomGroup_);
    zoomValue_ = toolLook::label(QString(), 11, zoomGroup_);
    zoomValue_->setFont(toolLook::monospaced(11));
    QToolButton* larger = toolLook::symbolButton(QStringLiteral("plus"), QStringLiteral("Увеличить лупу"), zoomGroup_);
    zoom->addWidget(smaller);
    zoom->addWidget(zoomValue_);
    zoom->addWidget(larger);
    row->addWidget(zoomGroup_);

    layerBackground_ = backgroundButton(this);
    mirror_ = toolLook::symbolButton(toolLook::mirrorSymbol(),
                                     QStringLiteral("Отразить по горизонтали"), this, Theme::muted());
    mirror_->setToolTip(QStringLiteral("Отразить по горизонтали"));
    mirror_->setFixedSize(24, 26);
    row->addWidget(layerBackground_);
    row->addWidget(mirror_);

    sourceLabel_ = toolLook::hint(QStringLiteral("Исходный снимок"), this);
    sourceLabel_->setWordWrap(false);
    sourceBackground_ = backgroundButton(this);
    sourceBackground_->setAccessibleName(QStringLiteral("Удалить фон исходного снимка"));
    sourceBackground_->setToolTip(platform::keyText(u"Удалить фон исходного снимка · ⌘C скопирует PNG с прозрачностью"));
    row->addWidget(sourceLabel_);
    row->addWidget(sourceBackground_);

    busy_ = toolLook::busyIndicator(this);
    row->addWidget(busy_);
    delete_ = toolLook::symbolButton(QStringLiteral("trash-2"), QStringLiteral("Удалить выбранный объект"), this, Theme::muted());
    delete_->setFixedSize(24, 26);
    row->addWidget(delete_);

    connect(strokeSlider_, &DoubleSlider::editingStarted, this, [this] { state_.beginStrokeEdit(); });
    connect(strokeSlider_, &DoubleSlider::valueEdited, this, [this](double v) {
        state_.style().setStrokeWidth(toolLook::wholePixels(v));
        refresh();
    });
    connect(strokeSlider_, &DoubleSlider::editingFinished, this, [this] { state_.endStrokeEdit(); });
    connect(rulerUnits_, &SegmentedPicker::picked, this, [this](int i) { state_.style().setRulerUnit(static_cast<RulerUnit>(i)); });
    connect(applyCrop_, &QPushButton::clicked, this, [this] { state_.cropping().apply(); });
    connect(cancelCrop_, &QToolButton::clicked, this, [this] { state_.cropping().cancel(); });
    connect(editText_, &QPushButton::clicked, this, [this] {
        if (const std::optional<Annotation> a = state_.selectedAnnotation(); a && a->kind == T::text)
            state_.text().request(a->start, a->id);
    });
    connect(smaller, &QToolButton::clicked, this, [this] { state_.scaleMagnifier(1 / 1.2); });
    connect(larger, &QToolButton::clicked, this, [this] { state_.scaleMagnifier(1.2); });
    connect(layerBackground_, &QPushButton::clicked, this,
            [this] { state_.backgroundRemoval().removeFromSelectedImage(); });
    connect(mirror_, &QToolButton::clicked, this, [this] { state_.images().flipSelectedHorizontally(); });
    connect(sourceBackground_, &QPushButton::clicked, this,
            [this] { state_.backgroundRemoval().removeFromScreenshot(); });
    connect(delete_, &QToolButton::clicked, this, [this] {
        if (const std::optional<QUuid> id = state_.selectedID())
            state_.remove(*id);
    });
    connect(&state_, &EditorState::changed, this, &EditorSupplementalControls::refresh);
    refresh();
}

bool EditorSupplementalControls::hasContent() const { return toolPanels(DetailsContext::of(state_)).strip.any(); }

void EditorSupplementalControls::refresh()
{
    using toolLook::show;
    const SupplementalContent c = toolPanels(DetailsContext::of(state_)).strip;
    const std::optional<Annotation> selected = state_.selectedAnnotation();
    show(strokeGroup_, c.stroke);
    if (c.stroke) {
        strokeSlider_->setRangeF(1, state_.style().strokeWidthLimit());
        strokeSlider_->setValueF(state_.style().displayedStrokeWidth());
        strokeValue_->setText(toolLook::pixelText(state_.style().displayedStrokeWidth()));
    }
    show(rulerUnits_, c.rulerUnits);
    rulerUnits_->setCurrent(static_cast<int>(state_.style().rulerUnit()));
    show(applyCrop_, c.crop);
    show(cancelCrop_, c.crop);
    applyCrop_->setEnabled(state_.cropping().pending().has_value());
    cancelCrop_->setEnabled(state_.cropping().pending().has_value());
    show(editText_, c.editText);
    show(zoomGroup_, c.magnifierZoom);
    if (c.magnifierZoom)
        zoomValue_->setText(QString::asprintf("%.1f×", magnifierFactor(*selected)));
    show(layerBackground_, c.imageLayer);
    show(mirror_, c.imageLayer);
    layerBackground_->setEnabled(state_.backgroundRemoval().canRemoveFromImage());
    const bool mirrored = selected && selected->imageFlippedHorizontally;
    if (mirrored != mirrored_) {
        mirrored_ = mirrored;
        mirror_->setIcon(platform::symbolIcon(toolLook::mirrorSymbol(),
                                              mirrored ? Theme::accent() : Theme::muted()));
    }
    show(sourceLabel_, c.sourceShot);
    show(sourceBackground_, c.sourceShot);
    sourceBackground_->setEnabled(state_.backgroundRemoval().canRemoveFromScreenshot());
    show(busy_, c.busy);
    show(delete_, c.remove);
}

} // namespace tarnwick
