// ScreenTextRecognizer on the real Tesseract: reading, reading order, languages, bad input.

#include "RenderTestSupport.h"

#include "render/recognition/GreyImage.h"
#include "render/recognition/ScreenTextRecognizer.h"
#include "support/EditDistance.h"
#include "support/SmallTextPicture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include <thread>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// One line of text with a 20-pixel margin all round.
QImage renderedLine(const QString& text, int pixelSize, QColor ink = Qt::black, QColor paper = Qt::white)
{
    const QFontMetrics metrics(sans(pixelSize));
    return textImage(metrics.horizontalAdvance(text) + 40, metrics.height() + 40, text, pixelSize,
                     QPointF(20, 20 + metrics.ascent()), ink, paper);
}

// What a reader compares: ё read as е and runs of blanks as one space.
QString folded(QString text)
{
    text.replace(QChar(0x0451), QChar(0x0435)).replace(QChar(0x0401), QChar(0x0415));
    return text.simplified();
}

// Lines of text in `family` at `size` px, two sizes apart, on a white canvas `columns`
// sizes wide.
QImage paintedLines(const QStringList& lines, const char* family, int size, int columns)
{
    QFont font(family);
    font.setPixelSize(size);
    QImage image = canvas(columns * size, 2 * size * int(lines.size() + 1));
    paint(image, [&](QPainter& p) {
        p.setFont(font);
        for (int i = 0; i < lines.size(); ++i)
            p.drawText(size, 2 * size * (i + 1), lines[i]);
    });
    return image;
}

QStringList recognizedLines(const QImage& image) { return ScreenTextRecognizer::recognize(image).value_or(QString()).split(u'\n'); }

// Points the recogniser at another data folder for the length of a test.
struct DataFolder {
    const QByteArray saved = qgetenv("TESSDATA_PREFIX");
    const bool had = qEnvironmentVariableIsSet("TESSDATA_PREFIX");
    explicit DataFolder(const QString& path) { qputenv("TESSDATA_PREFIX", path.toLocal8Bit()); }
    ~DataFolder() { had ? qputenv("TESSDATA_PREFIX", saved) : qunsetenv("TESSDATA_PREFIX"); }
};

} // namespace

TEST(ScreenTextRecognizer, ReadsLightTextOnADarkPanelBesideDarkText)
{
    // A window half light, half dark, with small text on both.
    QImage image = canvas(1000, 260, QColor(246, 247, 249));
    paint(image, [](QPainter& p) {
        p.fillRect(500, 0, 500, 260, QColor(32, 33, 36));
        p.setFont(sans(13));
        for (int i = 0; i < 8; ++i) {
            p.setPen(QColor(90, 90, 90));
            p.drawText(20, 30 + 30 * i, QString("Левая строка номер %1 с текстом").arg(i + 1));
            p.setPen(QColor(230, 230, 230));
            p.drawText(520, 30 + 30 * i, QString("Правая строка номер %1 на тёмном").arg(i + 1));
        }
    });
    const auto text = ScreenTextRecognizer::recognize(image);
    ASSERT_TRUE(text);
    const QStringList lines = text->split(u'\n');
    ASSERT_EQ(lines.size(), 16) << text->toStdString();
    for (int i = 0; i < 8; ++i) {
        // Row by row: the light side, then the dark side.
        EXPECT_TRUE(folded(lines[2 * i]).startsWith("Левая строка")) << lines[2 * i].toStdString();
        EXPECT_EQ(folded(lines[2 * i + 1]), QString("Правая строка номер %1 на темном").arg(i + 1));
    }
}

TEST(ScreenTextRecognizer, ADarkBarOffTheCellGridLeavesNoJunkLine)
{
    // A chat window: a 40-pixel title bar, then messages on white.
    const QString message = "Привет, во сколько сегодня встреча в переговорной";
    QImage image = canvas(960, 300);
    paint(image, [&](QPainter& p) {
        p.fillRect(0, 0, 960, 40, QColor(38, 42, 51));
        p.setFont(sans(15, true));
        p.setPen(Qt::white);
        p.drawText(20, 26, "Рабочий чат");
        p.drawText(700, 26, "в сети");
        p.setFont(sans(14));
        p.setPen(QColor(30, 30, 30));
        for (int i = 0; i < 5; ++i)
            p.drawText(20, 70 + 45 * i, message);
    });
    const auto text = ScreenTextRecognizer::recognize(image);
    ASSERT_TRUE(text);
    const QStringList lines = text->split(u'\n');
    ASSERT_EQ(lines.size(), 7) << text->toStdString();
    for (const QString& line : lines.mid(2))
        EXPECT_EQ(line.toLower(), message.toLower());
}

TEST(ScreenTextRecognizer, LanguagesStartWithRussian)
{
    EXPECT_EQ(ScreenTextRecognizer::chooseLanguages({"de-DE", "en-US", "ru-RU", "uk-UA"}, {"uk", "fr-FR"}),
              QStringList({"ru-RU", "en-US", "uk-UA"}));
    EXPECT_EQ(ScreenTextRecognizer::languageIdentifier("rus"), QString("ru-RU"));
}

TEST(ScreenTextRecognizer, MissingDataOrBadImagesGiveAClearErrorOrNoTextAndWithDataEveryRussianLetterIsRead)
{
    const QString sentence = QStringLiteral("Съешь же этих мягких французских булок, да выпей чаю.");
    const QImage image = renderedLine(sentence, 28);
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    {
        DataFolder folder(empty.path());
        EXPECT_EQ(errorOf([&] { ScreenTextRecognizer::recognize(image); }),
                  "Нет данных для распознавания текста. Установите пакеты tesseract-ocr-rus и tesseract-ocr-eng.");
    }
    // With the data back the same thread reads again.
    EXPECT_EQ(folded(ScreenTextRecognizer::recognize(image).value_or(QString())), sentence);

    // Bad images give no text or a clear error.
    EXPECT_FALSE(ScreenTextRecognizer::recognize(QImage()));
    EXPECT_FALSE(ScreenTextRecognizer::recognize(canvas(400, 120)));
    // Never touched: refused by its size before any pixel is read.
    QImage huge(20000, 20000, QImage::Format_Grayscale8);
    EXPECT_EQ(errorOf([&] { ScreenTextRecognizer::recognize(huge); }),
              "Изображение слишком большое для распознавания текста. Выделите область поменьше.");
}

TEST(ScreenTextRecognizer, ReadingAgainStartsNoThreads)
{
    // Neither OpenMP helpers inside Tesseract nor fresh reading threads may pile up over
    // calls. Qt's own pool, which scales and converts big images, grows with the load
    // of the moment up to its bound and lets idle threads go: it is counted apart.
    struct Threads {
        QStringList own;
        int pooled = 0;
    };
    auto threads = [] {
        Threads found;
        for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile comm("/proc/self/task/" + task + "/comm");
            if (!comm.open(QIODevice::ReadOnly))
                continue; // ended while being listed
            const QString name = QString::fromUtf8(comm.readAll()).trimmed();
            if (name == "Thread (pooled)")
                ++found.pooled;
            else
                found.own << name;
        }
        found.own.sort();
        return found;
    };
    QImage page = canvas(700, 400);
    paint(page, [](QPainter& p) {
        p.setFont(sans(24));
        for (int i = 0; i < 8; ++i)
            p.drawText(20, 40 + 45 * i, QString("Строка %1: one more line of text").arg(i + 1));
    });
    const auto first = ScreenTextRecognizer::recognize(page); // the reading threads start once
    ASSERT_TRUE(first);
    const Threads before = threads();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ScreenTextRecognizer::recognize(page), first);
    const Threads after = threads();
    EXPECT_EQ(after.own.join(',').toStdString(), before.own.join(',').toStdString());
    EXPECT_LE(after.pooled, QThreadPool::globalInstance()->maxThreadCount());
}

