#include "editor/tools/EditorToolDetails.h"

#include "editor/model/EditorState.h"
#include "editor/tools/DoubleSlider.h"
#include "editor/tools/EditorImageCornerControl.h"
#include "editor/tools/EditorSupplementalControls.h"
#include "editor/tools/SegmentedPicker.h"
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

namespace tarnwick {
namespace {

using T = AnnotationTool;

QComboBox* menuPicker(const QString& accessibleName, const QStringList& rows, QWidget* parent)
{
    auto* combo = new DarkComboBox(parent);
    combo->addItems(rows);
    combo->setAccessibleName(accessibleName);
    return combo;
}

// A picker whose title stays visible beside its menu.
QWidget* titled(const QString& title, QComboBox* picker, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(toolLook::label(title, 12, row));
    line->addWidget(picker, 1);
    picker->setParent(row);
    return row;
}

void pick(QComboBox* combo, int index)
{
    if (combo->currentIndex() == index)
        return;
    const QSignalBlocker block(combo);
    combo->setCurrentIndex(index);
}

} // namespace

EditorToolDetails::EditorToolDetails(EditorState& state, QWidget* parent) : QWidget(parent), state_(state)
{
    setFont(toolLook::font(12));
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor::fromRgbF(0.94f, 0.94f, 0.94f));
    setPalette(p);
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(14);
    buildToolSections();
    buildImageSections();
    buildFurtherSections();
    column_->addStretch(1);
    connect(&state_, &EditorState::changed, this, &EditorToolDetails::refresh);
    refresh();
}

QVBoxLayout* EditorToolDetails::addSection(DetailsSection which, bool boxed)
{
    auto* section = new QWidget(this);
    auto* outer = new QVBoxLayout(section);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(14);
    auto* content = new QVBoxLayout;
    content->setSpacing(8);
    outer->addLayout(content);
    if (boxed)
        outer->addWidget(toolLook::divider(section));
    column_->addWidget(section);
    sections_[std::size_t(which)] = section;
    return content;
}

void EditorToolDetails::buildToolSections()
{
    using S = DetailsSection;
    QVBoxLayout* box = addSection(S::extraTool, true);
    box->addWidget(toolLook::title(QStringLiteral("Набор инструментов"), this));
    QStringList extras;
    for (ExtraToolKind kind : allCases<ExtraToolKind>())
        extras << title(tool(kind));
    extraPicker_ = menuPicker(QStringLiteral("Дополнительный инструмент"), extras, this);
    box->addWidget(extraPicker_);
    connect(extraPicker_, &QComboBox::activated, this,
            [this](int i) { state_.style().activateExtraTool(static_cast<ExtraToolKind>(i)); });

    box = addSection(S::qrReading, true);
    box->addWidget(toolLook::title(QStringLiteral("Распознавание QR-кода"), this));
    box->addWidget(toolLook::hint(QStringLiteral("Выделите код целиком вместе с полями. Его содержимое скопируется в буфер, "
                                                 "а редактор закроется как при отмене."), this));
    qrBusy_ = toolLook::busyIndicator(this);
    box->addWidget(qrBusy_);

    box = addSection(S::rulerUnits, true);
    rulerPicker_ = new SegmentedPicker(QStringLiteral("Единицы рулетки"), {QStringLiteral("px"), QStringLiteral("pt")}, true, this);
    box->addWidget(rulerPicker_);
    // Retina has no meaning here: the points are those of the screen's scale.
    box->addWidget(toolLook::hint(platform::keyText(u"⌘ — ровно по горизонтали или вертикали. px — пиксели снимка; "
                                                    u"pt — точки с учётом масштаба экрана."), this));
    connect(rulerPicker_, &SegmentedPicker::picked, this, [this](int i) { state_.style().setRulerUnit(static_cast<RulerUnit>(i)); });

    addSection(S::highlighterHint, false)
        ->addWidget(toolLook::hint(QStringLiteral("Непрозрачность 30%. Повторные проходы усиливают цвет."), this));

    box = addSection(S::lineKind, true);
    box->addWidget(toolLook::title(QStringLiteral("Стрелка / линия размера"), this));
    linePicker_ = menuPicker(QStringLiteral("Вид линии"), {QStringLiteral("Стрелка"), QStringLiteral("Линия размера")}, this);
    box->addWidget(titled(QStringLiteral("Вид линии"), linePicker_, this));
    connect(linePicker_, &QComboBox::activated, this,
            [this](int i) { state_.style().setLineKind(static_cast<LineKind>(i)); });

    box = addSection(S::shape, true);
    box->addWidget(toolLook::title(QStringLiteral("Фигуры"), this));
    shapePicker_ = menuPicker(QStringLiteral("Вид фигуры"), {QStringLiteral("Прямоугольник"), QStringLiteral("Круг")}, this);
    box->addWidget(titled(QStringLiteral("Фигура"), shapePicker_, this));
    connect(shapePicker_, &QComboBox::activated, this,
            [this](int i) { state_.style().setShape(static_cast<ShapeKind>(i)); });

    box = addSection(S::strokeWidth, true);
    auto* strokeRow = new QHBoxLayout;
    strokeRow->addWidget(toolLook::label(QStringLiteral("Толщина линии"), 12, this));
    strokeRow->addStretch(1);
    strokeValue_ = toolLook::label(QString(), 11, this);
    strokeValue_->setFont(toolLook::monospaced(11));
    strokeRow->addWidget(strokeValue_);
    box->addLayout(strokeRow);
    strokeSlider_ = new DoubleSlider(1, this);
    strokeSlider_->setAccessibleName(QStringLiteral("Толщина линии"));
    box->addWidget(strokeSlider_);
    connect(strokeSlider_, &DoubleSlider::editingStarted, this, [this] { state_.beginStrokeEdit(); });
    connect(strokeSlider_, &DoubleSlider::valueEdited, this, [this](double v) {
        state_.style().setStrokeWidth(v);
        refresh();
    });
    connect(strokeSlider_, &DoubleSlider::editingFinished, this, [this] { state_.endStrokeEdit(); });

    box = addSection(S::magnifier, true);
    box->addWidget(toolLook::title(QStringLiteral("Лупа"), this));
    box->addWidget(toolLook::hint(QStringLiteral("Перетащите исходную область или увеличенный овал. "
                                                 "Угловые точки меняют размер увеличения."), this));
    zoomRow_ = new QWidget(this);
    auto* zoom = new QHBoxLayout(zoomRow_);
    zoom->setContentsMargins(0, 0, 0, 0);
    auto* smaller = new QPushButton(platform::symbolIcon(QStringLiteral("minus")), QString(), zoomRow_);
    smaller->setAccessibleName(QStringLiteral("Уменьшить лупу"));
    zoomValue_ = toolLook::label(QString(), 12, zoomRow_);
    zoomValue_->setFont(toolLook::monospaced(12));
    zoomValue_->setAlignment(Qt::AlignCenter);
    auto* larger = new QPushButton(platform::symbolIcon(QStringLiteral("plus")), QString(), zoomRow_);
    larger->setAccessibleName(QStringLiteral("Увеличить лупу"));
    zoom->addWidget(smaller);
    zoom->addWidget(zoomValue_, 1);
    zoom->addWidget(larger);
    box->addWidget(zoomRow_);
    connect(smaller, &QPushButton::clicked, this, [this] { state_.scaleMagnifier(1 / 1.2); });
    connect(larger, &QPushButton::clicked, this, [this] { state_.scaleMagnifier(1.2); });
}

