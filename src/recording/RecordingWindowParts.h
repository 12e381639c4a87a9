#pragma once

#include <QScrollArea>
#include <functional>

class QFrame;
class QLabel;

// Pieces of the recording window's layout, shared by its parts; not for use elsewhere.
namespace tarnwick::recording::window {

// A wrapped note in the muted colour, at `size` points.
QLabel* note(const QString& text, int size);

// Asks for its content's whole height and scrolls when it gets less, but never hides the top
// `essential` pixels of it.
class FittingScrollArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    std::function<int(int width)> essential;
};

// Holds the window's pages and asks the window's layout for exactly what they ask, wrapped notes
// included, up to `cap` in height: a monitor too low for a page has it scroll, and the window's
// bottom bar stays on that monitor.
class PageScrollArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    // Takes effect in the window's layout at once.
    void setCap(int height);

private:
    int cap_ = QWIDGETSIZE_MAX;
};

} // namespace tarnwick::recording::window
