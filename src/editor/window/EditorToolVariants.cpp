#include "editor/window/EditorToolVariants.h"

#include "editor/model/EditorState.h"
#include "editor/window/EditorChrome.h"
#include "panels/Theme.h"
#include "platform/Icons.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace tarnwick {
namespace {

using T = AnnotationTool;

// One card of a group: what it shows, when it is selected and what choosing it does.
struct Variant {
    QString title;
    QString symbol;
    QString help;
    T chosen; // a selected element of this kind or of its family survives the choice
    std::function<bool(const EditorState&, T effective)> selected;
    std::function<void(EditorState&)> then;
};

struct BlurCard {
    BlurMode mode;
    const char16_t* title;
    const char16_t* symbol;
    const char16_t* help;
};

const BlurCard blurCards[] = {
    {BlurMode::area, u"Вся область", u"droplet", u"Размывается вся выделенная область."},
    {BlurMode::text, u"Только текст", u"scan-text", u"Размываются найденные слова; остальная часть области сохраняется."},
    {BlurMode::erase, u"Удалить", u"eraser",
     u"Фон восстанавливается по краям. Лучше работает на ровном фоне; выделите объект с запасом."},
    {BlurMode::objectErase, u"Удалить объект", u"square-user",
     u"Экспериментально. Выделите небольшой объект с запасом. Его место заполняется соседней текстурой; на сложном фоне возможны артефакты."},
    {BlurMode::pixelate, u"Пиксели", u"grid-3x3", u"Изображение в области превращается в крупные квадраты."},
    {BlurMode::objectPixelate, u"Пиксели объекта", u"square-user-round",
     u"Выделите весь объект или его часть, например лицо. Пиксели накладываются только на контур внутри выделения."},
};

QVector<Variant> variantsOf(EditorToolGroup group)
{
    const auto is = [](T tool) { return [tool](const EditorState&, T effective) { return effective == tool; }; };
    const auto line = [](LineKind kind) {
        return [kind](const EditorState& s, T effective) {
            return effective != T::ruler && s.style().lineKind() == kind;
        };
    };
    switch (group) {
    case EditorToolGroup::line:
        return {{title(T::arrow), symbol(T::arrow), {}, T::arrow, line(LineKind::arrow),
                 [](EditorState& s) { s.style().setLineKind(LineKind::arrow); }},
                {QStringLiteral("Линия размера"), symbol(T::length), {}, T::arrow, line(LineKind::length),
                 [](EditorState& s) { s.style().setLineKind(LineKind::length); }},
                {title(T::ruler), symbol(T::ruler), {}, T::ruler, is(T::ruler), {}}};
    case EditorToolGroup::shape: {
        QVector<Variant> out;
        for (ShapeKind kind : allCases<ShapeKind>())
            out.push_back({kind == ShapeKind::rectangle ? QStringLiteral("Прямоугольник") : title(T::ellipse),
                           symbol(shapeTool(kind)), {}, T::rectangle, [kind](const EditorState& s, T) { return s.style().shape() == kind; },
                           [kind](EditorState& s) { s.style().setShape(kind); }});
        return out;
    }
    case EditorToolGroup::drawing:
        return {{title(T::pencil), symbol(T::pencil), {}, T::pencil,
                 [](const EditorState&, T effective) { return effective != T::highlighter; }, {}},
                {title(T::highlighter), symbol(T::highlighter), {}, T::highlighter, is(T::highlighter), {}}};
    case EditorToolGroup::blur: {
        QVector<Variant> out;
        for (const BlurCard& card : blurCards)
            out.push_back({QString::fromUtf16(card.title), QString::fromUtf16(card.symbol), QString::fromUtf16(card.help),
                           T::blur, [mode = card.mode](const EditorState& s, T) { return s.style().blurMode() == mode; },
                           [mode = card.mode](EditorState& s) { s.style().setBlurMode(mode); }});
        return out;
    }
    case EditorToolGroup::extra: {
        QVector<Variant> out;
        for (ExtraToolKind kind : allCases<ExtraToolKind>())
            out.push_back({title(tool(kind)), symbol(tool(kind)), {}, tool(kind), is(tool(kind)), {}});
        return out;
    }
    }
    return {};
}

QString groupTitle(EditorToolGroup group)
{
    switch (group) {
    case EditorToolGroup::line: return QStringLiteral("Линии");
    case EditorToolGroup::shape: return QStringLiteral("Фигуры");
    case EditorToolGroup::drawing: return QStringLiteral("Рисование");
    case EditorToolGroup::blur: return QStringLiteral("Блюр и удаление");
    case EditorToolGroup::extra: return QStringLiteral("Дополнительные инструменты");
    }
    return {};
}

T effectiveTool(const EditorState& state)
{
    const auto selected = state.selectedAnnotation();
    return selected ? selected->kind : state.drawingTool();
}

QColor withAlpha(QColor colour, double alpha)
{
    colour.setAlphaF(static_cast<float>(alpha));
    return colour;
}

} // namespace

