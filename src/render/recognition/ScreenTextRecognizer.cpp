#include "render/recognition/ScreenTextRecognizer.h"

#include "render/recognition/AlikeGlyphs.h"
#include "render/recognition/GreyImage.h"

#include "platform/TarnwickError.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QString>

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <dlfcn.h>
#include <pthread.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

namespace tarnwick::ScreenTextRecognizer {

namespace {

// Tesseract data files and the identifiers they stand for.
const QHash<QString, QString>& identifierTable()
{
    static const QHash<QString, QString> table{
        {"afr", "af-ZA"}, {"ara", "ar-SA"}, {"aze", "az-AZ"}, {"bel", "be-BY"}, {"bul", "bg-BG"},
        {"cat", "ca-ES"}, {"ces", "cs-CZ"}, {"chi_sim", "zh-Hans"}, {"chi_tra", "zh-Hant"},
        {"dan", "da-DK"}, {"deu", "de-DE"}, {"ell", "el-GR"}, {"eng", "en-US"}, {"est", "et-EE"},
        {"fin", "fi-FI"}, {"fra", "fr-FR"}, {"heb", "he-IL"}, {"hin", "hi-IN"}, {"hrv", "hr-HR"},
        {"hun", "hu-HU"}, {"hye", "hy-AM"}, {"ind", "id-ID"}, {"ita", "it-IT"}, {"jpn", "ja-JP"},
        {"kat", "ka-GE"}, {"kaz", "kk-KZ"}, {"kir", "ky-KG"}, {"kor", "ko-KR"}, {"lav", "lv-LV"},
        {"lit", "lt-LT"}, {"mon", "mn-MN"}, {"nld", "nl-NL"}, {"nor", "nb-NO"}, {"pol", "pl-PL"},
        {"por", "pt-BR"}, {"ron", "ro-RO"}, {"rus", "ru-RU"}, {"slk", "sk-SK"}, {"slv", "sl-SI"},
        {"spa", "es-ES"}, {"srp", "sr-RS"}, {"swe", "sv-SE"}, {"tat", "tt-RU"}, {"tgk", "tg-TJ"},
        {"tha", "th-TH"}, {"tur", "tr-TR"}, {"ukr", "uk-UA"}, {"uzb", "uz-UZ"}, {"vie", "vi-VN"},
    };
    return table;
}

// First piece of an identifier split at "-", empty pieces dropped.
std::optional<QString> languagePrefix(const QString& identifier)
{
    const QStringList pieces = identifier.split(u'-', Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return std::nullopt;
    return pieces.front();
}

// Where the language data lives and what it holds.
struct DataSetup {
    QString path;
    std::string languages; // Tesseract's "rus+eng+…"
};

bool holdsTrainedData(const QString& dir)
{
    return !QDir(dir).entryList({"*.traineddata"}, QDir::Files).isEmpty();
}

QString dataDirectory()
{
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!prefix.isEmpty()) {
        // Tesseract 5 wants the data folder itself; older set-ups name its parent.
        if (!holdsTrainedData(prefix) && holdsTrainedData(prefix + "/tessdata"))
            return prefix + "/tessdata";
        return prefix;
    }
    for (const char* dir : {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata",
             "/usr/share/tessdata", "/usr/local/share/tessdata"}) {
        if (holdsTrainedData(dir))
            return dir;
    }
    return "/usr/share/tesseract-ocr/5/tessdata";
}

DataSetup currentSetup()
{
    DataSetup setup;
    setup.path = QDir::cleanPath(dataDirectory());
    QStringList names;
    for (const QFileInfo& file : QDir(setup.path).entryInfoList({"*.traineddata"}, QDir::Files | QDir::Readable, QDir::Name))
        names.append(file.completeBaseName());

    const bool russian = names.contains("rus");
    const bool english = names.contains("eng");
    if (!russian && !english)
        throw TarnwickError::message(QStringLiteral(
            "Нет данных для распознавания текста. Установите пакеты tesseract-ocr-rus и tesseract-ocr-eng."));
    if (!russian)
        throw TarnwickError::message(QStringLiteral(
            "Нет данных для распознавания русского текста. Установите пакет tesseract-ocr-rus."));
    if (!english)
        throw TarnwickError::message(QStringLiteral(
            "Нет данных для распознавания английского текста. Установите пакет tesseract-ocr-eng."));

    QStringList supported;
    QHash<QString, QString> dataNameOf;
    for (const QString& name : names) {
        const QString identifier = languageIdentifier(name);
        if (identifier.isEmpty() || dataNameOf.contains(identifier))
            continue;
        supported.append(identifier);
        dataNameOf.insert(identifier, name);
    }
    QStringList dataNames;
    for (const QString& identifier : chooseLanguages(supported, QLocale::system().uiLanguages()))
        dataNames.append(dataNameOf.value(identifier));
    setup.languages = dataNames.join(u'+').toStdString();
    return setup;
}

// Tesseract's LSTM spreads each line over OpenMP threads; for one small selection
// that costs more than it saves, and several queues may read at once. The OpenMP
// runtime reads OMP_THREAD_LIMIT only when it is loaded, which is before main(),
// so setting the variable here would change nothing: instead no parallel level is
// allowed on the reading thread, which keeps every region on that one thread.
void limitThreads()
{
    thread_local bool limited = false;
    if (limited)
        return;
    limited = true;
    static std::once_flag once;
    std::call_once(once, [] {
        // Tesseract's diagnostics would otherwise go to the terminal.
        tesseract::TessBaseAPI quiet;
        quiet.SetVariable("debug_file", "/dev/null");
    });
    using SetLevels = void (*)(int);
    if (auto setLevels = reinterpret_cast<SetLevels>(::dlsym(RTLD_DEFAULT, "omp_set_max_active_levels")))
        setLevels(0);
}

struct Engine {
    QString path;
    std::string languages;
    detail::Reading reading;
    tesseract::TessBaseAPI api;
};

// The Tesseract names of the set-up's languages, one by one.
std::vector<std::string> singleLanguages(const DataSetup& setup)
{
    std::vector<std::string> names;
    for (const QString& name : QString::fromStdString(setup.languages).split(u'+', Qt::SkipEmptyParts))
        names.push_back(name.toStdString());
    return names;
}

std::unique_ptr<Engine> startEngine(const DataSetup& setup, detail::Reading reading, const std::string& languages)
{
    auto engine = std::make_unique<Engine>();
    engine->path = setup.path;
    engine->languages = languages;
    engine->reading = reading;
    std::vector<std::string> names;
    std::vector<std::string> values;
    if (reading == detail::Reading::literal) {
        // No word lists: boxes for whatever is written, words or not.
        names = {"lstm_use_matrix", "load_system_dawg", "load_freq_dawg"};
        values = {"0", "0", "0"};
    }
    if (languages != setup.languages) {
        // Views come dark on light already; a second inverted pass of every line
        // a single language reads poorly (the other language's lines) is wasted.
        names.push_back("tessedit_do_invert");
        values.push_back("0");
    }
    const QByteArray path = setup.path.toLocal8Bit();
    if (engine->api.Init(path.constData(), languages.c_str(), tesseract::OEM_LSTM_ONLY, nullptr, 0,
            &names, &values, false)
        != 0)
        throw TarnwickError::message(QStringLiteral(
            "Не удалось загрузить данные распознавания текста. Переустановите пакеты tesseract-ocr-rus и tesseract-ocr-eng."));
    return engine;
}

// Warm engines, each lent to one reading at a time and kept for the next, since
// starting one costs more than reading a small selection. An engine is started
// only when none of its kind is free, so there are as many of a kind as parts
// were ever read with it at once: the bands of a picture, one kind per language
// for small text. Never destroyed, like the reading threads.
class EnginePool {
public:
    static EnginePool& shared()
    {
        static EnginePool* const pool = new EnginePool;
        return *pool;
    }

