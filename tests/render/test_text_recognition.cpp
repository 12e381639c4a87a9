#include "render/ScreenTextRecognizer.h"

#include "series/TarnwickError.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace tarnwick;

namespace {

QFont textFont(int pixelSize)
{
    QFont font("DejaVu Sans");
    font.setPixelSize(pixelSize);
    return font;
}

QImage renderedLine(const QString& text, int pixelSize, QColor ink, QColor paper)
{
    const QFontMetrics metrics(textFont(pixelSize));
    QImage image(metrics.horizontalAdvance(text) + 40, metrics.height() + 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(paper);
    QPainter p(&image);
    p.setFont(textFont(pixelSize));
    p.setPen(ink);
    p.drawText(20, 20 + metrics.ascent(), text);
    return image;
}

// What a reader compares: ё read as е and runs of blanks as one space.
QString folded(QString text)
{
    text.replace(QChar(0x0451), QChar(0x0435)).replace(QChar(0x0401), QChar(0x0415));
    return text.simplified();
}

RecognizedTextLine line(const char* text, double x, double y, double w, double h)
{
    return {QString::fromUtf8(text), QRectF(x, y, w, h)};
}

QStringList texts(const std::vector<RecognizedTextLine>& lines)
{
    QStringList out;
    for (const auto& l : lines)
        out.append(l.text);
    return out;
}

// Points the recogniser at another data folder for the length of a test.
class DataFolder {
public:
    explicit DataFolder(const QString& path) : saved_(qgetenv("TESSDATA_PREFIX")), had_(qEnvironmentVariableIsSet("TESSDATA_PREFIX"))
    {
        qputenv("TESSDATA_PREFIX", path.toLocal8Bit());
    }
    ~DataFolder()
    {
        if (had_)
            qputenv("TESSDATA_PREFIX", saved_);
        else
            qunsetenv("TESSDATA_PREFIX");
    }

private:
    QByteArray saved_;
    bool had_;
};

QString installedDataFile(const char* name)
{
    for (const char* dir : {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata"}) {
        const QString path = QString("%1/%2.traineddata").arg(dir, name);
        if (QFile::exists(path))
            return path;
    }
    return {};
}

std::string errorText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const TarnwickError& error) {
        return error.errorDescription().toStdString();
    }
    return "(no error)";
}

} // namespace

TEST(ScreenTextRecognizer, ReadsRussianSentenceDarkOnLightAndLightOnDark)
{
    const QString sentence = QStringLiteral("Съешь же этих мягких французских булок, да выпей чаю.");
    const auto dark = ScreenTextRecognizer::recognize(renderedLine(sentence, 28, Qt::black, Qt::white));
    ASSERT_TRUE(dark);
    EXPECT_EQ(folded(*dark).toStdString(), sentence.toStdString());
    // One line: trimmed, no line feed.
    EXPECT_FALSE(dark->contains(u'\n'));
    EXPECT_EQ(*dark, dark->trimmed());

    const auto light = ScreenTextRecognizer::recognize(renderedLine(sentence, 28, Qt::white, QColor(0x20, 0x21, 0x24)));
    ASSERT_TRUE(light);
    EXPECT_EQ(folded(*light).toStdString(), sentence.toStdString());
}

TEST(ScreenTextRecognizer, ReadsLightTextOnADarkPanelBesideDarkText)
{
    // A window half light, half dark, with small text on both.
    QImage image(1000, 260, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(246, 247, 249));
    QPainter p(&image);
    p.fillRect(500, 0, 500, 260, QColor(32, 33, 36));
    p.setFont(textFont(13));
    for (int i = 0; i < 8; ++i) {
        p.setPen(QColor(90, 90, 90));
        p.drawText(20, 30 + 30 * i, QString("Левая строка номер %1 с текстом").arg(i + 1));
        p.setPen(QColor(230, 230, 230));
        p.drawText(520, 30 + 30 * i, QString("Правая строка номер %1 на тёмном").arg(i + 1));
    }
    p.end();
    const auto text = ScreenTextRecognizer::recognize(image);
    ASSERT_TRUE(text);
    QStringList lines = text->split(u'\n');
    ASSERT_EQ(lines.size(), 16) << text->toStdString();
    for (QString& line : lines)
        line = folded(line);
    for (int i = 0; i < 8; ++i) {
        // Row by row: the light side, then the dark side.
        EXPECT_TRUE(lines[2 * i].startsWith("Левая строка")) << lines[2 * i].toStdString();
        EXPECT_EQ(lines[2 * i + 1].toStdString(), QString("Правая строка номер %1 на темном").arg(i + 1).toStdString());
    }
}

