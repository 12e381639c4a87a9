#include "platform/Icons.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <tuple>

namespace tarnwick::platform {
namespace {

QByteArray tintedSvg(QStringView symbol, const QColor& color)
{
    QFile file(iconResource(symbol));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray svg = file.readAll();
    // The set strokes with currentColor, which Qt's SVG renderer does not resolve.
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    return svg;
}

class SymbolEngine final : public QIconEngine {
public:
    SymbolEngine(QByteArray svg) : svg_(std::move(svg)) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        QSvgRenderer renderer(svg_);
        painter->save();
        if (mode == QIcon::Disabled)
            painter->setOpacity(painter->opacity() * 0.4);
        renderer.render(painter, rect);
        painter->restore();
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter painter(&pm);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pm;
    }
    QIconEngine* clone() const override { return new SymbolEngine(svg_); }

private:
    QByteArray svg_;
};

} // namespace

QString iconResource(QStringView symbol)
{
    if (symbol.isEmpty())
        return {};
    const QString file = QStringLiteral(":/icons/%1.svg").arg(symbol);
    return QFile::exists(file) ? file : QString();
}

QIcon symbolIcon(QStringView symbol, const QColor& color)
{
    QByteArray svg = tintedSvg(symbol, color);
    if (svg.isEmpty())
        return {};
    return QIcon(new SymbolEngine(std::move(svg)));
}

QPixmap symbolPixmap(QStringView symbol, int side, const QColor& color)
{
    QIcon icon = symbolIcon(symbol, color);
    return icon.isNull() ? QPixmap() : icon.pixmap(QSize(side, side));
}

QIcon menuIcon(QStringView symbol, const QPalette& menuPalette)
{
    if (iconResource(symbol).isEmpty())
        return {};
    QIcon icon;
    for (auto [mode, group, role] : {std::tuple{QIcon::Normal, QPalette::Active, QPalette::Text},
                                     {QIcon::Active, QPalette::Active, QPalette::HighlightedText},
                                     {QIcon::Selected, QPalette::Active, QPalette::HighlightedText},
                                     {QIcon::Disabled, QPalette::Disabled, QPalette::Text}})
        for (int side : {16, 32})
            icon.addPixmap(symbolPixmap(symbol, side, menuPalette.color(group, role)), mode);
    return icon;
}

} // namespace tarnwick::platform
