// Word regions for the text blur: the glyph scan's exact thresholds, the three
// passes on the real Tesseract, and the blur over screenshots of real programs
// (data/screens/blur-*, shot again by make.sh there), judged by the `tesseract` command.

#include "RenderTestSupport.h"

#include "render/recognition/ScreenTextRecognizer.h"
#include "render/recognition/WordRegions.h"

#include <QRegularExpression>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// A box in the recogniser's space back in pixels, origin top left.
QRectF pixelBox(const QRectF& b, const QSize& size)
{
    return QRectF(b.x() * size.width(), (1.0 - (b.y() + b.height())) * size.height(), b.width() * size.width(),
                  b.height() * size.height());
}

std::vector<QRect> candidates(const QImage& image, const std::vector<QRectF>& known = {})
{
    return GlyphScan::candidateRegions(image, known);
}

QImage screen(const char* name)
{
    const QImage image(QStringLiteral(TARNWICK_RENDER_TEST_DATA "/screens/%1.png").arg(QLatin1String(name)));
    EXPECT_FALSE(image.isNull()) << name;
    return effectFormat(image);
}

// The picture after «Только текст» over the whole of it.
QImage textBlurred(const QImage& image)
{
    const BlurEffect effect = computeLocal(blurElement(BlurMode::text, QRectF(image.rect())), image, image.size(), image.size(), never);
    EXPECT_FALSE(effect.message.has_value());
    return effect.image;
}

// The words of `written` that the `tesseract` command reads in the picture: runs of three
// letters and more, or of three figures and more, so that a key's number read on into its
// label («4Правка») still counts as the label.
QStringList commandReads(const QImage& image, const QString& written)
{
    const QRegularExpression word(QStringLiteral("[^\\W\\d_]{3,}|\\d{3,}"));
    QSet<QString> read;
    for (const auto& match : word.globalMatch(commandReading(image).toLower()))
        read.insert(match.captured());
    QStringList found;
    for (const auto& match : word.globalMatch(written.toLower()))
        if (read.contains(match.captured()) && !found.contains(match.captured()))
            found.append(match.captured());
    return found;
}

// The share of a box's ink pixels that are still ink after the blur; 0 for a box without ink.
double inkKept(const QImage& before, const QImage& after, const QRect& box, const std::function<bool(QRgb)>& ink)
{
    const int had = countWhere(before, ink, box);
    return had == 0 ? 0.0 : double(countWhere(after, ink, box)) / had;
}

// The letters of a selection: white on its highlight.
bool white(QRgb p) { return std::min({qRed(p), qGreen(p), qBlue(p)}) > 230; }

// The cells of a key bar: runs of its colour at least 10 pixels long along the top row of
// the lowest band of rows where the colour fills more than a sixth of the width, as tall as
// the band.
std::vector<QRect> keyBarCells(const QImage& image, QColor colour)
{
    auto isBar = [&](int y) {
        return 6 * countWhere(image, [&](QRgb p) { return near(p, colour, 2); }, QRect(0, y, image.width(), 1)) > image.width();
    };
    int bottom = image.height() - 1;
    while (bottom >= 0 && !isBar(bottom))
        --bottom;
    int top = bottom;
    while (top > 0 && isBar(top - 1))
        --top;
    std::vector<QRect> cells;
    for (int x = 0; bottom >= 0 && x < image.width();) {
        int end = x;
        while (end < image.width() && near(image.pixel(end, top), colour, 2))
            ++end;
        if (end - x >= 10)
            cells.emplace_back(x, top, end - x, bottom - top + 1);
        x = std::max(end, x + 1);
    }
    return cells;
}

// The cells of a grid drawn in one colour: the spaces between its rows and columns of pixels
// that are mostly of that colour.
std::vector<QRect> gridCells(const QImage& image, QColor line)
{
    auto onLine = [&](const QRect& strip) {
        return 5 * countWhere(image, [&](QRgb p) { return near(p, line, 8); }, strip) > 4 * strip.width() * strip.height();
    };
    std::vector<int> rows{-1};
    std::vector<int> columns{-1};
    for (int y = 0; y < image.height(); ++y)
        if (onLine(QRect(0, y, image.width(), 1)))
            rows.push_back(y);
    for (int x = 0; x < image.width(); ++x)
        if (onLine(QRect(x, 0, 1, image.height())))
            columns.push_back(x);
    rows.push_back(image.height());
    columns.push_back(image.width());
    std::vector<QRect> cells;
    for (size_t i = 0; i + 1 < rows.size(); ++i)
        for (size_t j = 0; j + 1 < columns.size(); ++j)
            if (rows[i + 1] - rows[i] > 2 && columns[j + 1] - columns[j] > 2)
                cells.emplace_back(QPoint(columns[j] + 1, rows[i] + 1), QPoint(columns[j + 1] - 1, rows[i + 1] - 1));
    return cells;
}

} // namespace