    std::unique_ptr<Engine> take(const DataSetup& setup, detail::Reading reading, const std::string& languages)
    {
        limitThreads();
        std::vector<std::unique_ptr<Engine>> stale; // ended once the lock is let go
        {
            std::lock_guard lock(mutex_);
            // Engines of another data folder or of languages no longer asked for go.
            const std::vector<std::string> singles = singleLanguages(setup);
            for (auto it = free_.begin(); it != free_.end();) {
                if ((*it)->path != setup.path
                    || ((*it)->languages != setup.languages
                        && std::find(singles.begin(), singles.end(), (*it)->languages) == singles.end())) {
                    stale.push_back(std::move(*it));
                    it = free_.erase(it);
                } else {
                    ++it;
                }
            }
            for (auto it = free_.begin(); it != free_.end(); ++it) {
                if ((*it)->reading == reading && (*it)->languages == languages) {
                    std::unique_ptr<Engine> engine = std::move(*it);
                    free_.erase(it);
                    return engine;
                }
            }
        }
        return startEngine(setup, reading, languages);
    }

    void give(std::unique_ptr<Engine> engine)
    {
        std::lock_guard lock(mutex_);
        free_.push_back(std::move(engine));
    }

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<Engine>> free_;
};

// An engine of the pool for the length of one reading.
class LentEngine {
public:
    LentEngine(const DataSetup& setup, detail::Reading reading, const std::string& languages)
        : engine_(EnginePool::shared().take(setup, reading, languages))
    {
    }
    ~LentEngine() { EnginePool::shared().give(std::move(engine_)); }
    LentEngine(const LentEngine&) = delete;
    LentEngine& operator=(const LentEngine&) = delete;

    tesseract::TessBaseAPI& api() { return engine_->api; }

private:
    std::unique_ptr<Engine> engine_;
};

// Grey levels on white, or the sentence for a failed allocation.
QImage readableGrey(const QImage& image)
{
    QImage grey = greyOnWhite(image);
    if (grey.isNull())
        throw TarnwickError::message(QStringLiteral("Не хватает памяти для распознавания текста."));
    return grey;
}

// Tesseract reads dark glyphs on a light ground and misses light text on dark
// panels. The image is cut into cells; where the cells are mostly dark the whole
// image is inverted, and the areas of the other polarity (a dark side bar on a light
// window) are read separately, inverted, with the rest blanked out.
constexpr int polarityCell = 16;

struct PolarityViews {
    QImage main;
    std::optional<QImage> other;
};

PolarityViews polarityViews(QImage grey, bool splitAreas)
{
    const int w = grey.width();
    const int h = grey.height();
    const int columns = (w + polarityCell - 1) / polarityCell;
    const int rows = (h + polarityCell - 1) / polarityCell;
    std::vector<uint8_t> dark(size_t(columns) * size_t(rows), 0);
    size_t darkCells = 0;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const int x0 = column * polarityCell, x1 = std::min(x0 + polarityCell, w);
            const int y0 = row * polarityCell, y1 = std::min(y0 + polarityCell, h);
            quint64 sum = 0;
            for (int y = y0; y < y1; ++y) {
                const uchar* line = grey.constScanLine(y);
                for (int x = x0; x < x1; ++x)
                    sum += line[x];
            }
            const bool isDark = sum < 128ull * quint64(x1 - x0) * quint64(y1 - y0);
            dark[size_t(row) * size_t(columns) + size_t(column)] = isDark;
            darkCells += isDark;
        }
    }
    const bool invert = 2 * darkCells > dark.size();
    if (invert)
        grey.invertPixels();
    if (!splitAreas)
        return {grey, std::nullopt};

