#pragma once

#include "panels/ShortcutGuide.h"

#include <QWidget>

class QLabel;

namespace tarnwick {

// The guide's card of one shortcut: its description beside a column of key
// caps, one line per alternative. Read-only; one accessible element.
class ShortcutGuideRow : public QWidget {
    Q_OBJECT
public:
    explicit ShortcutGuideRow(ShortcutGuide::Row row, QWidget* parent = nullptr);

    const ShortcutGuide::Row& row() const { return row_; }
    // The texts the caps show, one list per line.
    QVector<QStringList> shownCaps() const;
    QString shownDescription() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ShortcutGuide::Row row_;
    QLabel* description_;
    QVector<QList<QLabel*>> caps_;
};

} // namespace tarnwick