EditorVariantCard::EditorVariantCard(const QString& title, const QString& symbol, bool compact, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), compact_(compact)
{
    setText(title);
    setAccessibleName(title);
    // Checked stands for the selected trait; the model alone decides it.
    setCheckable(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

int EditorVariantCard::compactWidth(const QString& title)
{
    const QFontMetricsF metrics(Theme::font(11, QFont::Medium));
    return static_cast<int>(std::ceil(metrics.horizontalAdvance(title))) + 44;
}

void EditorVariantCard::setCardSize(int width, int height)
{
    setFixedSize(compact_ ? std::max(width, compactWidth(text())) : width, compact_ ? 26 : height);
}

void EditorVariantCard::setCompact(bool compact)
{
    compact_ = compact;
    update();
}

void EditorVariantCard::setSelectedVariant(bool selected)
{
    if (isChecked() != selected)
        setChecked(selected);
}

void EditorVariantCard::paintEvent(QPaintEvent*)
{
    const bool selected = isChecked();
    const QColor ink = selected ? Theme::accent() : QColor::fromRgbF(0.88f, 0.88f, 0.88f);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double radius = compact_ ? 5 : 10;
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.fillPath(shape, selected ? withAlpha(Theme::accent(), 0.18) : QColor::fromRgbF(1, 1, 1, 0.04f));
    painter.strokePath(shape, QPen(selected ? withAlpha(Theme::accent(), 0.8) : QColor::fromRgbF(1, 1, 1, 0.07f), 1,
                                   Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.setPen(ink);
    const auto icon = [&](const QString& name, const QRect& box) { platform::symbolIcon(name, ink).paint(&painter, box); };
    if (compact_) {
        icon(symbol_, QRect(6 + 1, (height() - 12) / 2, 12, 12));
        painter.setFont(Theme::font(11, QFont::Medium));
        painter.drawText(QRect(6 + 14 + 4, 0, width() - 44, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
        if (selected)
            icon(QStringLiteral("circle-check"), QRect(width() - 6 - 9, (height() - 8) / 2, 8, 8));
        return;
    }
    const QFont font = Theme::font(13, QFont::Medium);
    const QRect textBox = QFontMetrics(font).boundingRect(QRect(0, 0, width() - 8, 1000), Qt::AlignHCenter | Qt::TextWordWrap, text());
    const int textHeight = std::min(textBox.height(), 2 * QFontMetrics(font).lineSpacing());
    const int top = (height() - 23 - 9 - textHeight) / 2;
    icon(symbol_, QRect((width() - 23) / 2, top, 23, 23));
    painter.setFont(font);
    painter.drawText(QRect(4, top + 23 + 9, width() - 8, textHeight), Qt::AlignHCenter | Qt::TextWordWrap, text());
    if (selected)
        icon(QStringLiteral("circle-check"), QRect(width() - 6 - 12, 6, 12, 12));
}

EditorToolVariants::EditorToolVariants(EditorState& state, EditorToolGroup group, bool contextual, bool compact,
                                       std::function<void()> onChoose, QWidget* parent)
    : QWidget(parent), state_(state), group_(group), contextual_(contextual), compact_(compact), onChoose_(std::move(onChoose))
{
    setObjectName(QStringLiteral("editor-tool-variants"));
    auto* outer = new QVBoxLayout(this);
    outer->setSpacing(12);
    title_ = new QLabel(groupTitle(group), this);
    title_->setFont(Theme::font(14, QFont::DemiBold));
    outer->addWidget(title_);
    grid_ = new QGridLayout;
    outer->addLayout(grid_);
    const QVector<Variant> variants = variantsOf(group);
    for (int i = 0; i < variants.size(); ++i) {
        auto* card = new EditorVariantCard(variants[i].title, variants[i].symbol, compact, this);
        card->setToolTip(variants[i].help);
        connect(card, &QAbstractButton::clicked, this, [this, i] { choose(i); });
        cards_.push_back(card);
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setContextual(contextual);
    connect(&state, &EditorState::changed, this, &EditorToolVariants::refresh);
    refresh();
}

int EditorToolVariants::cardWidth(int minimum) const
{
    if (!compact_)
        return minimum;
    int widest = minimum;
    for (const auto* card : cards_)
        widest = std::max(widest, EditorVariantCard::compactWidth(card->text()));
    return widest;
}

int EditorToolVariants::padding() const { return compact_ ? 4 : contextual_ ? 8 : 14; }

QVector<EditorToolVariants::Arrangement> EditorToolVariants::arrangements() const
{
    const int count = static_cast<int>(cards_.size());
    switch (group_) {
    case EditorToolGroup::line: return {{count, cardWidth(112)}};
    case EditorToolGroup::shape:
    case EditorToolGroup::drawing: return {{count, cardWidth(116)}};
    case EditorToolGroup::blur:
        if (contextual_)
            return {{count, cardWidth(100)}, {3, cardWidth(112)}, {2, cardWidth(112)}};
        return {{2, cardWidth(144)}};
    case EditorToolGroup::extra:
        if (contextual_)
            return {{count, cardWidth(104)}, {2, cardWidth(112)}};
        return {{2, cardWidth(144)}};
    }
    return {};
}

int EditorToolVariants::idealWidth(const Arrangement& a) const
{
    const int s = compact_ ? 4 : 8;
    return a.columns * a.cardWidth + (a.columns - 1) * s + 2 * padding();
}

void EditorToolVariants::setContextual(bool contextual)
{
    contextual_ = contextual;
    title_->setVisible(!contextual_ && !compact_);
    layout()->setContentsMargins(padding(), padding(), padding(), padding());
    columns_ = 0;
    fitWidth(offered_);
}

void EditorToolVariants::fitWidth(int width)
{
    offered_ = width;
    const QVector<Arrangement> candidates = arrangements();
    auto fits = std::find_if(candidates.begin(), candidates.end(), [&](const Arrangement& a) { return idealWidth(a) <= width; });
    const Arrangement chosen = fits != candidates.end() ? *fits : candidates.back();
    if (chosen.columns != columns_)
        arrange(chosen);
}

void EditorToolVariants::arrange(const Arrangement& arrangement)
{
    columns_ = arrangement.columns;
    const int s = compact_ ? 4 : 8;
    grid_->setHorizontalSpacing(s);
    grid_->setVerticalSpacing(s);
    for (auto* card : cards_)
        grid_->removeWidget(card);
    for (int i = 0; i < cards_.size(); ++i) {
        cards_[i]->setCardSize(arrangement.cardWidth, contextual_ ? 64 : 76);
        grid_->addWidget(cards_[i], i / columns_, i % columns_, Qt::AlignCenter);
    }
    adjustSize();
}

void EditorToolVariants::refresh()
{
    const QVector<Variant> variants = variantsOf(group_);
    const T effective = effectiveTool(state_);
    for (int i = 0; i < cards_.size(); ++i)
        cards_[i]->setSelectedVariant(variants[i].selected(state_, effective));
}

void EditorToolVariants::choose(int index)
{
    const Variant variant = variantsOf(group_)[index];
    std::optional<QUuid> kept;
    if (const auto selected = state_.selectedAnnotation(); selected && (selected->kind == variant.chosen || grabs(variant.chosen, selected->kind)))
        kept = selected->id;
    state_.setTool(variant.chosen);
    // Ruler, highlighter and the extra tools are chosen as extra tools.
    if (const auto extra = extraToolKind(variant.chosen))
        state_.style().activateExtraTool(*extra);
    state_.setSelectedID(kept);
    state_.style().syncToSelection();
    if (variant.then)
        variant.then(state_);
    refresh();
    if (onChoose_)
        onChoose_();
}

void EditorToolVariants::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.35, 0.35, -0.35, -0.35), 13, 13);
    painter.fillPath(shape, EditorChrome::floating());
    painter.strokePath(shape, QPen(QColor::fromRgbF(1, 1, 1, 0.18f), 0.7));
}

} // namespace tarnwick