    // Areas of the other polarity: cells in a 2 × 2 block of such cells, so that the
    // strokes of large bold glyphs do not count as a panel.
    auto minority = [&](int column, int row) {
        return column >= 0 && row >= 0 && column < columns && row < rows
            && bool(dark[size_t(row) * size_t(columns) + size_t(column)]) != invert;
    };
    std::vector<uint8_t> area(dark.size(), 0);
    bool any = false;
    for (int row = 0; row + 1 < rows; ++row) {
        for (int column = 0; column + 1 < columns; ++column) {
            if (minority(column, row) && minority(column + 1, row) && minority(column, row + 1)
                && minority(column + 1, row + 1)) {
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx)
                        area[size_t(row + dy) * size_t(columns) + size_t(column + dx)] = 1;
                any = true;
            }
        }
    }
    if (!any)
        return {grey, std::nullopt};

    // The areas in pixels, grown past their cells up to their real edges: a panel
    // that ends off the cell grid would otherwise leave a strip of itself in the
    // main view, which reads as a junk line and costs a whole extra pass.
    std::vector<uint8_t> inArea(size_t(w) * size_t(h), 0);
    auto mark = [&](int x0, int x1, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            std::fill_n(inArea.begin() + qsizetype(y) * w + x0, x1 - x0, uint8_t(1));
    };
    auto rowDark = [&](int y, int x0, int x1) {
        const uchar* line = grey.constScanLine(y);
        quint64 sum = 0;
        for (int x = x0; x < x1; ++x)
            sum += line[x];
        return sum < 128ull * quint64(x1 - x0);
    };
    auto columnDark = [&](int x, int y0, int y1) {
        quint64 sum = 0;
        for (int y = y0; y < y1; ++y)
            sum += grey.constScanLine(y)[x];
        return sum < 128ull * quint64(y1 - y0);
    };
    auto inAreaCell = [&](int column, int row) {
        return column >= 0 && row >= 0 && column < columns && row < rows
            && area[size_t(row) * size_t(columns) + size_t(column)];
    };
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            if (!inAreaCell(column, row))
                continue;
            const int x0 = column * polarityCell, x1 = std::min(x0 + polarityCell, w);
            const int y0 = row * polarityCell, y1 = std::min(y0 + polarityCell, h);
            mark(x0, x1, y0, y1);
            if (row + 1 < rows && !inAreaCell(column, row + 1))
                for (int y = y1; y < std::min(y1 + polarityCell, h) && rowDark(y, x0, x1); ++y)
                    mark(x0, x1, y, y + 1);
            if (row > 0 && !inAreaCell(column, row - 1))
                for (int y = y0 - 1; y >= y0 - polarityCell && rowDark(y, x0, x1); --y)
                    mark(x0, x1, y, y + 1);
            if (column + 1 < columns && !inAreaCell(column + 1, row))
                for (int x = x1; x < std::min(x1 + polarityCell, w) && columnDark(x, y0, y1); ++x)
                    mark(x, x + 1, y0, y1);
            if (column > 0 && !inAreaCell(column - 1, row))
                for (int x = x0 - 1; x >= x0 - polarityCell && columnDark(x, y0, y1); --x)
                    mark(x, x + 1, y0, y1);
        }
    }

    QImage other = grey;
    other.invertPixels();
    // Blanked pixels take the most frequent level of the pixels kept, so that the
    // view keeps one even background for Tesseract's threshold.
    auto blank = [&](QImage& view, bool keptInArea) {
        std::array<quint64, 256> histogram{};
        for (int y = 0; y < h; ++y) {
            const uchar* line = view.constScanLine(y);
            const uint8_t* flags = inArea.data() + qsizetype(y) * w;
            for (int x = 0; x < w; ++x)
                if (bool(flags[x]) == keptInArea)
                    ++histogram[line[x]];
        }
        const auto level = uchar(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
        for (int y = 0; y < h; ++y) {
            uchar* line = view.scanLine(y);
            const uint8_t* flags = inArea.data() + qsizetype(y) * w;
            for (int x = 0; x < w; ++x)
                if (bool(flags[x]) != keptInArea)
                    line[x] = level;
        }
    };
    blank(grey, false);
    blank(other, true);
    return {grey, other};
}

QRectF recognizerBox(const QRect& box, int w, int h)
{
    const double W = w;
    const double H = h;
    return QRectF(box.x() / W, 1.0 - (box.y() + box.height()) / H, box.width() / W, box.height() / H);
}

QString takeText(char* text)
{
    const QString result = QString::fromUtf8(text).trimmed();
    delete[] text;
    return result;
}

bool cancelRequested(void* test, int)
{
    return (*static_cast<const std::function<bool()>*>(test))();
}

// Reading order keys with non-finite values sorted to the end, so the order stays strict.
double heightKey(const RecognizedTextLine& line)
{
    const double mid = line.bounds.y() + line.bounds.height() / 2;
    return std::isnan(mid) ? -std::numeric_limits<double>::infinity() : mid;
}

double leftKey(const RecognizedTextLine& line)
{
    const double x = line.bounds.x();
    return std::isnan(x) ? std::numeric_limits<double>::infinity() : x;
}

// A gap between words on one row wider than one and a half line heights parts
// columns, table cells or labels side by side; narrower ones are word spaces.
bool columnGap(int gap, int height) { return 2 * gap > 3 * height; }

using detail::ReadSymbol;
using detail::ReadWord;
using detail::WordRun;