TEST(ScreenTextRecognizer, TwoColumnsComeBackRowByRow)
{
    const QStringList left{"Понедельник", "Вторник", "Среда"};
    const QStringList right{"January", "February", "March"};
    QImage image(900, 260, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(textFont(28));
    p.setPen(Qt::black);
    for (int i = 0; i < 3; ++i) {
        p.drawText(30, 60 + 70 * i, left[i]);
        p.drawText(560, 60 + 70 * i, right[i]);
    }
    p.end();
    const auto text = ScreenTextRecognizer::recognize(image);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->toStdString(), "Понедельник\nJanuary\nВторник\nFebruary\nСреда\nMarch");
}

TEST(ScreenTextRecognizer, ReadingOrderGroupsRowsByTheAnchorAtHalfTheSmallerHeight)
{
    // Centres exactly half the smaller height apart share a row, left to right.
    auto joined = ScreenTextRecognizer::readingOrder(
        {line("right", 0.5, 0.5, 0.2, 0.25), line("left", 0.1, 0.375, 0.2, 0.25)});
    EXPECT_EQ(texts(joined), QStringList({"left", "right"}));

    // A little further apart: two rows, the higher one first.
    auto split = ScreenTextRecognizer::readingOrder(
        {line("lower", 0.1, 0.37, 0.2, 0.25), line("upper", 0.5, 0.5, 0.2, 0.25)});
    EXPECT_EQ(texts(split), QStringList({"upper", "lower"}));

    // A tall heading and a small label to its left: the label's height sets the
    // tolerance, so a centre 0.0625 lower joins the heading's row and 0.1 lower does not.
    auto near = ScreenTextRecognizer::readingOrder(
        {line("heading", 0.3, 0.25, 0.4, 0.5), line("label", 0.05, 0.375, 0.1, 0.125)});
    EXPECT_EQ(texts(near), QStringList({"label", "heading"}));
    auto far = ScreenTextRecognizer::readingOrder(
        {line("heading", 0.3, 0.25, 0.4, 0.5), line("label", 0.05, 0.3375, 0.1, 0.125)});
    EXPECT_EQ(texts(far), QStringList({"heading", "label"}));

    // Only the anchor counts: c is close to b but not to the anchor a, so it does
    // not join their row although it stands left of both.
    auto chainedLeft = ScreenTextRecognizer::readingOrder({line("a", 0.3, 0.5, 0.1, 0.25),
        line("b", 0.5, 0.4375, 0.1, 0.25), line("c", 0.0, 0.3125, 0.1, 0.25)});
    EXPECT_EQ(texts(chainedLeft), QStringList({"a", "b", "c"}));

    // Full ties keep the recogniser's order.
    auto ties = ScreenTextRecognizer::readingOrder(
        {line("first", 0.1, 0.5, 0.2, 0.1), line("second", 0.1, 0.5, 0.3, 0.1), line("third", 0.1, 0.5, 0.1, 0.1)});
    EXPECT_EQ(texts(ties), QStringList({"first", "second", "third"}));

    EXPECT_TRUE(ScreenTextRecognizer::readingOrder({}).empty());
}

TEST(ScreenTextRecognizer, ReadingOrderSurvivesNonFiniteBoxes)
{
    const double nan = std::nan("");
    const double inf = INFINITY;
    auto ordered = ScreenTextRecognizer::readingOrder({line("nan", nan, nan, 0.1, 0.1), line("top", 0.1, 0.8, 0.2, 0.1),
        line("inf", inf, -inf, nan, inf), line("bottom", 0.1, 0.1, 0.2, 0.1)});
    ASSERT_EQ(ordered.size(), 4u);
    EXPECT_EQ(ordered[0].text, "top");
    EXPECT_EQ(ordered[1].text, "bottom");
}

