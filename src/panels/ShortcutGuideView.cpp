#include "panels/ShortcutGuideView.h"

#include "panels/ShortcutGuide.h"
#include "panels/ShortcutGuideRow.h"
#include "panels/Theme.h"
#include "platform/Icons.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {
namespace {

QColor translucent(QColor colour, float alpha)
{
    colour.setAlphaF(alpha);
    return colour;
}

QLabel* label(const QString& text, int pixels, QFont::Weight weight, QWidget* parent, bool muted = false)
{
    return themedLabel(text, pixels, weight, parent, muted ? std::optional(Theme::muted()) : std::nullopt);
}

QWidget* divider(bool horizontal, QWidget* parent)
{
    auto* line = new QWidget(parent);
    if (horizontal)
        line->setFixedHeight(1);
    else
        line->setFixedWidth(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(0.2f, 0.2f, 0.2f));
    line->setPalette(palette);
    return line;
}

// A sidebar entry: symbol and title, filled with the accent while selected.
class SectionButton : public QAbstractButton {
public:
    SectionButton(const QString& symbol, const QString& title, QWidget* parent) : QAbstractButton(parent), symbol_(symbol)
    {
        setText(title);
        setCheckable(true);
        setAutoExclusive(true);
        setFont(Theme::font(12, QFont::Medium));
        setFixedHeight(42);
        setCursor(Qt::PointingHandCursor);
    }
    QSize sizeHint() const override { return {172, 42}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (isChecked()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(translucent(Theme::accent(), 0.24f));
            painter.drawRoundedRect(QRectF(rect()), 9, 9);
        }
        const QColor ink = isChecked() ? QColor(Qt::white) : Theme::muted();
        const QPixmap icon = platform::symbolPixmap(symbol_, 16, ink);
        painter.drawPixmap(12 + 1, (height() - 16) / 2, icon);
        painter.setPen(ink);
        painter.drawText(rect().adjusted(12 + 18 + 9, 0, -12, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap, text());
    }

private:
    QString symbol_;
};

} // namespace

ShortcutGuideView::ShortcutGuideView(QWidget* parent) : QWidget(parent)
{
    setPalette(Theme::darkPalette());
    setAutoFillBackground(true);
    const QVector<ShortcutGuide::Section> sections = ShortcutGuide::sections();

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(24, 24, 24, 24);
    header->setSpacing(14);
    auto* tile = new QLabel(this);
    tile->setFixedSize(54, 54);
    tile->setAlignment(Qt::AlignCenter);
    tile->setPixmap(platform::symbolPixmap(u"keyboard", 27, Theme::accent()));
    tile->setStyleSheet(QStringLiteral("background: %1; border-radius: 13px;")
                            .arg(translucent(Theme::accent(), 0.12f).name(QColor::HexArgb)));
    header->addWidget(tile);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(5);
    titles->addWidget(label(QStringLiteral("Горячие клавиши"), 22, QFont::DemiBold, this));
    titles->addWidget(label(QStringLiteral("Нужное сочетание — в нужном контексте"), 12, QFont::Normal, this, true));
    header->addLayout(titles);
    header->addStretch();
    root->addLayout(header);
    root->addWidget(divider(true, this));

    auto* body = new QHBoxLayout;
    body->setSpacing(0);
    auto* sidebar = new QWidget(this);
    sidebar->setFixedWidth(196);
    sidebar->setAutoFillBackground(true);
    QPalette sidebarPalette = sidebar->palette();
    sidebarPalette.setColor(QPalette::Window, QColor::fromRgbF(0.1225f, 0.1225f, 0.1225f)); // white 0.025 over 0.1
    sidebar->setPalette(sidebarPalette);
    auto* side = new QVBoxLayout(sidebar);
    side->setContentsMargins(12, 12, 12, 12);
    side->setSpacing(6);
    for (qsizetype i = 0; i < sections.size(); ++i) {
        auto* button = new SectionButton(QString::fromLatin1(ShortcutGuide::symbols()[static_cast<std::size_t>(i)]),
                                         sections[i].title, sidebar);
        connect(button, &QAbstractButton::clicked, this, [this, i] { selectSection(static_cast<int>(i)); });
        buttons_ << button;
        titles_ << sections[i].title;
        side->addWidget(button);
    }
    side->addStretch();
    legend_ = label(ShortcutGuide::legend(), 11, QFont::Normal, sidebar, true);
    legend_->setContentsMargins(12, 12, 12, 12);
    side->addWidget(legend_);
    body->addWidget(sidebar);
    body->addWidget(divider(false, this));

    auto* content = new QVBoxLayout;
    content->setSpacing(12);
    auto* heading = new QHBoxLayout;
    heading->setContentsMargins(22, 22, 22, 0);
    title_ = label({}, 16, QFont::DemiBold, this);
    heading->addWidget(title_);
    heading->addStretch();
    count_ = label({}, 11, QFont::Normal, this, true);
    heading->addWidget(count_);
    content->addLayout(heading);

    pages_ = new QStackedWidget(this);
    for (const auto& section : sections) {
        auto* scroll = new QScrollArea(pages_);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        auto* list = new QWidget(scroll);
        auto* rows = new QVBoxLayout(list);
        rows->setContentsMargins(22, 0, 22, 22);
        rows->setSpacing(8);
        for (const QString& entry : section.entries)
            rows->addWidget(new ShortcutGuideRow(ShortcutGuide::row(entry), list));
        rows->addStretch();
        scroll->setWidget(list);
        pages_->addWidget(scroll);
    }
    content->addWidget(pages_, 1);
    body->addLayout(content, 1);
    root->addLayout(body, 1);

    buttons_.front()->setChecked(true);
    selectSection(0);
}

void ShortcutGuideView::selectSection(int index)
{
    if (index < 0 || index >= pages_->count())
        return;
    selected_ = index;
    buttons_[index]->setChecked(true);
    const QList<ShortcutGuideRow*> shown = rows(index);
    title_->setText(titles_[index]);
    count_->setText(QStringLiteral("Команд: %1").arg(shown.size()));
    pages_->setCurrentIndex(index);
    page(index)->verticalScrollBar()->setValue(0);
}

QAbstractButton* ShortcutGuideView::sectionButton(int index) const { return buttons_.value(index); }

QScrollArea* ShortcutGuideView::page(int section) const
{
    return qobject_cast<QScrollArea*>(pages_->widget(section));
}

QList<ShortcutGuideRow*> ShortcutGuideView::rows(int section) const
{
    QScrollArea* scroll = page(section);
    return scroll ? scroll->widget()->findChildren<ShortcutGuideRow*>(Qt::FindDirectChildrenOnly)
                  : QList<ShortcutGuideRow*>();
}

} // namespace tarnwick