// The lines of a view as Tesseract found them, each a whole row of the block.
// With `symbols`, each word keeps the characters it was read as, with their boxes.
std::vector<WordRun> readView(tesseract::TessBaseAPI& api, const QImage& grey, const std::function<bool()>& isCancelled,
    bool symbols)
{
    api.SetImage(grey.constBits(), grey.width(), grey.height(), 1, static_cast<int>(grey.bytesPerLine()));

    tesseract::ETEXT_DESC monitor;
    if (isCancelled) {
        monitor.cancel = &cancelRequested;
        monitor.cancel_this = const_cast<std::function<bool()>*>(&isCancelled);
    }
    const int status = api.Recognize(&monitor);
    if (isCancelled && isCancelled()) {
        api.Clear();
        throw CancellationError();
    }

    std::vector<WordRun> pieces;
    std::unique_ptr<tesseract::ResultIterator> it(status == 0 ? api.GetIterator() : nullptr);
    if (it) {
        using tesseract::RIL_TEXTLINE;
        using tesseract::RIL_WORD;
        auto boxAt = [&](tesseract::PageIteratorLevel level, QRect& box) {
            int left = 0, top = 0, right = 0, bottom = 0;
            if (!it->BoundingBox(level, &left, &top, &right, &bottom) || right <= left || bottom <= top)
                return false;
            box = QRect(left, top, right - left, bottom - top);
            return true;
        };
        do {
            if (it->Empty(RIL_TEXTLINE))
                continue;
            WordRun piece;
            piece.text = takeText(it->GetUTF8Text(RIL_TEXTLINE));
            const bool boxed = boxAt(RIL_TEXTLINE, piece.box);
            do {
                ReadWord word;
                if (!it->Empty(RIL_WORD)) {
                    word.text = takeText(it->GetUTF8Text(RIL_WORD));
                    word.confidence = it->Confidence(RIL_WORD);
                    word.dictionary = it->WordIsFromDictionary();
                    const bool boxedWord = boxAt(RIL_WORD, word.box);
                    while (symbols && boxedWord) {
                        ReadSymbol symbol;
                        if (!it->Empty(tesseract::RIL_SYMBOL) && boxAt(tesseract::RIL_SYMBOL, symbol.box)) {
                            symbol.text = takeText(it->GetUTF8Text(tesseract::RIL_SYMBOL));
                            word.symbols.push_back(std::move(symbol));
                        }
                        if (it->IsAtFinalElement(RIL_WORD, tesseract::RIL_SYMBOL) || !it->Next(tesseract::RIL_SYMBOL))
                            break;
                    }
                    if (!word.text.isEmpty() && boxedWord)
                        piece.words.push_back(std::move(word));
                }
                if (it->IsAtFinalElement(RIL_TEXTLINE, RIL_WORD))
                    break;
            } while (it->Next(RIL_WORD));
            if (boxed && !piece.text.isEmpty())
                pieces.push_back(std::move(piece));
        } while (it->Next(RIL_TEXTLINE));
    }
    it.reset();
    api.Clear();
    return pieces;
}

// A block's line runs across the whole view; a column gap starts another piece.
std::vector<WordRun> splitAtColumnGaps(std::vector<WordRun> lines)
{
    std::vector<WordRun> pieces;
    for (WordRun& line : lines) {
        if (line.words.size() < 2) {
            pieces.push_back(std::move(line));
            continue;
        }
        const int height = line.box.height();
        WordRun run;
        for (ReadWord& word : line.words) {
            if (!run.words.empty() && columnGap(word.box.x() - run.box.right(), height)) {
                pieces.push_back(std::move(run));
                run = WordRun();
            }
            run.text += run.text.isEmpty() ? word.text : u' ' + word.text;
            run.box = run.box.isNull() ? word.box : run.box.united(word.box);
            run.words.push_back(std::move(word));
        }
        pieces.push_back(std::move(run));
    }
    return pieces;
}

// Small text is read once per language, each engine on its own thread, and the
// readings are merged row by row. Tesseract's own choice between languages goes
// word by word on confidence alone, and at these sizes a Russian reading often
// wins inside an English row ("in" as "т", "s" as "$", "lib32" as "11632"). A row
// takes the language that reads it best as a whole; a word of it changes to
// another language's reading where that one is a dictionary word and this one is
// not ("Code" over "Соде"), or where that one is sure and this one is not, as an
// English file name inside a Russian sentence. Figures and signs belong to every
// language, so a reading without letters never takes over. Words of one or two
// letters are too short for either test ("на" reads as the English "Ha"): they
// follow the language of the words on both sides.
constexpr float unsureWord = 60;
constexpr float sureWord = 85;
constexpr int shortWord = 2; // letters
constexpr float clearlySurer = 10;

int letterCount(const QString& text)
{
    return int(std::count_if(text.begin(), text.end(), [](QChar c) { return c.isLetter(); }));
}

// The mean confidence of a row's words, weighted by their letters: a model reads
// the other script's letters as figures with confidence, and figures tell no
// language. A row of figures alone weighs all its characters.
double rowConfidence(const WordRun& row)
{
    double sum = 0, weight = 0, all = 0, allWeight = 0;
    for (const ReadWord& word : row.words) {
        sum += double(word.confidence) * letterCount(word.text);
        weight += letterCount(word.text);
        all += double(word.confidence) * double(word.text.size());
        allWeight += double(word.text.size());
    }
    if (weight > 0)
        return sum / weight;
    return allWeight > 0 ? all / allWeight : 0;
}

// A dictionary word read with some confidence: the engines mark some junk as words too.
bool knownWord(const ReadWord& word) { return word.dictionary && word.confidence >= unsureWord; }

// How well a language reads a row: first the letters of the words it knows, then
// its confidence.
std::pair<int, double> rowScore(const WordRun& row)
{
    int known = 0;
    for (const ReadWord& word : row.words)
        known += knownWord(word) ? letterCount(word.text) : 0;
    return {known, rowConfidence(row)};
}

