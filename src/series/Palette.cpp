#include "series/Palette.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <algorithm>

namespace tarnwick {

QColor Theme::accent() { return QColor::fromRgbF(0.04f, 0.52f, 1.0f); }
QColor Theme::muted() { return QColor::fromRgbF(0.65f, 0.65f, 0.65f); }
QColor Theme::card() { return QColor::fromRgbF(0.16f, 0.16f, 0.16f); }
QColor Theme::background() { return QColor::fromRgbF(0.10f, 0.10f, 0.10f); }
QColor Theme::canvasBackground() { return QColor(23, 23, 23); }
QColor Theme::marker() { return QColor::fromRgbF(1.0f, 0.53f, 0.25f); }

QPalette Theme::darkPalette()
{
    const QColor text = QColor::fromRgbF(0.94f, 0.94f, 0.94f);
    const QColor button = QColor::fromRgbF(0.24f, 0.24f, 0.24f);
    QPalette palette;
    for (auto [role, colour] : {std::pair{QPalette::Window, background()}, {QPalette::WindowText, text},
                                {QPalette::Base, card()}, {QPalette::AlternateBase, card()}, {QPalette::Text, text},
                                {QPalette::Button, button}, {QPalette::ButtonText, text},
                                {QPalette::Light, button.lighter(150)}, {QPalette::Midlight, button.lighter(125)},
                                {QPalette::Mid, button.darker(130)}, {QPalette::Dark, button.darker(160)},
                                {QPalette::Shadow, QColor(Qt::black)}, {QPalette::Highlight, accent()},
                                {QPalette::HighlightedText, QColor(Qt::white)}, {QPalette::PlaceholderText, muted()},
                                {QPalette::ToolTipBase, card()}, {QPalette::ToolTipText, text}})
        palette.setColor(role, colour);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor::fromRgbF(0.45f, 0.45f, 0.45f));
    return palette;
}

void Theme::giveRoom(QMessageBox& box)
{
    constexpr int readableWidth = 380;
    // Message boxes rebuild their grid when a text changes, so this comes after the last one.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(readableWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
}

QFont Theme::font(int pixels, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

const std::array<QColor, 6>& Theme::colors()
{
    static const std::array<QColor, 6> palette{
        QColor::fromRgbF(0.24f, 0.52f, 1.0f), QColor::fromRgbF(1.0f, 0.32f, 0.36f),
        QColor::fromRgbF(1.0f, 0.65f, 0.2f),  QColor::fromRgbF(0.24f, 0.84f, 0.61f),
        QColor(Qt::white),                    QColor(Qt::black),
    };
    return palette;
}

QColor Theme::paletteColor(int index)
{
    const auto& palette = colors();
    return palette[static_cast<std::size_t>(std::clamp(index, 0, static_cast<int>(palette.size()) - 1))];
}

} // namespace tarnwick
