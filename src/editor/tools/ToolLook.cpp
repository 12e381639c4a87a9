#include "editor/tools/ToolLook.h"

#include "panels/Theme.h"
#include "platform/Icons.h"

#include <QAbstractItemView>
#include <QFontDatabase>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QToolButton>
#include <cmath>
#include <limits>

namespace tarnwick::toolLook {

QFont font(int pixels, QFont::Weight weight) { return Theme::font(pixels, weight); }

QFont monospaced(int pixels)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(pixels);
    return f;
}

QLabel* label(const QString& text, int pixels, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setFont(font(pixels));
    l->setTextFormat(Qt::PlainText);
    return l;
}

QLabel* title(const QString& text, QWidget* parent)
{
    QLabel* l = label(text, 14, parent);
    l->setFont(font(14, QFont::DemiBold));
    return l;
}

QLabel* hint(const QString& text, QWidget* parent)
{
    QLabel* l = label(text, 11, parent);
    l->setWordWrap(true);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Theme::muted());
    l->setPalette(p);
    return l;
}

QFrame* divider(QWidget* parent) { return themedDivider(parent); }

QToolButton* symbolButton(const QString& symbol, const QString& accessibleName, QWidget* parent, const QColor& color)
{
    auto* button = new QToolButton(parent);
    button->setIcon(platform::symbolIcon(symbol, color));
    button->setIconSize(QSize(14, 14));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus); // the keys stay with the canvas
    button->setAccessibleName(accessibleName);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QProgressBar* busyIndicator(QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedSize(36, 6);
    return bar;
}

double wholePixels(double value) { return std::isfinite(value) ? std::round(value) : value; }

QString pixelText(double value)
{
    const double whole = std::trunc(value);
    const bool fits = std::isfinite(whole) && std::abs(whole) < double(std::numeric_limits<long long>::max() / 2);
    return QString::asprintf("%lld", fits ? static_cast<long long>(whole) : 0LL) + QStringLiteral(" px");
}

} // namespace tarnwick::toolLook

namespace tarnwick {

FloatingCapsule::FloatingCapsule(QWidget* parent) : QWidget(parent), surface_(Theme::card())
{
    setFixedHeight(34);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TranslucentBackground);
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor::fromRgbF(0, 0, 0, 0.3f));
    shadow->setBlurRadius(12);
    shadow->setOffset(0, 5);
    setGraphicsEffect(shadow);
}

void FloatingCapsule::setSurface(const QColor& color)
{
    if (surface_ == color)
        return;
    surface_ = color;
    update();
}

void FloatingCapsule::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.35, 0.35, -0.35, -0.35), 9, 9);
    painter.fillPath(shape, surface_);
    painter.strokePath(shape, QPen(QColor::fromRgbF(1, 1, 1, 0.18f), 0.7));
}

} // namespace tarnwick

namespace tarnwick {

void DarkComboBox::showPopup()
{
    QComboBox::showPopup();
    // The combo gives its list a menu's palette as it opens it: the dark one goes on after.
    QPalette dark = Theme::darkPalette();
    dark.setColor(QPalette::Window, Theme::card());
    view()->window()->setPalette(dark);
    view()->setPalette(dark);
}

} // namespace tarnwick
