#include "render/recognition/QRCodeRecognizer.h"
#include "render/recognition/ScreenTextRecognizer.h"
#include "render/recognition/WordRegions.h"
#include "support/EditDistance.h"
#include "support/SmallTextPicture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

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

// A chat window strip: a 40-pixel dark title bar off the 16-pixel grid, then messages.
const QStringList chatMessages{
    "Привет! Во сколько сегодня встреча?",
    "В три часа, в переговорной на втором этаже.",
    "Хорошо, возьму с собой отчёт и ноутбук.",
    "Don't forget the slides for the demo, please.",
    "Конечно, пришлю ссылку на презентацию в 14:45.",
};

QImage chatStrip960x300()
{
    QImage image(960, 300, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.fillRect(0, 0, 960, 40, QColor(38, 42, 51));
    p.setFont(font(15, true));
    p.setPen(Qt::white);
    p.drawText(20, 26, "Рабочий чат");
    p.setFont(font(14));
    p.setPen(QColor(30, 30, 30));
    for (int i = 0; i < chatMessages.size(); ++i)
        p.drawText(20, 74 + 48 * i, chatMessages[i]);
    return image;
}

// Screen text at 9–13 px, as terminals and dense windows show it: two
// sentences and an `ls` listing in columns, in a UI font or a terminal font,
// smoothed or not.
QImage smallText(int pixelSize, bool mono, bool smooth)
{
    return tarnwick::test::SmallTextPicture{pixelSize, mono, smooth}.image();
}

QString smallTextWanted() { return tarnwick::test::SmallTextPicture::wanted(); }

QString selectionText() { return sampleLines.join(u'\n'); }

QString densePageText()
{
    QStringList lines;
    for (int row = 0; row < 48; ++row)
        for (int column = 0; column < 2; ++column)
            lines.append(sampleLines[(row + column) % sampleLines.size()]);
    return lines.join(u'\n');
}

QString chatStripText() { return "Рабочий чат\n" + chatMessages.join(u'\n'); }

// The character error rate, in per cent; blanks and line breaks fold to one space.
double characterError(const QString& got, const QString& want)
{
    return tarnwick::test::characterErrorRate(got.simplified(), want.simplified());
}

// Character error as the set counts it: also ё as е, which screen fonts draw a pixel apart.
double setError(const QString& got, const QString& want)
{
    auto fold = [](QString text) {
        return text.replace(QChar(0x0451), QChar(0x0435)).replace(QChar(0x0401), QChar(0x0415)).simplified();
    };
    return tarnwick::test::characterErrorRate(fold(got), fold(want));
}

// The same with the lines kept: the n-th line read against the n-th line written, blanks
// within a line folded and empty lines dropped. A row read in pieces counts here.
double setLineError(const QString& got, const QString& want)
{
    auto lines = [](QString text) {
        text.replace(QChar(0x0451), QChar(0x0435)).replace(QChar(0x0401), QChar(0x0415));
        QStringList kept;
        for (const QString& line : text.split(u'\n'))
            if (!line.simplified().isEmpty())
                kept.append(line.simplified());
        return kept.join(u'\n');
    };
    return tarnwick::test::characterErrorRate(lines(got), lines(want));
}

// What the `tesseract` command reads from a picture file.
QString commandTextOf(const QString& path)
{
    const std::string command = "OMP_THREAD_LIMIT=1 tesseract '" + path.toStdString() + "' - -l rus+eng 2>/dev/null";
    QByteArray out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, qsizetype(n));
        ::pclose(pipe);
    }
    return QString::fromUtf8(out);
}

// The warm recogniser on one image, with its character error.
void recognizeWarm(benchmark::State& state, const QImage& image, const QString& want)
{
    const std::optional<QString> first = ScreenTextRecognizer::recognize(image);
    if (qEnvironmentVariableIntValue("TARNWICK_SHOW_TEXT") != 0)
        std::printf("%s\n---\n", qPrintable(first.value_or(QString())));
    for (auto _ : state)
        benchmark::DoNotOptimize(ScreenTextRecognizer::recognize(image));
    state.counters["cer_pct"] = characterError(first.value_or(QString()), want);
}

