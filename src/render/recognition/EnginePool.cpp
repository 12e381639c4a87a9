// The language data, the warm engines of each kind and the threads that read with them.

#include "render/recognition/ReadingStages.h"

#include "platform/TarnwickError.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

#include <tesseract/baseapi.h>

#include <dlfcn.h>
#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <exception>
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

namespace stages {

namespace {

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

} // namespace

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

namespace {

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

} // namespace

struct Engine {
    QString path;
    std::string languages;
    detail::Reading reading;
    tesseract::TessBaseAPI api;
};

std::vector<std::string> singleLanguages(const DataSetup& setup)
{
    std::vector<std::string> names;
    for (const QString& name : QString::fromStdString(setup.languages).split(u'+', Qt::SkipEmptyParts))
        names.push_back(name.toStdString());
    return names;
}

namespace {

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
            // The engine given back last: its models are still in the caches, and the
            // engines a many-part picture started stay aside until one comes again.
            for (auto it = free_.rbegin(); it != free_.rend(); ++it) {
                if ((*it)->reading == reading && (*it)->languages == languages) {
                    std::unique_ptr<Engine> engine = std::move(*it);
                    free_.erase(std::next(it).base());
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

} // namespace

LentEngine::LentEngine(const DataSetup& setup, Reading reading, const std::string& languages)
    : engine_(EnginePool::shared().take(setup, reading, languages))
{
}

LentEngine::~LentEngine() { EnginePool::shared().give(std::move(engine_)); }

tesseract::TessBaseAPI& LentEngine::api() { return engine_->api; }

namespace {

// Reading threads that stay, so that independent parts of one picture are read at
// once, each with a warm engine of the pool. A view is cut into bands for three
// readers beside the caller: more bands are too thin to read as well. The pieces of
// other text sizes and the areas of the other polarity come on top of those bands,
// so up to seven threads read beside the caller where the machine has the cores.
// Never destroyed: other queues may still be reading while the process exits.
class ReadingPoolThreads {
public:
    static ReadingPoolThreads& shared()
    {
        static ReadingPoolThreads* const pool
            = new ReadingPoolThreads(int(std::clamp(std::thread::hardware_concurrency(), 2u, 8u)) - 1);
        return *pool;
    }

    // Readers beside the caller that a view's bands are cut for.
    int helpers() const { return std::min(int(workers_.size()), bandReaders); }
    int runners() const { return int(workers_.size()) + 1; }

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
        // One thread a job, the bands' readers first: the same few threads read again
        // and again with warm caches, and the others wake only for jobs beyond those.
        for (size_t i = 1; i < tasks.size(); ++i)
            (int(i) <= bandReaders ? wake_ : spill_).notify_one();
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
    explicit ReadingPoolThreads(int count)
    {
        for (int i = 0; i < count; ++i)
            workers_.emplace_back([this, i] { run(i < bandReaders ? wake_ : spill_); });
    }

    void run(std::condition_variable& wake)
    {
        pthread_setname_np(pthread_self(), "tarnwick-ocr");
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                wake.wait(lock, [this] { return !jobs_.empty(); });
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    static constexpr int bandReaders = 3;
    std::mutex mutex_;
    std::condition_variable wake_;  // the bands' readers
    std::condition_variable spill_; // the others
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> workers_;
};

} // namespace

namespace ReadingPool {

int helpers() { return ReadingPoolThreads::shared().helpers(); }

int runners() { return ReadingPoolThreads::shared().runners(); }

void runAll(const std::vector<std::function<void()>>& tasks) { ReadingPoolThreads::shared().runAll(tasks); }

} // namespace ReadingPool

} // namespace stages

} // namespace tarnwick::ScreenTextRecognizer