void EditorToolDetails::buildImageSections()
{
    QVBoxLayout* box = addSection(DetailsSection::insertedImage, true);
    box->addWidget(toolLook::title(QStringLiteral("Вставленный снимок"), this));
    box->addWidget(toolLook::hint(QStringLiteral("Перетащите снимок или измените его размер угловыми точками. "
                                                 "Новый объект располагается выше ранее добавленных."), this));
    auto* cropLayer = new QPushButton(QStringLiteral("Обрезать этот снимок"), this);
    layerBackground_ = new QPushButton(platform::symbolIcon(QStringLiteral("square-user")),
                                       QStringLiteral("Удалить фон"), this);
    auto* flip = new QPushButton(platform::symbolIcon(toolLook::mirrorSymbol()),
                                 QStringLiteral("Отразить по горизонтали"), this);
    for (QPushButton* b : {cropLayer, layerBackground_, flip})
        box->addWidget(b, 0, Qt::AlignLeft);
    box->addWidget(toolLook::label(QStringLiteral("Скругление углов"), 12, this));
    layerCorner_ = new EditorImageCornerControl(state_, this);
    box->addWidget(layerCorner_, 0, Qt::AlignLeft);
    removeLayer_ = new QPushButton(QStringLiteral("Удалить снимок"), this);
    box->addWidget(removeLayer_, 0, Qt::AlignLeft);
    connect(cropLayer, &QPushButton::clicked, this, [this] { state_.cropping().beginOnSelectedLayer(); });
    connect(layerBackground_, &QPushButton::clicked, this,
            [this] { state_.backgroundRemoval().removeFromSelectedImage(); });
    connect(flip, &QPushButton::clicked, this, [this] { state_.images().flipSelectedHorizontally(); });
    connect(removeLayer_, &QPushButton::clicked, this, [this] {
        if (const std::optional<QUuid> id = state_.selectedID())
            state_.remove(*id);
    });
}

QVector<DetailsSection> EditorToolDetails::shownSections() const
{
    QVector<DetailsSection> shown;
    for (std::size_t i = 0; i < sections_.size(); ++i)
        if (sections_[i]->isVisibleTo(this))
            shown.push_back(static_cast<DetailsSection>(i));
    return shown;
}

void EditorToolDetails::refresh()
{
    const QVector<DetailsSection> chosen = toolPanels(DetailsContext::of(state_)).sections;
    for (std::size_t i = 0; i < sections_.size(); ++i)
        toolLook::show(sections_[i], chosen.contains(static_cast<DetailsSection>(i)));
    const std::optional<Annotation> selected = state_.selectedAnnotation();

    pick(extraPicker_, static_cast<int>(state_.style().extraTool()));
    toolLook::show(qrBusy_, state_.qr().id().has_value());
    rulerPicker_->setCurrent(static_cast<int>(state_.style().rulerUnit()));
    pick(linePicker_, static_cast<int>(state_.style().lineKind()));
    pick(shapePicker_, static_cast<int>(state_.style().shape()));
    strokeSlider_->setRangeF(1, state_.style().strokeWidthLimit());
    strokeSlider_->setValueF(state_.style().displayedStrokeWidth());
    strokeValue_->setText(toolLook::pixelText(state_.style().displayedStrokeWidth()));
    const bool lens = selected && selected->kind == T::magnifier;
    toolLook::show(zoomRow_, lens);
    if (lens)
        zoomValue_->setText(QString::asprintf("%.1f×", magnifierFactor(*selected)));
    layerBackground_->setEnabled(state_.backgroundRemoval().canRemoveFromImage());
    toolLook::show(removeLayer_, state_.selectedID().has_value());
    refreshFurtherSections();
}

} // namespace tarnwick
