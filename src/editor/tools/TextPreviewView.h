#pragma once

#include "series/Annotation.h"

#include <QWidget>

namespace tarnwick {

// The live preview of a text element: the element drawn by the renderer's own
// text routine at one image pixel per point, 8 px in from every edge of a card.
// Its size follows the laid-out text, so a scroll area around it scrolls long
// or large texts. GUI thread.
class TextPreviewView : public QWidget {
    Q_OBJECT
public:
    explicit TextPreviewView(const Annotation& annotation, QWidget* parent = nullptr);
    const Annotation& annotation() const { return annotation_; }
    void setAnnotation(const Annotation& annotation);
    // Where the text is drawn: the element's laid-out size at (8, 8).
    QRectF textRect() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Annotation annotation_;
};

} // namespace tarnwick