int overlap(const QRect& a, const QRect& b)
{
    return std::min(a.x() + a.width(), b.x() + b.width()) - std::max(a.x(), b.x());
}

// Two boxes stand on one line where they share at least half the rows of the lower one.
bool onOneLine(const QRect& a, const QRect& b)
{
    const int rows = std::min(a.y() + a.height(), b.y() + b.height()) - std::max(a.y(), b.y());
    return 2 * rows >= std::min(a.height(), b.height());
}

// Readings of the same row: on one line, and over each other.
bool sameRow(const QRect& a, const QRect& b) { return onOneLine(a, b) && overlap(a, b) > 0; }

// The words of `row` that `word` stands over (each at least half under it), when
// together they hold at least half of it; empty otherwise.
std::vector<size_t> coveredWords(const WordRun& row, const ReadWord& word)
{
    std::vector<size_t> covered;
    int held = 0;
    for (size_t i = 0; i < row.words.size(); ++i) {
        const int common = overlap(row.words[i].box, word.box);
        if (2 * common >= row.words[i].box.width()) {
            covered.push_back(i);
            held += common;
        }
    }
    if (2 * held < word.box.width())
        covered.clear();
    return covered;
}

// Whether `alternative`, a word of more than two letters in another language,
// reads better than the words of the row it covers: a dictionary word over words
// that are none, over a word cut in pieces that the engine is less sure of, or
// over a dictionary word clearly less sure ("page" and "раде" both are words); or
// a sure word over unsure ones that are no dictionary words.
bool readsBetter(const ReadWord& alternative, const std::vector<const ReadWord*>& covered)
{
    double sum = 0, weight = 0;
    for (const ReadWord* word : covered) {
        sum += double(word->confidence) * double(word->text.size());
        weight += double(word->text.size());
    }
    const double confidence = weight > 0 ? sum / weight : 0;
    const bool anyKnown = std::any_of(covered.begin(), covered.end(), [](const ReadWord* word) { return knownWord(*word); });
    if (knownWord(alternative))
        return !anyKnown || alternative.confidence > confidence + (covered.size() > 1 ? 0 : clearlySurer);
    return !anyKnown && alternative.confidence >= sureWord && confidence < unsureWord;
}

// The language of the nearest words of more than two letters on both sides of a
// short word, when they agree; -1 otherwise.
int neighbourLanguage(const std::vector<ReadWord>& words, size_t index)
{
    int language = -1;
    for (int step : {-1, 1}) {
        for (auto i = qsizetype(index) + step; i >= 0 && i < qsizetype(words.size()); i += step) {
            const ReadWord& word = words[size_t(i)];
            if (letterCount(word.text) <= shortWord)
                continue;
            if (language >= 0 && word.language != language)
                return -1;
            language = word.language;
            break;
        }
    }
    return language;
}

// One row per language standing on the same line of the view.
std::vector<std::vector<WordRun>> rowsByLine(std::vector<std::vector<WordRun>> readings)
{
    std::vector<std::vector<WordRun>> lines;
    for (size_t language = 0; language < readings.size(); ++language) {
        for (WordRun& row : readings[language]) {
            for (ReadWord& word : row.words)
                word.language = int(language);
            auto same = std::find_if(lines.begin(), lines.end(), [&](const std::vector<WordRun>& line) {
                return sameRow(line.front().box, row.box) && std::none_of(line.begin(), line.end(), [&](const WordRun& other) {
                    return !other.words.empty() && other.words.front().language == int(language);
                });
            });
            if (same == lines.end())
                lines.push_back({std::move(row)});
            else
                same->push_back(std::move(row));
        }
    }
    return lines;
}

// Words of more than two letters from the other readings, surest first, take the
// places of the row's words they read better; a word put in stays.
void putInBetterWords(WordRun& row, int rowLanguage, const std::vector<ReadWord>& alternatives)
{
    for (const ReadWord& alternative : alternatives) {
        if (letterCount(alternative.text) <= shortWord)
            continue;
        const std::vector<size_t> covered = coveredWords(row, alternative);
        std::vector<const ReadWord*> words;
        for (size_t i : covered)
            words.push_back(&row.words[i]);
        if (covered.empty()
            || std::any_of(words.begin(), words.end(), [&](const ReadWord* word) { return word->language != rowLanguage; })
            || !readsBetter(alternative, words))
            continue;
        std::vector<ReadWord> result;
        for (size_t i = 0; i < row.words.size(); ++i) {
            if (i == covered.front())
                result.push_back(alternative);
            if (std::find(covered.begin(), covered.end(), i) == covered.end())
                result.push_back(std::move(row.words[i]));
        }
        row.words = std::move(result);
    }
}

// Short words take the reading in the language of the words on both sides unless
// their own is sure, or where those languages differ, the surest reading.
void settleShortWords(WordRun& row, const std::vector<ReadWord>& alternatives)
{
    auto isShort = [](const ReadWord& word) {
        const int letters = letterCount(word.text);
        return letters > 0 && letters <= shortWord;
    };
    for (size_t i = 0; i < row.words.size(); ++i) {
        if (!isShort(row.words[i]))
            continue;
        const int language = neighbourLanguage(row.words, i);
        const ReadWord* pick = &row.words[i];
        for (const ReadWord& alternative : alternatives) {
            const std::vector<size_t> covered = coveredWords(row, alternative);
            if (!isShort(alternative) || covered.size() != 1 || covered.front() != i)
                continue;
            if (language >= 0 ? alternative.language == language && pick->language != language && pick->confidence < sureWord
                              : alternative.confidence > pick->confidence)
                pick = &alternative;
        }
        if (pick != &row.words[i])
            row.words[i] = *pick;
    }
}

