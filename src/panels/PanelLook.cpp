#include "panels/PanelLook.h"

#include "platform/Icons.h"

#include <QApplication>

namespace tarnwick::panelLook {

QFont font(int pixels, QFont::Weight weight)
{
    QFont f = QApplication::font();
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}

QColor white(double level, double alpha)
{
    return QColor::fromRgbF(float(level), float(level), float(level), float(alpha));
}

QColor text() { return white(0.94); }

QIcon symbol(QStringView name, int side, const QColor& color)
{
    return QIcon(platform::symbolPixmap(name, 2 * side, color));
}

} // namespace tarnwick::panelLook
