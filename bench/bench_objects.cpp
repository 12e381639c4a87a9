#include "render/BackgroundRemoval.h"
#include "render/effects/ObjectRemoval.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

using namespace tarnwick;

namespace {

const std::function<bool()> never = [] { return false; };

// A screenshot-like working image: soft gradients, lines of "text" and fine noise,
// so that patch costs are neither all equal nor trivially separated.
ObjectRemoval::Pixels workingImage(int size, bool pureNoise)
{
    QImage image(size, size, QImage::Format_RGBA8888_Premultiplied);
    std::mt19937 random(11);
    std::uniform_int_distribution<int> noise(-6, 6);
    std::uniform_int_distribution<int> any(0, 255);
    for (int y = 0; y < size; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < size; ++x) {
            if (pureNoise) {
                for (int c = 0; c < 3; ++c)
                    row[4 * x + c] = static_cast<uchar>(any(random));
                row[4 * x + 3] = 255;
                continue;
            }
            const bool ink = (y % 14) < 3 && ((x / 5) % 4) != 0;
            const int base = ink ? 60 : 200 + static_cast<int>(30 * std::sin(x * 0.02) * std::cos(y * 0.015));
            row[4 * x + 0] = static_cast<uchar>(std::clamp(base + noise(random), 0, 255));
            row[4 * x + 1] = static_cast<uchar>(std::clamp(base - 10 + noise(random), 0, 255));
            row[4 * x + 2] = static_cast<uchar>(std::clamp(base + 15 + noise(random), 0, 255));
            row[4 * x + 3] = 255;
        }
    }
    return ObjectRemoval::Pixels(image);
}

// A centred disc covering `share` of the image, excluded with its bounding square.
void holeOf(int size, double share, std::vector<bool>& mask, std::vector<bool>& excluded)
{
    const double r = std::sqrt(share * size * size / M_PI);
    mask.assign(static_cast<size_t>(size) * static_cast<size_t>(size), false);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            mask[static_cast<size_t>(y * size + x)] = std::hypot(x + 0.5 - size / 2.0, y + 0.5 - size / 2.0) <= r;
    excluded = ObjectRemoval::rectangleMask(QRectF(size / 2.0 - r, size / 2.0 - r, 2 * r, 2 * r), size, size);
}

void BM_Inpaint(benchmark::State& state)
{
    const int size = 512;
    // Pure noise is the worst case: no candidate is abandoned early.
    const bool noise = state.range(1) != 0;
    const ObjectRemoval::Pixels pixels = workingImage(size, noise);
    std::vector<bool> mask, excluded;
    holeOf(size, state.range(0) / 100.0, mask, excluded);
    for (auto _ : state)
        benchmark::DoNotOptimize(ObjectRemoval::inpaint(pixels, mask, excluded, never));
    state.SetLabel(std::to_string(state.range(0)) + " % hole of 512 x 512, " + (noise ? "noise" : "screenshot"));
}
BENCHMARK(BM_Inpaint)->Args({10, 0})->Args({40, 0})->Args({10, 1})->Args({40, 1})->Unit(benchmark::kMillisecond)->Iterations(3);

// An icon-sized object on a large screenshot, end to end.
void BM_ObjectErase(benchmark::State& state)
{
    QImage shot(2880, 1800, QImage::Format_ARGB32_Premultiplied);
    shot.fill(QColor(246, 246, 248));
    QPainter painter(&shot);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int y = 40; y < 1800; y += 28)
        painter.fillRect(QRect(60, y, 1400 + (y * 37) % 900, 12), QColor(70, 70, 80));
    painter.setBrush(QColor(220, 60, 40));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(1500, 900), 120, 90);
    painter.end();
    const QRectF selection(1350, 780, 300, 240);
    for (auto _ : state)
        benchmark::DoNotOptimize(ObjectRemoval::remove(shot, selection, never));
}
BENCHMARK(BM_ObjectErase)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BackgroundRemoval5K(benchmark::State& state)
{
    QImage shot(5120, 2880, QImage::Format_ARGB32_Premultiplied);
    shot.fill(QColor(236, 236, 236));
    QPainter painter(&shot);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addEllipse(QRectF(1280, 576, 2560, 1728));
    painter.setClipPath(path);
    std::mt19937 random(3);
    std::uniform_int_distribution<int> channel(20, 200);
    for (int y = 576; y < 2304; y += 24)
        for (int x = 1280; x < 3840; x += 24)
            painter.fillRect(QRect(x, y, 24, 24), QColor(channel(random), channel(random), channel(random)));
    painter.end();
    for (auto _ : state)
        benchmark::DoNotOptimize(BackgroundRemoval::remove(shot, never));
}
BENCHMARK(BM_BackgroundRemoval5K)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
