#include "editor/tools/EditorPalette.h"

#include "editor/model/EditorState.h"
#include "panels/Theme.h"

#include <QConicalGradient>
#include <QHBoxLayout>
#include <QPainter>

namespace tarnwick {
namespace {

constexpr int swatchSide = 24;

QColor white(double opacity) { return QColor::fromRgbF(1, 1, 1, static_cast<float>(opacity)); }

void strokeCircle(QPainter& painter, const QRectF& box, const QColor& colour, double width)
{
    if (colour.alpha() == 0)
        return;
    painter.setPen(QPen(colour, width));
    painter.setBrush(Qt::NoBrush);
    // The stroke is centred on the circle: keep it inside the box.
    painter.drawEllipse(box.adjusted(width / 2, width / 2, -width / 2, -width / 2));
}

// One palette colour: an 18-point disc with a ring while it is the chosen one.
class Swatch : public QAbstractButton {
public:
    Swatch(EditorState& state, int position, QWidget* parent) : QAbstractButton(parent), state_(state), position_(position)
    {
        setFixedSize(swatchSide, swatchSide);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setToolTip(QStringLiteral("Цвет выбранной фигуры или новой разметки"));
        setAccessibleName(QStringLiteral("Цвет разметки %1").arg(position + 1));
        connect(this, &QAbstractButton::clicked, this, [this] { state_.style().setColor(position_); });
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF square(0, 0, swatchSide, swatchSide);
        const QRectF disc = square.adjusted(3, 3, -3, -3);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::colors()[static_cast<std::size_t>(position_)]);
        painter.drawEllipse(disc);
        strokeCircle(painter, square.adjusted(1, 1, -1, -1), state_.style().colorIndex() == position_ ? white(0.9) : Qt::transparent, 1.5);
        // Keeps the black swatch visible on the dark popover.
        strokeCircle(painter, disc, position_ == swatchCount - 1 ? white(0.3) : Qt::transparent, 1);
    }

private:
    static constexpr int swatchCount = EditorPalette::swatchCount;
    EditorState& state_;
    int position_;
};

} // namespace

CustomColorSlot::CustomColorSlot(EditorState& state, int swatchPadding, QWidget* parent)
    : QAbstractButton(parent), state_(state), padding_(swatchPadding)
{
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Выбрать цвет на снимке · Esc — отменить"));
    setAccessibleName(QStringLiteral("Цвет со снимка"));
    connect(this, &QAbstractButton::clicked, this, [this] {
        // The model may have moved on since the last refresh.
        if (state_.style().canPickColor())
            state_.style().setPickingColor(true);
    });
    // Wherever it is placed (the palette, the text form), it follows the model itself.
    connect(&state_, &EditorState::changed, this, &CustomColorSlot::refresh);
    refresh();
}

QSize CustomColorSlot::sizeHint() const { return {20 + 2 * padding_, 20 + 2 * padding_}; }

void CustomColorSlot::refresh()
{
    setEnabled(state_.style().canPickColor());
    update();
}

void CustomColorSlot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.4);
    const QRectF square(0, 0, width(), height());
    const QRectF disc = square.adjusted(padding_, padding_, -padding_, -padding_);
    // Qt's conical gradient turns counter-clockwise; the hues run clockwise from 3 o'clock.
    QConicalGradient rainbow(disc.center(), 0);
    const QColor hues[] = {Qt::red, Qt::yellow, Qt::green, Qt::cyan, Qt::blue, QColor(175, 82, 222), Qt::red};
    for (int i = 0; i < 7; ++i)
        rainbow.setColorAt(1.0 - i / 6.0, hues[i]);
    painter.setPen(Qt::NoPen);
    painter.setBrush(rainbow);
    painter.drawEllipse(disc);
    const bool ringed = state_.style().pickingColor() || state_.style().colorIndex() == -1;
    strokeCircle(painter, square, ringed ? QColor(Qt::white) : QColor(Qt::transparent), 1.5);
    if (const auto& picked = state_.style().customColor()) {
        const QRectF badge(square.right() - 8, square.bottom() - 8, 8, 8);
        painter.setBrush(QColor(picked->red, picked->green, picked->blue, picked->alpha));
        painter.setPen(QPen(Qt::white, 1));
        painter.drawEllipse(badge.adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

EditorPalette::EditorPalette(EditorState& state, QWidget* parent) : QWidget(parent), state_(state)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    for (int p = 0; p < swatchCount; ++p) {
        swatches_[static_cast<std::size_t>(p)] = new Swatch(state, p, this);
        row->addWidget(swatches_[static_cast<std::size_t>(p)]);
    }
    slot_ = new CustomColorSlot(state, 2, this);
    row->addWidget(slot_);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&state, &EditorState::changed, this, &EditorPalette::refresh);
}

void EditorPalette::refresh()
{
    for (auto* swatch : swatches_)
        swatch->update();
    slot_->refresh();
}

} // namespace tarnwick
