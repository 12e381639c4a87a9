#pragma once

#include <QColor>
#include <QPointer>
#include <QSize>
#include <QStringView>
#include <QWidget>

class QToolButton;

namespace tarnwick {

// A panel anchored to the button that opens it. It is a frameless tool window
// that never takes the keyboard, so tool keys keep reaching the canvas while it
// is open (a Qt::Popup would grab them); a mouse press anywhere outside it and
// its button closes it, and a press on the button is left to the button, which
// toggles it. GUI thread; owned by the anchor's window.
class EditorPopover : public QWidget {
    Q_OBJECT
public:
    EditorPopover(QWidget* anchor, QWidget* content);

    // True: the popover opens above its button (the horizontal bar); false: at its right.
    void setAnchorBelow(bool below) { anchorBelow_ = below; }
    void open();
    bool isOpen() const { return isVisible(); }
    QWidget* content() const { return content_; }

signals:
    void closed();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Sizes the popover to its content and puts it beside its button, inside the screen.
    void place();

    QPointer<QWidget> anchor_;
    QWidget* content_;
    bool anchorBelow_ = true;
};

// A plain symbol button of the floating toolbar: no frame, the whole rectangle clickable.
QToolButton* editorSymbolButton(QStringView symbol, const QColor& colour, QSize size, QWidget* parent);

} // namespace tarnwick