// Reading threads that stay, so that independent parts of one picture are read at
// once, each with a warm engine of the pool. Three beside the caller: more engines
// cost memory (each holds its own models) and cut pictures into bands too thin to
// read as well.
// Never destroyed: other queues may still be reading while the process exits.
class ReadingPool {
public:
    static ReadingPool& shared()
    {
        static ReadingPool* const pool = new ReadingPool(
            int(std::clamp(std::thread::hardware_concurrency(), 2u, 4u)) - 1);
        return *pool;
    }

    // Threads that can read beside the caller.
    int helpers() const { return int(workers_.size()); }

    // Runs every task, the first on the calling thread, and waits for all of them;
    // then rethrows the first failure in task order.
    void runAll(const std::vector<std::function<void()>>& tasks)
    {
        if (tasks.empty())
            return;
        std::vector<std::exception_ptr> errors(tasks.size());
        std::mutex doneLock;
        std::condition_variable doneWake;
        size_t left = tasks.size() - 1;
        {
            std::lock_guard lock(mutex_);
            for (size_t i = 1; i < tasks.size(); ++i)
                jobs_.push_back([&, i] {
                    try {
                        tasks[i]();
                    } catch (...) {
                        errors[i] = std::current_exception();
                    }
                    std::lock_guard done(doneLock);
                    if (--left == 0)
                        doneWake.notify_all();
                });
        }
        wake_.notify_all();
        try {
            tasks[0]();
        } catch (...) {
            errors[0] = std::current_exception();
        }
        {
            std::unique_lock done(doneLock);
            doneWake.wait(done, [&] { return left == 0; });
        }
        for (const std::exception_ptr& error : errors)
            if (error)
                std::rethrow_exception(error);
    }

private:
    explicit ReadingPool(int count)
    {
        for (int i = 0; i < count; ++i)
            workers_.emplace_back([this] { run(); });
    }

    void run()
    {
        pthread_setname_np(pthread_self(), "tarnwick-ocr");
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !jobs_.empty(); });
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> workers_;
};

// A horizontal band of a view, read on its own.
struct Band {
    QImage image;
    int top = 0; // the view row of the band's first row
};

// The rows of a view that hold ink (anything off its most common grey).
struct InkRows {
    int background = 255;
    std::vector<bool> ink;
    int count = 0;

    explicit InkRows(const QImage& view)
    {
        const int w = view.width(), h = view.height();
        background = mostCommonGrey(view);
        ink.assign(size_t(h), false);
        for (int y = 0; y < h; ++y) {
            const uchar* line = view.constScanLine(y);
            ink[size_t(y)] = std::any_of(line, line + w, [&](uchar v) { return std::abs(int(v) - background) > 16; });
            count += ink[size_t(y)];
        }
    }
};

// The typical run of ink rows of a view: one line, accents to descenders; 0 for a
// view without lines.
int textHeight(const QImage& view)
{
    const InkRows rows(view);
    const std::vector<bool>& ink = rows.ink;
    std::vector<int> runs;
    for (size_t y = 0; y < ink.size();) {
        size_t end = y;
        while (end < ink.size() && ink[end])
            ++end;
        if (end - y >= 4)
            runs.push_back(int(end - y));
        y = end + 1;
    }
    if (runs.empty())
        return 0;
    std::nth_element(runs.begin(), runs.begin() + runs.size() / 2, runs.end());
    return runs[runs.size() / 2];
}

// Text under 14 px (9–13 px screen fonts) is read by the small-text rules.
bool smallText(int height) { return height > 0 && height < 14; }

// Tesseract reads best when capitals stand about 30 px tall; screen text of
// 9–13 px is far below that and loses letters to the binarisation. Small text is
// enlarged towards lines of about 34 px.
double enlargement(int height, const QSize& size)
{
    if (height <= 0 || height >= 24)
        return 1;
    const double fits = std::sqrt(double(maxPixels) / (double(size.width()) * size.height()));
    return std::clamp(std::min({34.0 / height, 4.0, fits, double(maxSide) / std::max(size.width(), size.height())}), 1.0, 4.0);
}

QImage enlarged(const QImage& view, double factor)
{
    if (factor <= 1)
        return view;
    QImage big = view.scaled(int(view.width() * factor), int(view.height() * factor), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_Grayscale8);
    if (big.isNull())
        throw TarnwickError::message(QStringLiteral("Не хватает памяти для распознавания текста."));
    return big;
}

// The view cut into at most `most` bands of about equal amounts of text, each cut in
// the middle of a gap between lines (rows without ink), so every line stays whole.
// A picture with too little text, or without gaps, stays one band.
std::vector<Band> bands(const QImage& view, int most, int leastInkRows)
{
    const int w = view.width(), h = view.height();
    const InkRows rows(view);
    const int background = rows.background;
    const std::vector<bool>& ink = rows.ink;
    const int inkRows = rows.count;
    const int parts = std::min(most, inkRows / leastInkRows);
    std::vector<int> cuts;
    if (parts > 1) {
        // Gaps between lines: the middle of each blank run with ink above and below,
        // with the ink rows above it.
        std::vector<std::pair<int, int>> gaps;
        int above = 0;
        for (int y = 0; y < h;) {
            if (ink[size_t(y)]) {
                ++above;
                ++y;
                continue;
            }
            int end = y;
            while (end < h && !ink[size_t(end)])
                ++end;
            // A single blank row may be the faint gap between a letter and its dots.
            if (above > 0 && end < h && end - y >= 2)
                gaps.emplace_back((y + end) / 2, above);
            y = end;
        }
        for (int k = 1; k < parts && !gaps.empty(); ++k) {
            const double target = double(k) * inkRows / parts;
            const auto best = std::min_element(gaps.begin(), gaps.end(), [&](const auto& a, const auto& b) {
                return std::abs(a.second - target) < std::abs(b.second - target);
            });
            if (cuts.empty() || best->first > cuts.back())
                cuts.push_back(best->first);
        }
    }
    if (cuts.empty())
        return {{view, 0}};
    // Each band keeps a margin of the background, as a whole picture would have.
    constexpr int margin = 8;
    std::vector<Band> out;
    int top = 0;
    cuts.push_back(h);
    for (int cut : cuts) {
        QImage band(w, cut - top + 2 * margin, QImage::Format_Grayscale8);
        if (band.isNull())
            return {{view, 0}};
        band.fill(background);
        for (int y = top; y < cut; ++y)
            std::copy_n(view.constScanLine(y), w, band.scanLine(y - top + margin));
        out.push_back({std::move(band), top - margin});
        top = cut;
    }
    return out;
}

