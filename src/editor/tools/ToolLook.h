#pragma once

#include <QColor>
#include <QComboBox>
#include <QFont>
#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QProgressBar;
class QToolButton;

namespace tarnwick::toolLook {

// Texts of the tool panels, in pixel sizes of the interface.
QFont font(int pixels, QFont::Weight weight = QFont::Normal);
QFont monospaced(int pixels);
QLabel* title(const QString& text, QWidget* parent);          // 14 px semibold
QLabel* hint(const QString& text, QWidget* parent);           // 11 px muted, wraps
QLabel* label(const QString& text, int pixels, QWidget* parent);
QFrame* divider(QWidget* parent);
// A symbol-only button that takes clicks over its whole rectangle.
QToolButton* symbolButton(const QString& symbol, const QString& accessibleName, QWidget* parent,
                          const QColor& color = QColor::fromRgbF(0.94f, 0.94f, 0.94f));
// The picture of the left–right mirror: two triangles either side of a vertical axis (the icon
// set names it after that axis).
inline QString mirrorSymbol() { return QStringLiteral("flip-vertical-2"); }
// The platform's busy bar, small and without text.
QProgressBar* busyIndicator(QWidget* parent);

// Slider values reach the model as whole pixels, halves away from zero.
double wholePixels(double value);
// A model value as labels print it: its whole part and " px".
QString pixelText(double value);

// Sets a property only when it differs, so a refresh never restarts anything.
inline void show(QWidget* widget, bool visible)
{
    if (widget->isVisibleTo(widget->parentWidget()) != visible)
        widget->setVisible(visible);
}

} // namespace tarnwick::toolLook

namespace tarnwick {

// A drop-down whose list opens in the dark look of the panel it sits on: Fusion gives the list
// of a combo box the palette of a menu, the application's light one.
class DarkComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;
};

// The floating capsule shared by the supplemental strip and the corner control:
// 34 px high, padded 8 px on each side, at its ideal size, on the toolbar's
// floating colour with a faint white outline and a soft shadow below.
class FloatingCapsule : public QWidget {
    Q_OBJECT
public:
    explicit FloatingCapsule(QWidget* parent = nullptr);
    // The toolbar passes its floating colour.
    void setSurface(const QColor& color);
    QColor surface() const { return surface_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor surface_;
};

} // namespace tarnwick
