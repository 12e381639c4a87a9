#pragma once

#include "series/Annotation.h"

#include <QAbstractButton>
#include <QObject>
#include <array>
#include <functional>

namespace tarnwick {

class InstalledFontPicker;

// A two-way binding to a text style.
struct TextStyleBinding {
    std::function<TextFontStyle()> get;
    std::function<void(const TextFontStyle&)> set;
};

// One toggle of the style row: a symbol (and, for "Обычный", its title) on a
// card, tinted with the accent while it is on.
class StyleToggle : public QAbstractButton {
    Q_OBJECT
public:
    StyleToggle(const QString& title, const QString& symbol, bool showTitle, QWidget* parent = nullptr);
    void setSelected(bool selected);
    bool selected() const { return selected_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    bool showTitle_;
    bool selected_ = false;
};

// The font family button, filling its row: the family (or "Системный") elided in
// the middle and a chevron that always stays visible.
class FontFamilyButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit FontFamilyButton(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {160, 28}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The font controls of a text style, as two rows the caller lays out: the font
// row, whose button opens the installed-font picker in a popup below it, and the
// style row with "Обычный", bold, italic and strikethrough toggles. They write
// only through the binding; call `refresh()` when the style may have changed.
// GUI thread.
class TextFontControls : public QObject {
    Q_OBJECT
public:
    TextFontControls(TextStyleBinding style, QWidget* parent);

    QWidget* fontRow() const { return fontRow_; }
    QWidget* styleRow() const { return styleRow_; }
    FontFamilyButton* fontButton() const { return fontButton_; }
    // Regular, bold, italic, strikethrough.
    StyleToggle* styleButton(int index) const { return toggles_[std::size_t(index)]; }
    bool choosingFont() const;
    void setChoosingFont(bool on);
    InstalledFontPicker* picker() const { return picker_; }
    void refresh();

private:
    // Under the font button, centred on it.
    void placeFontList();

    TextStyleBinding style_;
    QWidget* fontRow_;
    QWidget* styleRow_;
    FontFamilyButton* fontButton_;
    std::array<StyleToggle*, 4> toggles_{};
    QWidget* popup_;
    InstalledFontPicker* picker_;
};

} // namespace tarnwick
