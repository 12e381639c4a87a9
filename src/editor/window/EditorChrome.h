#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QString>

namespace tarnwick {

// The fixed colours of the editor's bars, side rail, floating surfaces and hairlines.
namespace EditorChrome {
QColor bar();
QColor rail();
QColor floating();
QColor border();
} // namespace EditorChrome

// The look of a tool button in the tool strip, for its selected and pressed states.
struct EditorToolButtonStyle {
    struct Look {
        QColor foreground;
        QColor background;
    };
    static constexpr double cornerRadius = 8;
    static constexpr int symbolPixels = 15;
    static Look look(bool selected, bool pressed);
};

// A symbol button drawn in the tool style; its whole rectangle takes clicks.
class EditorToolButton : public QAbstractButton {
    Q_OBJECT
public:
    EditorToolButton(const QString& symbol, QWidget* parent = nullptr);
    bool selected() const { return selected_; }
    void setSelected(bool selected);
    void setSymbol(const QString& symbol);
    QSize sizeHint() const override { return {34, 30}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    bool selected_ = false;
};

} // namespace tarnwick
