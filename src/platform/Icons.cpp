#include "platform/Icons.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <array>
#include <map>
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

// An engine's picture at `size`, drawn by its own paint().
QPixmap drawnPixmap(QIconEngine& engine, const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter painter(&pm);
    engine.paint(&painter, QRect(QPoint(), size), mode, state);
    return pm;
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
        return drawnPixmap(*this, size, mode, state);
    }
    QIconEngine* clone() const override { return new SymbolEngine(svg_); }

private:
    QByteArray svg_;
};

// A menu's icon in the colour of each state, drawn at the size asked for the first time a
// menu shows it: menus are built at start, most are never opened.
class MenuSymbolEngine final : public QIconEngine {
public:
    MenuSymbolEngine(QString symbol, std::array<QColor, 4> colors) : symbol_(std::move(symbol)), colors_(colors) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        QSvgRenderer renderer(tintedSvg(symbol_, colors_[std::size_t(mode)]));
        renderer.render(painter, rect);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        const Key key{size.width(), size.height(), int(mode)};
        if (const auto found = drawn_.find(key); found != drawn_.end())
            return found->second;
        return drawn_.emplace(key, drawnPixmap(*this, size, mode, state)).first->second;
    }
    QIconEngine* clone() const override { return new MenuSymbolEngine(symbol_, colors_); }

private:
    QString symbol_;
    std::array<QColor, 4> colors_; // by QIcon::Mode: Normal, Disabled, Active, Selected
    using Key = std::tuple<int, int, int>; // width, height, mode
    std::map<Key, QPixmap> drawn_;
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
    static_assert(QIcon::Normal == 0 && QIcon::Disabled == 1 && QIcon::Active == 2 && QIcon::Selected == 3);
    return QIcon(new MenuSymbolEngine(symbol.toString(),
                                      {menuPalette.color(QPalette::Active, QPalette::Text),
                                       menuPalette.color(QPalette::Disabled, QPalette::Text),
                                       menuPalette.color(QPalette::Active, QPalette::HighlightedText),
                                       menuPalette.color(QPalette::Active, QPalette::HighlightedText)}));
}

} // namespace tarnwick::platform
