#include "render/QRCodeRecognizer.h"
#include "render/ScreenTextRecognizer.h"
#include "render/WordRegions.h"

#include <QGuiApplication>
#include <QPainter>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <benchmark/benchmark.h>

#include <thread>

using namespace tarnwick;

namespace {

const QStringList sampleLines{
    "Привет! Это обычный абзац текста на экране, как в почте или в чате.",
    "The quick brown fox jumps over the lazy dog, 1234567890 times a day.",
    "Настройки → Учётная запись → Безопасность: пароль и двухфакторный вход.",
    "Error 404: the page at https://example.com/path/to/page was not found.",
    "Съешь же этих мягких французских булок, да выпей чаю. Ещё немного текста.",
    "Meeting moved to Thursday 14:30, room 5B — bring the quarterly report.",
};

QFont font(int pixelSize, bool bold = false)
{
    QFont f("DejaVu Sans");
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

// A selection of six lines of 16-pixel text, as a user copies from a window.
QImage selection800x200()
{
    QImage image(800, 200, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font(16));
    p.setPen(QColor(30, 30, 30));
    for (int i = 0; i < sampleLines.size(); ++i)
        p.drawText(12, 26 + 30 * i, sampleLines[i]);
    return image;
}

// A full screen of 14-pixel text in two columns.
QImage densePage()
{
    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font(14));
    p.setPen(Qt::black);
    for (int column = 0; column < 2; ++column)
        for (int row = 0; row < 48; ++row)
            p.drawText(30 + 960 * column, 30 + 21 * row, sampleLines[(row + column) % sampleLines.size()]);
    return image;
}

// A strip of an application window: a toolbar with icons and badges, a list of
// messages in several sizes, light and dark panels.
QImage windowStrip()
{
    QImage image(1920, 400, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(246, 247, 249));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(0, 0, 1920, 48, QColor(38, 42, 51));
    p.setFont(font(15, true));
    p.setPen(Qt::white);
    const QStringList tabs{"Входящие", "Отправленные", "Черновики", "Archive", "Spam"};
    for (int i = 0; i < tabs.size(); ++i) {
        p.drawText(24 + 190 * i, 30, tabs[i]);
        p.setBrush(QColor(220, 50, 50));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(150 + 190 * i, 12, 22, 22));
        p.setPen(Qt::white);
        p.setFont(font(12, true));
        p.drawText(QRectF(150 + 190 * i, 12, 22, 22), Qt::AlignCenter, QString::number(i + 3));
        p.setFont(font(15, true));
    }
    for (int i = 0; i < 8; ++i) {
        p.setBrush(QColor(60 + 20 * i, 120, 200));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(24, 64 + 40 * i, 28, 28), 6, 6);
        p.setPen(QColor(30, 30, 30));
        p.setFont(font(14, true));
        p.drawText(64, 80 + 40 * i, QString("Отправитель %1").arg(i + 1));
        p.setFont(font(13));
        p.setPen(QColor(90, 90, 90));
        p.drawText(260, 80 + 40 * i, sampleLines[i % sampleLines.size()]);
        p.drawText(1780, 80 + 40 * i, QString("%1:%2").arg(9 + i).arg(10 + 5 * i));
    }
    p.fillRect(1300, 60, 420, 330, QColor(32, 33, 36));
    p.setPen(QColor(230, 230, 230));
    p.setFont(font(13));
    for (int i = 0; i < 12; ++i)
        p.drawText(1316, 84 + 26 * i, sampleLines[(i + 2) % sampleLines.size()].left(44));
    return image;
}

QImage screenWithCode()
{
    const ZXing::BitMatrix bits = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
                                      .setEncoding(ZXing::CharacterSet::UTF8)
                                      .setMargin(4)
                                      .encode(L"https://пример.рф/оплата?id=42", 0, 0);
    QImage image = windowStrip().copy(0, 0, 1280, 400);
    QPainter p(&image);
    p.fillRect(900, 80, bits.width() * 4, bits.height() * 4, Qt::white);
    for (int y = 0; y < bits.height(); ++y)
        for (int x = 0; x < bits.width(); ++x)
            if (bits.get(x, y))
                p.fillRect(900 + 4 * x, 80 + 4 * y, 4, 4, Qt::black);
    return image;
}

} // namespace

// The copy-text flow on a thread whose engine is already warm.
static void BM_RecognizeWarmSelection800x200(benchmark::State& state)
{
    const QImage image = selection800x200();
    benchmark::DoNotOptimize(ScreenTextRecognizer::recognize(image));
    for (auto _ : state)
        benchmark::DoNotOptimize(ScreenTextRecognizer::recognize(image));
}
BENCHMARK(BM_RecognizeWarmSelection800x200)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same on a fresh thread each time: the engine starts from the data files.
static void BM_RecognizeColdSelection800x200(benchmark::State& state)
{
    const QImage image = selection800x200();
    for (auto _ : state) {
        std::thread worker([&] { benchmark::DoNotOptimize(ScreenTextRecognizer::recognize(image)); });
        worker.join();
    }
}
BENCHMARK(BM_RecognizeColdSelection800x200)->Unit(benchmark::kMillisecond)->Iterations(5);

static void BM_RecognizeDensePage1920x1080(benchmark::State& state)
{
    const QImage image = densePage();
    benchmark::DoNotOptimize(ScreenTextRecognizer::recognize(image));
    for (auto _ : state)
        benchmark::DoNotOptimize(ScreenTextRecognizer::recognize(image));
}
BENCHMARK(BM_RecognizeDensePage1920x1080)->Unit(benchmark::kMillisecond)->Iterations(3);

static void BM_WordRegions1920x400(benchmark::State& state)
{
    const QImage image = windowStrip();
    size_t boxes = ScreenTextRecognizer::wordRegions(image, image.rect(), {}).size();
    for (auto _ : state)
        benchmark::DoNotOptimize(ScreenTextRecognizer::wordRegions(image, image.rect(), {}));
    state.counters["boxes"] = double(boxes);
    state.counters["spots"] = double(GlyphScan::candidateRegions(image, {}).size());
}
BENCHMARK(BM_WordRegions1920x400)->Unit(benchmark::kMillisecond)->Iterations(3);

// The pixel pass alone, without any recognition.
static void BM_GlyphScan1920x400(benchmark::State& state)
{
    const QImage image = windowStrip();
    for (auto _ : state)
        benchmark::DoNotOptimize(GlyphScan::candidateRegions(image, {}));
}
BENCHMARK(BM_GlyphScan1920x400)->Unit(benchmark::kMillisecond);

static void BM_ReadQRCode1280x400(benchmark::State& state)
{
    const QImage image = screenWithCode();
    if (!QRCodeRecognizer::recognize(image))
        state.SkipWithError("code not found");
    for (auto _ : state)
        benchmark::DoNotOptimize(QRCodeRecognizer::recognize(image));
}
BENCHMARK(BM_ReadQRCode1280x400)->Unit(benchmark::kMillisecond);
