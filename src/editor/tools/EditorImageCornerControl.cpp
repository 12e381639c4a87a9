#include "editor/tools/EditorImageCornerControl.h"

#include "editor/model/EditorState.h"
#include "editor/tools/DoubleSlider.h"
#include "panels/Theme.h"
#include "platform/Icons.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tarnwick {

EditorImageCornerControl::EditorImageCornerControl(EditorState& state, QWidget* parent)
    : FloatingCapsule(parent), state_(state), slider_(new DoubleSlider(100, this)),
      value_(toolLook::label(QString(), 10, this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(7);
    auto* icon = new QLabel(this);
    icon->setPixmap(platform::symbolIcon(QStringLiteral("square-round-corner"), Theme::muted()).pixmap(12, 12));
    row->addWidget(icon);
    slider_->setFixedWidth(82);
    slider_->setAccessibleName(QStringLiteral("Радиус скругления углов"));
    row->addWidget(slider_);
    value_->setFont(toolLook::monospaced(10));
    value_->setMinimumWidth(37);
    value_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette p = value_->palette();
    p.setColor(QPalette::WindowText, Theme::muted());
    value_->setPalette(p);
    row->addWidget(value_);

    connect(slider_, &DoubleSlider::editingStarted, this, [this] { state_.beginStrokeEdit(); });
    connect(slider_, &DoubleSlider::valueEdited, this, [this](double v) {
        state_.images().setCornerRadius(toolLook::wholePixels(v));
        refresh();
    });
    connect(slider_, &DoubleSlider::editingFinished, this, [this] { state_.endStrokeEdit(); });
    connect(&state_, &EditorState::changed, this, &EditorImageCornerControl::refresh);
    refresh();
}

void EditorImageCornerControl::refresh()
{
    const double radius = state_.images().displayedCornerRadius();
    slider_->setRangeF(0, state_.images().cornerRadiusLimit());
    slider_->setValueF(radius);
    value_->setText(toolLook::pixelText(radius));
    setToolTip(state_.images().editingOriginal() ? QStringLiteral("Радиус скругления углов исходного снимка")
                                              : QStringLiteral("Радиус скругления углов вставленного изображения"));
    setEnabled(!state_.backgroundRemoval().targetID() && !state_.images().capturing() && !state_.cropping().pending());
}

} // namespace tarnwick
