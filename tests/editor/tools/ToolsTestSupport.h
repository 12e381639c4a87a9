#pragma once

#include "editor/model/EditorTestSupport.h"

#include <QSlider>
#include <QStyleOptionSlider>
#include <QTest>
#include <functional>

namespace tarnwick::test {

// Presses the slider's handle, moves it to `x` in steps (calling `during` after the
// first step) and releases there: the real mouse path of a drag.
inline void dragSlider(QSlider& slider, int x, const std::function<void()>& during = {})
{
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = slider.orientation();
    option.minimum = slider.minimum();
    option.maximum = slider.maximum();
    option.sliderPosition = option.sliderValue = slider.value();
    const QPoint handle =
        slider.style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider).center();
    QTest::mousePress(&slider, Qt::LeftButton, {}, handle);
    for (int step = 1; step <= 4; ++step) {
        QTest::mouseMove(&slider, QPoint(handle.x() + (x - handle.x()) * step / 4, handle.y()));
        if (step == 1 && during)
            during();
    }
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(x, handle.y()));
}

// Lets the model's once-per-turn notice reach the views.
inline void settle() { QCoreApplication::processEvents(); }

} // namespace tarnwick::test