TEST(ScreenTextRecognizer, SmallScreenTextIsReadWholeAndBoxedWhereItStands)
{
    const QStringList sentences{"Файл сохранён в папке «Загрузки», размер 12,4 МБ.",
                                "Build finished: 3 warnings, 0 errors in 41.7 seconds."};
    for (int size : {11, 13}) {
        QImage image = canvas(40 * size, 5 * size);
        paint(image, [&](QPainter& p) {
            p.setFont(sans(size));
            p.drawText(size, 2 * size, sentences[0]);
            p.drawText(size, 4 * size, sentences[1]);
        });
        EXPECT_EQ(ScreenTextRecognizer::recognize(image), sentences.join(u'\n')) << size;
        using namespace ScreenTextRecognizer::detail;
        for (const Line& line : readLines(image, Reading::corrected, Layout::scattered)) {
            // Pixels again: top = (1 − maxY)·H; the baseline of its own sentence lies inside.
            const double top = (1 - line.bounds.bottom()) * image.height(), bottom = (1 - line.bounds.top()) * image.height();
            const int baseline = line.text.startsWith(u'Ф') ? 2 * size : 4 * size;
            EXPECT_NEAR(line.bounds.left() * image.width(), size, 3) << size;
            EXPECT_TRUE(top > baseline - size && top < baseline - size / 2 && bottom > baseline && bottom < baseline + size / 2)
                << size << ": " << top << "–" << bottom;
        }
    }
}

TEST(ScreenTextRecognizer, TextInACornerOfALargePageIsBoxedWhereItStands)
{
    // A heading and small lines far from the page's origin, read as parts cut down to
    // their ink: the boxes must come back in the page's own pixels.
    const int left = 900;
    const std::vector<std::pair<QString, int>> rows{{"Быстрый старт", 560}, {"Размытие скрывает текст и лица.", 600},
                                                   {"The editor opens after each capture.", 622}};
    QImage page = canvas(1400, 800);
    paint(page, [&](QPainter& p) {
        for (const auto& [text, baseline] : rows) {
            p.setFont(sans(baseline == 560 ? 28 : 13, baseline == 560));
            p.drawText(left, baseline, text);
        }
    });
    using namespace ScreenTextRecognizer::detail;
    const std::vector<Line> lines = readLines(page, Reading::corrected, Layout::scattered);
    ASSERT_EQ(lines.size(), rows.size());
    for (const Line& line : lines) {
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.first == line.text; });
        ASSERT_NE(row, rows.end()) << line.text.toStdString();
        const double top = (1 - line.bounds.bottom()) * page.height(), bottom = (1 - line.bounds.top()) * page.height();
        EXPECT_NEAR(line.bounds.left() * page.width(), left, 4) << line.text.toStdString();
        EXPECT_TRUE(top < row->second && bottom > row->second - 4 && bottom < row->second + 10)
            << line.text.toStdString() << ": " << top << "–" << bottom;
    }
}

namespace {

// The character error rate, in per cent, blanks and line breaks folded to one space.
double characterError(const QString& got, const QString& want)
{
    return test::characterErrorRate(folded(got), folded(want));
}

} // namespace

TEST(ScreenTextRecognizer, SmallTextAndAListingInColumnsAreReadRowByRowWithTheirBoxesWhereTheyStand)
{
    // Two sentences and an `ls` listing in five columns, as windows and terminals show them.
    using test::SmallTextPicture;
    const QList<QStringList>& listing = SmallTextPicture::listing;

    struct Case {
        int size;
        bool mono;
        bool smooth;
        double mostError; // per cent; one character is 0.57 %
    };
    // Smoothed UI text reads within one or two letters, and so does the terminal
    // font, whose "l" at the start of a word the engine reads as "L" or "1" ("Lib32",
    // "1ib64") unless the same glyph read inside "old" and "Build" settles it. Unsmoothed
    // 9–11 px text loses a letter here and there ("wamings", "srv" as "av"), so those
    // cases allow a few letters more; the mean stays within two per cent, and every
    // case keeps the row order.
    const Case cases[] = {
        {9, false, true, 1.2}, {11, false, true, 0.6}, {13, false, true, 0.6},
        {9, false, false, 4.0}, {11, false, false, 3.5}, {13, false, false, 0.6},
        {9, true, true, 3.5}, {11, true, true, 2.3}, {13, true, true, 1.2},
        {9, true, false, 3.5}, {11, true, false, 3.5}, {13, true, false, 1.2},
    };
    double errorSum = 0;
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.size) + (c.mono ? " px mono" : " px sans") + (c.smooth ? " smooth" : " sharp");
        const SmallTextPicture picture{c.size, c.mono, c.smooth};
        const QImage image = picture.image();

        const QString text = ScreenTextRecognizer::recognize(image).value_or(QString());
        const double error = characterError(text, SmallTextPicture::wanted());
        errorSum += error;
        EXPECT_LE(error, c.mostError) << name << ":\n" << text.toStdString();
        // Row by row: the end of each row comes before the start of the next. A cell
        // is found as read or, misread by one letter ("ald"), as the nearest line.
        const QStringList lines = text.split(u'\n');
        const auto at = [&](const char* word) {
            const QString cell = QString::fromLatin1(word);
            qsizetype nearest = lines.indexOf(cell);
            for (qsizetype i = 0; i < lines.size() && nearest < 0; ++i)
                if (lines[i].size() == cell.size() && test::editDistance(lines[i], cell) <= 1)
                    nearest = i;
            return nearest;
        };
        EXPECT_TRUE(at("old") >= 0 && at("root") > at("old") && at("boot") > at("root") && at("opt") > at("boot")
                    && at("run") > at("opt") && at("etc") > at("run") && at("media") > at("etc"))
            << name << ":\n" << text.toStdString();

        // Each cell read as written is boxed on its own, where it stands on the screen.
        using namespace ScreenTextRecognizer::detail;
        int boxed = 0;
        for (const Line& read : readLines(image, Reading::corrected, Layout::scattered)) {
            for (int row = 0; row < listing.size(); ++row) {
                const int i = int(listing[row].indexOf(read.text));
                if (i < 0)
                    continue;
                ++boxed;
                const double left = read.bounds.left() * image.width();
                const double top = (1 - read.bounds.bottom()) * image.height();
                const double bottom = (1 - read.bounds.top()) * image.height();
                EXPECT_NEAR(left, picture.column(i), 2) << name << ": " << read.text.toStdString();
                const int baseline = picture.baseline(row);
                EXPECT_TRUE(top > baseline - c.size - 2 && top < baseline - c.size / 3 && bottom >= baseline - 1
                            && bottom < baseline + c.size / 2)
                    << name << ": " << read.text.toStdString() << " " << top << "–" << bottom;
            }
        }
        EXPECT_GE(boxed, 10) << name;
    }
    EXPECT_LE(errorSum / double(std::size(cases)), 2.0);
}

