// The plain reading: a picture as the engine alone reads it, each polarity apart, and the
// words of it that no line of ours holds, put in among ours.

#include "RenderTestSupport.h"

#include "render/recognition/PlainReading.h"

using namespace tarnwick;
using namespace tarnwick::testing;
using namespace tarnwick::ScreenTextRecognizer::stages;

namespace {

QStringList wordsOf(const PlainView& view, const std::function<bool(const ReadWord&)>& also = {})
{
    QStringList words;
    for (const WordRun& row : view.rows)
        for (const ReadWord& word : row.words)
            if (!also || also(word))
                words.append(word.text);
    return words;
}

ReadWord word(const char* text, int left, int right, float confidence, int top = 10)
{
    ReadWord read;
    read.text = QString::fromUtf8(text);
    read.box = QRect(left, top, right - left, 20);
    read.confidence = confidence;
    return read;
}

WordRun run(std::vector<ReadWord> words)
{
    WordRun row;
    for (const ReadWord& read : words)
        row.box = row.box.isNull() ? read.box : row.box.united(read.box);
    row.words = std::move(words);
    row.respell();
    return row;
}

} // namespace

TEST(PlainReading, EachPolarityIsReadApartWithItsWordsWhereTheyStand)
{
    // Dark words on a white half, white words on a dark half: each polarity's view holds its
    // own words, boxed in pixels of the picture.
    QImage image(640, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.fillRect(QRect(320, 0, 320, 80), QColor(0x20, 0x21, 0x24));
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(22);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(16, 50), QStringLiteral("Проверка связи"));
        painter.setPen(Qt::white);
        painter.drawText(QPoint(336, 50), QStringLiteral("Ошибка доступа"));
    }
    const PlainViews views = plainReading(image, ScreenTextRecognizer::detail::Reading::corrected);
    EXPECT_FALSE(views[0].light);
    EXPECT_TRUE(views[1].light);
    const auto sureOnLeft = [](const ReadWord& w) { return w.confidence >= 70 && w.box.right() < 320 && w.box.top() >= 20; };
    const auto sureOnRight = [](const ReadWord& w) { return w.confidence >= 70 && w.box.left() >= 320 && w.box.bottom() <= 60; };
    EXPECT_EQ(wordsOf(views[0], sureOnLeft), (QStringList{"Проверка", "связи"})) << wordsOf(views[0]).join(u' ').toStdString();
    EXPECT_EQ(wordsOf(views[1], sureOnRight), (QStringList{"Ошибка", "доступа"})) << wordsOf(views[1]).join(u' ').toStdString();
    EXPECT_FALSE(wordsOf(views[0]).contains(QStringLiteral("Ошибка")));

    // Nothing to read in a speck of a picture; too large a picture says so.
    for (const PlainView& view : plainReading(QImage(2, 2, QImage::Format_RGB32), ScreenTextRecognizer::detail::Reading::corrected))
        EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(errorOf([] { plainReading(QImage(40000, 10, QImage::Format_Grayscale8), ScreenTextRecognizer::detail::Reading::corrected); }),
              QStringLiteral("Изображение слишком большое для распознавания текста. Выделите область поменьше."));
}

TEST(PlainReading, ASureWordNoLineOfOursHoldsIsPutInItsPlaceAndNothingElseIs)
{
    // Our reading of a view enlarged twice left out a red word and a sign; the plain reading,
    // in pixels of the picture, read them.
    std::vector<WordRun> ours{run({word("09:12:07", 40, 200, 90), word("диск", 320, 400, 95), word("/var", 420, 500, 92)})};
    PlainViews plain;
    plain[0].rows = {run({word("09:12:07", 20, 100, 88), word("WARN", 110, 150, 91), word("диск", 160, 200, 90),
                          word("Щ", 250, 256, 96), word("ee", 270, 280, 30)})};
    // The light view read the same red word, and a word of its own on the next row.
    plain[1].rows = {run({word("WARN", 111, 149, 80)}), run({word("ERROR", 110, 160, 93, 40)})};
    std::vector<WordRun> lines = joinedLines(withPlainWords(std::move(ours), plain, 2.0));
    std::sort(lines.begin(), lines.end(), [](const WordRun& a, const WordRun& b) { return a.box.top() < b.box.top(); });
    QStringList texts;
    for (const WordRun& line : lines)
        texts.append(line.text);
    // Put in at twice its place, before the words that follow it; once, though both views
    // read it; not the unsure word, nor a letter alone, nor what our words already hold.
    EXPECT_EQ(texts, (QStringList{"09:12:07 WARN диск /var", "ERROR"}));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].words[1].box, QRect(220, 20, 80, 40));
}

TEST(PlainReading, ARowReadAsTextLendsItsTrustToItsWeakWordsAndLettersAloneAndJunkRowsStayOut)
{
    // Our views read a turned line in part: a word's end unsurely, a word's start surely, the
    // rest not at all; the engine alone read the rest with the places ours holds painted over.
    std::vector<WordRun> ours{run({word("си", 50, 68, 56), word("видео", 80, 130, 97), word("изм", 140, 170, 93)}),
        // A word read unsurely in two pieces, and a word read as a sign.
        run({word("ga", 172, 209, 33, 40), word("we.", 253, 307, 33, 40), word("&", 320, 332, 0, 40)})};
    PlainViews plain;
    plain[0].rows = {
        // A row it reads surely on the whole: its weak words, a letter alone and the rest of a
        // word cut at our word's end go in; a weak reading of what ours reads surely does not.
        run({word("записи", 20, 68, 97), word("енения", 172, 230, 93), word("и", 240, 248, 96), word("распознаётся", 260, 370, 31),
            word("вилео", 81, 129, 40)}),
        // Read whole and more surely, they take the place of ours.
        run({word("дальше.", 172, 307, 97, 40), word("it", 318, 334, 90, 40)}),
        // A row of frames and specks beside a photo: a word of two read surely stays, as
        // without the row's trust; the rest of it is no text.
        run({word("Ee", 20, 40, 12, 60), word("ы", 50, 60, 20, 60), word("ЕСИ", 70, 100, 28, 60), word("СЕЛО", 400, 460, 85, 60)}),
        run({word("rE", 20, 60, 15, 100), word("В", 70, 80, 90, 100)})};
    std::vector<WordRun> lines = joinedLines(withPlainWords(std::move(ours), plain, 1.0));
    std::sort(lines.begin(), lines.end(), [](const WordRun& a, const WordRun& b) { return a.box.top() < b.box.top(); });
    QStringList texts;
    for (const WordRun& line : lines)
        texts.append(line.text);
    EXPECT_EQ(texts, (QStringList{"записи видео изменения и распознаётся", "дальше. it", "СЕЛО"}));
}
