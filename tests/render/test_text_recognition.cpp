// ScreenTextRecognizer on the real Tesseract: reading, reading order, languages, bad input.

#include "RenderTestSupport.h"

#include "render/ScreenTextRecognizer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
    // Neither OpenMP helpers inside Tesseract nor fresh reading threads may pile up over calls.
    auto threads = [] { return QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(); };
    QImage page = canvas(700, 400);
    paint(page, [](QPainter& p) {
        p.setFont(sans(24));
        for (int i = 0; i < 8; ++i)
            p.drawText(20, 40 + 45 * i, QString("Строка %1: one more line of text").arg(i + 1));
    });
    const auto first = ScreenTextRecognizer::recognize(page); // the reading threads start once
    ASSERT_TRUE(first);
    const qsizetype before = threads();
    EXPECT_EQ(ScreenTextRecognizer::recognize(page), first);
    EXPECT_EQ(threads(), before);
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