namespace {

// Lines in a terminal font at `size` px, sharp or smoothed, in `ink` on `ground`, on a
// picture `columns` characters wide.
QImage paintedTerminal(const QStringList& lines, int columns, int size, bool smooth, QColor ground, QColor ink)
{
    QFont font("DejaVu Sans Mono");
    font.setPixelSize(size);
    if (!smooth)
        font.setStyleStrategy(QFont::NoAntialias);
    const int line = size * 8 / 5;
    QImage image(columns * size, line * (int(lines.size()) + 2), QImage::Format_ARGB32_Premultiplied);
    image.fill(ground);
    {
        QPainter p(&image);
        p.setFont(font);
        p.setPen(ink);
        for (int i = 0; i < lines.size(); ++i)
            p.drawText(size, line * (i + 1), lines[i]);
    }
    return image;
}

// Three lines of C, light on dark or dark on light.
const QStringList codeLines{"int total = 0;", "for (int i = 1; i <= 10; i = i * 2)", "    total = total - i;"};

QImage paintedCode(int size, bool smooth, bool dark)
{
    return paintedTerminal(codeLines, 30, size, smooth, dark ? QColor(25, 28, 30) : QColor(250, 250, 250),
                           dark ? QColor(200, 220, 200) : QColor(30, 30, 30));
}

std::string codeName(int size, bool smooth, bool dark, const QString& text)
{
    return std::to_string(size) + (smooth ? " px smooth" : " px sharp") + (dark ? ", light on dark:\n" : ", dark on light:\n")
        + text.toStdString();
}

} // namespace

TEST(ScreenTextRecognizer, SmallTerminalTextReadsAGlyphAsItsCopiesInsideWordsAndKeepsCapitalsAndFigures)
{
    // A terminal font draws every "l" alike; the engine reads it right inside "all" and
    // "fill" and wrong at the start of "lib64" ("1ib64", "Lib64"). The capitals and
    // figures beside it ("Linux", "LICENSE", "11") are other glyphs and keep their reading.
    const QStringList lines{"Linux 6.1 Library list: all 11 files are in /usr/lib/x86_64-linux-gnu.",
                            "Illegal instruction in level 1, Lisa will fill the table at 10:41.",
                            "ISO 8601 I/O: I'll call Ilya later; LICENSE and lib64 still differ."};
    for (int size : {11, 12})
        for (bool smooth : {false, true}) {
            const QImage image = paintedTerminal(lines, 70, size, smooth, QColor(30, 30, 30), QColor(220, 220, 220));
            const QString text = ScreenTextRecognizer::recognize(image).value_or(QString());
            const QStringList words = text.simplified().split(u' ');
            const std::string name = std::to_string(size) + (smooth ? " px smooth:\n" : " px sharp:\n") + text.toStdString();
            for (const char* word : {"Linux", "Library", "11", "LICENSE", "lib64"})
                EXPECT_TRUE(words.contains(QString::fromLatin1(word))) << word << " in " << name;
            EXPECT_LE(characterError(text, lines.join(u'\n')), 3.0) << name;
        }
}

TEST(ScreenTextRecognizer, ALoneLetterInCodeReadsAsItsCopyBesideLettersAndFiguresStayFigures)
{
    // Read alone, a terminal font's "i" comes back as "1" with either language; the "i" of
    // "int" is the same glyph read beside letters. The figures "1" and "10" are other glyphs.
    for (int size : {12, 13, 14})
        for (bool smooth : {false, true})
            for (bool dark : {false, true}) {
                const QString text = ScreenTextRecognizer::recognize(paintedCode(size, smooth, dark)).value_or(QString());
                // Letters and figures: blanks and signs are other stages' business.
                const auto spelt = [](const QString& all) {
                    QString kept;
                    for (QChar c : all)
                        if (c.isLetterOrNumber())
                            kept += c;
                    return kept;
                };
                EXPECT_EQ(spelt(text), spelt(codeLines.join(u'\n'))) << codeName(size, smooth, dark, text);
            }
}

TEST(ScreenTextRecognizer, ALoneSignBetweenWordsOfCodeIsRead)
{
    // The "=" of "i = i * 2" stands in columns no other line inks, and is cut from its
    // words as a piece of its own: as a block the engine reads nothing there, and read
    // alone at 14 px sharp its two bars come out as one dash.
    for (int size : {12, 13, 14})
        for (bool smooth : {false, true})
            for (bool dark : {false, true}) {
                const QString text = ScreenTextRecognizer::recognize(paintedCode(size, smooth, dark)).value_or(QString());
                const QStringList lines = text.split(u'\n');
                ASSERT_EQ(lines.size(), 3) << codeName(size, smooth, dark, text);
                QString loop = lines[1];
                loop.remove(u' ');
                EXPECT_TRUE(loop.contains(QStringLiteral("i=i*2"))) << codeName(size, smooth, dark, text);
            }
}

TEST(ScreenTextRecognizer, AWaveIsATildeAndABarADash)
{
    // Dashes of every length stay dashes beside the tilde of a home folder.
    const QStringList lines{"Папка: ~/Музыка/Плейлисты", "Итог — 5-6 дней, файл ~/notes/todo.txt"};
    for (int size : {11, 13, 15, 17}) {
        const QStringList read = recognizedLines(paintedLines(lines, "DejaVu Sans", size, 40));
        ASSERT_EQ(read.size(), lines.size()) << size << " px:\n" << read.join(u'\n').toStdString();
        for (int i = 0; i < lines.size(); ++i)
            EXPECT_EQ(folded(read[i]), folded(lines[i])) << size << " px";
    }
}

TEST(ScreenTextRecognizer, ABarOnTheBaselineIsAnIAndOneBelowItAPipe)
{
    // The pipe of a command reaches below the baseline as far as a descender; an "I"
    // ending a row stands on the baseline of the word before it.
    const QStringList lines{"I agree to the terms", "cat notes.txt | grep I"};
    for (int size : {11, 13, 15}) {
        for (bool mono : {false, true}) {
            const QStringList read = recognizedLines(paintedLines(lines, mono ? "DejaVu Sans Mono" : "DejaVu Sans", size, 30));
            ASSERT_EQ(read.size(), lines.size()) << size << (mono ? " px mono:\n" : " px sans:\n") << read.join(u'\n').toStdString();
            for (int i = 0; i < lines.size(); ++i)
                EXPECT_EQ(folded(read[i]), lines[i]) << size << (mono ? " px mono" : " px sans");
        }
    }
}

TEST(ScreenTextRecognizer, ADoubledSignIsReadTwiceAndASingleOneOnce)
{
    const QStringList lines{"if (ready && done) total = mask & flags;", "value = items << 2; count = width < 3;"};
    for (int size : {11, 13, 15})
        for (bool mono : {false, true}) {
            const QStringList read = recognizedLines(paintedLines(lines, mono ? "DejaVu Sans Mono" : "DejaVu Sans", size, 30));
            ASSERT_EQ(read.size(), lines.size()) << size << (mono ? " px mono:\n" : " px sans:\n") << read.join(u'\n').toStdString();
            for (int i = 0; i < lines.size(); ++i)
                EXPECT_EQ(QString(read[i]).remove(u' '), QString(lines[i]).remove(u' ')) << size << (mono ? " px mono" : " px sans");
        }
}