TEST(GlyphScan, CandidateNeedsAFrameOfOneColourWithinTheImage)
{
    EXPECT_EQ(candidates(asRgba(painted(60, 60, QColor(128, 128, 128), [](QPainter& p) { p.fillRect(22, 22, 6, 6, Qt::black); }))),
              std::vector<QRect>{QRect(12, 12, 26, 26)});
    // Stripes of strong contrast around a glyph: the frame has no dominant colour.
    QImage busy = asRgba(canvas(60, 60));
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            if ((x / 3 + y / 3) % 2)
                busy.setPixelColor(x, y, QColor(30, 30, 200));
    EXPECT_TRUE(candidates(busy).empty());
    // Clipped to the image.
    EXPECT_EQ(candidates(asRgba(painted(30, 30, QColor(255, 255, 255), [](QPainter& p) { p.fillRect(3, 4, 4, 6, Qt::black); }))),
              std::vector<QRect>{QRect(0, 0, 17, 20)});
}

TEST(WordRegions, ALineAtTheBottomGivesWordBoxesThereAndTheTextBlurLandsOnThemNotOnARule)
{
    // Boxes come back with the origin at the bottom: converted to pixels they must
    // sit on the line drawn near the image's lower edge, left word first.
    const QImage image = textImage(600, 300, "Секретный пароль", 28, QPointF(40, 270));
    const auto whole = ScreenTextRecognizer::wordRegions(image, image.rect(), {});
    ASSERT_GE(whole.size(), 2u);
    for (const QRectF& b : whole) {
        const QRectF pixels = pixelBox(b, image.size());
        EXPECT_GT(pixels.top(), 230);
        EXPECT_LT(pixels.bottom(), 285);
    }
    EXPECT_LT(whole[0].x() + whole[0].width(), whole[1].x());

    // The real word regions behind the text mode: the blur must change the bottom
    // line's pixels and leave the top (with a rule that is no text) alone.
    QImage shot = textImage(600, 300, QStringLiteral("Привет мир"), 28, QPointF(20, 270));
    paint(shot, [](QPainter& p) { p.fillRect(QRect(20, 20, 200, 4), Qt::black); });
    const BlurEffect effect = computeLocal(blurElement(BlurMode::text, QRectF(0, 0, 600, 300)), shot, shot.size(), shot.size(), never);
    EXPECT_FALSE(effect.message.has_value());
    const QImage before = effectFormat(shot);
    auto changedIn = [&](int top, int bottom) {
        int changed = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < 600; ++x)
                changed += rgba(before, x, y) != rgba(effect.image, x, y);
        return changed;
    };
    EXPECT_GT(changedIn(230, 300), 500);
    EXPECT_EQ(changedIn(0, 150), 0);
}

TEST(WordRegions, DigitOnABadgeIsFoundAndEmptyOrBrokenInputGivesNoBoxesOrAClearError)
{
    QImage image = canvas(300, 120, QColor(245, 245, 245));
    paint(image, [](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QRectF(200, 40, 26, 26));
        p.setFont(sans(16, true));
        p.setPen(Qt::white);
        p.drawText(QRectF(200, 40, 26, 26), Qt::AlignCenter, "7");
    });
    const auto boxes = ScreenTextRecognizer::wordRegions(image, image.rect(), {});
    EXPECT_TRUE(std::any_of(boxes.begin(), boxes.end(), [&](const QRectF& b) {
        return pixelBox(b, image.size()).adjusted(-2, -2, 2, 2).contains(QPointF(213, 53));
    })) << boxes.size();

    // Empty and broken input gives no boxes or a clear error.
    const QImage clear = canvas(300, 100, Qt::transparent);
    const QImage narrow = textImage(4, 80, "I", 30, QPointF(0, 50));
    for (const auto& [image, rect] : {std::pair{QImage(), QRect(0, 0, 10, 10)}, {narrow, narrow.rect()}, {clear, clear.rect()}})
        EXPECT_TRUE(ScreenTextRecognizer::wordRegions(image, rect, {}).empty()) << image.width() << " " << rect.x();

    const QString tooLarge = "Изображение слишком большое для распознавания текста. Выделите область поменьше.";
    QImage large(12000, 5000, QImage::Format_Grayscale8);
    large.fill(255);
    EXPECT_EQ(errorOf([&] { ScreenTextRecognizer::wordRegions(large, large.rect(), {}); }), tooLarge);
}

