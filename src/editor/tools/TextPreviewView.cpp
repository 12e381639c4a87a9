#include "editor/tools/TextPreviewView.h"

#include "panels/Theme.h"
#include "render/ScreenshotRenderer.h"

#include <QPainter>
#include <cmath>

namespace tarnwick {

TextPreviewView::TextPreviewView(const Annotation& annotation, QWidget* parent)
    : QWidget(parent), annotation_(annotation)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, Theme::card());
    setPalette(p);
    setAutoFillBackground(true);
    resize(sizeHint());
}

void TextPreviewView::setAnnotation(const Annotation& annotation)
{
    if (annotation == annotation_)
        return;
    annotation_ = annotation;
    resize(sizeHint());
    update();
}

QRectF TextPreviewView::textRect() const
{
    const QRectF r = annotation_.rect();
    return QRectF(8, 8, r.width(), r.height());
}

QSize TextPreviewView::sizeHint() const
{
    const QRectF r = textRect();
    const double w = std::isfinite(r.width()) ? r.width() : 0, h = std::isfinite(r.height()) ? r.height() : 0;
    return QSize(int(std::ceil(std::min(w, 1e5))) + 16, int(std::ceil(std::min(h, 1e5))) + 16);
}

void TextPreviewView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    ScreenshotRenderer::drawText(painter, annotation_, textRect());
}

} // namespace tarnwick