TEST(ScreenTextRecognizer, SmallTextKeepsEnglishWordsInRussianRowsAndRussianWordsInEnglishRows)
{
    // Each language reads the other's words as junk or as look-alike letters ("Соде",
    // "Apxus"); the words stay in their own script, and short words in the script of
    // the row around them ("в", "на", "to").
    const QStringList sentences{"Откройте файл settings.json в редакторе Visual Studio Code.",
                                "Папка Downloads заполнена на 93 процента.",
                                "Move the folder Документы to Архив before Friday."};
    for (int size : {9, 11, 13}) {
        for (bool mono : {false, true}) {
            const std::string name = std::to_string(size) + (mono ? " px mono" : " px sans");
            const QStringList lines = recognizedLines(paintedLines(sentences, mono ? "DejaVu Sans Mono" : "DejaVu Sans", size, 50));
            ASSERT_EQ(lines.size(), sentences.size()) << name << ":\n" << lines.join(u'\n').toStdString();
            for (int i = 0; i < sentences.size(); ++i)
                EXPECT_EQ(folded(lines[i]), folded(sentences[i])) << name;
        }
    }
}


namespace {

using ScreenTextRecognizer::detail::ReadWord;
using ScreenTextRecognizer::detail::WordRun;

// A word of a reading: its text, its left and right edges, confidence, and whether
// it is a dictionary word.
struct Read {
    const char* text;
    int left;
    int right;
    float confidence;
    bool dictionary = false;
};

// A row of words 20 pixels tall at `top`.
WordRun row(int top, std::initializer_list<Read> words)
{
    WordRun run;
    QStringList texts;
    for (const Read& word : words) {
        const QRect box(word.left, top, word.right - word.left, 20);
        run.words.push_back({QString::fromUtf8(word.text), box, word.confidence, word.dictionary});
        run.box = run.box.isNull() ? box : run.box.united(box);
        texts.append(QString::fromUtf8(word.text));
    }
    run.text = texts.join(u' ');
    return run;
}

} // namespace

TEST(ScreenTextRecognizer, ReadingsOfEachLanguageMergeIntoTheRowsAndWordsThatReadBest)
{
    // Readings as the Russian and the English engine gave them for small screen text.
    struct Case {
        const char* name;
        WordRun russian;
        WordRun english;
        QString merged;
    };
    const Case cases[] = {
        {"a surer Russian misreading stays out of an English row",
         row(0, {{"еггогз", 475, 561, 64}, {"т", 574, 598, 78, true}, {"41.7", 611, 676, 80}, {"5$.", 690, 710, 64}}),
         row(0, {{"errors", 475, 561, 90, true}, {"in", 574, 598, 28, true}, {"41.7", 611, 676, 85}, {"s.", 690, 710, 85}}),
         "errors in 41.7 s."},
        {"figures read for letters never take over",
         row(0, {{"и", 37, 92, 0, true}, {"11632", 339, 442, 94}, {"11664", 645, 747, 90}, {"019", 955, 1010, 86},
                 {"ГОО", 1264, 1332, 0, true}}),
         row(0, {{"bin", 37, 92, 97, true}, {"lib32", 339, 442, 77}, {"1ib64", 645, 747, 21}, {"old", 955, 1010, 97, true},
                 {"root", 1264, 1332, 97, true}}),
         "bin lib32 1ib64 old root"},
        {"an English name in a Russian row takes the place of the junk under it",
         row(0, {{"Откройте", 34, 204, 96, true}, {"файл", 217, 307, 96, true}, {"зе", 323, 366, 35, true},
                 {"т95.]5оп", 388, 533, 35}, {"в", 550, 566, 97, true}, {"редакторе", 580, 766, 93, true},
                 {"Соде.", 1012, 1105, 53}}),
         row(0, {{"Orkpotte", 34, 204, 0}, {"alin", 217, 307, 47, true}, {"settings.json", 321, 533, 89},
                 {"8", 550, 566, 47}, {"pegaxtope", 580, 766, 21}, {"Code.", 1012, 1105, 92, true}}),
         "Откройте файл settings.json в редакторе Code."},
        {"dictionary words of the other language win over junk that happens to be a word, and a word cut in two",
         row(0, {{"Откройте", 34, 188, 87, true}, {"файл", 201, 279, 96, true}, {"в", 507, 520, 97, true},
                 {"редакторе", 536, 708, 93, true}, {"Соде,", 933, 1017, 70}}),
         row(0, {{"OTKpolte", 34, 188, 46}, {"chain", 201, 279, 64, true}, {"settings.json", 298, 491, 93}, {"B", 507, 520, 89},
                 {"pegak", 542, 628, 88}, {"Tope", 642, 703, 97, true}, {"Visual", 719, 808, 96, true},
                 {"Studio", 823, 920, 97, true}, {"Code,", 933, 1017, 94, true}}),
         "Откройте файл settings.json в редакторе Visual Studio Code,"},
        {"of two dictionary words the row's stays unless the other is clearly surer",
         row(0, {{"{Ре", 196, 248, 41, true}, {"раде", 261, 334, 97, true}, {"а", 347, 376, 0, true}}),
         row(0, {{"the", 196, 248, 97, true}, {"page", 261, 334, 96, true}, {"at", 347, 376, 93, true}}),
         "the page at"},
        {"a sure short word keeps its language between words of the other",
         row(0, {{"Мое", 34, 112, 0, true}, {"{пе", 123, 175, 48, true}, {"дег", 185, 276, 25}, {"Документы", 290, 470, 97, true},
                 {"Фо", 484, 515, 58, true}, {"Архив", 525, 622, 93, true}, {"БеГоге", 638, 734, 11}}),
         row(0, {{"Move", 34, 112, 97, true}, {"the", 123, 175, 95, true}, {"folder", 185, 276, 96, true},
                 {"Doky", 290, 363, 71, true}, {"meHTbI", 371, 470, 51}, {"to", 484, 515, 93, true},
                 {"Apxue", 525, 622, 72}, {"before", 638, 734, 96, true}}),
         "Move the folder Документы to Архив before"},
        {"an unsure short word takes the language of the words around it",
         row(0, {{"Откройте", 0, 100, 96, true}, {"файл", 110, 160, 93, true}, {"\\15иа1", 170, 260, 15}, {"т", 270, 290, 60},
                 {"5+и410", 300, 390, 20}, {"редакторе", 400, 560, 93, true}}),
         row(0, {{"OTKpowte", 0, 100, 58}, {"gain", 110, 160, 40, true}, {"Visual", 170, 260, 96, true}, {"in", 270, 290, 90, true},
                 {"Studio", 300, 390, 96, true}, {"pegakTope", 400, 560, 47}}),
         "Откройте файл Visual in Studio редакторе"},
        {"a short word of the lists beats an unsure one where the row holds sentences of its language",
         row(0, {{"Версия", 0, 80, 96, true}, {"(риа", 90, 140, 39, true}, {"доступна", 150, 260, 96, true},
                 {"для", 270, 310, 93, true}, {"Ипих", 320, 380, 74}, {"и", 390, 405, 93, true}, {"МАпдо\\$.", 415, 520, 46}}),
         row(0, {{"Bepcua", 0, 80, 90}, {"(build", 90, 140, 96, true}, {"goctynHa", 150, 260, 74}, {"gna", 270, 310, 70, true},
                 {"Linux", 320, 380, 96, true}, {"uv", 390, 405, 47, true}, {"Windows.", 415, 520, 95, true}}),
         "Версия (build доступна для Linux и Windows."},
        {"a name the engine all but gave up on takes the other language's reading, signs with a few letters do not",
         row(0, {{"-ги-г--г--", 0, 100, 63}, {"аппа", 130, 170, 92}, {"изег$", 180, 230, 26}, {"Отчёт_за_ноябрь", 250, 400, 54}}),
         row(0, {{"-fw-r--r--", 0, 100, 14}, {"anna", 130, 170, 90, true}, {"users", 180, 230, 96, true},
                 {"OTYyéT_3a_HoA6pb", 250, 400, 6}}),
         "-fw-r--r-- anna users Отчёт_за_ноябрь"},
        {"a short word past a column gap takes no language from the words before it: two buttons",
         row(0, {{"Закрыть", 466, 603, 96, true}, {"ОК", 755, 802, 74, true}}),
         row(0, {{"3akpbiTb", 466, 603, 51}, {"OK", 755, 802, 96, true}}),
         "Закрыть OK"},
        {"a sure reading with figures amid its letters does not replace a word of the lists read half sure: a badge",
         row(0, {{"Баскир.1аг.97", 65, 267, 13}, {"В", 314, 326, 93, true}, {"работе", 343, 442, 53, true}}),
         row(0, {{"backup.tar.gz", 65, 267, 90}, {"Bpa6ote", 314, 442, 88}}),
         "backup.tar.gz В работе"},
        {"a sure look-alike over the words of a name parted at its dot does not take the name's type with it",
         row(0, {{"тоа1", 185, 262, 30}, {"Т1еа:", 276, 372, 39}, {"ВЕАОМЕ", 450, 643, 85}, {".", 575, 589, 84},
                 {"па", 610, 647, 84, true}}),
         row(0, {{"modified:", 185, 372, 96, true}, {"README.", 450, 643, 4, true}, {"md", 603, 647, 4, true}}),
         "modified: README. md"},
        {"a short word among words of its own language keeps its reading",
         row(0, {{"заполнена", 327, 496, 96, true}, {"на", 512, 546, 70, true}, {"процента.", 612, 771, 96, true}}),
         row(0, {{"sanonHeHa", 327, 496, 84}, {"Ha", 512, 546, 96, true}, {"NpoLeHTa.", 612, 771, 23}}),
         "заполнена на процента."},
    };
    using ScreenTextRecognizer::detail::mergedReadings;
    for (const Case& c : cases) {
        const std::vector<WordRun> merged = mergedReadings({{c.russian}, {c.english}});
        ASSERT_EQ(merged.size(), 1u) << c.name;
        EXPECT_EQ(merged.front().text, c.merged) << c.name;
        QStringList words;
        for (const ReadWord& word : merged.front().words)
            words.append(word.text);
        EXPECT_EQ(words.join(u' '), c.merged) << c.name; // the words are the text, in order
    }

    // Rows pair by line: a line only one language found is kept, and each line keeps its own words.
    const std::vector<WordRun> lines = mergedReadings({
        {row(0, {{"Файл", 33, 108, 96, true}, {"сохранён", 125, 272, 97, true}}), row(40, {{"Ып", 33, 74, 90}})},
        {row(40, {{"bin", 33, 74, 97, true}}), row(80, {{"boot", 33, 98, 97, true}})},
    });
    QStringList texts;
    for (const WordRun& line : lines)
        texts.append(line.text);
    EXPECT_EQ(texts, QStringList({"Файл сохранён", "bin", "boot"}));
}