// The `tesseract` command on the same image, Russian and English, as a user would run it.
void tesseractCommand(benchmark::State& state, const QImage& image)
{
    const QString path = QDir::temp().filePath(QStringLiteral("tarnwick-bench-%1.png").arg(QCoreApplication::applicationPid()));
    if (!image.save(path)) {
        state.SkipWithError("cannot write the image");
        return;
    }
    // One OpenMP thread: Tesseract's own threads gain nothing on a line and fight over a busy machine.
    const std::string command = "OMP_THREAD_LIMIT=1 tesseract '" + path.toStdString() + "' - -l rus+eng >/dev/null 2>&1";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("the tesseract command failed");
            break;
        }
    QFile::remove(path);
}

// What the `tesseract` command reads from the image, once.
QString commandText(const QImage& image)
{
    const QString path = QDir::temp().filePath(QStringLiteral("tarnwick-bench-%1.png").arg(QCoreApplication::applicationPid()));
    if (!image.save(path))
        return {};
    const QString text = commandTextOf(path);
    QFile::remove(path);
    return text;
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

// The copy-text flow with warm engines, beside the command on the same picture.
static void BM_RecognizeWarmSelection800x200(benchmark::State& state)
{
    recognizeWarm(state, selection800x200(), selectionText());
}
BENCHMARK(BM_RecognizeWarmSelection800x200)->Unit(benchmark::kMillisecond)->MinTime(2.0);

static void BM_CommandSelection800x200(benchmark::State& state) { tesseractCommand(state, selection800x200()); }
BENCHMARK(BM_CommandSelection800x200)->Unit(benchmark::kMillisecond)->Iterations(5);

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

// Small text, args: pixel size, terminal font, smoothing. cer_pct is ours,
// command_cer_pct the `tesseract` command's on the same image; the command's
// time on the same images is BM_CommandSmallText's.
static void BM_RecognizeSmallText(benchmark::State& state)
{
    const QImage image = smallText(int(state.range(0)), state.range(1) != 0, state.range(2) != 0);
    recognizeWarm(state, image, smallTextWanted());
    state.counters["command_cer_pct"] = characterError(commandText(image), smallTextWanted());
}
BENCHMARK(BM_RecognizeSmallText)
    ->ArgsProduct({{9, 11, 13}, {0, 1}, {0, 1}})
    ->ArgNames({"px", "mono", "smooth"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The whole small-text set in one go: cer_pct is our mean character error over the
// twelve images, command_cer_pct the `tesseract` command's; items_per_second are
// images read a second.
static void BM_RecognizeSmallTextSet(benchmark::State& state)
{
    std::vector<QImage> images;
    for (int pixelSize : {9, 11, 13})
        for (bool mono : {false, true})
            for (bool smooth : {false, true})
                images.push_back(smallText(pixelSize, mono, smooth));
    double ours = 0, command = 0;
    for (const QImage& image : images) {
        ours += characterError(ScreenTextRecognizer::recognize(image).value_or(QString()), smallTextWanted());
        command += characterError(commandText(image), smallTextWanted());
    }
    for (auto _ : state)
        for (const QImage& image : images)
            benchmark::DoNotOptimize(ScreenTextRecognizer::recognize(image));
    state.SetItemsProcessed(state.iterations() * qsizetype(images.size()));
    state.counters["cer_pct"] = ours / double(images.size());
    state.counters["command_cer_pct"] = command / double(images.size());
}
BENCHMARK(BM_RecognizeSmallTextSet)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

static void BM_CommandSmallText(benchmark::State& state)
{
    tesseractCommand(state, smallText(int(state.range(0)), state.range(1) != 0, state.range(2) != 0));
}
BENCHMARK(BM_CommandSmallText)
    ->ArgsProduct({{9, 11, 13}, {0, 1}, {0, 1}})
    ->ArgNames({"px", "mono", "smooth"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

static void BM_RecognizeDensePage1920x1080(benchmark::State& state)
{
    recognizeWarm(state, densePage(), densePageText());
}
BENCHMARK(BM_RecognizeDensePage1920x1080)->Unit(benchmark::kMillisecond)->Iterations(3);

static void BM_CommandDensePage1920x1080(benchmark::State& state) { tesseractCommand(state, densePage()); }
BENCHMARK(BM_CommandDensePage1920x1080)->Unit(benchmark::kMillisecond)->Iterations(3);

static void BM_RecognizeWarmChatStrip960x300(benchmark::State& state)
{
    recognizeWarm(state, chatStrip960x300(), chatStripText());
}
BENCHMARK(BM_RecognizeWarmChatStrip960x300)->Unit(benchmark::kMillisecond)->MinTime(2.0);

static void BM_CommandChatStrip960x300(benchmark::State& state) { tesseractCommand(state, chatStrip960x300()); }
BENCHMARK(BM_CommandChatStrip960x300)->Unit(benchmark::kMillisecond)->Iterations(5);

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

namespace {

// A build's readings of a set, kept beside its pictures as "=== NAME" lines each followed by
// the lines read (recognize_files prints them so); empty when the file is missing.
QHash<QString, QString> keptReadings(const QString& path)
{
    QHash<QString, QString> readings;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return readings;
    QString name;
    QStringList lines;
    const auto keep = [&] {
        if (!name.isEmpty())
            readings.insert(name, lines.join(u'\n'));
    };
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(QLatin1String("=== "))) {
            keep();
            name = line.mid(4).section(u' ', 0, 0);
            lines.clear();
        } else {
            lines.append(line);
        }
    }
    keep();
    return readings;
}

// Characters to mend in a reading, folded as setError folds them.
int setDistance(const QString& got, const QString& want)
{
    auto fold = [](QString text) {
        return text.replace(QChar(0x0451), QChar(0x0435)).replace(QChar(0x0401), QChar(0x0415)).simplified();
    };
    return tarnwick::test::editDistance(fold(got), fold(want));
}

// Reads a set of pictures with their texts (NAME.png, NAME.txt): each case's character error
// beside the `tesseract` command's on the same picture and, where the set keeps them
// (readings-f1a408f.txt), an older build's readings; then the same with the lines kept (a
// table row read in pieces counts there), then the means. "worse" marks a case we read worse
// than the command, "worse+" one worse by more than one character, "older" one the kept
// build read better. TARNWICK_SHOW_TEXT=1 prints what was read where it is not exact. The
// time is ours alone, for the whole set.
void recognizeSet(benchmark::State& state, const QString& folderPath)
{
    const QDir folder(folderPath);
    const QStringList names = folder.entryList({"*.png"}, QDir::Files, QDir::Name);
    if (names.isEmpty()) {
        state.SkipWithError("no pictures in the recognition set");
        return;
    }
    const QHash<QString, QString> older = keptReadings(folder.filePath(QStringLiteral("readings-f1a408f.txt")));
    const bool show = qEnvironmentVariableIntValue("TARNWICK_SHOW_TEXT") != 0;
    std::vector<QImage> images;
    double ours = 0, command = 0, olderSum = 0;
    int worse = 0, worseByMore = 0, worseThanOlder = 0, olderCount = 0;
    double oursLines = 0, commandLines = 0;
    std::printf("%s\n%-30s %8s %8s %8s %8s %8s\n", qPrintable(folderPath), "case", "ours %", "command %", "f1a408f %",
                "lines %", "command");
    for (const QString& name : names) {
        const QString path = folder.filePath(name);
        QFile truthFile(path.chopped(4) + ".txt");
        if (!truthFile.open(QIODevice::ReadOnly)) {
            state.SkipWithError("a picture of the set has no text");
            return;
        }
        const QString truth = QString::fromUtf8(truthFile.readAll());
        const QImage image(path);
        images.push_back(image);
        const QString read = ScreenTextRecognizer::recognize(image).value_or(QString());
        const QString commandRead = commandTextOf(path);
        const double error = setError(read, truth);
        const double commandError = setError(commandRead, truth);
        const double lineError = setLineError(read, truth), commandLineError = setLineError(commandRead, truth);
        const bool byMore = setDistance(read, truth) > setDistance(commandRead, truth) + 1;
        ours += error;
        command += commandError;
        oursLines += lineError;
        commandLines += commandLineError;
        worse += error > commandError;
        worseByMore += byMore;
        QString olderColumn = QStringLiteral("-");
        bool olderBetter = false;
        if (const auto kept = older.constFind(name.chopped(4)); kept != older.constEnd()) {
            const double olderError = setError(*kept, truth);
            olderSum += olderError;
            ++olderCount;
            olderBetter = error > olderError;
            worseThanOlder += olderBetter;
            olderColumn = QString::number(olderError, 'f', 2);
        }
        std::printf("%-30s %8.2f %8.2f %8s %8.2f %8.2f%s%s\n", qPrintable(name.chopped(4)), error, commandError,
                    qPrintable(olderColumn), lineError, commandLineError,
                    byMore ? "  worse+" : error > commandError ? "  worse" : "", olderBetter ? "  older" : "");
        if (show && error > 0)
            std::printf("%s\n---\n", qPrintable(read));
    }
    const double count = double(images.size());
    std::printf("%-30s %8.2f %8.2f %8s %8.2f %8.2f\n", "mean", ours / count, command / count,
                olderCount > 0 ? qPrintable(QString::number(olderSum / olderCount, 'f', 2)) : "-",
                oursLines / count, commandLines / count);
    std::printf("%d of %d cases worse than the command, %d of them by more than one character; "
                "%d of %d worse than f1a408f\n",
                worse, int(images.size()), worseByMore, worseThanOlder, olderCount);
    std::fflush(stdout);
    for (auto _ : state)
        for (const QImage& image : images)
            benchmark::DoNotOptimize(ScreenTextRecognizer::recognize(image));
    state.SetItemsProcessed(state.iterations() * qsizetype(images.size()));
    state.counters["cer_pct"] = ours / count;
    state.counters["command_cer_pct"] = command / count;
    if (olderCount > 0)
        state.counters["f1a408f_cer_pct"] = olderSum / olderCount;
    state.counters["lines_cer_pct"] = oursLines / count;
    state.counters["command_lines_cer_pct"] = commandLines / count;
    state.counters["worse_cases"] = worse;
    state.counters["worse_by_more_than_one"] = worseByMore;
    state.counters["worse_than_f1a408f"] = worseThanOlder;
}

} // namespace

// The screen set: screenshots of Chromium pages, xterm and Qt forms (bench/screen-set, drawn
// by bench/screen-set/draw). TARNWICK_SCREEN_SET names another draw of it, say of another seed.
static void BM_RecognizeTextSet(benchmark::State& state)
{
    const QString other = qEnvironmentVariable("TARNWICK_SCREEN_SET");
    recognizeSet(state, other.isEmpty() ? QStringLiteral(TARNWICK_SCREEN_SET) : other);
}
BENCHMARK(BM_RecognizeTextSet)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// The set our own code draws (bench/recognition-set, by make_recognition_set).
static void BM_RecognizeDrawnTextSet(benchmark::State& state)
{
    recognizeSet(state, QStringLiteral(TARNWICK_RECOGNITION_SET));
}
BENCHMARK(BM_RecognizeDrawnTextSet)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