// Pieces read apart (in different views or bands) that stand on the same row,
// the next one starting within one and a half heights of the end of the previous
// one, are joined into one line; column gaps keep lines apart.
std::vector<WordRun> joinedLines(std::vector<WordRun> pieces)
{
    std::stable_sort(pieces.begin(), pieces.end(), [](const WordRun& a, const WordRun& b) { return a.box.x() < b.box.x(); });
    std::vector<WordRun> lines;
    std::vector<QRect> lastPiece; // the rightmost piece of each line
    for (WordRun& piece : pieces) {
        const QRect& box = piece.box;
        size_t target = lines.size();
        for (size_t i = 0; i < lines.size(); ++i) {
            const QRect& last = lastPiece[i];
            const int gap = box.x() - (last.x() + last.width());
            const int height = std::max(last.height(), box.height());
            if (onOneLine(last, box) && gap >= -height / 2 && !columnGap(gap, height)) {
                target = i;
                break;
            }
        }
        if (target == lines.size()) {
            lastPiece.push_back(box);
            lines.push_back(std::move(piece));
            continue;
        }
        WordRun& line = lines[target];
        line.text += u' ' + piece.text;
        line.box = line.box.united(box);
        for (auto& word : piece.words)
            line.words.push_back(std::move(word));
        lastPiece[target] = box;
    }
    return lines;
}

} // namespace

QString languageIdentifier(const QString& dataName)
{
    return identifierTable().value(dataName);
}

QStringList chooseLanguages(const QStringList& supported, const QStringList& preferred)
{
    QStringList candidates;
    for (const char* language : languages)
        candidates.append(QString::fromLatin1(language));
    candidates.append(preferred);

    QStringList chosen;
    for (const QString& candidate : candidates) {
        std::optional<QString> pick;
        if (supported.contains(candidate)) {
            pick = candidate;
        } else {
            const auto prefix = languagePrefix(candidate);
            for (const QString& identifier : supported) {
                if (languagePrefix(identifier) == prefix) {
                    pick = identifier;
                    break;
                }
            }
        }
        if (pick && !chosen.contains(*pick))
            chosen.append(*pick);
    }
    return chosen;
}

std::vector<RecognizedTextLine> readingOrder(std::vector<RecognizedTextLine> lines)
{
    std::stable_sort(lines.begin(), lines.end(), [](const RecognizedTextLine& a, const RecognizedTextLine& b) {
        const double ay = heightKey(a);
        const double by = heightKey(b);
        if (ay == by)
            return leftKey(a) < leftKey(b);
        return ay > by;
    });

    std::vector<std::vector<RecognizedTextLine>> rows;
    for (RecognizedTextLine& line : lines) {
        const double mid = line.bounds.y() + line.bounds.height() / 2;
        auto row = std::find_if(rows.begin(), rows.end(), [&](const std::vector<RecognizedTextLine>& r) {
            const QRectF& anchor = r.front().bounds;
            const double anchorMid = anchor.y() + anchor.height() / 2;
            return std::abs(anchorMid - mid) <= 0.5 * std::min(anchor.height(), line.bounds.height());
        });
        if (row == rows.end())
            rows.push_back({std::move(line)});
        else
            row->push_back(std::move(line));
    }

    std::vector<RecognizedTextLine> ordered;
    ordered.reserve(lines.size());
    for (auto& row : rows) {
        std::stable_sort(row.begin(), row.end(), [](const RecognizedTextLine& a, const RecognizedTextLine& b) {
            return leftKey(a) < leftKey(b);
        });
        for (auto& line : row)
            ordered.push_back(std::move(line));
    }
    return ordered;
}

std::optional<QString> recognize(const QImage& image)
{
    std::vector<RecognizedTextLine> lines;
    for (detail::Line& line : detail::readLines(image, detail::Reading::corrected, detail::Layout::scattered))
        lines.push_back({std::move(line.text), line.bounds});
    QStringList texts;
    for (const RecognizedTextLine& line : readingOrder(std::move(lines)))
        texts.append(line.text);
    const QString joined = texts.join(u'\n');
    if (joined.isEmpty())
        return std::nullopt;
    return joined;
}