namespace {

// The rows of a listing as the Russian and the English model read them, a line every
// 40 px: the same word of letters drawn alike in both scripts and the same owner in every
// row, with the English confidences given.
std::vector<WordRun> listingReadings(const std::vector<std::pair<float, float>>& english)
{
    std::vector<std::vector<WordRun>> readings(2);
    int top = 0;
    for (const auto& [word, owner] : english) {
        readings[0].push_back(row(top, {{"аппа", 100, 160, 92}, {"17631", 180, 250, 96}, {"сор", 270, 310, 96, true}}));
        readings[1].push_back(row(top, {{"anna", 100, 160, owner, true}, {"17631", 180, 250, 88}, {"cop", 270, 310, word, true}}));
        top += 40;
    }
    return ScreenTextRecognizer::detail::mergedReadings(std::move(readings));
}

QStringList textsOf(const std::vector<WordRun>& rows)
{
    QStringList texts;
    for (const WordRun& row : rows)
        texts.append(row.text);
    return texts;
}

} // namespace

TEST(ScreenTextRecognizer, WordsDrawnInManyRowsWeighTheirConfidencesTogether)
{
    // Each row alone is a tie between two dictionary words of the same glyphs («сор» and
    // "cop") and the English row keeps its own; over four rows the Russian reading is the surer one,
    // and every row takes it.
    EXPECT_EQ(textsOf(listingReadings({{95, 95}, {95, 95}, {89, 95}, {75, 95}})),
        QStringList(4, QStringLiteral("anna 17631 сор")));
    // One copy alone, or copies that the English model reads as surely, change nothing.
    EXPECT_EQ(textsOf(listingReadings({{95, 95}})), QStringList({"anna 17631 cop"}));
    EXPECT_EQ(textsOf(listingReadings({{96, 95}, {97, 95}, {95, 95}})), QStringList(3, QStringLiteral("anna 17631 cop")));
    // A name the English model reads unsure in one row but surely in the others keeps its
    // Latin reading there too, instead of the Russian model's sure look-alike.
    EXPECT_EQ(textsOf(listingReadings({{99, 95}, {99, 47}, {99, 95}})), QStringList(3, QStringLiteral("anna 17631 cop")));
}

namespace {

// A word as one engine read it, its symbols boxed where the glyphs on the screen
// stand: `shapes` gives each glyph's height (x: small letter, a: ascender or capital,
// d: descender), since the boxes are the glyphs', whatever letter was read.
ReadWord shapedWord(const char* text, const char* shapes, int left, int language, std::vector<bool> known)
{
    ReadWord word;
    word.text = QString::fromUtf8(text);
    word.language = language;
    word.confidence = 80;
    word.knownPieces = std::move(known);
    const QString shape = QString::fromLatin1(shapes);
    EXPECT_EQ(shape.size(), word.text.size()) << text;
    constexpr int advance = 12, xTop = 8, base = 20;
    for (qsizetype i = 0; i < word.text.size(); ++i) {
        const QChar s = i < shape.size() ? shape[i] : u'x';
        const int top = s == u'a' ? 0 : s == u'.' ? base - 3 : xTop;
        const int bottom = s == u'd' ? base + 6 : base;
        word.symbols.push_back({word.text.mid(i, 1), QRect(left + int(i) * advance, top, advance - 2, bottom - top)});
    }
    word.box = word.symbols.front().box;
    for (const auto& symbol : word.symbols)
        word.box = word.box.united(symbol.box);
    return word;
}

// The same word with the box of its symbol `at` stretched over the glyph before it as
// well: the engine read two glyphs as one there, or one twice.
ReadWord smeared(ReadWord word, size_t at)
{
    word.symbols[at].box = word.symbols[at].box.united(word.symbols[at - 1].box);
    return word;
}

// The same word found whole in the engine's word lists.
ReadWord listed(ReadWord word)
{
    word.dictionary = true;
    return word;
}

WordRun runOf(std::vector<ReadWord> words)
{
    WordRun run;
    QStringList texts;
    for (const ReadWord& word : words) {
        run.box = run.box.isNull() ? word.box : run.box.united(word.box);
        texts.append(word.text);
    }
    run.text = texts.join(u' ');
    run.words = std::move(words);
    return run;
}

// One name as the two engines read it, and what the merge must make of it.
struct NameCase {
    const char* name;
    std::vector<ReadWord> russian;
    std::vector<ReadWord> english;
    QString merged;
};

enum class Surer { russian, english };

// Merges the two readings, the `surer` one's words at confidence 90 so that its row comes first.
void expectMerged(const NameCase& c, Surer surer)
{
    std::vector<ReadWord> russian = c.russian, english = c.english;
    for (ReadWord& word : surer == Surer::russian ? russian : english)
        word.confidence = 90;
    const std::vector<WordRun> merged = ScreenTextRecognizer::detail::mergedReadings({{runOf(russian)}, {runOf(english)}});
    ASSERT_EQ(merged.size(), 1u) << c.name;
    EXPECT_EQ(merged.front().text, c.merged) << c.name;
    // The symbols still spell each word, for the comparison of glyphs afterwards.
    for (const ReadWord& word : merged.front().words) {
        QString spelt;
        for (const auto& symbol : word.symbols)
            spelt += symbol.text;
        EXPECT_EQ(spelt, word.text) << c.name;
    }
}

} // namespace

