#include "BenchScenes.h"
#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelView.h"
#include "platform/QtClipboardBackend.h"
#include "series/AppModel.h"

#include <QCoreApplication>
#include "BenchModel.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace tarnwick;
using tarnwick::bench::element;

namespace {

// A full series of 26 laptop-sized shots with markup and a comment each, shown by a panel.
struct FullPanel : bench::BenchModel {
    FloatingPanel panel{model, settings, [] { return QList<QRectF>{QRectF(0, 0, 1440, 875)}; }};
    QImage target{FloatingPanel::panelWidth * 2, FloatingPanel::panelHeight * 2, QImage::Format_ARGB32_Premultiplied};

    FullPanel()
    {
        target.setDevicePixelRatio(2);
        for (int i = 0; i < AppModel::maximumShots; ++i) {
            QImage picture(2880, 1800, QImage::Format_ARGB32_Premultiplied);
            picture.fill(QColor::fromHsv(i * 13 % 360, 90, 230));
            Screenshot shot = Screenshot::make(picture, 2);
            Annotation comment = element(AnnotationTool::comment, {600, 400}, {600, 400});
            comment.text = QStringLiteral("Комментарий");
            shot.annotations << element(AnnotationTool::arrow, {200, 200}, {1400, 900}) << comment;
            model.save(shot, shot.annotations, false);
        }
        QCoreApplication::processEvents();
        panel.view().render(&target); // thumbnails made once, before timing
    }
};

} // namespace

// A repaint of the whole panel, as after any model change: thumbnails come from the cache.
static void BM_PanelRepaintWith26Shots(benchmark::State& state)
{
    FullPanel full;
    for (auto _ : state) {
        full.target.fill(Qt::transparent);
        full.panel.view().render(&full.target);
    }
}
BENCHMARK(BM_PanelRepaintWith26Shots)->Unit(benchmark::kMillisecond);

// The panel's reaction to a model change (status, menu with 26 shot entries, stack, repaint).
static void BM_PanelRefreshAndRepaintWith26Shots(benchmark::State& state)
{
    FullPanel full;
    bool busy = false;
    for (auto _ : state) {
        full.model.setBusy(busy = !busy);
        full.panel.view().refresh();
        full.panel.view().render(&full.target);
    }
}
BENCHMARK(BM_PanelRefreshAndRepaintWith26Shots)->Unit(benchmark::kMillisecond);
