#pragma once

#include <QAbstractButton>

class QPainter;

namespace tarnwick {

// One row of the font picker: its title elided in the middle, a check mark that
// keeps its place, and an accent tint when it is the chosen family.
class FontRow : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int rowHeight = 30;
    FontRow(const QString& title, QWidget* parent = nullptr);
    void setSelected(bool selected);
    bool selected() const { return selected_; }
    QSize sizeHint() const override { return {200, rowHeight}; }
    // The same drawing for list rows painted by a delegate.
    static void paint(QPainter& painter, const QRect& rect, const QString& title, bool selected);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool selected_ = false;
};

} // namespace tarnwick