TEST(ScreenTextRecognizer, NamesAndPathsThatMixTheLanguagesTakeEachPieceFromTheReadingThatReadsItBest)
{
    // The Russian reading first, then the English one, as the engines give them for
    // one name; the pieces' word-list answers in the order of the pieces.
    const NameCase cases[] = {
        {"a Latin folder and extension round a Russian name: tall «т» and «а» are Latin letters, "
         "capitals standing as small letters are Cyrillic ones",
         {shapedWord("потез/черновик.та", "xxaxxaxxxxxxxx.xa", 0, 0, {false, true, true})},
         {shapedWord("notes/YepHoBuK.md", "xxaxxaxxxxxxxx.xa", 0, 1, {true, false, false})},
         "notes/черновик.md"},
        {"the same read with the English row: Russian folder name in a Latin path",
         {shapedWord("/поте/аппа/Снимки", "aaxxxaxxxxaaxxxxx", 0, 0, {false, false, true})},
         {shapedWord("/home/anna/CHumKu", "aaxxxaxxxxaaxxxxx", 0, 1, {true, true, false})},
         "/home/anna/Снимки"},
        {"a piece both languages read as a word follows the pieces beside it",
         {shapedWord("дата.сѕу", "axaxaxxx", 0, 0, {true, false})},
         {shapedWord("data.csv", "axaxaxxx", 0, 1, {true, false})},
         "data.csv"},
        {"a name the Russian engine cut in two is taken whole from the English reading, a piece both read as a word following its neighbour",
         {shapedWord("ВЕАОМЕ.", "aaaaaa.", 0, 0, {false}), shapedWord("та", "xa", 84, 0, {true})},
         {shapedWord("README.md", "aaaaaa.xa", 0, 1, {true, true})},
         "README.md"},
        {"a Russian name with a Latin extension keeps its Russian piece",
         {shapedWord("Презентация.ррх", "adxxxxxxdxx.ddx", 0, 0, {true, false})},
         {shapedWord("Mpe3eHtayna.pptx", "adxxxxxxdxx.ddax", 0, 1, {false, false})},
         "Презентация.pptx"},
        {"words the Russian engine parted at glyphs it could not read are one once a Latin piece is put in",
         {listed(shapedWord("план.", "xxxx.", 0, 0, {true})), shapedWord("Ех", "ax", 60, 0, {false})},
         {shapedWord("nnaH.txt", "xxxx.axa", 0, 1, {false, true})},
         "план.txt"},
        {"a number sign the English model reads as letters is taken with its figures from the Russian reading",
         {shapedWord("№17.40сх", "aaa.aaxx", 0, 0, {false, false})},
         {shapedWord("Ne17.docx", "aaaa.axxx", 0, 1, {false, false})},
         "№17.docx"},
        {"both readings shown wrong by their glyphs (a capital standing as a small letter, a short «f»): "
         "the row's reading stays",
         {shapedWord("-Ги-г--г--", "xxxxxxxxxx", 0, 0, {false, false, false})},
         {shapedWord("-fw-r--r--", "xxxxxxxxxx", 0, 1, {false, false, false})},
         "-fw-r--r--"},
        {"a letter boxed over its neighbour's glyph tells nothing of its height: the short «f» of «fw» "
         "for «rw», under a «w» boxed over both, leaves the row's reading as it is",
         {smeared(shapedWord("-ги-г--г--", ".xx.x..x..", 0, 0, {true, true, true}), 2)},
         {smeared(shapedWord("-fw-r--r--", ".xx.x..x..", 0, 1, {true, false, false}), 2)},
         "-fw-r--r--"},
    };
    // The English reading is the surer, so each row starts as the English one.
    for (const NameCase& c : cases)
        expectMerged(c, Surer::english);
}

namespace {

// The same word with every symbol boxed over the whole line, accents to descenders, as
// the engine boxes the glyphs at a word's end at times: its boxes tell nothing of heights.
ReadWord unplaced(ReadWord word)
{
    for (auto& symbol : word.symbols)
        symbol.box = QRect(symbol.box.left(), 0, symbol.box.width(), 26);
    word.box = QRect(word.box.left(), 0, word.box.width(), 26);
    return word;
}

// The same word with its last symbol boxed on over the glyphs up to the `glyphs`-th,
// which the engine dropped.
ReadWord boxedOver(ReadWord word, int glyphs)
{
    QRect& last = word.symbols.back().box;
    last.setRight(word.symbols.front().box.left() + glyphs * 12 - 3);
    word.box = word.box.united(last);
    return word;
}

// The same word boxed on to `right`, over the word after it, as the engine gives a word
// that a type parted from.
ReadWord boxedOnTo(ReadWord word, int right)
{
    word.box.setRight(right);
    return word;
}

} // namespace