TEST(ScreenTextRecognizer, LanguagesStartWithRussianAndEnglishThenTheUsersOwn)
{
    using ScreenTextRecognizer::chooseLanguages;
    const QStringList supported{"de-DE", "en-US", "en-GB", "ru-RU", "zh-Hans", "uk-UA"};
    EXPECT_EQ(chooseLanguages(supported, {"en-GB", "de-AT", "fr-FR", "uk", "zh-Hans-CN", "de-CH", "C", ""}),
        QStringList({"ru-RU", "en-US", "en-GB", "de-DE", "uk-UA", "zh-Hans"}));
    // A British preference adds the first English entry when British English is not there.
    EXPECT_EQ(chooseLanguages({"de-DE", "en-US", "ru-RU"}, {"en-GB"}), QStringList({"ru-RU", "en-US"}));
    EXPECT_EQ(chooseLanguages({"en-AU", "en-US"}, {}), QStringList({"en-US"}));
    EXPECT_EQ(chooseLanguages({"en-AU", "ru-UA"}, {}), QStringList({"ru-UA", "en-AU"}));
    EXPECT_TRUE(chooseLanguages({}, {"ru-RU", "en-US"}).isEmpty());

    EXPECT_EQ(ScreenTextRecognizer::languageIdentifier("rus"), "ru-RU");
    EXPECT_EQ(ScreenTextRecognizer::languageIdentifier("eng"), "en-US");
    EXPECT_EQ(ScreenTextRecognizer::languageIdentifier("ukr"), "uk-UA");
    EXPECT_TRUE(ScreenTextRecognizer::languageIdentifier("osd").isEmpty());
    EXPECT_TRUE(ScreenTextRecognizer::languageIdentifier("").isEmpty());
}

TEST(ScreenTextRecognizer, MissingLanguageDataNamesThePackageToInstall)
{
    const QImage image = renderedLine("Проверка", 28, Qt::black, Qt::white);
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    {
        DataFolder folder(empty.path());
        EXPECT_EQ(errorText([&] { ScreenTextRecognizer::recognize(image); }),
            "Нет данных для распознавания текста. Установите пакеты tesseract-ocr-rus и tesseract-ocr-eng.");
    }

    const QString english = installedDataFile("eng");
    ASSERT_FALSE(english.isEmpty());
    QTemporaryDir onlyEnglish;
    ASSERT_TRUE(QFile::link(english, onlyEnglish.filePath("eng.traineddata")));
    {
        DataFolder folder(onlyEnglish.path());
        EXPECT_EQ(errorText([&] { ScreenTextRecognizer::recognize(image); }),
            "Нет данных для распознавания русского текста. Установите пакет tesseract-ocr-rus.");
    }

    // With the data back the same thread reads again.
    EXPECT_TRUE(ScreenTextRecognizer::recognize(image));
}

TEST(ScreenTextRecognizer, BadImagesGiveNoTextOrAClearError)
{
    EXPECT_FALSE(ScreenTextRecognizer::recognize(QImage()));
    QImage one(1, 1, QImage::Format_ARGB32_Premultiplied);
    one.fill(Qt::black);
    EXPECT_FALSE(ScreenTextRecognizer::recognize(one));
    QImage clear(400, 120, QImage::Format_ARGB32_Premultiplied);
    clear.fill(Qt::transparent);
    EXPECT_FALSE(ScreenTextRecognizer::recognize(clear));
    QImage white(400, 120, QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_FALSE(ScreenTextRecognizer::recognize(white));

    // Never touched: refused by its size before any pixel is read.
    QImage huge(20000, 20000, QImage::Format_Grayscale8);
    ASSERT_FALSE(huge.isNull());
    EXPECT_EQ(errorText([&] { ScreenTextRecognizer::recognize(huge); }),
        "Изображение слишком большое для распознавания текста. Выделите область поменьше.");
}

TEST(ScreenTextRecognizer, RecognitionStaysOnTheCallingThread)
{
    // Tesseract would otherwise start OpenMP helpers that outlive the call.
    auto threads = [] { return QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(); };
    const QImage image = renderedLine("Hello, мир: one more line of text", 24, Qt::black, Qt::white);
    qsizetype before = 0, after = 0;
    std::optional<QString> text;
    std::thread worker([&] {
        before = threads();
        text = ScreenTextRecognizer::recognize(image);
        after = threads();
    });
    worker.join();
    EXPECT_TRUE(text);
    EXPECT_EQ(after, before);
}
