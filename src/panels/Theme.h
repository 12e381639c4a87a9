#pragma once

#include "series/Palette.h"

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QPen>
#include <QPalette>
#include <QPushButton>
#include <QRectF>
#include <QWidget>
#include <array>
#include <optional>

class QFrame;
class QLabel;
class QMessageBox;

namespace tarnwick {

namespace Theme {
// Widens a message box whose texts are all set to a width its title and texts read in: Qt
// sizes it to its text, and the window manager cuts the title of a short question.
void giveRoom(QMessageBox& box);
} // namespace Theme


// A label in the application's font at `pixels`, in `colour` when one is given.
QLabel* themedLabel(const QString& text, int pixels, QFont::Weight weight, QWidget* parent,
                    const std::optional<QColor>& colour = std::nullopt);

// A one-pixel line between the parts of a dark window, faint on any of its grounds.
QFrame* themedDivider(QWidget* parent = nullptr);

// The look of the accent button that holds a window's main action.
struct PrimaryButtonStyle {
    struct Look {
        QColor foreground;
        QColor background;
    };
    static constexpr double cornerRadius = 9;
    static constexpr int horizontalPadding = 14;
    static constexpr int verticalPadding = 9;
    // Between the icon, where one is set, and the text.
    static constexpr int iconGap = 6;
    static QFont font();
    static Look look(bool enabled, bool pressed);
};

// A push button drawn in the primary style.
class PrimaryButton : public QPushButton {
    Q_OBJECT
public:
    explicit PrimaryButton(const QString& text, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A rounded surface filled with one colour and, when given, edged with a thin line.
class RoundedSurface : public QWidget {
public:
    RoundedSurface(QColor fill, double radius, QWidget* parent = nullptr, std::optional<QPen> edge = std::nullopt);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    double radius_;
    std::optional<QPen> edge_;
};

// The drawn save icon, on a 16 × 16 grid stretched over the rectangle; callers stroke it.
struct FloppyDiskIcon {
    static QPainterPath path(const QRectF& rect);
};

} // namespace tarnwick
