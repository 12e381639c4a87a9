#include "panels/ShortcutGuideRow.h"

#include "panels/Theme.h"
#include "platform/KeyNames.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tarnwick {
namespace {

QColor white(float alpha)
{
    QColor c(Qt::white);
    c.setAlphaF(alpha);
    return c;
}

// A key drawn as a raised cap.
class KeyCap : public QLabel {
public:
    KeyCap(const QString& text, QWidget* parent) : QLabel(text, parent)
    {
        setFont(Theme::font(12, QFont::Medium));
        setAlignment(Qt::AlignCenter);
        setContentsMargins(8, 0, 8, 2);
        setMinimumSize(28, 30);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF cap = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -2.25);
        QColor shadow(Qt::black);
        shadow.setAlphaF(0.18f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(shadow);
        painter.drawRoundedRect(cap.translated(0, 2), 5, 5);
        painter.setBrush(white(0.08f));
        painter.setPen(QPen(white(0.16f), 0.5));
        painter.drawRoundedRect(cap, 5, 5);
        QLabel::paintEvent(event);
    }
};

} // namespace

ShortcutGuideRow::ShortcutGuideRow(ShortcutGuide::Row row, QWidget* parent) : QWidget(parent), row_(std::move(row))
{
    setMinimumHeight(60);
    setAccessibleName(platform::keyText(row_.id));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(16);

    description_ = new QLabel(platform::keyText(row_.description), this);
    description_->setFont(Theme::font(12));
    description_->setWordWrap(true);
    layout->addWidget(description_, 1);

    auto* keys = new QVBoxLayout;
    keys->setSpacing(6);
    for (const QStringList& combination : row_.combinations) {
        auto* line = new QHBoxLayout;
        line->setSpacing(4);
        line->addStretch();
        QList<QLabel*> caps;
        for (const QString& cap : ShortcutGuide::shownCaps(combination)) {
            caps << new KeyCap(cap, this);
            line->addWidget(caps.back());
        }
        caps_ << caps;
        keys->addLayout(line);
    }
    layout->addLayout(keys);
}

QVector<QStringList> ShortcutGuideRow::shownCaps() const
{
    QVector<QStringList> shown;
    for (const auto& line : caps_) {
        QStringList texts;
        for (const QLabel* cap : line)
            texts << cap->text();
        shown << texts;
    }
    return shown;
}

QString ShortcutGuideRow::shownDescription() const { return description_->text(); }

void ShortcutGuideRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(white(0.035f));
    painter.drawRoundedRect(QRectF(rect()), 10, 10);
}

} // namespace tarnwick
