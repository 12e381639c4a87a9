#include "panels/ShotStack.h"

#include "panels/PanelLook.h"
#include "panels/Theme.h"
#include "series/AppModel.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

namespace {

constexpr int cardHeight = 44;
constexpr int cardStep = 18;

QFont letterFont()
{
    QFont font = panelLook::font(10, QFont::DemiBold);
    font.setFamily(QStringLiteral("DejaVu Sans Mono"));
    return font;
}

} // namespace

QPixmap ThumbnailCache::thumbnail(const Screenshot& shot, qreal devicePixelRatio)
{
    auto it = entries_.find(shot.id);
    if (it != entries_.end() && it->devicePixelRatio == devicePixelRatio && samePicture(it->shot, shot))
        return it->pixmap;

    const QSize pixels = size * devicePixelRatio;
    QPixmap pixmap(pixels);
    pixmap.fill(Qt::transparent);
    const QImage picture = shot.displayImage();
    if (!picture.isNull()) {
        // Fill the frame keeping the aspect ratio; the overflow is cut off evenly.
        const QImage filled = picture.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        const QPoint offset((filled.width() - pixels.width()) / 2, (filled.height() - pixels.height()) / 2);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath corners;
        const double radius = 4 * devicePixelRatio;
        corners.addRoundedRect(QRectF(QPointF(), QSizeF(pixels)), radius, radius);
        painter.setClipPath(corners);
        painter.drawImage(QPoint(), filled, QRect(offset, pixels));
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    entries_.insert(shot.id, Entry{shot, devicePixelRatio, pixmap});
    return pixmap;
}

void ThumbnailCache::keepOnly(const QList<QUuid>& ids)
{
    entries_.removeIf([&](const auto& entry) { return !ids.contains(entry.key()); });
}

ShotCard::ShotCard(AppModel& model, const QUuid& id, QWidget* parent) : QAbstractButton(parent), model_(model), id_(id)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (model_.editAction)
            model_.editAction(id_);
    });
    menu_ = new QMenu(this);
    connect(menu_->addAction(QStringLiteral("Редактировать")), &QAction::triggered, this, [this] {
        if (model_.editAction)
            model_.editAction(id_);
    });
    delete_ = menu_->addAction(QStringLiteral("Удалить снимок"));
    connect(delete_, &QAction::triggered, this, [this] { model_.deleteShot(id_); });
}

void ShotCard::setShot(qsizetype seriesIndex, const Screenshot& shot, int position, const QPixmap& thumbnail, bool busy)
{
    letter_ = shotLabel(seriesIndex);
    comments_ = static_cast<int>(shot.comments().size());
    position_ = position;
    busy_ = busy;
    thumbnail_ = thumbnail;
    delete_->setEnabled(!busy);
    setToolTip(QStringLiteral("Редактировать снимок ") + letter_);
    setAccessibleName(QStringLiteral("Снимок ") + letter_ + QStringLiteral(", ") + QString::number(comments_)
                      + QStringLiteral(" комментариев"));
    update();
}

bool ShotCard::hitButton(const QPoint& pos) const
{
    // A busy model keeps the card (and its context menu) but takes no clicks.
    return !busy_ && QAbstractButton::hitButton(pos);
}

void ShotCard::contextMenuEvent(QContextMenuEvent* event) { menu_->popup(event->globalPos()); }

void ShotCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (busy_)
        painter.setOpacity(0.45);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 9, 9);
    painter.fillPath(card, panelLook::white(0.21 + 0.025 * position_));
    painter.strokePath(card, QPen(panelLook::white(1, 0.12), 0.5));

    const QRect content = rect().adjusted(7, 5, -7, -5);
    const QRect top(content.left(), content.top(), content.width(), content.height() - ThumbnailCache::size.height() - 3);
    painter.setFont(letterFont());
    painter.setPen(panelLook::text());
    painter.drawText(top, Qt::AlignVCenter | Qt::AlignLeft, letter_);
    painter.setFont(panelLook::font(9));
    painter.setPen(Theme::muted());
    painter.drawText(top, Qt::AlignVCenter | Qt::AlignRight, QString::number(comments_) + QStringLiteral(" комм."));

    const QRect picture(QPoint(content.left(), content.bottom() + 1 - ThumbnailCache::size.height()), ThumbnailCache::size);
    painter.drawPixmap(picture.topLeft(), thumbnail_);
    painter.drawText(QRect(picture.right() + 1 + 6, picture.top(), content.right() - picture.right() - 6, picture.height()),
                     Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Редактировать"));
}

ShotStack::ShotStack(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setFixedHeight(80);
    refresh();
}

QList<ShotCard*> ShotStack::cards() const
{
    QList<ShotCard*> shown;
    for (const QUuid& id : order_)
        shown << cards_.value(id);
    return shown;
}

void ShotStack::refresh()
{
    const QVector<Screenshot>& shots = model_.shots();
    const qsizetype first = std::max<qsizetype>(0, shots.size() - visibleCards);
    QList<QUuid> visible;
    for (qsizetype i = first; i < shots.size(); ++i)
        visible << shots[i].id;

    for (auto it = cards_.begin(); it != cards_.end();) {
        if (visible.contains(it.key())) {
            ++it;
            continue;
        }
        delete it.value();
        it = cards_.erase(it);
    }
    thumbnails_.keepOnly(visible);
    for (qsizetype i = first; i < shots.size(); ++i) {
        ShotCard*& card = cards_[shots[i].id];
        if (!card) {
            card = new ShotCard(model_, shots[i].id, this);
            card->show();
        }
        card->setShot(i, shots[i], static_cast<int>(i - first), thumbnails_.thumbnail(shots[i], devicePixelRatioF()),
                      model_.busy());
    }
    order_ = visible;
    if (handedOver_ != model_.lastTransferAvailable()) {
        handedOver_ = model_.lastTransferAvailable();
        update();
    }
    layoutCards();
}

void ShotStack::layoutCards()
{
    // Later cards lie lower and above the earlier ones.
    for (ShotCard* card : cards()) {
        card->setGeometry(0, cardStep * card->position(), width(), cardHeight);
        card->raise();
    }
    update();
}

void ShotStack::resizeEvent(QResizeEvent*) { layoutCards(); }

void ShotStack::paintEvent(QPaintEvent*)
{
    if (!cards_.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath ground;
    ground.addRoundedRect(QRectF(rect()), 10, 10);
    painter.fillPath(ground, QColor::fromRgbF(0, 0, 0, 0.12f));

    const int icon = 22;
    const QColor muted = Theme::muted();
    QIcon& symbol = handedOver_ ? handedOverIcon_ : newSeriesIcon_;
    if (symbol.isNull())
        symbol = panelLook::symbol(emptyStateSymbol(), icon, muted);
    painter.setFont(panelLook::font(10));
    const int textHeight = painter.fontMetrics().height();
    const int top = (height() - icon - 6 - textHeight) / 2;
    symbol.paint(&painter, QRect((width() - icon) / 2, top, icon, icon));
    painter.setPen(muted);
    painter.drawText(QRect(0, top + icon + 6, width(), textHeight), Qt::AlignCenter, emptyStateText());
}

QString ShotStack::emptyStateText() const
{
    return handedOver_ ? QStringLiteral("Серия передана") : QStringLiteral("Новая серия");
}

QString ShotStack::emptyStateSymbol() const
{
    return handedOver_ ? QStringLiteral("circle-check") : QStringLiteral("layers");
}

} // namespace tarnwick
