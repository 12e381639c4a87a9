#include "platform/Icons.h"

#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <tuple>

namespace tarnwick::platform {
namespace {

// Symbol name → file of the bundled icon set (resources/icons).
const QHash<QString, QString>& table()
{
    static const QHash<QString, QString> files{
        // Permission wizard and shortcut guide.
        {QStringLiteral("checkmark.shield"), QStringLiteral("shield-check")},
        {QStringLiteral("rectangle.dashed.badge.record"), QStringLiteral("square-dashed")},
        {QStringLiteral("keyboard"), QStringLiteral("keyboard")},
        {QStringLiteral("accessibility"), QStringLiteral("accessibility")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("circle-check")},
        {QStringLiteral("viewfinder"), QStringLiteral("scan")},
        {QStringLiteral("pencil.and.outline"), QStringLiteral("pencil-line")},
        {QStringLiteral("macwindow"), QStringLiteral("app-window")},
        {QStringLiteral("doc.on.clipboard"), QStringLiteral("clipboard-copy")},
        // Tool panels and the text editor.
        {QStringLiteral("checkmark"), QStringLiteral("check")},
        {QStringLiteral("xmark"), QStringLiteral("x")},
        {QStringLiteral("chevron.up.chevron.down"), QStringLiteral("chevrons-up-down")},
        {QStringLiteral("bold"), QStringLiteral("bold")},
        {QStringLiteral("italic"), QStringLiteral("italic")},
        {QStringLiteral("strikethrough"), QStringLiteral("strikethrough")},
        {QStringLiteral("person.crop.rectangle"), QStringLiteral("square-user")},
        {QStringLiteral("arrow.left.and.right.righttriangle.left.righttriangle.right"), QStringLiteral("flip-horizontal-2")},
        {QStringLiteral("trash"), QStringLiteral("trash-2")},
        {QStringLiteral("app"), QStringLiteral("square-round-corner")},
        // Tools.
        {QStringLiteral("cursorarrow"), QStringLiteral("mouse-pointer-2")},
        {QStringLiteral("arrow.up.right"), QStringLiteral("arrow-up-right")},
        {QStringLiteral("rectangle"), QStringLiteral("square")},
        {QStringLiteral("circle"), QStringLiteral("circle")},
        {QStringLiteral("text.bubble"), QStringLiteral("message-square-text")},
        {QStringLiteral("drop.halffull"), QStringLiteral("droplet")},
        {QStringLiteral("ruler"), QStringLiteral("ruler")},
        {QStringLiteral("pencil.tip"), QStringLiteral("pencil")},
        {QStringLiteral("textformat"), QStringLiteral("type")},
        {QStringLiteral("crop"), QStringLiteral("crop")},
        {QStringLiteral("plus.magnifyingglass"), QStringLiteral("zoom-in")},
        {QStringLiteral("photo"), QStringLiteral("image")},
        {QStringLiteral("highlighter"), QStringLiteral("highlighter")},
        {QStringLiteral("qrcode.viewfinder"), QStringLiteral("scan-qr-code")},
        {QStringLiteral("macwindow.on.rectangle"), QStringLiteral("app-window")},
        {QStringLiteral("text.viewfinder"), QStringLiteral("scan-text")},
        {QStringLiteral("arrow.down.doc"), QStringLiteral("file-down")},
        {QStringLiteral("record.circle"), QStringLiteral("circle-dot")},
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("keyboard"), QStringLiteral("keyboard")},
        {QStringLiteral("lock.shield"), QStringLiteral("shield")},
        {QStringLiteral("power"), QStringLiteral("power")},
        {QStringLiteral("ellipsis"), QStringLiteral("ellipsis")},
        {QStringLiteral("minus"), QStringLiteral("minus")},
        {QStringLiteral("plus"), QStringLiteral("plus")},
        {QStringLiteral("checkmark.circle"), QStringLiteral("circle-check")},
        {QStringLiteral("square.stack.3d.up"), QStringLiteral("layers")},
        // Editor window.
        {QStringLiteral("photo.badge.plus"), QStringLiteral("image-plus")},
        {QStringLiteral("arrow.uturn.backward"), QStringLiteral("undo-2")},
        {QStringLiteral("arrow.uturn.forward"), QStringLiteral("redo-2")},
        {QStringLiteral("checkmark"), QStringLiteral("check")},
        {QStringLiteral("doc.on.doc"), QStringLiteral("copy")},
        {QStringLiteral("chevron.down"), QStringLiteral("chevron-down")},
        {QStringLiteral("xmark"), QStringLiteral("x")},
        {QStringLiteral("pencil"), QStringLiteral("pencil")},
        {QStringLiteral("plus.bubble"), QStringLiteral("message-square-plus")},
        // Editor toolbar and variant cards.
        {QStringLiteral("sidebar.left"), QStringLiteral("panel-left")},
        {QStringLiteral("rectangle.bottomthird.inset.filled"), QStringLiteral("panel-bottom")},
        {QStringLiteral("slider.horizontal.3"), QStringLiteral("sliders-horizontal")},
        {QStringLiteral("trash"), QStringLiteral("trash-2")},
        {QStringLiteral("eraser"), QStringLiteral("eraser")},
        {QStringLiteral("person.crop.rectangle"), QStringLiteral("square-user")},
        {QStringLiteral("square.grid.3x3.fill"), QStringLiteral("grid-3x3")},
        {QStringLiteral("person.crop.square"), QStringLiteral("square-user-round")},
        // Recording review and video blur.
        {QStringLiteral("play.fill"), QStringLiteral("play")},
        {QStringLiteral("pause.fill"), QStringLiteral("pause")},
        {QStringLiteral("backward.frame"), QStringLiteral("step-back")},
        {QStringLiteral("forward.frame"), QStringLiteral("step-forward")},
        {QStringLiteral("scope"), QStringLiteral("crosshair")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("triangle-alert")},
    };
    return files;
}

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
    auto it = table().constFind(symbol.toString());
    if (it == table().constEnd())
        return {};
    return QStringLiteral(":/icons/%1.svg").arg(*it);
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