TEST(TextBlur, ASelectedFieldValueOnAHighlightThatHugsItsLettersIsCovered)
{
    // GTK3 (Adwaita) fields whose value is selected: white letters on a blue highlight
    // with no plain frame round them, beside labels and buttons on grey.
    struct Case {
        const char* name;
        QRect highlight;
        QString written;
    };
    const QString form = QStringLiteral("Тема Обсуждение бюджета Q1 Место Переговорная 3 Участники Анна, Иван Отменить OK");
    for (const Case& c : {Case{"blur-yad-form-1x", QRect(90, 10, 178, 17), form}, Case{"blur-yad-form-2x", QRect(180, 20, 356, 34), form},
                          Case{"blur-zenity-entry-1x", QRect(22, 44, 104, 17), QStringLiteral("Название папки: Черновики 2026 Отменить OK")}}) {
        const QImage shot = screen(c.name);
        const QImage blurred = textBlurred(shot);
        EXPECT_EQ(commandReads(blurred, c.written), QStringList()) << c.name;
        EXPECT_LT(inkKept(shot, blurred, c.highlight, white), 0.1) << c.name;
    }
    // The frames round the fields' plain values stay sharp: a frame's side is no letter.
    const QImage yad = screen("blur-yad-form-1x");
    const QImage yadBlurred = textBlurred(yad);
    for (const QRect& side : {QRect(81, 45, 1, 26), QRect(81, 84, 1, 26), QRect(417, 45, 1, 26), QRect(417, 84, 1, 26)})
        EXPECT_EQ(maxChannelDifference(yad, yadBlurred, side), 0) << side.x() << "," << side.y();
}

TEST(TextBlur, EveryLabelOfAKeyBarIsCoveredAndEmptyPanelsAndAPhotoStaySharp)
{
    // Black labels on cyan cells between the keys' numbers: Midnight Commander at 16 px,
    // whose menu bar and selected row are black on cyan too, and such a bar printed in xterm.
    // Every label's ink goes, and no word of the rest stays readable.
    const QColor cyan(0, 205, 205);
    auto black = [](QRgb p) { return std::max({qRed(p), qGreen(p), qBlue(p)}) < 80; };
    const QImage mc = screen("blur-mc-keybar");
    const QImage mcBlurred = textBlurred(mc);
    const QImage printed = screen("blur-printed-keybar");
    const QImage printedBlurred = textBlurred(printed);
    for (const auto& [shot, blurred, cellCount] : {std::tuple{&mc, &mcBlurred, 10}, std::tuple{&printed, &printedBlurred, 7}}) {
        const std::vector<QRect> cells = keyBarCells(*shot, cyan);
        EXPECT_EQ(int(cells.size()), cellCount);
        for (const QRect& cell : cells)
            EXPECT_LT(inkKept(*shot, *blurred, cell, black), 0.1) << cell.x() << "," << cell.y() << " " << cell.width() << "x" << cell.height();
    }
    EXPECT_EQ(commandReads(printedBlurred, QStringLiteral("Готово: 3 файла скопированы. 1Справка 2Открыть 3Поиск 4Правка 5Копия "
                                                          "8Удалить 10Выход")),
              QStringList());
    EXPECT_EQ(commandReads(mcBlurred, QStringLiteral("Левая панель Файл Команда Настройки Правая панель tarnwick blur Проекты "
                                                     "Документы Имя Размер Время правки ВВЕРХ мар 2026 4096 notes план txt "
                                                     "отчёт odt 252G 89%")),
              QStringList());

    // Flat parts stay as they are: the empty middle of both panels, and a photo with no
    // text keeps most of its pixels.
    EXPECT_EQ(maxChannelDifference(mc, mcBlurred, QRect(10, 140, 980, 70)), 0);
    const QImage photo = screen("blur-photo-chelsea");
    const QImage photoBlurred = textBlurred(photo);
    int changed = 0;
    forEachPixel(photo, {}, [&](int x, int y, QRgb p) { changed += p != photoBlurred.pixel(x, y) ? 1 : 0; });
    EXPECT_LT(changed, photo.width() * photo.height() / 10);
}

