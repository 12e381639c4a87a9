#include "app/AppShell.h"
#include "platform/QtClipboardBackend.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace tarnwick;

namespace {

// A captured 1920 × 1080 area, as the picker leaves it, opened in the editor
// and drawn once; then the session is discarded.
void CaptureToEditorShown(benchmark::State& state)
{
    QTemporaryDir dir;
    QImage screen(1920, 1080, QImage::Format_RGB32);
    {
        QPainter painter(&screen);
        QLinearGradient gradient(0, 0, 1920, 1080);
        gradient.setColorAt(0, QColor(30, 40, 60));
        gradient.setColorAt(1, QColor(220, 225, 230));
        painter.fillRect(screen.rect(), gradient);
        painter.setPen(Qt::black);
        for (int y = 20; y < 1080; y += 24)
            painter.drawText(20, y, QStringLiteral("Строка текста на экране, как в окне чата %1").arg(y));
    }
    const QString file = dir.filePath(QStringLiteral("shot.png"));
    screen.save(file);
    QDir().mkpath(dir.filePath(QStringLiteral("private")));
    QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    platform::QtClipboardBackend board;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache")))); // prepared series stay there
    AppShell shell(settings, board, dir.filePath(QStringLiteral("private")));
    for (auto _ : state) {
        shell.importImage(file);
        // The file is read on a thread of its own; the editor opens when it is in.
        const QDeadlineTimer limit(30000);
        while (!shell.editor() && !limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        QWidget* editor = shell.editor();
        if (!editor) {
            state.SkipWithError("the editor did not open");
            break;
        }
        editor->repaint();
        QCoreApplication::processEvents();
        state.PauseTiming();
        shell.finishEditor(false, true);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(CaptureToEditorShown)->Unit(benchmark::kMillisecond);

} // namespace
