#include "editor/canvas/ColorFormatButton.h"

#include "platform/KeyNames.h"
#include "series/CanvasLabel.h"
#include "series/Palette.h"
#include "render/DrawingSupport.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace tarnwick {

namespace {

constexpr double codePoints = 9;

QString formatTitle(ColorCodeFormat format)
{
    static const char* const prefixes[] = {"HEX · ", "HEX · ", "CSS · ", "RGB · ", "Android · "};
    return QString::fromUtf8(prefixes[int(format)]) + colorCode(format, SampledColor{255, 194, 0, 255});
}

} // namespace

ColorFormatButton::ColorFormatButton(CursorColorState& color, QWidget* parent) : QAbstractButton(parent)
{
    setAccessibleName(QStringLiteral("Цвет под курсором"));
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::clicked, this, &ColorFormatButton::showFormats);
    setColor(color);
}

void ColorFormatButton::setColor(CursorColorState& color)
{
    disconnect(watch_);
    color_ = &color;
    watch_ = connect(&color, &CursorColorState::changed, this, &ColorFormatButton::refresh);
    refresh();
}

void ColorFormatButton::refresh()
{
    const std::optional<QString> code = color_ ? color_->code() : std::nullopt;
    setToolTip((code ? *code + QStringLiteral(". ") : QStringLiteral("Наведите курсор на снимок. "))
               + platform::keyText(u"Tab — скопировать цвет и закрыть редактор. Нажмите для выбора формата."));
    updateGeometry();
    update();
}

QString ColorFormatButton::codeText() const
{
    const std::optional<QString> code = color_ ? color_->code() : std::nullopt;
    return code ? *code : QStringLiteral("Цвет курсора");
}

double ColorFormatButton::codeSize() const
{
    const double room = width() - 28;
    const double w = CanvasLabel::size(codeText(), codePoints, true).width();
    const double scale = w < 1 ? room : room / w;
    return scale < 1 ? std::max(codePoints * scale, 5.4) : codePoints;
}

QSize ColorFormatButton::sizeHint() const
{
    const double w = CanvasLabel::size(codeText(), codePoints, true).width();
    return QSize(int(std::ceil(std::min(std::max(w + 28, 94.0), 140.0))), 32);
}

void ColorFormatButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    const double mid = bounds.center().y();
    QPainterPath background;
    background.addRoundedRect(bounds, 6, 6);
    painter.fillPath(background, QColor::fromRgbF(1, 1, 1, isDown() ? 0.16f : 0.08f));

    const std::optional<SampledColor> sample = color_ ? color_->sample() : std::nullopt;
    painter.setBrush(sample ? QColor(sample->red, sample->green, sample->blue, sample->alpha) : QColor(Qt::gray));
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.25f), 1));
    painter.drawEllipse(QRectF(7, mid - 5, 10, 10));

    drawing::drawLabelLine(painter, codeText(), codeSize(), true, QRectF(23, mid - 10, bounds.width() - 28, 12),
                           QColor::fromRgbF(0.94f, 0.94f, 0.94f));
    drawing::drawLabelLine(painter, platform::keyText(u"Tab копировать"), 7, false,
                           QRectF(23, mid + 2, bounds.width() - 28, 10), QColor::fromRgbF(0.66f, 0.66f, 0.66f));
}

QMenu* ColorFormatButton::formatMenu()
{
    auto* menu = new QMenu(QStringLiteral("Формат цвета"), this);
    for (std::size_t i = 0; i < caseCount<ColorCodeFormat>(); ++i) {
        const auto format = ColorCodeFormat(i);
        QAction* item = menu->addAction(formatTitle(format));
        item->setCheckable(true);
        item->setChecked(color_ && color_->format() == format);
        item->setData(rawString(format));
        connect(item, &QAction::triggered, this, [this, raw = rawString(format)] {
            const std::optional<ColorCodeFormat> chosen = fromRaw<ColorCodeFormat>(QStringView(raw));
            if (!chosen || !color_)
                return;
            color_->setFormat(*chosen);
            update();
        });
    }
    return menu;
}

void ColorFormatButton::showFormats()
{
    QMenu* menu = formatMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(mapToGlobal(QPoint(0, 0)));
}

} // namespace tarnwick