TEST(TextBlur, ColouredTerminalWordsOnADarkGroundAndALineSelectedByADragAreCovered)
{
    // A prompt and `git status -s` in xterm's dark palette at 13 px: green names, a bold
    // and a plain blue path, red «M» and «??».
    const QImage prompt = screen("blur-prompt");
    const QImage promptBlurred = textBlurred(prompt);
    auto blue = [](QRgb p) { return qBlue(p) > 100 && qRed(p) < 20 && qGreen(p) < 20; };
    auto red = [](QRgb p) { return qRed(p) > 100 && qGreen(p) < 20 && qBlue(p) < 20; };
    for (const auto& [what, ink] : {std::pair{"blue", std::function<bool(QRgb)>(blue)}, std::pair{"red", std::function<bool(QRgb)>(red)}})
        EXPECT_LT(inkKept(prompt, promptBlurred, prompt.rect(), ink), 0.1) << what;
    EXPECT_EQ(commandReads(promptBlurred, QStringLiteral("anna@tarn:~/Проекты$ git status -s M src/main.cpp A docs/план.md "
                                                         "?? notes/черновик.md anna@tarn:~/Проекты$")),
              QStringList());

    // A paragraph selected by a drag in Chromium, from the middle of its first line: the
    // selected end of that line is white on blue, the rest dark on white.
    const QImage drag = screen("blur-chromium-drag");
    const QImage dragBlurred = textBlurred(drag);
    EXPECT_LT(inkKept(drag, dragBlurred, QRect(334, 55, 205, 22), white), 0.1);
    EXPECT_EQ(commandReads(dragBlurred, QStringLiteral("Встреча с поставщиком Договорились о поставке до пятницы. Счёт на оплату "
                                                       "пришлют завтра утром, сумма остаётся прежней. Пароль от портала "
                                                       "поставщика: Лето2026, логин anna.k. Следующая встреча назначена на "
                                                       "вторник в 11:00.")),
              QStringList());
}

TEST(TextBlur, LongLinesTurnedByADegreeAreCoveredToTheirEnds)
{
    // Four lines of 16 px text, 560 px long, turned as a skewed scan is: over such a line the
    // baseline climbs more than a glyph's height, and the readings lose the end of the last.
    const QImage turned = screen("blur-turned-1x");
    EXPECT_EQ(commandReads(textBlurred(turned), QStringLiteral("keys to move the selection by one pixel. Снимок экрана "
                                                                "сохраняется в папку, выбранную в настройках. Файлы серии "
                                                                "называются по буквам: A.png, B.png и дальше. The editor opens "
                                                                "after each capture unless you turn it off. Для записи видео нужен")),
              QStringList());
}

TEST(TextBlur, AFigureOrLetterAloneInACellIsReadAndCovered)
{
    // A spreadsheet in Chromium: the column letters and row numbers in grey header cells,
    // lone figures in white cells, an active cell framed in blue.
    const QImage sheet = screen("blur-sheet-1x");
    const QImage blurred = textBlurred(sheet);
    auto ink = [](QRgb p) { return std::max({qRed(p), qGreen(p), qBlue(p)}) < 120; };
    const std::vector<QRect> cells = gridCells(sheet, QColor(226, 227, 227));
    EXPECT_GE(cells.size(), 30u);
    for (const QRect& cell : cells) {
        if (countWhere(sheet, ink, cell) >= 5) {
            EXPECT_LT(inkKept(sheet, blurred, cell, ink), 0.2) << cell.x() << "," << cell.y() << " " << cell.width() << "x" << cell.height();
        }
    }
    EXPECT_EQ(commandReads(blurred, QStringLiteral("A B C D 1 Товар Кол-во Цена Сумма 2 Бумага А4 7 91557 0 3 Итого 96924 77333 89 "
                                                   "4 Картридж 0 50 5 Ноутбук 0 0 6 Доставка 0 4")),
              QStringList());
}

TEST(TextBlur, TheLineNumbersOfADarkCodeListingAreCoveredWhole)
{
    // Code in Dracula's colours at 2x: grey line numbers down the left, each alone on its row.
    const QImage code = screen("blur-code-numbers-2x");
    const QColor ground(40, 42, 54);
    auto ink = [&](QRgb p) {
        return std::max({std::abs(qRed(p) - ground.red()), std::abs(qGreen(p) - ground.green()), std::abs(qBlue(p) - ground.blue())}) > 60;
    };
    EXPECT_LT(inkKept(code, textBlurred(code), QRect(0, 0, 120, code.height()), ink), 0.01);
}
