#include "editor/tools/TextFontControls.h"

#include "editor/tools/InstalledFontPicker.h"
#include "editor/tools/ToolLook.h"
#include "panels/PopupAnchor.h"
#include "panels/Theme.h"
#include "platform/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick {
namespace {

const QColor idle = QColor::fromRgbF(0.9f, 0.9f, 0.9f);

void card(QPainter& painter, const QRect& rect, const QColor& color, double radius)
{
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect), radius, radius);
    painter.fillPath(shape, color);
}

} // namespace

StyleToggle::StyleToggle(const QString& title, const QString& symbol, bool showTitle, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), showTitle_(showTitle)
{
    setText(title);
    setToolTip(title);
    setAccessibleName(title);
    setFont(toolLook::font(12));
    setCursor(Qt::PointingHandCursor);
    // The text being written keeps the keyboard.
    setFocusPolicy(Qt::NoFocus);
    setCheckable(true);
}

void StyleToggle::setSelected(bool selected)
{
    // Checked carries the selected trait for assistive technology; a click's own toggle is undone here.
    setChecked(selected);
    if (selected_ == selected)
        return;
    selected_ = selected;
    update();
}

QSize StyleToggle::sizeHint() const
{
    const int content = 12 + (showTitle_ ? 5 + fontMetrics().horizontalAdvance(text()) : 0);
    return {std::max(28, content + 10), 28};
}

void StyleToggle::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor tint = Theme::accent();
    tint.setAlphaF(0.16f);
    card(painter, rect(), selected_ ? tint : Theme::card(), 6);
    const QColor fore = selected_ ? Theme::accent() : idle;
    const int textWidth = showTitle_ ? 5 + fontMetrics().horizontalAdvance(text()) : 0;
    const int left = (width() - 12 - textWidth) / 2;
    painter.drawPixmap(QRect(left, (height() - 12) / 2, 12, 12), platform::symbolPixmap(symbol_, 24, fore));
    if (showTitle_) {
        painter.setPen(fore);
        painter.drawText(QRect(left + 17, 0, textWidth, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }
}

FontFamilyButton::FontFamilyButton(QWidget* parent) : QAbstractButton(parent)
{
    setFont(toolLook::font(12));
    setAccessibleName(QStringLiteral("Выбрать шрифт"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(28);
    setCursor(Qt::PointingHandCursor);
    // The list it opens has its own search field; the text being written keeps the keyboard.
    setFocusPolicy(Qt::NoFocus);
}

void FontFamilyButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    card(painter, rect(), Theme::card(), 6);
    const int chevron = 10;
    const QRect name = rect().adjusted(10, 0, -10 - chevron - 8, 0);
    painter.setPen(QColor::fromRgbF(0.94f, 0.94f, 0.94f));
    painter.drawText(name, Qt::AlignVCenter | Qt::AlignLeft, fontMetrics().elidedText(text(), Qt::ElideMiddle, name.width()));
    painter.drawPixmap(QRect(width() - 10 - chevron, (height() - chevron) / 2, chevron, chevron),
                       platform::symbolPixmap(QStringLiteral("chevrons-up-down"), 2 * chevron));
}

TextFontControls::TextFontControls(TextStyleBinding style, QWidget* parent)
    : QObject(parent), style_(std::move(style)), fontRow_(new QWidget(parent)), styleRow_(new QWidget(parent)),
      fontButton_(new FontFamilyButton(fontRow_)), popup_(new QWidget(fontButton_, Qt::Popup))
{
    auto* font = new QHBoxLayout(fontRow_);
    font->setContentsMargins(0, 0, 0, 0);
    font->addWidget(toolLook::label(QStringLiteral("Шрифт"), 12, fontRow_));
    font->addWidget(fontButton_, 1);

    auto* styles = new QHBoxLayout(styleRow_);
    styles->setContentsMargins(0, 0, 0, 0);
    styles->setSpacing(6);
    const std::array<std::pair<const char*, const char*>, 4> titles{{
        {"Обычный", "type"}, {"Жирный", "bold"}, {"Курсив", "italic"}, {"Зачёркнутый", "strikethrough"}}};
    for (std::size_t i = 0; i < titles.size(); ++i) {
        toggles_[i] = new StyleToggle(QString::fromUtf8(titles[i].first), QString::fromLatin1(titles[i].second), i == 0, styleRow_);
        styles->addWidget(toggles_[i]);
    }
    styles->addStretch(1);

    picker_ = new InstalledFontPicker(
        [this] { return style_.get().family; },
        [this](const QString& family) {
            TextFontStyle s = style_.get();
            s.family = family;
            style_.set(s);
        },
        [this] { setChoosingFont(false); }, popup_);
    auto* popupLayout = new QHBoxLayout(popup_);
    popupLayout->setContentsMargins(0, 0, 0, 0);
    popupLayout->addWidget(picker_);
    // Under its button, also when the text panel moves with the editor.
    followAnchor(*popup_, *fontButton_, [this] { placeFontList(); });

    connect(fontButton_, &QAbstractButton::clicked, this, [this] { setChoosingFont(!choosingFont()); });
    // "Обычный" clears the three flags one write at a time and keeps the family.
    connect(toggles_[0], &QAbstractButton::clicked, this, [this] {
        for (bool TextFontStyle::*flag : {&TextFontStyle::bold, &TextFontStyle::italic, &TextFontStyle::strikethrough}) {
            TextFontStyle s = style_.get();
            s.*flag = false;
            style_.set(s);
        }
        refresh();
    });
    const std::array<bool TextFontStyle::*, 3> flags{&TextFontStyle::bold, &TextFontStyle::italic, &TextFontStyle::strikethrough};
    for (std::size_t i = 0; i < flags.size(); ++i)
        connect(toggles_[i + 1], &QAbstractButton::clicked, this, [this, flag = flags[i]] {
            TextFontStyle s = style_.get();
            s.*flag = !(s.*flag);
            style_.set(s);
            refresh();
        });
    refresh();
}

bool TextFontControls::choosingFont() const { return popup_->isVisible(); }

void TextFontControls::setChoosingFont(bool on)
{
    if (on == choosingFont())
        return;
    if (!on) {
        popup_->hide();
        refresh();
        return;
    }
    picker_->search()->clear();
    placeFontList();
    popup_->show();
    // The first keys typed go to the search.
    picker_->search()->setFocus(Qt::PopupFocusReason);
}

void TextFontControls::placeFontList()
{
    popup_->adjustSize();
    popup_->move(fontButton_->mapToGlobal(QPoint(fontButton_->width() / 2 - popup_->width() / 2, fontButton_->height() + 4)));
}

void TextFontControls::refresh()
{
    const TextFontStyle s = style_.get();
    const QString family = s.family.isEmpty() ? QStringLiteral("Системный") : s.family;
    if (fontButton_->text() != family)
        fontButton_->setText(family);
    toggles_[0]->setSelected(!s.bold && !s.italic && !s.strikethrough);
    toggles_[1]->setSelected(s.bold);
    toggles_[2]->setSelected(s.italic);
    toggles_[3]->setSelected(s.strikethrough);
}

} // namespace tarnwick