TEST(ScreenTextRecognizer, APathWhoseTypeTheEnginesPartedAsAWordOfItsOwnIsStillMergedPieceByPiece)
{
    // A path in a terminal font: both engines part «отчёт.pdf» after its dot, the Russian
    // one with the dot as a word of its own. The Russian folder and file names come in,
    // the dot stays, the type keeps its Latin reading, which no box settles, and the
    // words are one, a cell a glyph.
    const std::vector<ReadWord> russian{
        boxedOnTo(shapedWord("/воте/1уап/Загрузки/отчёт", "aaxxxaaxxxaaxxdxxxxaxxxax", 0, 0, {false, false, true, true}), 29 * 12),
        shapedWord(".", ".", 25 * 12, 0, {}),
        listed(unplaced(shapedWord("рат", "dxx", 26 * 12, 0, {true}))),
    };
    const std::vector<ReadWord> english{
        boxedOnTo(shapedWord("/home/ivan/3arpy3ku/oTuét.", "aaxxxaaxxxaaxxdxxxxaxxxax.", 0, 1, {true, true, false, false}), 29 * 12),
        listed(unplaced(shapedWord("pdf", "dxx", 26 * 12, 1, {true}))),
    };
    expectMerged({"a path parted after its dot", russian, english, "/home/ivan/Загрузки/отчёт.pdf"}, Surer::english);

    // The same where the dot ends the English word alone: only the type is a word apart.
    const std::vector<ReadWord> russianJoined{
        boxedOnTo(shapedWord("/воте/1уап/Загрузки/отчёт.", "aaxxxaaxxxaaxxdxxxxaxxxax.", 0, 0, {false, false, true, true}), 29 * 12),
        listed(unplaced(shapedWord("рат", "dxx", 26 * 12, 0, {true}))),
    };
    expectMerged({"a type apart after a dot that ends its name's word", russianJoined, english, "/home/ivan/Загрузки/отчёт.pdf"},
        Surer::english);

    // A name the English engine parted after each sign, which the Russian one read as one
    // word: one word again, each piece from the reading that reads it best.
    expectMerged({"a name parted after its signs",
                     {shapedWord("р®поо_2024.]рд", "daxax.aaaa.ddd", 0, 0, {false, false, false, false})},
                     {listed(shapedWord("photo_", "daxax.", 0, 1, {true})), shapedWord("2024.", "aaaa.", 6 * 12, 1, {false}),
                         listed(shapedWord("jpg", "ddd", 11 * 12, 1, {true}))},
                     "photo_2024.jpg"},
        Surer::english);
}

namespace {

// The same word with its symbols from the `from`-th on a space further right, as the
// engine gives a word it ran on over a space.
ReadWord spacedAt(ReadWord word, size_t from)
{
    for (size_t k = from; k < word.symbols.size(); ++k)
        word.symbols[k].box.translate(12, 0);
    word.box = word.box.united(word.symbols.back().box);
    return word;
}

} // namespace

TEST(ScreenTextRecognizer, WordsAMonospaceFontLeavesNoBlankBetweenAreOneWord)
{
    // Code in a terminal font, one cell a glyph: both engines part "map.find(key);" after
    // its dot. The Russian model reads «тар.» surely, a word of its lists, and the rest as
    // junk; the English one reads every word at confidence 10. As one word, each piece
    // is weighed on its own and the pieces round «тар» settle it.
    auto sure = [](ReadWord word, float confidence) {
        word.confidence = confidence;
        return word;
    };
    auto code = [&](int findCell) {
        return ScreenTextRecognizer::detail::mergedReadings({
            {runOf({sure(listed(shapedWord("тар.", "xxd.", 0, 0, {true})), 74),
                sure(shapedWord("Г1п9(Кеу);", "aaxaaaxdax", findCell * 12, 0, {false, false}), 25)})},
            {runOf({sure(listed(shapedWord("map.", "xxd.", 0, 1, {true})), 10),
                sure(shapedWord("find(key);", "aaxaaaxdax", findCell * 12, 1, {true, true}), 10)})},
        });
    };
    const std::vector<WordRun> joined = code(4);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined.front().text, QStringLiteral("map.find(key);"));
    // A cell left blank after the dot is a space: the words stay apart.
    const std::vector<WordRun> spaced = code(5);
    ASSERT_EQ(spaced.size(), 1u);
    EXPECT_EQ(spaced.front().words.size(), 2u) << spaced.front().text.toStdString();
}

TEST(ScreenTextRecognizer, AFigureReadAsItsLookAlikeLetterAndRunOnOverASpaceIsAWordOfItsOwn)
{
    // A badge «3 новых»: the Russian model reads the figure as «З» and no space after it;
    // the English one reads "3" alone and the word after it in Latin look-alikes.
    ReadWord ranOn = spacedAt(shapedWord("Зновых", "axxxxx", 0, 0, {false}), 1);
    // The engine gives the glyph it read twice an empty symbol as well.
    ranOn.symbols.insert(ranOn.symbols.begin(), {QString(), QRect(0, 0, 1, 20)});
    expectMerged({"a figure run on over a space", {ranOn}, {shapedWord("3", "a", 0, 1, {}), shapedWord("HoBbIx", "xxxxxx", 24, 1, {false})},
                     "3 новых"},
        Surer::russian);
    // Figures the row reads as figures, run on over a space its own boxes show.
    expectMerged({"figures run on over a space", {spacedAt(shapedWord("0ошибок", "axxaxxx", 0, 0, {false}), 1)},
                     {spacedAt(shapedWord("Oowv6oK", "axxaxxx", 0, 1, {false}), 1)}, "0 ошибок"},
        Surer::russian);
    // In a row the English reading wins, the Russian reading parted so is the one that
    // reads the word after the figure.
    auto sure = [](ReadWord word, float confidence) {
        word.confidence = confidence;
        return word;
    };
    const std::vector<WordRun> merged = ScreenTextRecognizer::detail::mergedReadings({
        {runOf({sure(shapedWord("Агспмед", "axxaxxa", -120, 0, {false}), 43), sure(ranOn, 59)})},
        {runOf({sure(listed(shapedWord("Archived", "axxaxxxa", -120, 1, {true})), 81), sure(shapedWord("3", "a", 0, 1, {}), 67),
            sure(shapedWord("HoBbIXx", "xxxxxxx", 24, 1, {false}), 16)})},
    });
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged.front().text, QStringLiteral("Archived 3 новых"));
    // With no space between them in the row's own boxes the letter stays a letter, and a
    // figure no letter of the word is drawn like stays out.
    expectMerged({"a letter with no space after it", {shapedWord("Зал", "axx", 0, 0, {true})},
                     {shapedWord("3", "a", 0, 1, {}), shapedWord("an", "xx", 12, 1, {true})}, "Зал"},
        Surer::russian);
    expectMerged({"a letter unlike the figure", {spacedAt(shapedWord("Кновых", "axxxxx", 0, 0, {false}), 1)},
                     {shapedWord("3", "a", 0, 1, {}), shapedWord("HoBbIx", "xxxxxx", 24, 1, {false})}, "Кновых"},
        Surer::russian);
}

