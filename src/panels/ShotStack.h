#pragma once

#include "series/Screenshot.h"

#include <QAbstractButton>
#include <QHash>
#include <QIcon>
#include <QPixmap>
#include <QUuid>
#include <QWidget>

class QMenu;

namespace tarnwick {

class AppModel;

// The small pictures of shots, made from Screenshot::displayImage: 32 × 18, cut to fill and
// with rounded corners. A picture is made again only when what the shot shows changed, never
// for a repaint. GUI thread.
class ThumbnailCache {
public:
    static constexpr QSize size{32, 18};

    QPixmap thumbnail(const Screenshot& shot, qreal devicePixelRatio);
    // Forgets every shot not listed.
    void keepOnly(const QList<QUuid>& ids);

private:
    struct Entry {
        Screenshot shot; // shares the picture's data; compared, never drawn
        qreal devicePixelRatio = 1;
        QPixmap pixmap;
    };
    QHash<QUuid, Entry> entries_;
};

// One card of the stack: the shot's letter, its number of comments and its thumbnail. A
// click opens the shot in the editor (not while the model is busy); its context menu edits
// or deletes the shot.
class ShotCard : public QAbstractButton {
    Q_OBJECT
public:
    ShotCard(AppModel& model, const QUuid& id, QWidget* parent);

    const QUuid& id() const { return id_; }
    void setShot(qsizetype seriesIndex, const Screenshot& shot, int position, const QPixmap& thumbnail, bool busy);
    QMenu& contextMenu() const { return *menu_; }
    const QPixmap& thumbnail() const { return thumbnail_; }
    const QString& letter() const { return letter_; }
    int commentCount() const { return comments_; }
    int position() const { return position_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    AppModel& model_;
    QUuid id_;
    QString letter_;
    int comments_ = 0;
    int position_ = 0;
    bool busy_ = false;
    QPixmap thumbnail_;
    QMenu* menu_ = nullptr;
    QAction* delete_ = nullptr;
};

// The middle of the floating panel: the last three shots of the series as overlapping cards,
// the newest lowest and in front, or, for an empty series, whether one was just handed over.
// Cards are kept per shot id. GUI thread.
class ShotStack : public QWidget {
    Q_OBJECT
public:
    static constexpr int visibleCards = 3;

    explicit ShotStack(AppModel& model, QWidget* parent = nullptr);

    void refresh();
    // The cards shown, oldest first.
    QList<ShotCard*> cards() const;
    bool showsEmptyState() const { return cards_.isEmpty(); }
    // What the empty state says and shows: whether a series was just handed over.
    QString emptyStateText() const;
    QString emptyStateSymbol() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutCards();

    AppModel& model_;
    ThumbnailCache thumbnails_;
    QHash<QUuid, ShotCard*> cards_;
    QList<QUuid> order_;
    bool handedOver_ = false;
    QIcon newSeriesIcon_, handedOverIcon_; // drawn on first use
};

} // namespace tarnwick
