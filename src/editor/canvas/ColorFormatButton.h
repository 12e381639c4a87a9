#pragma once

#include "series/ColorCode.h"

#include <QAbstractButton>
#include <QPointer>

class QMenu;

namespace tarnwick {

// The colour read-out in the editor's header: a swatch, the colour's code in the
// chosen notation and a hint; a click offers the five notations in a menu. It
// only shows and sets the CursorColorState it is given (the canvas feeds it).
// Its size hint grows with the code from 94 to 140 points, 32 high.
// GUI thread; the window owns it.
class ColorFormatButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ColorFormatButton(CursorColorState& color, QWidget* parent = nullptr);

    void setColor(CursorColorState& color);
    CursorColorState& color() const { return *color_; }

    // The menu of notations, each shown on the sample colour (255, 194, 0), the current one checked.
    QMenu* formatMenu();
    // The code line as drawn: the code, or "Цвет курсора" without a sample.
    QString codeText() const;
    // Pixel size of the code line in the current width: 9, smaller (not below 5.4) when the code is wider.
    double codeSize() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showFormats();
    void refresh();

    QPointer<CursorColorState> color_;
    QMetaObject::Connection watch_;
};

} // namespace tarnwick