TEST(ScreenTextRecognizer, ANamesPiecesAreTakenWholeWhereTheRowsReadingCutDroppedOrMisreadThem)
{
    // A word the engine was unsure of, which gives way to no junk as a whole.
    auto unsure = [](ReadWord word) {
        word.confidence = 40;
        return word;
    };
    // The Russian reading is the row here (the surer one), the English one the other.
    const NameCase cases[] = {
        {"a file's type that no evidence settles is read in Latin letters, not in the stem's language",
         {shapedWord("Презентация.ррех", "adxxxxxxxxx.ddxx", 0, 0, {true, false})},
         {shapedWord("Npe3eHtayna.pptx", "adxxxxxxxxx.ddxx", 0, 1, {false, false})},
         "Презентация.pptx"},
        {"a number sign the English model reads as two letters stays a sign",
         {listed(shapedWord("Договор", "axxxxxd", 0, 0, {true})), shapedWord("№17.40сх", "aaa.aaxx", 96, 0, {false, false})},
         {shapedWord("Aorosop", "axxxxxd", 0, 1, {false}), shapedWord("Ne17.docx", "aaaa.axxx", 96, 1, {false, false})},
         "Договор №17.docx"},
        {"a number sign the English model reads as two letters stays a sign, though it reads the figure «1» as an «l»",
         {listed(shapedWord("Договор", "axxxxxd", 0, 0, {true})), shapedWord("№17.40сх", "aaa.aaxx", 96, 0, {false, false})},
         {shapedWord("Horosop", "axxxxxd", 0, 1, {false}), shapedWord("Nel7.docx", "aaaa.axxx", 96, 1, {false, false})},
         "Договор №17.docx"},
        {"a type the Russian engine dropped while it boxed the name's last glyph over it is taken from the English reading",
         {listed(shapedWord("план", "xxxx", 0, 0, {true})), listed(boxedOver(shapedWord("работ", "dxaxx", 60, 0, {true}), 9))},
         {shapedWord("nnaH", "xxxx", 0, 1, {false}), shapedWord("pabor.txt", "dxaxx.xxx", 60, 1, {false, true})},
         "план работ.txt"},
        {"a type the Russian engine dropped after the name is taken from the English reading",
         {listed(shapedWord("план", "xxxx", 0, 0, {true})), listed(shapedWord("работ", "dxaxx", 60, 0, {true}))},
         {shapedWord("nnaH", "xxxx", 0, 1, {false}), shapedWord("pabor.txt", "dxaxx.xxx", 60, 1, {false, true})},
         "план работ.txt"},
        {"a folder the Russian engine cut in two at a sign of its own is one piece, taken whole",
         {shapedWord("по{е5/черновик.та", "xxxxxaxxdxxxxx.xa", 0, 0, {false, false, true, true})},
         {unsure(shapedWord("notes/YepHoBuK.md", "xxxxxaxxdxxxxx.xa", 0, 1, {true, false, true}))},
         "notes/черновик.md"},
        {"a home folder's tilde the Russian engine read as a dash comes from the English reading with the folder",
         {shapedWord("—/по$е5/черновик.та", "xaxxxxxaxxdxxxxx.xa", 0, 0, {false, false, true, true})},
         {unsure(shapedWord("~/notes/YepHoBuK.md", "xaxxxxxaxxdxxxxx.xa", 0, 1, {true, false, true}))},
         "~/notes/черновик.md"},
        {"Latin capitals and a zero standing as small letters in a type are the small letters",
         {shapedWord("март.х!$х", "xxdx.xaxx", 0, 0, {true, false, false})},
         {shapedWord("MapT.xISx", "xxdx.xaxx", 0, 1, {false, false})},
         "март.xlsx"},
        {"a zero at the small letters' height before letters is an «o»",
         {shapedWord("бюджет.045", "axxxxx.xxx", 0, 0, {true, false})},
         {shapedWord("6ioDkeT.0ds", "axxaxx.xxax", 0, 1, {false, false})},
         "бюджет.ods"},
    };
    for (const NameCase& c : cases)
        expectMerged(c, Surer::russian);
}

TEST(ScreenTextRecognizer, LinesStandInOneRowByWhereTheirLettersStandNotByTheirInkBoxes)
{
    // Lines as read off docs pages at 1.25×, in pixels of a 1000 px square picture.
    auto line = [](const char* text, int x, int y, int w, int h) {
        return RecognizedTextLine{QString::fromUtf8(text), QRectF(x / 1000.0, 1 - (y + h) / 1000.0, w / 1000.0, h / 1000.0)};
    };
    auto texts = [](const std::vector<RecognizedTextLine>& lines) {
        QStringList out;
        for (const RecognizedTextLine& l : lines)
            out.append(l.text);
        return out;
    };
    // A sidebar item on the base line of a 25 px heading beside it: the heading's ink box
    // reaches higher, its middle a little more than half the item's height above the
    // item's, and it was put before the item in a row of its own.
    const std::vector<RecognizedTextLine> heading{line("Содержание", 73, 193, 97, 16), line("Changelog", 73, 227, 77, 16),
                                                   line("Установка", 423, 210, 211, 30), line("Лицензия", 73, 261, 74, 14),
                                                   line("Снимок экрана сохраняется в папку.", 422, 263, 525, 18)};
    EXPECT_EQ(texts(ScreenTextRecognizer::readingOrder(heading)),
              (QStringList{"Содержание", "Changelog", "Установка", "Лицензия", "Снимок экрана сохраняется в папку."}));
    // A sidebar item that stands below the middle of a line of text, by more than half
    // an em: rows of their own, the higher first.
    const std::vector<RecognizedTextLine> apart{line("Установка", 73, 193, 88, 12),
                                                 line("The editor opens after each capture unless you turn it off.", 421, 177, 548, 18)};
    EXPECT_EQ(texts(ScreenTextRecognizer::readingOrder(apart)),
              (QStringList{"The editor opens after each capture unless you turn it off.", "Установка"}));
}

TEST(ScreenTextRecognizer, PartsReadOnManyThreadsAndTwoPicturesReadAtOnceReadAsEachAlone)
{
    // Headings beside small lines, in two bands: eight parts to read at once, more than
    // the bands' readers, and a second picture read beside them on the same threads.
    QImage page = canvas(1100, 760);
    paint(page, [](QPainter& p) {
        for (int i = 0; i < 8; ++i) {
            p.setFont(sans(40, true));
            p.drawText(30, 70 + 90 * i, QString("Раздел %1").arg(i + 1));
            p.setFont(sans(12));
            p.drawText(620, 60 + 90 * i, QString("Настройки снимка, line %1 of the list").arg(i + 1));
        }
    });
    const QImage line = renderedLine("Файл report.pdf сохранён", 18);
    const auto pageAlone = ScreenTextRecognizer::recognize(page);
    const auto lineAlone = ScreenTextRecognizer::recognize(line);
    ASSERT_TRUE(pageAlone && lineAlone);
    EXPECT_EQ(pageAlone->count("Раздел"), 8) << pageAlone->toStdString();
    EXPECT_EQ(pageAlone->count("of the list"), 8) << pageAlone->toStdString();
    std::optional<QString> pageAtOnce, lineAtOnce;
    std::thread other([&] { lineAtOnce = ScreenTextRecognizer::recognize(line); });
    pageAtOnce = ScreenTextRecognizer::recognize(page);
    other.join();
    EXPECT_EQ(pageAtOnce, pageAlone);
    EXPECT_EQ(lineAtOnce, lineAlone);
}

TEST(GreyImage, TheBackgroundIsTheLevelOfMostPixelsInWhicheverColumnsTheyStand)
{
    // Every pixel a level of its own but one column's, and the bytes past each row's end
    // a level of their own too: that column's level is the background, at every width.
    for (int w = 1; w <= 9; ++w)
        for (int column = 0; column < w; ++column) {
            QImage grey(w, 5, QImage::Format_Grayscale8);
            for (int y = 0; y < grey.height(); ++y) {
                uchar* row = grey.scanLine(y);
                std::fill(row, row + grey.bytesPerLine(), uchar(250));
                for (int x = 0; x < w; ++x)
                    row[x] = x == column ? 7 : uchar(10 + 5 * x + y);
            }
            EXPECT_EQ(mostCommonGrey(grey), 7) << w << " " << column;
            // Of two levels as common, the darker.
            for (int y = 0; y < grey.height(); ++y)
                grey.scanLine(y)[w - 1 - column] = w == 1 ? 7 : 6;
            EXPECT_EQ(mostCommonGrey(grey), w == 1 ? 7 : 6) << w << " " << column;
        }
}