namespace detail {

void checkReadableSize(const QSize& size)
{
    const qint64 pixels = qint64(size.width()) * qint64(size.height());
    if (size.width() > maxSide || size.height() > maxSide || pixels > maxPixels)
        throw TarnwickError::message(QStringLiteral(
            "Изображение слишком большое для распознавания текста. Выделите область поменьше."));
}

std::vector<WordRun> mergedReadings(std::vector<std::vector<WordRun>> readings)
{
    std::vector<WordRun> merged;
    for (std::vector<WordRun>& line : rowsByLine(std::move(readings))) {
        // On a tie the earlier language wins.
        size_t best = 0;
        for (size_t i = 1; i < line.size(); ++i)
            if (rowScore(line[i]) > rowScore(line[best]))
                best = i;
        WordRun row = std::move(line[best]);
        if (row.words.empty()) {
            merged.push_back(std::move(row));
            continue;
        }
        std::vector<ReadWord> alternatives;
        for (size_t i = 0; i < line.size(); ++i)
            if (i != best)
                alternatives.insert(alternatives.end(), line[i].words.begin(), line[i].words.end());
        std::stable_sort(alternatives.begin(), alternatives.end(),
            [](const ReadWord& a, const ReadWord& b) { return a.confidence > b.confidence; });
        putInBetterWords(row, row.words.front().language, alternatives);
        settleShortWords(row, alternatives);
        QStringList texts;
        for (const ReadWord& word : row.words)
            texts.append(word.text);
        row.text = texts.join(u' ');
        merged.push_back(std::move(row));
    }
    return merged;
}

std::vector<Line> readLines(const QImage& image, Reading reading, Layout layout, const std::function<bool()>& isCancelled)
{
    // Nothing readable fits in fewer than three pixels a side.
    if (image.isNull() || image.width() < 3 || image.height() < 3)
        return {};
    checkReadableSize(image.size());
    if (isCancelled && isCancelled())
        throw CancellationError();

    const DataSetup setup = currentSetup();
    PolarityViews views = polarityViews(readableGrey(image), layout == Layout::scattered);
    // Ink rows a band holds at least. Two lines of ordinary screen text; thinner bands
    // read worse. Text under 14 px, enlarged two and a half times and more, reads far
    // better as a block, which takes its line and word spacing from all its lines.
    // With all languages in one engine such a view is cut only where each band keeps
    // about four lines; read once per language, on as many threads, it is cut where
    // each band keeps two, so that the passes of all languages run at once.
    int leastInkRows = 40;
    bool small = false;
    // The views as shown, before they are enlarged.
    const PolarityViews shown = views;
    double factor = 1;
    if (layout == Layout::scattered) {
        // Boxes come back in the unit square of the enlarged view, the same as the image's.
        const int height = textHeight(views.main);
        factor = enlargement(height, views.main.size());
        small = smallText(height);
        views.main = enlarged(views.main, factor);
        if (views.other)
            views.other = enlarged(*views.other, factor);
    }
    // Small screen text is read letter by letter again where its glyphs repeat.
    const bool compareGlyphs = small && reading == Reading::corrected;
    std::vector<std::string> languages{setup.languages};
    if (small && reading == Reading::corrected)
        languages = singleLanguages(setup);
    if (small)
        leastInkRows = languages.size() > 1 ? 60 : 120;
    // Independent parts (bands of lines, the areas of the other polarity) are read at
    // once, each on a thread with a warm engine, and merged in view order.
    ReadingPool& pool = ReadingPool::shared();
    const int threads = pool.helpers() + 1;
    std::vector<Band> parts;
    if (layout == Layout::scattered)
        parts = bands(views.main, std::max(1, threads / int(languages.size()) - (views.other ? 1 : 0)), leastInkRows);
    else
        parts.push_back({views.main, 0});
    if (views.other)
        parts.push_back({*views.other, 0});
    const tesseract::PageSegMode mode = layout == Layout::scattered ? tesseract::PSM_SINGLE_BLOCK : tesseract::PSM_SINGLE_LINE;
    // Rows of each part in each language.
    std::vector<std::vector<std::vector<WordRun>>> read(parts.size(), std::vector<std::vector<WordRun>>(languages.size()));
    std::vector<std::function<void()>> tasks;
    for (size_t i = 0; i < parts.size(); ++i)
        for (size_t k = 0; k < languages.size(); ++k)
            tasks.push_back([&, i, k] {
                LentEngine engine(setup, reading, languages[k]);
                tesseract::TessBaseAPI& api = engine.api();
                api.SetPageSegMode(mode);
                std::vector<WordRun>& rows = read[i][k];
                rows = readView(api, parts[i].image, isCancelled, compareGlyphs);
                for (WordRun& piece : rows) {
                    piece.box.translate(0, parts[i].top);
                    for (ReadWord& word : piece.words) {
                        word.box.translate(0, parts[i].top);
                        for (ReadSymbol& symbol : word.symbols)
                            symbol.box.translate(0, parts[i].top);
                    }
                }
            });
    pool.runAll(tasks);
    // The rows of the main view's bands, then those of the other polarity's areas.
    const size_t mainParts = parts.size() - (views.other ? 1 : 0);
    std::array<std::vector<WordRun>, 2> rowsOfView;
    for (size_t i = 0; i < read.size(); ++i) {
        std::vector<WordRun> rows = read[i].size() == 1 ? std::move(read[i].front()) : mergedReadings(std::move(read[i]));
        std::move(rows.begin(), rows.end(), std::back_inserter(rowsOfView[i < mainParts ? 0 : 1]));
    }
    std::vector<WordRun> pieces;
    for (size_t v = 0; v < rowsOfView.size(); ++v) {
        std::vector<WordRun>& rows = rowsOfView[v];
        if (compareGlyphs)
            readAlikeGlyphsAlike(rows, v == 0 ? shown.main : shown.other.value_or(QImage()), factor);
        if (layout == Layout::scattered)
            rows = splitAtColumnGaps(std::move(rows));
        std::move(rows.begin(), rows.end(), std::back_inserter(pieces));
    }

    const int w = views.main.width();
    const int h = views.main.height();
    std::vector<Line> lines;
    for (WordRun& piece : joinedLines(std::move(pieces))) {
        Line line;
        line.text = std::move(piece.text);
        line.bounds = recognizerBox(piece.box, w, h);
        for (ReadWord& word : piece.words)
            line.words.push_back({std::move(word.text), recognizerBox(word.box, w, h)});
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace detail

} // namespace tarnwick::ScreenTextRecognizer
