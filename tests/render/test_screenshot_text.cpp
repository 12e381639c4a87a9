// Text in the boxes of real pages (buttons, banners, framed lists, photos), from
// headless Chromium screenshots in data/screens (make.sh there takes them again).

#include "RenderTestSupport.h"
#include "ScreenshotReading.h"

#include "render/recognition/ReadingStages.h"
#include "render/recognition/ScreenTextRecognizer.h"
#include "support/EditDistance.h"

#include <QRegularExpression>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// The light line of a text layer that holds a point; the end of its lines when none does.
std::vector<ScreenTextRecognizer::stages::TextLine>::const_iterator lightLineAt(const ScreenTextRecognizer::stages::TextLayer& layer,
                                                                                const QPoint& point)
{
    return std::find_if(layer.lines.begin(), layer.lines.end(),
                        [&](const ScreenTextRecognizer::stages::TextLine& line) { return line.light && line.box.contains(point); });
}

} // namespace

TEST(ScreenshotText, LabelsOfFilledBoxesOnAPageAreReadAtTheSizeOfTheirGlyphs)
{
    // 13 px white on a blue button, the page's 8 px margin round it: the button's
    // height is no text height, and its white label is read as dark on light.
    EXPECT_EQ(readLines(screenshot("button")), QStringList{"Сохранить"});
    // A pale red banner with a frame, 14 px dark red text. Enlarged 14 px text, the
    // engine reads the capital «О» of a line's start as small as often as not (on the
    // screenshot alone as well), so letter case is left out here.
    const QStringList alert = readLines(screenshot("alert"));
    ASSERT_EQ(alert.size(), 1) << alert.join(" | ").toStdString();
    EXPECT_EQ(alert.front().toLower(), QStringLiteral("ошибка: не удалось сохранить файл report.pdf"));
}

TEST(ScreenshotText, AFramedListReadsEveryRowTheSelectedOneToo)
{
    // Separator lines and the frame set no line height; the selected row is white on blue.
    EXPECT_EQ(readLines(screenshot("list")), (QStringList{"Входящие", "Отправленные", "Черновики", "Корзина"}));
}

TEST(ScreenshotText, ABrightRimBehindWordsOnAPhotoIsNoPartOfTheirLine)
{
    // The words stand on rows 24–51 (capitals, «ф» and «р» reach furthest); the cup's
    // rim runs from the top edge down to them. Chained in through a letter it touches,
    // it made the words' line the picture's height, so they were read unenlarged; the
    // breve of «й» made a line of its own.
    using namespace ScreenTextRecognizer::stages;
    const TextLayer layer = textLayer(readableGrey(screenshot("photo")));
    const auto words = std::find_if(layer.lines.begin(), layer.lines.end(), [](const TextLine& line) {
        return line.light && line.box.width() > 200;
    });
    ASSERT_NE(words, layer.lines.end());
    EXPECT_GE(words->box.top(), 20);
    // Below the descenders a line reaches only as deep as a comma could.
    EXPECT_LE(words->box.bottom(), 51 + 28 / 4);
    for (const TextLine& line : layer.lines) {
        if (&line != &*words && line.light) {
            EXPECT_FALSE(words->box.intersects(line.box)) << line.box.x() << "," << line.box.y();
        }
    }
}

TEST(ScreenshotText, AWhiteLabelOnAPillShapedButtonIsRead)
{
    // Three buttons at 1.25x: white on navy, dark on grey, white on a green pill. The
    // pill's round ends keep it from counting as filled whole, and it holds only two
    // shapes of white (the label's small letters run together): it was read as a dark
    // word of its own and drawn over its label.
    const QStringList lines = readLines(screenshot("pill-button"));
    ASSERT_EQ(lines.size(), 1) << lines.join(" | ").toStdString();
    EXPECT_EQ(lines.front().split(u' ', Qt::SkipEmptyParts), (QStringList{"Добавить", "Сохранить", "Назад"}));
}

TEST(ScreenshotText, TheSelectedRowOfAListIsReadWithTheOthers)
{
    // A Qt list at 1.5x: the selected row is white on blue, its fill only a few pixels
    // taller than the text, with the list's white rows above and below it, as light as
    // the label. The row was taken for a pocket of the page and dropped.
    const QStringList lines = readLines(screenshot("selected-row"));
    for (const char* row : {"Уведомления", "Язык и регион", "Внешний вид", "Privacy"})
        EXPECT_TRUE(lines.contains(QString::fromUtf8(row))) << row << " in: " << lines.join(" | ").toStdString();
    // The rows keep their order, the selected one between its neighbours.
    const auto selected = lines.indexOf(QStringLiteral("Язык и регион"));
    EXPECT_EQ(lines.indexOf(QStringLiteral("Уведомления")), selected - 1) << lines.join(" | ").toStdString();
    EXPECT_EQ(lines.indexOf(QStringLiteral("Внешний вид")), selected + 1) << lines.join(" | ").toStdString();
}

TEST(ScreenshotText, WhiteLabelsOnPillsBesideTextAreRead)
{
    // Each row: plain dark text, then pills of white 12 px text. The white of the page
    // between the dark letters stands lighter than its surround, as the labels do; it
    // joined the labels' line, and the line was taken for the page itself and dropped.
    const QStringList lines = readLines(screenshot("badges"));
    struct Row {
        const char* first;
        QStringList labels;
    };
    const Row rows[] = {
        {"Презентация", {"12 ошибок"}},
        {"index.html", {"Новое", "Archived"}},
        {"Быстрый старт", {"Archived", "Готово"}},
        {"Частые вопросы", {"Archived"}},
    };
    for (const Row& row : rows) {
        const QString first = QString::fromUtf8(row.first);
        const auto line = std::find_if(lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(first); });
        ASSERT_NE(line, lines.end()) << row.first << " in: " << lines.join(" | ").toStdString();
        for (const QString& label : row.labels)
            EXPECT_TRUE(line->contains(label)) << label.toStdString() << " in: " << line->toStdString();
    }
}

TEST(ScreenshotText, LabelsOnBadgesStayApartFromTheWordsBeforeThem)
{
    // Dark words, then white labels on badges at 2×, round and square. Judged against a
    // square that reached past a badge's edge onto the page, the label's first letter
    // broke up, and the badge's round end and the hollow of its «О» read as dark strokes
    // joined to the words before it: «Storage Фткрыт», «backup.targz 9%».
    using namespace ScreenTextRecognizer::stages;
    const QImage shot = screenshot("badges-2x");
    const TextLayer layer = textLayer(readableGrey(shot));
    for (const TextLine& dark : layer.lines)
        for (const TextLine& light : layer.lines)
            if (!dark.light && light.light) {
                EXPECT_FALSE(dark.box.intersects(light.box)) << "dark " << dark.box.x() << "," << dark.box.y() << " "
                                                             << dark.box.width() << " light " << light.box.x() << ","
                                                             << light.box.y();
            }
    const QStringList lines = readLines(shot);
    struct Row {
        const char* first;
        QStringList labels;
    };
    // «PRO» on the first row is left out: alone among Russian words it reads as
    // the Russian look-alike «РКО» as often as not.
    const Row rows[] = {
        {"Распознавание текста", {"Archived"}},
        {"Частые вопросы", {"v2.4.1", "Новое"}},
        {"backup.tar.gz", {"Открыт"}},
        {"Storage", {"Открыт"}},
    };
    for (const Row& row : rows) {
        const QString first = QString::fromUtf8(row.first);
        const auto line = std::find_if(lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(first); });
        ASSERT_NE(line, lines.end()) << row.first << " in: " << lines.join(" | ").toStdString();
        for (const QString& label : row.labels)
            EXPECT_TRUE(line->split(u' ').contains(label)) << label.toStdString() << " in: " << line->toStdString();
    }
    // The same at 1×, 11 px labels: a badge's edge beside a path was read into it
    // («notes{ез/черновик.md»), and «Открыт» lost its first letter to the round end.
    const QStringList small = readLines(screenshot("badges-1x"));
    for (const char* line : {"Настройка v2.4.1 PRO", "notes/черновик.md Срочно Новое", "photo_2024.jpg Срочно Archived",
                             "Release notes Открыт"})
        EXPECT_TRUE(small.contains(QString::fromUtf8(line))) << line << " in: " << small.join(" | ").toStdString();
}

TEST(ScreenshotText, NoSignIsReadInTheEmptyGapBetweenTwoBadges)
{
    // Between two badges the view is blank paper; the engine read a dash there
    // («Archived — Готово»), in one language's reading or both.
    const QStringList lines = readLines(screenshot("badges"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Быстрый старт Archived Готово"))) << lines.join(" | ").toStdString();
    const QStringList large = readLines(screenshot("badges-2x"));
    EXPECT_TRUE(large.contains(QStringLiteral("Частые вопросы v2.4.1 Новое"))) << large.join(" | ").toStdString();
    for (const QString& line : large + lines)
        EXPECT_FALSE(line.contains(u'—')) << line.toStdString();
}

TEST(ScreenshotText, AFigureBesideAWordOnABadgeKeepsItsPlace)
{
    // «12 ошибок» on a badge at 1.5× in an English row: the English reading runs the
    // two into one word of junk, the Russian one reads both. Its word took the junk's
    // place and the figure was lost with the rest of it.
    const QStringList lines = readLines(screenshot("badges-figures"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Privacy 12 ошибок v2.4.1"))) << lines.join(" | ").toStdString();
}

TEST(ScreenshotText, LightGreyTimesUnderBlackWordsAreRead)
{
    // Chat bubbles at 1.5×: black messages, each with a light grey time under it on
    // the bubble's pale fill. Read in one block with the black words, the times fell
    // under the engine's threshold and were lost.
    const QStringList lines = readLines(screenshot("chat-times"));
    for (const char* time : {"11:20", "11:46", "11:37", "11:13"})
        EXPECT_TRUE(lines.contains(QString::fromUtf8(time))) << time << " in: " << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("В три часа, в переговорной на втором этаже."))) << lines.join(" | ").toStdString();
}

TEST(ScreenshotText, BoldWhiteLettersOnAGradientAreNoBadges)
{
    // A bold white heading and a line of white text under it on a gradient at 1.5×. A bold
    // «о» is a plain white patch round its hollow, solid at its sides, like a badge round
    // its label; taken for one, its own white turned to ground. And the heading, laid
    // darker than the faint line under it, left that line under the engine's threshold.
    const QStringList lines = readLines(screenshot("gradient-heading"));
    EXPECT_EQ(lines, (QStringList{"Лето в горах", "Горячие клавиши можно изменить в разделе «Клавиши»."}))
        << lines.join(" | ").toStdString();
}

// The first «н» touches the cup's rim, nearly as bright as the letters, and is one shape
// with it: it must be cut from the rim for the first word to read («YTp@ ний кофе»).
TEST(ScreenshotText, WhiteTextWithAShadowOnABrightPhotoIsRead)
{
    const QStringList lines = readLines(screenshot("photo"));
    const QString want = QStringLiteral("Утренний кофе");
    // The cup's rim and the saucer's edges may leave a speck; the words must be whole.
    ASSERT_FALSE(lines.isEmpty());
    const auto best = std::min_element(lines.begin(), lines.end(), [&](const QString& a, const QString& b) {
        return test::editDistance(a, want) < test::editDistance(b, want);
    });
    EXPECT_LE(test::editDistance(*best, want), 1) << lines.join(" | ").toStdString();
}

TEST(ScreenshotText, APhotosTextureMakesNoLineOverTheWords)
{
    // White serif words on an orange suit at 2×: the folds of the suit are darker than
    // their surround, as dark letters are, and lined up across the heading they made a
    // "line" over the words that drew its shades on top of the heading's letters.
    using namespace ScreenTextRecognizer::stages;
    const TextLayer layer = textLayer(readableGrey(screenshot("photo-suit")));
    // The heading and the link below it, both from the card's left padding.
    std::vector<QRect> words;
    for (const TextLine& line : layer.lines)
        if (line.light && line.box.width() > 200 && line.box.left() < 120)
            words.push_back(line.box);
    ASSERT_EQ(words.size(), 2u);
    for (const TextLine& line : layer.lines)
        for (const QRect& box : words)
            if (!line.light) {
                EXPECT_FALSE(line.box.intersects(box)) << line.box.x() << "," << line.box.y() << " " << line.box.width() << "x"
                                                       << line.box.height();
            }
    // A cat's fur below a bold heading made such a line too, and broke the heading.
    const QStringList fur = readLines(screenshot("photo-fur"));
    EXPECT_TRUE(fur.contains(QStringLiteral("Путешествия 2025"))) << fur.join(" | ").toStdString();
    EXPECT_TRUE(fur.contains(QStringLiteral("Read more"))) << fur.join(" | ").toStdString();
}

TEST(ScreenshotText, SpecksOfAPhotoBesideWhiteWordsAreNoText)
{
    using namespace ScreenTextRecognizer::stages;
    // A rocket's lit tower stands a little right of a bold heading at 2×: its specks
    // joined the heading as marks and read as a quote after it, and the lights of the
    // launch pad below read as a line of their own.
    const QImage rocket = screenshot("photo-rocket");
    const TextLayer layer = textLayer(readableGrey(rocket));
    const auto heading = lightLineAt(layer, QPoint(100, 85));
    ASSERT_NE(heading, layer.lines.end());
    // «Кофе с собой» ends at x = 287; the tower's specks stand from x = 320 on.
    EXPECT_LT(heading->box.right(), 300) << heading->box.x() << "," << heading->box.y() << " " << heading->box.width();
    EXPECT_EQ(readLines(rocket), QStringList({QStringLiteral("Кофе с собой"), QStringLiteral("Смотреть фото")}));
    // The cat's fur beside a heading at 1× read as a word between the two lines.
    EXPECT_EQ(readLines(screenshot("photo-fur")), QStringList({QStringLiteral("Путешествия 2025"), QStringLiteral("Read more")}));
    // Light strands of hair right after «Смотреть фото» at 1.5× line up with the link's
    // letters but stand lower than its baseline as a whole: they are no letters of it.
    const TextLayer hair = textLayer(readableGrey(screenshot("photo-hair")));
    const auto link = lightLineAt(hair, QPoint(60, 93));
    ASSERT_NE(link, hair.lines.end());
    // The link's last letter ends at x = 196; the strands reach to x = 335.
    EXPECT_LT(link->box.right(), 230) << link->box.x() << "," << link->box.y() << " " << link->box.width();
    // Texture of the suit left of a link at 2× read as a sign before it.
    const QStringList suit = readLines(screenshot("photo-suit"));
    EXPECT_TRUE(suit.contains(QStringLiteral("Смотреть фото"))) << suit.join(" | ").toStdString();
}

TEST(ScreenshotText, NoSignIsReadBeforeASelectedAddressInAGtkField)
{
    // Small marks beside a GTK field's selected address at 1x read as «+,» before it once
    // a dot joined a line off a photo as any other mark does.
    const QStringList form = readLines(screenshot("gtk-form-1x"));
    const auto line = std::find_if(form.begin(), form.end(), [](const QString& l) { return l.startsWith(QStringLiteral("Участники")); });
    ASSERT_NE(line, form.end()) << form.join(" | ").toStdString();
    EXPECT_TRUE(line->contains(QStringLiteral("@example.com"))) << line->toStdString();
    EXPECT_TRUE(std::all_of(line->begin(), line->end(), [](QChar c) { return c.isLetterOrNumber() || QStringView(u"@. ").contains(c); }))
        << line->toStdString();
}

TEST(ScreenshotText, TextBlurCoversEveryLabelOfARowOfButtons)
{
    struct Row {
        const char* picture;
        QStringList labels;
        std::vector<int> middles; // of each label, across
        int top, bottom;          // the rows of the labels
    };
    // Five kinds of button at 1×, and a default, an outlined and a green outlined one at
    // 2× on a grey page.
    const Row rows[] = {
        {"toolbar", {"Сохранить", "Cancel", "Удалить", "всё", "Send", "Отправить", "позже"}, {60, 150, 250, 342, 430}, 16, 31},
        {"buttons-2x", {"Добавить", "Подробнее", "Open"}, {121, 312, 505}, 70, 90},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.picture);
        const QImage shot = screenshot(row.picture);
        const BlurEffect effect = computeLocal(blurElement(BlurMode::text, QRectF(QPointF(0, 0), shot.size())), shot,
                                               shot.size(), shot.size(), never);
        ASSERT_FALSE(effect.message.has_value()) << effect.message->toStdString();
        const QString after = commandReading(effect.image);
        for (const QString& label : row.labels)
            EXPECT_FALSE(after.contains(label, Qt::CaseInsensitive)) << label.toStdString() << " in: " << after.toStdString();
        // Every label's middle is changed by the blur.
        const QImage before = effectFormat(shot);
        for (int x : row.middles) {
            int changed = 0;
            for (int y = row.top; y < row.bottom; ++y)
                for (int dx = -12; dx <= 12; ++dx)
                    changed += rgba(before, x + dx, y) != rgba(effect.image, x + dx, y);
            EXPECT_GT(changed, 40) << "label at " << x;
        }
    }
}

TEST(ScreenshotText, ABoldHeaderAt1xIsReadAndBlurred)
{
    // Bold small letters at 1× seven pixels tall fill their boxes nearly whole («м», «я»):
    // taken for filled boxes, they made no line, so «Имя» was neither read nor blurred.
    const QImage shot = screenshot("table-bold-header-1x");
    const QStringList table = readLines(shot);
    for (const char* cell : {"Имя", "Размер", "Изменён"})
        EXPECT_TRUE(table.contains(QString::fromUtf8(cell))) << cell << " in: " << table.join(" | ").toStdString();
    const BlurEffect effect = computeLocal(blurElement(BlurMode::text, QRectF(QPointF(0, 0), shot.size())), shot, shot.size(),
                                           shot.size(), never);
    ASSERT_FALSE(effect.message.has_value()) << effect.message->toStdString();
    const QString after = commandReading(effect.image);
    for (const char* word : {"Имя", "Размер", "Изме"})
        EXPECT_FALSE(after.contains(QString::fromUtf8(word), Qt::CaseInsensitive)) << word << " in: " << after.toStdString();
}

TEST(ScreenshotText, PathsAndFileNamesThatMixTheScriptsAreReadPieceByPiece)
{
    // Paths at 2×: Latin folders round a Russian one, a Latin name cut at its dot, a
    // Russian name with a Latin extension.
    const QStringList paths = readLines(screenshot("paths"));
    for (const char* line : {"/home/anna/Снимки", "index.html", "README.md", "план работ.txt"})
        EXPECT_TRUE(paths.contains(QString::fromUtf8(line))) << line << " in: " << paths.join(" | ").toStdString();
    // A table of files at 1.5×: Latin names in the cells of a Russian table, and a
    // Russian name with a Latin extension in a row with its size and date.
    const QStringList table = readLines(screenshot("table"));
    EXPECT_EQ(table.count(QStringLiteral("main.cpp")), 2) << table.join(" | ").toStdString();
    EXPECT_TRUE(table.contains(QStringLiteral("Снимок экрана.png 694,5 МБ 17.04.2025 22:22"))) << table.join(" | ").toStdString();
}

TEST(ScreenshotText, SmallNamesInAFramedListKeepTheirPeriodsAndLetters)
{
    // File names at 1×, 13 px, in a list framed by one-pixel grey sides that run the
    // list's height. The sides made a "line" of two tall glyphs that took the names'
    // periods for its marks, and the names read «data csv», «README md».
    const QStringList names = readLines(screenshot("names-list"));
    for (const char* name : {"main.cpp", "data.csv", "backup.tar.gz", "README.md"})
        EXPECT_TRUE(names.contains(QString::fromUtf8(name))) << name << " in: " << names.join(" | ").toStdString();
    EXPECT_TRUE(names.contains(QStringLiteral("план работ.txt"))) << names.join(" | ").toStdString();

    // «юдж» at 1× run together into one shape whose «д» reaches below the others; its
    // box stood twice as tall as the hollows of «ю» and «д», which made it a box round
    // three glyphs, and the letters were dropped.
    const QStringList paths = readLines(screenshot("paths-1x"));
    const auto budget = std::find_if(paths.begin(), paths.end(), [](const QString& line) { return line.startsWith(u'б'); });
    ASSERT_NE(budget, paths.end()) << paths.join(" | ").toStdString();
    EXPECT_TRUE(budget->startsWith(QStringLiteral("бюджет-2025."))) << budget->toStdString();
    for (const char* line : {"backup.tar.gz", "photo_2024.jpg", "main.cpp"})
        EXPECT_TRUE(paths.contains(QString::fromUtf8(line))) << line << " in: " << paths.join(" | ").toStdString();
}

TEST(ScreenshotText, AQtFormsCheckBoxIsNoLetterAndItsOkButtonReadsInLatin)
{
    // The tick of a checked box, inside the box's white and its grey frame, stood as a
    // glyph beside the label and read «У».
    for (const char* picture : {"qt-form-1x", "qt-form-125x"}) {
        SCOPED_TRACE(picture);
        const QStringList lines = readLines(screenshot(QString::fromLatin1(picture)));
        const auto box = std::find_if(lines.begin(), lines.end(), [](const QString& line) {
            return line.endsWith(QStringLiteral("при входе")) || line.endsWith(QStringLiteral("подсказки"));
        });
        ASSERT_NE(box, lines.end()) << lines.join(" | ").toStdString();
        EXPECT_TRUE(*box == QStringLiteral("Запускать при входе") || *box == QStringLiteral("Показывать подсказки"))
            << box->toStdString();
    }
    // «OK» is the same glyphs in either script. The word «Закрыть» on the next button,
    // past a gap of many letters, is no neighbour whose language it takes.
    const QStringList lines = readLines(screenshot("qt-form-1x"));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.back().split(u' ', Qt::SkipEmptyParts), (QStringList{"Закрыть", "OK"})) << lines.back().toStdString();
}

TEST(ScreenshotText, AButtonsOutlineRoundATwoLetterLabelIsNoGlyph)
{
    // A Qt form at 1x: the outline of its «OK» button, light grey and a tenth filled, held two
    // letters, too few for the frame of a box, and stood as a line of its own round them.
    // Framed so, the engine read nothing in the row, «Применить» beside it too.
    using namespace ScreenTextRecognizer::stages;
    const TextLayer layer = textLayer(readableGrey(screenshot("qt-form-apply-ok-1x")));
    EXPECT_TRUE(std::none_of(layer.lines.begin(), layer.lines.end(), [](const TextLine& line) {
        return line.box.contains(QPoint(235, 263)) || line.box.contains(QPoint(305, 263));
    })) << "a line over the button's sides";
    EXPECT_TRUE(readsLine("qt-form-apply-ok-1x", QStringLiteral("Применить OK")));
}

TEST(ScreenshotText, ASlashTouchingAFieldsFrameIsCutFromItAsALetter)
{
    // A path in a Qt field at 1.5x: its leading "/", a stroke of a pixel or two, touches the
    // field's frame. Cut from the frame below the letters' core, it was no wider than the side
    // of a frame, and was left with the frame: "home/anna/…".
    EXPECT_TRUE(readsLine("qt-form-slash-15x", QStringLiteral("Папка: /home/anna/Рабочий стол/план.txt")));
}

// A check box's frame holds its tick; a «в» holds its hollows and stands between the
// letters of its word. Taken for a control, it left «Гото о:», and the English "Toto" won.
TEST(ScreenshotText, ALetterOfTwoHollowsInsideAWordIsNoControl)
{
    EXPECT_EQ(readLines(screenshot("alert-green-15x")), QStringList{QStringLiteral("Готово: загружено 196 файлов")});
    // The check boxes of the Qt forms still leave no letter.
    const QStringList form = readLines(screenshot("qt-form-1x"));
    EXPECT_TRUE(form.contains(QStringLiteral("Запускать при входе"))) << form.join(" | ").toStdString();
}

// Qt fields start their text three pixels from a grey frame. By the frame and the panel past
// it the field's white stands off the mean round it and made a light shape that held the
// letters next to the frame as hollows: «Иван» read «ван», and «Sarah» was neither read nor
// blurred. The frame's side, taller than the letters beside it, was laid as a "|".
TEST(ScreenshotText, TheLetterNextToAFieldsFrameIsReadAndBlurredAndTheFrameIsNot)
{
    EXPECT_TRUE(readsLine("qt-form-1x", QStringLiteral("Имя: Иван")));
    EXPECT_TRUE(readsLine("qt-form-1x", QStringLiteral("Фамилия: Miller")));
    EXPECT_TRUE(readsLine("qt-form-name-125x", QStringLiteral("Имя: Sarah")));

    // In the layer: the stem of «И» (x 87) is laid, the frame's side beside «Miller» (x 83) is paper.
    using namespace ScreenTextRecognizer::stages;
    const TextLayer layer = textLayer(readableGrey(screenshot("qt-form-1x")));
    EXPECT_LT(qGray(layer.view.pixel(87, 105)), 64);
    int frameLaid = 0;
    for (int y = 71; y <= 83; ++y)
        frameLaid += layer.view.pixel(83, y) != layer.view.pixel(80, y);
    EXPECT_EQ(frameLaid, 0);

    // The blur covers «Sarah» (x 81–118, rows 124–138), which it left sharp.
    const QImage shot = screenshot("qt-form-name-125x");
    const BlurEffect effect = computeLocal(blurElement(BlurMode::text, QRectF(QPointF(0, 0), shot.size())), shot, shot.size(),
                                           shot.size(), never);
    ASSERT_FALSE(effect.message.has_value()) << effect.message->toStdString();
    const QImage before = effectFormat(shot);
    int changed = 0;
    for (int y = 124; y <= 138; ++y)
        for (int x = 81; x <= 118; ++x)
            changed += rgba(before, x, y) != rgba(effect.image, x, y);
    EXPECT_GT(changed, 150);
}

TEST(ScreenshotText, FileTypesAndSignsKeepTheirOwnScriptInRussianNames)
{
    // A list at 2×: the type of a Russian name is read in Latin letters, and the number
    // sign, which only the Russian model knows, is no pair of Latin letters.
    const QStringList list = readLines(screenshot("file-list"));
    for (const char* line : {"Договор №17.docx", "Презентация.pptx", "план работ.txt", "README.md", "report.pdf"})
        EXPECT_TRUE(list.contains(QString::fromUtf8(line))) << line << " in: " << list.join(" | ").toStdString();
}

TEST(ScreenshotText, ANamePieceOneModelCutOrDroppedIsTakenWholeFromTheOther)
{
    // A table at 2×: the Russian model reads "notes" as two pieces round a sign, and
    // stops before the ".txt" of "план работ.txt"; each row keeps its size and date.
    const QStringList table = readLines(screenshot("file-table"));
    EXPECT_TRUE(table.contains(QString::fromUtf8("план работ.txt 141,4 МБ 17.04.2025 21:10"))) << table.join(" | ").toStdString();
    const auto notes = std::count_if(table.begin(), table.end(), [](const QString& line) { return line.startsWith(QString::fromUtf8("notes/черновик.md ")); });
    EXPECT_EQ(notes, 2) << table.join(" | ").toStdString();
}

TEST(ScreenshotText, FiguresOneModelRanIntoTheNextPieceAreKept)
{
    // The English model reads «565,2 КБ» as one word "565,2KB", the "2" boxed over the
    // comma; its "KB" gave way to the Russian «КБ», and the "2" went with it.
    for (const char* size : {"565,2 КБ", "233,6 МБ", "90,9 МБ", "965,3 МБ"})
        EXPECT_TRUE(readsLineWith("table-decimal-sizes-15x", QString::fromUtf8(size)));
    // The same in a name: "backup.tar.gz" lost its "tar".
    EXPECT_TRUE(readsLine("qt-form-archive-1x", QStringLiteral("Файл: backup.tar.gz")));
}

TEST(ScreenshotText, SignsReadOnAFileTypesGlyphsGoWhenTheNameAlreadyEndsOnTheOtherReadingsDot)
{
    // «план работ.txt»: the Russian model reads «работ.» and then «{хЕ», the English one
    // "paoor.txt". The type came from the English reading, and the "{" before it stayed.
    EXPECT_TRUE(readsLine("paths-plan-signs-125x", QStringLiteral("план работ.txt")));
    EXPECT_TRUE(readsLineWith("terminal-plan-15x", QStringLiteral(" план работ.txt")));
}

TEST(ScreenshotText, ANamesWordRunOnIntoItsTypeIsCutWhereTheWordOfTheListsEnds)
{
    // «план работ.txt» in a table at 2x: the Russian model reads «работ4ж» and «работ4жё»,
    // the English one "pasor.txt" and "pabor.txt", which were taken whole.
    const QStringList table = readLines(screenshot("table-plan-run-on-2x"));
    EXPECT_EQ(std::count_if(table.begin(), table.end(), [](const QString& line) { return line.startsWith(QStringLiteral("план работ.txt ")); }), 2)
        << table.join(" | ").toStdString();
    // In a list at 1x: «работлж», which stayed.
    EXPECT_TRUE(readsLine("list-plan-1x", QStringLiteral("план работ.txt")));
    // The word before such a name stays apart where the English model joins them: «за»
    // «мартхёх» under "3aMapT.xlsx".
    EXPECT_TRUE(readsLineWith("table-march-1x", QStringLiteral("отчёт за март.xlsx ")));
}

TEST(ScreenshotText, ANameOneModelPartsBeforeAnUnderscoreIsOneWord)
{
    // «photo_2024.jpg»: the English model reads "photo" "_2024.jpg", the Russian one one
    // word, «р®поо_2024.|рд». The English words were taken with the space between.
    EXPECT_TRUE(readsLineWith("table-underscore-1x", QStringLiteral("photo_2024.jpg ")));
    EXPECT_TRUE(readsLine("qt-form-underscore-15x", QStringLiteral("Файл: photo_2024.jpg")));
}

TEST(ScreenshotText, APieceOfTheOtherReadingAcrossASignTheRowReadsTakesNeitherPieceAlone)
{
    // «згсДагп» over "src/tarn" at 1.75x: it paired with "tarn" and took its place for having
    // more letters, though three of them are the glyphs of "src", which stayed: «src/згсДагп».
    EXPECT_TRUE(readsLine("alert-path-tarn-175x", QStringLiteral("Нет доступа к папке ~/src/tarn/build")));
}

TEST(ScreenshotText, ALetterReadAgainInTheOtherCaseOnTheGlyphBesideItGoes)
{
    // The English model reads one glyph twice, once in each case, the second box mostly
    // within the first: "Nn;", "vaLlue", "xlsSx"; the Russian one «Гг» in a listing's modes.
    EXPECT_TRUE(readsLine("code-loop-n-2x", QStringLiteral("for (int i = 0; i != n; ++i)")));
    EXPECT_TRUE(readsLine("code-value-1x", QStringLiteral("p->value != q->value")));
    EXPECT_TRUE(readsLineWith("table-xlsx-125x", QStringLiteral("отчёт за март.xlsx ")));
    const QStringList listing = readLines(screenshot("terminal-ls-flag-2x"));
    EXPECT_EQ(std::count_if(listing.begin(), listing.end(), [](const QString& line) { return line.startsWith(QStringLiteral("-rw-r--r-- 1 anna anna ")); }), 7)
        << listing.join(" | ").toStdString();
}

TEST(ScreenshotText, AnLOrAOneAmidAFileTypesSmallLettersIsTheSmallL)
{
    // A terminal's "l" at 1x, read "L" or "1" in the type of «отчёт за март.xlsx»: a file's
    // type mixes no case and holds no figure amid its letters.
    EXPECT_TRUE(readsLineWith("terminal-type-1x", QStringLiteral(" март.xlsx")));
    EXPECT_TRUE(readsLineWith("terminal-type-figure-1x", QStringLiteral(" март.xlsx")));
}

TEST(ScreenshotText, AListingsRepeatedMonthAndOwnerReadTheSameInEveryRow)
{
    // `ls -l` in xterm at 2×: the Russian month in every row, which the English model
    // reads about as surely as the word "map".
    const QStringList listing = readLines(screenshot("listing-2x"));
    const auto rowsWith = [](const QStringList& lines, const QString& pattern) {
        const QRegularExpression word(pattern);
        return std::count_if(lines.begin(), lines.end(), [&](const QString& line) { return word.match(line).hasMatch(); });
    };
    EXPECT_EQ(rowsWith(listing, QString::fromUtf8(R"(^-.* мар \d+ \d\d:\d\d )")), 4) << listing.join(" | ").toStdString();
    EXPECT_EQ(rowsWith(listing, QStringLiteral(R"(\bmap\b)")), 0) << listing.join(" | ").toStdString();
    // At 1.25×: the owner and group, which the Russian model reads surely as «аппа»
    // where the English model is unsure of one copy.
    const QStringList owners = readLines(screenshot("listing-125x"));
    EXPECT_EQ(rowsWith(owners, QStringLiteral(R"( 1 anna anna \d+ )")), 6) << owners.join(" | ").toStdString();
    EXPECT_EQ(rowsWith(owners, QString::fromUtf8("аппа")), 0) << owners.join(" | ").toStdString();
    // At 1×: the link count, a "1" alone between the modes and the owner, is drawn as
    // the "1" inside the sizes and times.
    const QStringList links = readLines(screenshot("listing-1x"));
    EXPECT_EQ(rowsWith(links, QStringLiteral(R"(^-\S+ 1 anna anna \d+ )")), 7) << links.join(" | ").toStdString();
}

TEST(ScreenshotText, ALettersOwnShadowWithinItsBoxLeavesItALetter)
{
    using namespace ScreenTextRecognizer::stages;
    // White serif words with a dark shadow on an orange suit at 2×: three pieces of the
    // «у»'s shadow fall within its box, under its arms and its tail, and the «у» was
    // taken for a box round a label and left out («П тешествия»).
    const QImage suit = screenshot("photo-suit");
    const TextLayer layer = textLayer(readableGrey(suit));
    // The «у» stands between x = 132 and 166, from y = 101 down; «П» ends before it, «т»
    // starts after.
    int drawn = 0;
    for (int y = 103; y <= 128; ++y)
        for (int x = 134; x <= 164; ++x)
            drawn += qGray(layer.view.pixel(x, y)) < 160;
    EXPECT_GE(drawn, 60);
    EXPECT_EQ(readLines(suit), QStringList({QStringLiteral("Путешествия 2025"), QStringLiteral("Смотреть фото")}));
}

TEST(ScreenshotText, HeadingsAndSidebarItemsOfADocsPageAreReadApartFromItsParagraphs)
{
    // Serif headings of 36 and 30 px over 13 px paragraphs at 1×: read in one block with
    // the paragraphs, enlarged for the small text, the headings were taken for pictures
    // and dropped («Настройка» read «И»).
    const QStringList page = readLines(screenshot("docs-headings"));
    EXPECT_TRUE(page.contains(QStringLiteral("Настройка"))) << page.join(" | ").toStdString();
    // «Запись экрана» is a sidebar item and the second heading.
    EXPECT_EQ(page.count(QStringLiteral("Запись экрана")), 2) << page.join(" | ").toStdString();
    for (const char* line : {"Все изменения можно отменить сочетанием Ctrl+Z.", "Горячие клавиши можно изменить в разделе «Клавиши».",
                             "Снимок экрана сохраняется в папку, выбранную в настройках."})
        EXPECT_TRUE(page.contains(QString::fromUtf8(line))) << line << " in: " << page.join(" | ").toStdString();

    // At 1.25× the last sidebar item stands between two lines of the page's text, and in
    // one block with them it was read as a line of its own across both («pe едакто] р»).
    const QStringList sidebar = readLines(screenshot("docs-sidebar"));
    for (const char* item : {"Быстрый старт", "Changelog", "Содержание", "Поддержка", "Редактор"})
        EXPECT_TRUE(sidebar.contains(QString::fromUtf8(item))) << item << " in: " << sidebar.join(" | ").toStdString();
    EXPECT_TRUE(sidebar.contains(QStringLiteral("The editor opens after each capture unless you turn it off.")))
        << sidebar.join(" | ").toStdString();
    EXPECT_TRUE(sidebar.contains(QStringLiteral("Текст на снимке распознаётся и копируется в буфер обмена.")))
        << sidebar.join(" | ").toStdString();

    // At 1.5× a heading stands a wide gutter right of two sidebar items, the first within
    // its rows: in one block the engine made two lines of the three («Е Пдернк @еа5е»).
    const QStringList beside = readLines(screenshot("docs-sidebar-heading-15x"));
    for (const char* line : {"Частые вопросы", "Поддержка", "Release notes", "Use the arrow keys to move the selection by one pixel."})
        EXPECT_TRUE(beside.contains(QString::fromUtf8(line))) << line << " in: " << beside.join(" | ").toStdString();
}

TEST(ScreenshotText, ShapesOfAPhotoAtAnyHeightMakeNoLine)
{
    using namespace ScreenTextRecognizer::stages;
    // White words at 1.25× on an astronaut's suit and helmet, the page's margin round the
    // photo. Dark folds and the helmet's black, each as tall as a line, stand at any
    // height; chained side by side they made a "line" whose marks spread it over the
    // whole photo, its ground the page, and it drew the photo over the words.
    const QImage helmet = screenshot("photo-helmet");
    const TextLayer layer = textLayer(readableGrey(helmet));
    // «Кофе с собой» and «Read more» stand within x 25–140, y 20–80.
    for (const TextLine& line : layer.lines)
        if (!line.light) {
            EXPECT_FALSE(line.box.intersects(QRect(25, 20, 115, 60)))
                << line.box.x() << "," << line.box.y() << " " << line.box.width() << "x" << line.box.height();
        }
    EXPECT_EQ(readLines(helmet), QStringList({QStringLiteral("Кофе с собой"), QStringLiteral("Read more")}));
}

TEST(ScreenshotText, AHeadingOnAPhotoKeepsToItsOwnColourAndRows)
{
    // A bold heading at 2× on a stained tissue picture, light and dark specks all round:
    // specks within the heading's reach joined it as marks, the ring round the grown line
    // fell on the picture's lights, and the heading was taken for a pocket of ground.
    const QStringList cells = readLines(screenshot("photo-cells"));
    EXPECT_EQ(cells, QStringList({QStringLiteral("Explore the world"), QStringLiteral("Смотреть фото")})) << cells.join(" | ").toStdString();
    // A bold heading at 1.5× on a cat's fur: light strands, far fainter than the white
    // letters, chained in with them, outnumbered them and set the line's rows, and the
    // letters were left out as standing off those rows.
    const QImage eyes = screenshot("photo-cat-eyes");
    const QStringList cat = readLines(eyes);
    EXPECT_EQ(cat, QStringList({QStringLiteral("Кофе с собой"), QStringLiteral("Read more")})) << cat.join(" | ").toStdString();
    // The heading is a light line of its own, from its «К» at x = 76 to its «й» at 304.
    using namespace ScreenTextRecognizer::stages;
    const TextLayer layer = textLayer(readableGrey(eyes));
    const auto heading = lightLineAt(layer, QPoint(100, 95));
    ASSERT_NE(heading, layer.lines.end());
    EXPECT_GE(heading->box.width(), 200);
    EXPECT_LT(heading->box.right(), 320) << heading->box.x() << "," << heading->box.y() << " " << heading->box.width();
}

TEST(ScreenshotText, ALaunchTowersLatticeBesideWhiteWordsReadsAsNoWord)
{
    // White words on a rocket at dusk, its launch towers' lattice on either side: a few
    // thin struts in a row, or struts cut off flat where the photo ends on the page, read
    // as a word of their own («у» at 1.5×, «ee» and «ky» at 1×).
    const QImage tower = screenshot("photo-tower-15x");
    EXPECT_EQ(readLines(tower), QStringList({QStringLiteral("Weekend sale"), QStringLiteral("Read more")}));
    // The words end before x = 260; the right tower stands from x = 560 on.
    using namespace ScreenTextRecognizer::stages;
    for (const TextLine& line : textLayer(readableGrey(tower)).lines)
        EXPECT_LT(line.box.left(), 500) << line.box.x() << "," << line.box.y() << " " << line.box.width() << "x" << line.box.height();
    EXPECT_EQ(readLines(screenshot("photo-tower-1x")),
              QStringList({QStringLiteral("Скидки до 50%"), QStringLiteral("Только до воскресенья")}));
}

TEST(ScreenshotText, ThinWhiteCaptionsOnAPhotoAreRead)
{
    // Regular captions at 1x and 1.25x on a retina and on a stained tissue picture:
    // strokes of a pixel or two, which smoothing spreads over their neighbours, so few
    // of their pixels reach the white they are drawn in. Taken for shapes of the photo
    // that only peak at a level, the captions were left out.
    EXPECT_EQ(readLines(screenshot("photo-retina-1x")), QStringList({QStringLiteral("Открытие сезона"), QStringLiteral("Смотреть фото")}));
    EXPECT_EQ(readLines(screenshot("photo-thin-125x")), QStringList({QStringLiteral("Новая коллекция"), QStringLiteral("Read more")}));
}

TEST(ScreenshotText, APhotosGrainRoundWhiteWordsIsNoLine)
{
    using namespace ScreenTextRecognizer::stages;
    // White words at 2x on a stained tissue picture: its dark grain all round them made a
    // dark "line" across both rows of words, far fainter than they are, and drew the grain
    // over them («у ›0% ытие сезона»).
    const QImage tissue = screenshot("photo-tissue-2x");
    const QRect words(49, 54, 325, 82);
    for (const TextLine& line : textLayer(readableGrey(tissue)).lines)
        if (!line.light) {
            EXPECT_FALSE(line.box.intersects(words)) << line.box.x() << "," << line.box.y() << " " << line.box.width() << "x" << line.box.height();
        }
    EXPECT_EQ(readLines(tissue), QStringList({QStringLiteral("Открытие сезона"), QStringLiteral("Смотреть фото")}));
}

TEST(ScreenshotText, AHeadingAndItsCaptionChainedByAStreakOfAPhotoAreTwoLines)
{
    using namespace ScreenTextRecognizer::stages;
    // A light streak of a stained tissue picture at 2x stands across the rows of a bold
    // heading and of its caption, and chained the «ф» of each into one line: its glyphs
    // lined up with neither row, and both rows were left out as no line at all.
    const QImage streak = screenshot("photo-streak-2x");
    const TextLayer layer = textLayer(readableGrey(streak));
    // «Кофе с собой» stands on rows 70–100, «Смотреть фото» on rows 121–146.
    const auto heading = lightLineAt(layer, QPoint(120, 85));
    const auto caption = lightLineAt(layer, QPoint(120, 135));
    ASSERT_NE(heading, layer.lines.end());
    ASSERT_NE(caption, layer.lines.end());
    EXPECT_NE(heading, caption);
    // A shape of the photo just before the «К», peaking far darker than the white letters,
    // stayed in the heading's line and read as «‚».
    EXPECT_EQ(readLines(streak), QStringList({QStringLiteral("Кофе с собой"), QStringLiteral("Смотреть фото")}));
    // So did a shape of a cup at 2x before a serif heading («“г Открытие сезона»).
    EXPECT_EQ(readLines(screenshot("photo-saucer-2x")), QStringList({QStringLiteral("Открытие сезона"), QStringLiteral("Смотреть фото")}));
}

TEST(ScreenshotText, AWordOnAFlatPatchOfAPhotoIsNoPhotoCutOff)
{
    using namespace ScreenTextRecognizer::stages;
    // «Explore», bold white serif at 1x, on the flag behind the astronaut: the rows just
    // over its «E» and «l» are of one level, a stripe of the flag, and the word was taken
    // for shapes cut off flat where the photo ends on the page. The page is white.
    const TextLayer layer = textLayer(readableGrey(screenshot("photo-flag-1x")));
    EXPECT_NE(lightLineAt(layer, QPoint(45, 41)), layer.lines.end());
}

TEST(ScreenshotText, WhiteWordsOverAPhotosLightsAreRead)
{
    // A bold heading at 1.25x on the pale cells of a stained tissue picture: much of the
    // ring round it is as light as its letters, as round a pocket of ground between the
    // strokes of large letters, and the heading was left out. Round a pocket those lights
    // are letters; here they are the photo's.
    const QStringList bright = readLines(screenshot("photo-bright-125x"));
    EXPECT_TRUE(bright.contains(QStringLiteral("Новая коллекция"))) << bright.join(" | ").toStdString();
    // The dark horizon under a rocket's lights at 1.5x stands in a ring as dark as itself
    // as well, yet is no word: its shapes are strips many times as wide as tall.
    EXPECT_EQ(readLines(screenshot("photo-horizon-15x")), QStringList({QStringLiteral("Вечерний город"), QStringLiteral("Смотреть фото")}));
}

TEST(ScreenshotText, SpecksStrewnAlongARowOfAPhotoAreNoText)
{
    // Dark specks of a cat's fur at 1x, under the link and beside the heading, lined up
    // a few heights apart each, read as «my» and «~ =% —-».
    EXPECT_EQ(readLines(screenshot("photo-cat-1x")), QStringList({QStringLiteral("Weekend sale"), QStringLiteral("Смотреть фото")}));
    // Lights of a photo at 2x, a few specks a word's height apart between a heading and a
    // link, read as «,  «  8».
    EXPECT_EQ(readLines(screenshot("photo-strewn-specks-2x")),
              QStringList({QStringLiteral("Открытие сезона"), QStringLiteral("Подробнее на сайте")}));
}

TEST(ScreenshotText, AFewShapesFarFainterThanTheWordsOnAPhotoAreNoWord)
{
    // White words at 2x on the rocket at dusk: bits of the towers' lattice, each a shape
    // or two a little darker than the sky round it, stood as small words of their own and
    // read as «i/». The words stand off the photo four times as far.
    EXPECT_EQ(readLines(screenshot("photo-lattice-2x")), QStringList({QStringLiteral("Weekend sale"), QStringLiteral("Read more")}));
    // Three dark specks in a row at 1.5x on a cat's face, under a third as deep as the
    // words, read as «’, el».
    EXPECT_EQ(readLines(screenshot("photo-dark-specks-15x")), QStringList({QStringLiteral("Weekend sale"), QStringLiteral("Смотреть фото")}));
}

TEST(ScreenshotText, PaleSpecksOfAPhotoAWordAwayFromWhiteWordsAreNoMarksOfThem)
{
    // White words at 1.25x on the pale cells of a stained tissue picture: specks as light
    // as the letters, a few letters' widths past the end of each line, joined it as marks
    // and read as «=» and «-.» after the words.
    EXPECT_EQ(readLines(screenshot("photo-pale-specks-125x")), QStringList({QStringLiteral("Кофе с собой"), QStringLiteral("Подробнее на сайте")}));
}

TEST(ScreenshotText, AFewShapesOfAPhotoOfEveryHeightOrEachOneStrokeAreNoWord)
{
    // White words at 2x on a stained tissue picture: three dark shapes of the tissue after
    // the heading, each of a height of its own, stood as a word and read as «\ #1». Letters
    // come in a height or two.
    const QStringList cells = readLines(screenshot("photo-heights-2x"));
    ASSERT_EQ(cells.size(), 2) << cells.join(" | ").toStdString();
    EXPECT_EQ(cells.front(), QStringLiteral("Путешествия 2025"));
    // A serif heading at 1.25x on the astronaut's patch: dark strands of its embroidery
    // round the heading's end, each a single stroke, read as «' ‘».
    const QStringList patch = readLines(screenshot("photo-strokes-125x"));
    ASSERT_EQ(patch.size(), 2) << patch.join(" | ").toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Кофе с собой?$")).match(patch.front()).hasMatch()) << patch.front().toStdString();
    EXPECT_EQ(patch.back(), QStringLiteral("Смотреть фото"));
}

TEST(ScreenshotText, RussianPiecesOfAPathAfterALatinPrefixAreReadInCyrillic)
{
    // A monospace path at 1.25×: both engines part «.pdf» as a word, the Russian one
    // with the dot alone; the whole path went to the English reading, «3arpy3ku».
    // The blank they read after the dot is left aside here: at this size the English
    // reading's boxes keep to no pitch.
    const QStringList paths = readLines(screenshot("paths-prefix-125x"));
    ASSERT_FALSE(paths.isEmpty());
    EXPECT_EQ(QString(paths.front()).remove(u' '), QStringLiteral("/home/ivan/Загрузки/отчёт.pdf")) << paths.front().toStdString();
    // The "l" at the end of a name, read as "!".
    EXPECT_TRUE(paths.contains(QStringLiteral("index.html"))) << paths.join(" | ").toStdString();
    // Names the English engine parted after their signs, and a type the Russian one
    // dropped while it boxed the name's last letter over it.
    const QStringList parted = readLines(screenshot("paths-parted-125x"));
    for (const char* line : {"photo_2024.jpg", "план работ.txt"})
        EXPECT_TRUE(parted.contains(QString::fromUtf8(line))) << line << " in: " << parted.join(" | ").toStdString();
}

TEST(ScreenshotText, AMonospaceNameIsOneWordThoughAFewBoxesStrayFromThePitch)
{
    // The blank the engines read after the dot of «отчёт.pdf» is no cell of its own; a few
    // of the engine's boxes stray from the pitch ("fi"), which no proportional font keeps
    // at all.
    for (const char* name : {"paths-pitch-125x", "paths-pitch-15x"}) {
        const QStringList paths = readLines(screenshot(name));
        ASSERT_FALSE(paths.isEmpty()) << name;
        EXPECT_EQ(paths.front(), QStringLiteral("/home/ivan/Загрузки/отчёт.pdf")) << name;
    }
}

TEST(ScreenshotText, RussianBadgesKeepTheirWordsAndTheirFiguresApart)
{
    // White labels on badges at 1.25×: the English reading "Bpa6ote" is sure, the
    // Russian «работе» a word of the lists read half sure; the Russian model reads the
    // figure of «3 новых» as «З» and runs it on into the word.
    EXPECT_EQ(readLines(screenshot("badges-125x")), (QStringList{"Звук Новое", "backup.tar.gz В работе 3 новых"}));
}

TEST(ScreenshotText, ALatinNameInATerminalKeepsItsScriptAndType)
{
    // `git status` in xterm at 1.25×: the Russian model's sure «ВЕАОМЕ» took the place of
    // "README." and "md" both, and the name left its line.
    const QStringList lines = readLines(screenshot("terminal-status-125x"));
    const auto name = std::find_if(lines.begin(), lines.end(), [](const QString& line) { return line.contains(QStringLiteral("README")); });
    ASSERT_NE(name, lines.end()) << lines.join(" | ").toStdString();
    EXPECT_EQ(*name, QStringLiteral("modified: README.md"));
    EXPECT_TRUE(lines.contains(QStringLiteral("modified: docs/установка.md"))) << lines.join(" | ").toStdString();
}

TEST(ScreenshotText, CodeInATerminalKeepsAWordItsDotJoinsToTheNext)
{
    // `cat main.cpp` in xterm at 1.5×: the engines part "map.find(key);" after the dot,
    // and the Russian model's sure «мар.» took the place of "map.".
    const QStringList lines = readLines(screenshot("code-terminal-15x"));
    EXPECT_TRUE(lines.contains(QStringLiteral("auto it = map.find(key);"))) << lines.join(" | ").toStdString();
}

TEST(ScreenshotText, RussianBadgesInALatinRowAreNoLatinLookAlikes)
{
    // Badges after Latin names at 2× and 1.25×: the rows read best in English, whose
    // readings of the labels («CpouHo» for «Срочно», «HoBbIx» for «новых», «Ortkppit» for
    // «Открыт») stand capitals and ascenders no taller than the small letters beside them.
    EXPECT_EQ(readLines(screenshot("badges-urgent-2x")), (QStringList{"index.html Черновик", "main.cpp beta Срочно"}));
    EXPECT_EQ(readLines(screenshot("badges-new-125x")),
              (QStringList{"main.cpp Открыт Закрыт", "Обновления Готово", "Privacy 3 новых"}));
    const QStringList open = readLines(screenshot("badges-open-125x"));
    ASSERT_EQ(open.size(), 2) << open.join(" | ").toStdString();
    EXPECT_EQ(open[0], QStringLiteral("report.pdf Открыт beta"));
    EXPECT_TRUE(open[1].startsWith(QStringLiteral("Getting started"))) << open[1].toStdString();
    EXPECT_TRUE(open[1].contains(QStringLiteral("новых Срочно"))) << open[1].toStdString();
}

TEST(ScreenshotText, APillWhoseLabelIsAThirdOfItsHeightHoldsItsLabelApart)
{
    // A red pill at 1.25× after two grey default buttons: its white label leaves two thirds
    // of every column to the red, so the pill showed no padding apart from its label and
    // was no fill. The label then chained with the light inside of the grey button beside
    // it into one line of mixed grounds, and both buttons' words were lost.
    using namespace ScreenTextRecognizer::stages;
    const QImage shot = screenshot("buttons-red-pill-125x");
    const TextLayer layer = textLayer(readableGrey(shot));
    const auto label = std::find_if(layer.lines.begin(), layer.lines.end(), [](const TextLine& line) { return line.light; });
    ASSERT_NE(label, layer.lines.end());
    // The label alone: inside the pill, which spans columns 182-299.
    EXPECT_GE(label->box.left(), 190);
    EXPECT_LE(label->box.right(), 290);
    EXPECT_EQ(readLines(shot), QStringList{"Применить Send Подробнее Delete"});
}

TEST(ScreenshotText, ASelectedRowBesideItsListsFrameKeepsItsLabel)
{
    // A Qt list at 1.5× whose last row is selected: the white label reaches below its row's
    // blue into the white under it, and starts just past the list's frame, so the blue lies
    // beside it on one side only. The label was taken for a pocket of ground and dropped.
    const QStringList lines = readLines(screenshot("list-selected-15x"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Внешний вид"))) << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Безопасность"))) << lines.join(" | ").toStdString();
}

TEST(ScreenshotText, TextBlurCoversALineTheBlockReadingDropped)
{
    // A docs page at 1×: the reading that boxes words for the blur, one engine for both
    // languages, loses the line beside «Запись экрана» in the sidebar, and the blur left it
    // sharp. The text layer finds it, and it is read on its own.
    const QImage shot = screenshot("docs-dropped-line");
    const QStringList words{"Размытие", "скрывает", "номера"};
    const QString sharp = commandReading(shot);
    for (const QString& word : words)
        ASSERT_TRUE(sharp.contains(word, Qt::CaseInsensitive)) << word.toStdString() << " in: " << sharp.toStdString();
    const BlurEffect effect = computeLocal(blurElement(BlurMode::text, QRectF(QPointF(0, 0), shot.size())), shot,
                                           shot.size(), shot.size(), never);
    ASSERT_FALSE(effect.message.has_value()) << effect.message->toStdString();
    const QString after = commandReading(effect.image);
    for (const QString& word : words)
        EXPECT_FALSE(after.contains(word, Qt::CaseInsensitive)) << word.toStdString() << " in: " << after.toStdString();
}

TEST(ScreenshotText, AWordOfThinLettersInAFieldIsRead)
{
    // «Miller» in a field of a form at 1×: its "i" and two "l" are strokes a pixel or two
    // wide that smoothing leaves grey, so half its letters fell short of the word's one
    // level and the word was taken for shapes of a photo, neither read nor blurred.
    const QImage shot = screenshot("form-thin-letters-1x");
    const QStringList lines = readLines(shot);
    EXPECT_TRUE(lines.contains(QStringLiteral("Miller"))) << lines.join(" | ").toStdString();
    using namespace ScreenTextRecognizer::stages;
    const TextLayer layer = textLayer(readableGrey(shot));
    EXPECT_TRUE(std::any_of(layer.lines.begin(), layer.lines.end(), [](const TextLine& line) {
        return !line.light && line.box.left() >= 110 && line.box.left() <= 125 && line.box.top() >= 8 && line.box.bottom() <= 26;
    }));
}

TEST(ScreenshotText, RussianSizeUnitsBesideLatinNamesStayCyrillic)
{
    // «КБ» after a Latin file name: the English model has no «Б» and reads "KB", while the
    // Russian one, which would have read a Latin "B" as its «В», reads «Б».
    const QString table = readLines(screenshot("table-sizes-15x")).join(u'\n');
    for (const char* size : {"65,4 КБ", "98,2 КБ", "847,9 КБ", "141,9 МБ", "342,2 КБ"})
        EXPECT_TRUE(table.contains(QString::fromUtf8(size))) << size << "\n" << table.toStdString();
    EXPECT_FALSE(table.contains(QRegularExpression(QStringLiteral("[KM]B")))) << table.toStdString();

    // Latin units never turn into «Б»: the Russian model reads their "B" as «В», its own
    // twin of it.
    const QImage english = painted(360, 60, Qt::white, [](QPainter& p) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(14);
        p.setFont(font);
        p.setPen(QColor(40, 40, 40));
        p.drawText(12, 24, QStringLiteral("report.pdf      12.3 KB"));
        p.drawText(12, 48, QStringLiteral("backup.tar.gz   845.1 MB"));
    });
    const QString sizes = readLines(english).join(u'\n');
    EXPECT_FALSE(sizes.contains(QStringLiteral("Б"))) << sizes.toStdString();
    EXPECT_TRUE(sizes.contains(QStringLiteral("845.1 MB"))) << sizes.toStdString();
}

TEST(ScreenshotText, ASignDrawnTwiceSideBySideIsReadTwice)
{
    // "&&" in xterm at 1.5×: the two glyphs touch the same columns of the line model,
    // which gives one "&" for both.
    const QStringList code = readLines(screenshot("code-and-15x"));
    EXPECT_TRUE(code.contains(QStringLiteral("while (++i < count && x[i] != 0)"))) << code.join(" | ").toStdString();
    EXPECT_TRUE(std::any_of(code.begin(), code.end(), [](const QString& line) { return line.startsWith(QStringLiteral("if (x[i] >= 0 &&")); }))
        << code.join(" | ").toStdString();

    // A quote's two marks are one sign, however alike: «Клавиши» on a docs page keeps one «.
    EXPECT_EQ(readLines(screenshot("docs-quotes-1x")), QStringList{QStringLiteral("Горячие клавиши можно изменить в разделе «Клавиши».")});
}

TEST(ScreenshotText, TheSignsOfACodeBlockAreReadWhereTheyStandAloneOrFaint)
{
    // Chromium code at 1.25×: the first "=" stands alone in its columns and is cut from
    // its words; the lower bar of the second is smoothed over two rows, half as bright as
    // the text, where the text layer took it for a speck and the engine read a dash.
    EXPECT_EQ(readLines(screenshot("code-equals-125x")),
              (QStringList{QStringLiteral("auto it = map.find(key);"), QStringLiteral("const char* name = \"черновик\";"),
                           QStringLiteral("p->value != q->value")}));
}

TEST(ScreenshotText, LettersAlikeInBothCasesTakeTheCaseOfTheirHeight)
{
    // «З», «С», «О» differ from their small letters in height alone, and the engine takes
    // their case from its word lists: a list's «Звук» came out «звук», a docs page's
    // «снимков» «СНИМКОВ».
    EXPECT_EQ(readLines(screenshot("list-sound-1x")),
              (QStringList{QStringLiteral("Storage"), QStringLiteral("Уведомления"), QStringLiteral("Безопасность"), QStringLiteral("Звук")}));
    const QStringList docs = readLines(screenshot("docs-lower-case-1x"));
    EXPECT_TRUE(docs.contains(QStringLiteral("Редактор снимков"))) << docs.join(" | ").toStdString();

    // Capitals of a larger brand name beside a bar's items are no measure of theirs, and a
    // round small letter standing a pixel over the others is no capital.
    EXPECT_EQ(readLines(screenshot("navbar-brand-15x")),
              QStringList{QStringLiteral("Tarnwick Форум Blog Документы Настройки Каталог")});
    const QStringList badges = readLines(screenshot("badges-errors-125x"));
    EXPECT_TRUE(badges.contains(QStringLiteral("report.pdf 0 ошибок"))) << badges.join(" | ").toStdString();
    // In a path the engine reads the signs twice or not at all, and its glyphs pair off
    // with the wrong letters: «Плейлисты» measured by the glyph of an «л» stays a capital.
    const QString alert = readLines(screenshot("alert-path-125x")).join(u'\n');
    EXPECT_TRUE(alert.contains(QStringLiteral("/Музыка/Плейлисты"))) << alert.toStdString();
}

TEST(ScreenshotText, RussianMonthsOfATerminalListingStayCyrillic)
{
    // `ls -l` in a Russian locale: «мар» beside Latin names is the English word "map" to
    // the English model, which reads the angular «м» as its own "m".
    const QStringList listing = readLines(screenshot("terminal-ls-1x"));
    ASSERT_EQ(listing.size(), 6) << listing.join(" | ").toStdString();
    for (qsizetype i = 1; i < listing.size(); ++i)
        EXPECT_TRUE(listing[i].contains(QStringLiteral(" мар "))) << listing[i].toStdString();

    // An English "m" has arches no «м» has: English words of a terminal stay English.
    QImage english = canvas(620, 60);
    paint(english, [](QPainter& p) {
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(14);
        p.setFont(font);
        p.setPen(QColor(30, 30, 30));
        p.drawText(12, 34, QStringLiteral("man mmap: see map.find in main.cpp for more"));
    });
    EXPECT_EQ(readLines(english), QStringList{QStringLiteral("man mmap: see map.find in main.cpp for more")});
}

TEST(ScreenshotText, AStrokeReadTwiceBesideANarrowSignIsOneLetter)
{
    // The "l" of "ls -l" in xterm at 1.25×, read "1L" or "1l" on one glyph: beside the
    // narrow "-" it looked wide enough to be two, and the "1" took its stem, the "l" its
    // foot. Read as one glyph, its copy in "ls" tells it.
    // At 2× and 1× the "l" is read "1l" on its glyph whole, and no copy stands inside a
    // word: the one in "ls" tells it, at 1× with the one in "html" against one read "L".
    for (const char* name : {"terminal-ls-flag-125x", "terminal-ls-notes-125x", "terminal-ls-flag-2x", "listing-1x"}) {
        const QStringList listing = readLines(screenshot(name));
        ASSERT_FALSE(listing.isEmpty()) << name;
        EXPECT_TRUE(listing.front().endsWith(QStringLiteral("$ ls -l"))) << name << ": " << listing.front().toStdString();
    }
    // Where two letters run together beside it ("al" of "all" in 12 px serif), the two
    // readings of "l" are two letters.
    const QStringList serif = readLines(screenshot("serif-all-12"));
    EXPECT_TRUE(serif.contains(QStringLiteral("Click Save to apply the new settings to all windows."))) << serif.join(" | ").toStdString();
}

TEST(ScreenshotText, APhotosShapesLinedUpReadAsJunkAreNoText)
{
    // The dark horizon under a launch pad's lights is a row of dark shapes on a light
    // ground to the text layer; the engine reads it as words it all but gives up on.
    EXPECT_EQ(readLines(screenshot("photo-launch-pad-125x")),
              (QStringList{QStringLiteral("Кофе с собой"), QStringLiteral("Только до воскресенья")}));
}

TEST(ScreenshotText, LettersRunIntoABrightEdgeOfAPhotoAreCutFromIt)
{
    // White words at 1× on a coffee cup. The «К» of the heading touches the cup's rim,
    // nearly as light as the letters; the thin "R" of the caption runs into the rim through
    // the "e" beside it, its stem of one pixel smoothed to two thirds of the white. The rim
    // crosses both lines.
    const QStringList cup = readLines(screenshot("photo-cup-rim-1x"));
    ASSERT_GE(cup.size(), 2) << cup.join(" | ").toStdString();
    EXPECT_EQ(cup[0], QStringLiteral("Кофе с собой"));
    EXPECT_TRUE(cup[1].startsWith(QStringLiteral("Read more"))) << cup[1].toStdString();
    // Cut below the letters' core, the grey frame of an outlined button parts from its
    // rounded corners: its side is one stroke, no letter of the label beside it.
    const QStringList buttons = readLines(screenshot("buttons-outlined-125x"));
    EXPECT_EQ(buttons.join(u' ').simplified(), QStringLiteral("Continue Отмена Скачать отчёт Далее"));
    // Cut near their core first, the caption's thin letters fell into strokes, each taken
    // for a letter of its own.
    EXPECT_EQ(readLines(screenshot("photo-thin-caption-15x")), (QStringList{QStringLiteral("Добро пожаловать"), QStringLiteral("Смотреть фото")}));
}

TEST(ScreenshotText, WhiteLettersOverABrightBodyOfAPhotoAreCutFromItAndReadOnPaper)
{
    // The letters over the rocket run into bright stripes of its body that stand up and down
    // the picture: two tall shapes side by side, a "line" of their own that no cut looked at.
    // Cut from them, the letters stand on the body's grey, which is laid as paper.
    EXPECT_EQ(readLines(screenshot("photo-rocket-body-125x")),
              (QStringList{QStringLiteral("Новая коллекция"), QStringLiteral("Только до воскресенья")}));
    EXPECT_EQ(readLines(screenshot("photo-rocket-body-15x")), (QStringList{QStringLiteral("Добро пожаловать"), QStringLiteral("Read more")}));
    // The «2» of a serif heading at 2x touching the white rim of a cup.
    const QStringList cup = readLines(screenshot("photo-cup-rim-2x"));
    ASSERT_FALSE(cup.isEmpty());
    EXPECT_EQ(cup[0], QStringLiteral("Путешествия 2025"));
}

TEST(ScreenshotText, ATildeReadAsADashIsATilde)
{
    // A home folder's "~" at 1.25× and 1.5×, two rows tall: the engine reads it "—", or
    // "—-" on its two halves.
    EXPECT_TRUE(readsLine("alert-path-125x", QStringLiteral("Нет доступа к папке ~/Музыка/Плейлисты")));
    const QStringList paths = readLines(screenshot("paths-tilde-15x"));
    ASSERT_FALSE(paths.isEmpty());
    EXPECT_EQ(paths.front(), QStringLiteral("~/Музыка/Плейлисты"));
}

TEST(ScreenshotText, ABarOnTheBaselineBeforeAWordIsTheLetterI)
{
    // A sans "I" is a bar from the baseline to the capitals' height; the engine reads it "|".
    EXPECT_TRUE(readsLine("form-agree-125x", QStringLiteral("I agree to the terms")));
}

TEST(ScreenshotText, AFillAFewLevelsOffItsGroundHoldsItsLabel)
{
    // A pale grey button on a white page, and the active item's lighter patch on a bar:
    // fills 24 to 35 levels off their ground, whose edges were taken for strokes beside
    // the label ("(sera)" for "Send", «Ноте» for "Home").
    EXPECT_EQ(readLines(screenshot("buttons-pale-1x")).join(u' ').simplified(), QStringLiteral("Добавить Delete Send"));
    EXPECT_EQ(readLines(screenshot("navbar-active-1x")).join(u' ').simplified(),
              QStringLiteral("Docs Каталог Docs Документы Home Отчёты Blog"));
}

TEST(ScreenshotText, ABracketReadAsALetterTakesTheReadingOfItsCopies)
{
    // "w[i];" read "w[il;": the "]" beside a narrow "i" and a ";" is one stroke to the
    // engine; its copies after "x[i" are read as brackets.
    for (const char* name : {"terminal-brackets-1x", "code-brackets-15x"}) {
        const QStringList code = readLines(screenshot(name));
        EXPECT_TRUE(std::any_of(code.begin(), code.end(), [](const QString& line) { return line.contains(QStringLiteral("x[i] * w[i];")); }))
            << name << ": " << code.join(" | ").toStdString();
    }
}

TEST(ScreenshotText, AFileTypeBeforeASentencesSignStaysLatin)
{
    // «Посмотри notes/черновик.md, там список»: with the comma the ".md" ended no word, was
    // taken for no file's type, and followed the Russian «черновик» before it as «та».
    EXPECT_TRUE(readsLine("chat-file-type-1x", QStringLiteral("Посмотри notes/черновик.md, там список")));
}

TEST(ScreenshotText, ALetterAloneTakesTheScriptItsCopiesInWordsAreReadIn)
{
    // "i != n;": the Russian model reads the lone "n" as «п» at 90, the English one at 57;
    // the same glyph inside "int", "node" and "next" is read "n".
    EXPECT_TRUE(readsLine("code-alone-n-2x", QStringLiteral("for (int i = 0; i != n; ++i)")));
}

TEST(ScreenshotText, TwoSignsOfCodeRunTogetherAreReadTwice)
{
    // "0 && y": the two ampersands touch at 1.25× and the engine reads one.
    EXPECT_TRUE(readsLine("code-and-and-125x", QStringLiteral("if (x[i] >= 0 && y != -1)")));
}

TEST(ScreenshotText, ANameWhosePiecesFollowInTheOtherReadingKeepsItsScriptAndSigns)
{
    // «мар.» «Р1па» «(Кеу);» against "map.find(key);": «мар» and "map" are words of both
    // lists, and the English pieces after it took the row's last word's place without the
    // signs that close it.
    EXPECT_TRUE(readsLine("code-map-find-2x", QStringLiteral("auto it = map.find(key);")));
}

TEST(ScreenshotText, AFigureJoinedToTheWordAfterItInBothReadingsIsPartedAtItsSpace)
{
    // «3 новых» on a badge at 1×: the Russian model reads «Зновых», the English one
    // "3HOBbIX", both one word; the English one's leading figure and the space the Russian
    // one's boxes show part it.
    const QString badges = readLines(screenshot("badges-new-joined-1x")).join(u'\n');
    EXPECT_TRUE(badges.contains(QStringLiteral("3 новых"))) << badges.toStdString();
    EXPECT_FALSE(badges.contains(QStringLiteral("Зновых"))) << badges.toStdString();
}

TEST(ScreenshotText, LookAlikesWithAFigureAmidTheirLettersTakeNoWordsPlace)
{
    // «Созвонимся» in a chat at 1×: its engine boxes stand a letter a little tall, which
    // makes it look-alike junk, and the English "CO3BOHMMCA", read half sure, took its
    // place. A figure amid letters is the other script's look-alikes as well.
    const QStringList chat = readLines(screenshot("chat-call-1x"));
    EXPECT_TRUE(chat.contains(QStringLiteral("Созвонимся завтра в 10:00?"))) << chat.join(" | ").toStdString();
}

TEST(ScreenshotText, BlanksInATerminalAreTheEmptyCellsOfItsGrid)
{
    // A terminal sets each glyph in a cell of one width: «README.md» fills neighbouring
    // cells though the dot leaves a wide gap round it, and "!= n" leaves a cell empty
    // though the engine reads it as one word.
    const QStringList git = readLines(screenshot("terminal-git-125x"));
    EXPECT_TRUE(git.contains(QStringLiteral("modified: README.md"))) << git.join(" | ").toStdString();
    const QStringList code = readLines(screenshot("terminal-code-1x"));
    EXPECT_TRUE(code.contains(QStringLiteral("for (int i = 0; i != n; ++i)"))) << code.join(" | ").toStdString();
    EXPECT_TRUE(code.contains(QStringLiteral("while (++i < count && x[i] != 0)"))) << code.join(" | ").toStdString();

    // A proportional font's glyphs may stand nearly on such a grid for a word or two; its
    // narrow glyphs do not, and its words stay as read.
    const QStringList form = readLines(screenshot("qt-form-file-125x"));
    EXPECT_TRUE(std::any_of(form.begin(), form.end(), [](const QString& line) { return line.endsWith(QStringLiteral(" бюджет-2025.ods")); }))
        << form.join(" | ").toStdString();
}

TEST(ScreenshotText, TheCellsOfATerminalAreFoundInRowsWithoutDescendersAndGoToTheWordsReadOnThem)
{
    // A row without descenders stands about 0.76 em tall, and its cells are 0.6 em wide: more
    // than seven tenths of its height, where the search for the grid stopped.
    EXPECT_TRUE(readsLine("terminal-notes-15x", QStringLiteral("modified: README.md")));
    // "README" boxed over the ".md" after it: each glyph goes to the narrowest word over it.
    EXPECT_TRUE(readsLine("terminal-readme-125x", QStringLiteral("modified: README.md")));
    // The ")" of "find(key)" boxed short of its glyph, which no word's box held: the cell
    // before ";" looked empty.
    EXPECT_TRUE(readsLine("code-map-find-15x", QStringLiteral("auto it = map.find(key);")));
}

TEST(ScreenshotText, TheLOfAFileTypeReadAsAnIIsTheLItsUnbrokenStrokeShows)
{
    // «март.xlsx» in a Chromium alert at 1.25x: the English model reads its "l" as "i", and
    // no copy of the glyph stands inside another word to go by.
    EXPECT_TRUE(readsLine("alert-xlsx-125x", QStringLiteral("Ошибка: не удалось сохранить файл отчёт за март.xlsx")));
}

TEST(ScreenshotText, AnUnderscoreBothModelsDropInATerminalIsTheFlatBarAtItsCellsFoot)
{
    // «photo_2024.jpg» in xterm at 1.5x: both models read "photo" "2024.jpg". The cell
    // between holds a glyph no word was read on, a bar a cell wide at the cell's foot.
    EXPECT_TRUE(readsLineWith("terminal-underscore-15x", QStringLiteral(" photo_2024.jpg")));
}

TEST(ScreenshotText, ACaptionsShadowOverAPhotoLeavesTheCaptionAText)
{
    // White 11 px words with a dark shadow over a cat's fur: the shadow's shapes make a
    // line of their own, which is no text either (its level is the fur's), and must not
    // take the caption with it.
    const QStringList lines = readLines(screenshot("photo-caption-shadow-1x"));
    ASSERT_EQ(lines.size(), 2) << lines.join(" | ").toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Вечерний город"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Смотреть фото"))) << lines[1].toStdString();
}

TEST(ScreenshotText, ALineUnderATallerHeadingIsReadApartFromIt)
{
    // A heading two and a half times the caption's height over a dark sky: with one line of
    // each, the heading set the common height, the caption passed for its dots, and read in
    // one block with the heading it was dropped.
    EXPECT_EQ(readLines(screenshot("photo-sky-caption-2x")), (QStringList{QStringLiteral("Путешествия 2025"), QStringLiteral("Read more")}));
    // A docs heading between single lines of the sidebar and the text, read with them, lost
    // its letters' spacing.
    const QStringList docs = readLines(screenshot("docs-heading-alone-125x"));
    EXPECT_TRUE(docs.contains(QStringLiteral("Быстрый старт"))) << docs.join(" | ").toStdString();
}

TEST(ScreenshotText, ALatinBadgeTheRussianModelReadsWithATwinOfAnotherLetterStaysLatin)
{
    // "PRO" on a badge in a Russian row: the Russian model has no "R" and reads it «В» or
    // «К», surely, while a «В» would have been the English model's "B". At 1.25× the
    // English model also reads the badge's round edge as "=" or "~" on no glyph of its own.
    EXPECT_TRUE(readsLine("badges-pro-1x", QStringLiteral("Договор №17.docx PRO Срочно")));
    EXPECT_TRUE(readsLine("badges-pro-125x", QStringLiteral("Обновления PRO beta")));
    EXPECT_TRUE(readsLine("badges-2x", QStringLiteral("Распознавание текста PRO Archived")));
}

TEST(ScreenshotText, APieceOfAPathReadShortOfALetterReadAsASignIsNoWord)
{
    // "notes/черновик.md" in xterm: the Russian model reads «поте$/», a word of its lists
    // only for the "s" it read as "$", where the English model reads the word "notes".
    EXPECT_TRUE(readsLine("terminal-notes-1x", QStringLiteral("modified: notes/черновик.md")));
    EXPECT_TRUE(readsLine("terminal-notes-15x", QStringLiteral("modified: notes/черновик.md")));
    EXPECT_TRUE(readsLine("terminal-git-125x", QStringLiteral("modified: notes/черновик.md")));
}

TEST(ScreenshotText, ALeadingSignOnlyTheOtherModelReadComesWithItsPiece)
{
    // A path in a Qt field at 1x: the Russian model reads «home» without the "/" before it,
    // the English model reads "/home"; its piece was taken without the sign.
    EXPECT_TRUE(readsLine("qt-form-path-1x", QStringLiteral("Папка: /home/anna/Документы/Проекты")));
    EXPECT_TRUE(readsLine("qt-form-path-ivan-1x", QStringLiteral("Папка: /home/ivan/Загрузки/отчёт.pdf")));
}

TEST(ScreenshotText, ACaptionTrimmedFromAHeadingsChainIsJudgedByItsOwnLetters)
{
    using namespace ScreenTextRecognizer::stages;
    // A 1x caption under a heading over a cat's face: chained to the heading's letters and
    // the lights of an eye, its line kept their height once trimmed to its own letters,
    // and was judged by the eye's lights alone as a photo's shapes with no core.
    const QImage cat = screenshot("photo-cat-caption-1x");
    const TextLayer layer = textLayer(readableGrey(cat));
    const auto caption = lightLineAt(layer, QPoint(30, 71));
    ASSERT_NE(caption, layer.lines.end());
    EXPECT_TRUE(caption->onPhoto);
    const QStringList lines = readLines(cat);
    ASSERT_EQ(lines.size(), 2) << lines.join(" | ").toStdString();
    EXPECT_EQ(lines.front(), QStringLiteral("Скидки до 50%"));
    EXPECT_TRUE(lines.back().startsWith(QStringLiteral("Read more"))) << lines.back().toStdString();
}

TEST(ScreenshotText, LightsOfAPhotoChainedOntoACaptionLeaveItsLetters)
{
    using namespace ScreenTextRecognizer::stages;
    // A 1.25x caption over a portrait, chained to three lights of the face beside it. Their
    // pixels outweighed its small white letters, and the whole line was dropped as a
    // photo's shapes with no core of one colour.
    const QImage portrait = screenshot("photo-cheek-caption-125x");
    const TextLayer layer = textLayer(readableGrey(portrait));
    const auto caption = lightLineAt(layer, QPoint(60, 95));
    ASSERT_NE(caption, layer.lines.end());
    EXPECT_TRUE(caption->onPhoto);
    EXPECT_LT(caption->box.right(), 160) << "the face's lights stay out of the caption's line";
    EXPECT_TRUE(readsLineWith("photo-cheek-caption-125x", QStringLiteral("Смотреть фото")));
}

TEST(ScreenshotText, TheFirstLettersOfAWordRunIntoOneLightOfAPhotoAreAllCut)
{
    // White words at 1.25x over fur: «Смот» run into one light shape, further off the
    // rest of the line than its letters reach. Cut as far as they reached, «м» lost its
    // left stroke and «С» was never looked at.
    EXPECT_EQ(readLines(screenshot("photo-fur-first-letters-125x")),
              (QStringList{QStringLiteral("Вечерний город"), QStringLiteral("Смотреть фото")}));
}

TEST(ScreenshotText, AWordOfTheOtherReadingOverTwoOfTheRowsIsCutAtTheRowsSpace)
{
    // A button "Export CSV" at 1.25×: the English model reads "ExportCSV" as one word over the
    // Russian «Ехрой» «С5$У». Its piece was taken over the first, the second kept beside it.
    EXPECT_TRUE(readsLine("buttons-export-csv-125x", QStringLiteral("Export CSV Далее Загрузить файл Сохранить")));
}

TEST(ScreenshotText, TheSignBetweenTwoPiecesTakenFromTheOtherReadingIsItsOwn)
{
    // "/home/ivan/" at 2x, read by the Russian model «/потеЛ\уап/»: "home" and "ivan" were
    // taken from the English reading, the "\" between them kept from the Russian one.
    EXPECT_TRUE(readsLine("alert-path-ivan-2x", QStringLiteral("Нет доступа к папке /home/ivan/Загрузки/отчёт.pdf")));
    EXPECT_TRUE(readsLine("qt-form-path-ivan-2x", QStringLiteral("Папка: /home/ivan/Загрузки/отчёт.pdf")));
}

TEST(ScreenshotText, LettersThatDifferOnlyInCaseTakeTheCaseOfTheirHeight)
{
    // An "OK" button in a Russian Qt form: the Russian model reads the word of its lists «ок»,
    // small letters, on glyphs as tall as the capitals.
    EXPECT_TRUE(readsLine("qt-form-ok-125x", QStringLiteral("OK Применить")));
    EXPECT_TRUE(readsLine("qt-form-ok-1x", QStringLiteral("Закрыть OK")));
}

TEST(ScreenshotText, AWordWhoseOwnGlyphsShowASpaceIsTwoWords)
{
    // "Sign up" in a navbar: both models read "Signup", a word of the English lists, though
    // the blank between "n" and "u" is thrice the room between its other letters.
    EXPECT_TRUE(readsLine("navbar-sign-up-2x", QStringLiteral("Мой сайт Главная Sign up Документы Blog Проекты Настройки")));
    EXPECT_TRUE(readsLine("navbar-sign-up-1x", QStringLiteral("Tarnwick Sign up Контакты Новости Главная Документы")));
    // Where the engines box the "g" over the blank, the ink still shows it: 6 px against
    // 1-2 px between the other letters.
    EXPECT_TRUE(readsLine("navbar-sign-up-close-1x", QStringLiteral("Облако Sign up Pricing Главная Задачи")));
    // Where the Russian model reads the "Sig" as figures, «99пир», the English "Signup" is
    // still taken, and then parted.
    EXPECT_TRUE(readsLine("navbar-sign-up-figures-2x", QStringLiteral("Tarnwick Форум Sign up Главная Задачи Магазин")));
    // And a blank between glyph boxes that the ink does not have parts nothing: «Только» over
    // a photo at 1x was read «Тол ько».
    const QStringList caption = readLines(screenshot("photo-rocket-caption-1x"));
    EXPECT_TRUE(std::any_of(caption.begin(), caption.end(), [](const QString& line) { return line.startsWith(QStringLiteral("Только ")); }))
        << caption.join(" | ").toStdString();
}

TEST(ScreenshotText, AZeroReadAsACapitalOJoinedToTheWordAfterItIsACount)
{
    // «0 ошибок» in badges: the Russian model reads «Оошибок», though the zero stands a space
    // apart and no wider than the word's small «о»; a capital «О» is the wider.
    EXPECT_TRUE(readsLine("badges-zero-2x", QStringLiteral("Внешний вид 0 ошибок Закрыт")));
    EXPECT_TRUE(readsLine("badges-zero-1x", QStringLiteral("Обновления 0 ошибок Открыт")));
}

TEST(ScreenshotText, AReadingWithOneLetterOverTwoGlyphsGivesWayToAWordOfTheLists)
{
    // A "beta" badge beside a Russian label: the Russian model reads «Беа», surer of it than
    // the English model is of "beta", though its «а» stands over both the "t" and the "a".
    EXPECT_TRUE(readsLine("badges-beta-2x", QStringLiteral("Уведомления beta")));
}

TEST(ScreenshotText, ALetterBoxedOverItsNeighbourStandsNowhereItsScriptNeverPutsIt)
{
    // «план» in a path: its «н» boxed over the «а» and up past the small letters' height
    // counted as a Cyrillic small letter as tall as an ascender, and the English "nnan" won.
    EXPECT_TRUE(readsLine("paths-plan-slash-125x", QStringLiteral("/home/anna/Рабочий стол/план.txt")));
}

TEST(ScreenshotText, TheSidesOfAFrameRoundALineAreNoLetters)
{
    // A button at 1x outlined in its label's own blue: the frame is one shape round the line,
    // and cut at the line's level its sides parted from its rounded corners as two bars.
    EXPECT_EQ(readLines(screenshot("button-outlined-blue-1x")), QStringList{QStringLiteral("Удалить всё")});
}

namespace {

// The same text with Latin letters drawn like Cyrillic ones as the Cyrillic: a letter alone
// tells no script.
QString twinsFolded(QString text)
{
    const QString latin = QStringLiteral("ABCEHKMOPTXY"), cyrillic = QStringLiteral("АВСЕНКМОРТХУ");
    for (qsizetype i = 0; i < latin.size(); ++i)
        text.replace(cyrillic[i], latin[i]);
    return text;
}

} // namespace

TEST(ScreenshotText, ASelectedValueInAFieldIsRead)
{
    // GTK3 dialogs whose first field has the focus, its value selected: white letters on a
    // blue highlight that hugs them, 178×17 at 1x, inside the field's white and blue frame.
    for (const char* name : {"yad-form-selected-1x", "yad-form-selected-2x"})
        EXPECT_TRUE(readsLineWith(name, QStringLiteral("Тема Обсуждение бюджета ")));
    EXPECT_TRUE(readsLine("zenity-entry-selected-1x", QStringLiteral("Черновики 2026")));
}

TEST(ScreenshotText, TerminalAndSyntaxColoursAreText)
{
    // grep's bold red matches in xterm's dark palette, far fainter in grey than the text.
    EXPECT_TRUE(readsLine("terminal-grep-colours-1x", QStringLiteral("2025-03-14 09:12:07 WARN диск /var заполнен на 91%")));
    EXPECT_TRUE(readsLine("terminal-grep-colours-1x", QStringLiteral("2025-03-14 09:13:40 ERROR не удалось открыть report.csv")));
    EXPECT_TRUE(readsLine("terminal-grep-colours-1x", QStringLiteral("2025-03-14 09:15:13 WARN повтор 3 из 5: нет ответа")));
    // A prompt's blue path and git's red marks.
    QStringList prompt = readLines(screenshot("terminal-prompt-colours-1x"));
    for (QString& line : prompt)
        line = twinsFolded(line);
    EXPECT_TRUE(prompt.contains(QStringLiteral("anna@tarn:~/Проекты$ git status -s"))) << prompt.join(" | ").toStdString();
    EXPECT_TRUE(prompt.contains(QStringLiteral("M src/main.cpp"))) << prompt.join(" | ").toStdString();
    EXPECT_TRUE(std::any_of(prompt.begin(), prompt.end(), [](const QString& line) { return line.startsWith(QStringLiteral("M README")); }))
        << prompt.join(" | ").toStdString();
    // The engine reads the first of the two red question marks as a figure as often as not;
    // the mark must stand there.
    EXPECT_TRUE(std::any_of(prompt.begin(), prompt.end(), [](const QString& line) {
        return line.size() == 20 && line.endsWith(QStringLiteral("? notes/черновик.md"));
    })) << prompt.join(" | ").toStdString();
    // Pink keywords among white and green words in Chromium's Monokai colours.
    const QStringList code = readLines(screenshot("code-monokai-1x"));
    for (const QString& line : {QStringLiteral("def load(path, limit=100):"), QStringLiteral("with open(path) as f:"),
             QStringLiteral("lines = f.readlines()"), QStringLiteral("return lines[:limit]")})
        EXPECT_TRUE(code.contains(line, Qt::CaseInsensitive)) << line.toStdString() << " in " << code.join(" | ").toStdString();
}

TEST(ScreenshotText, LongLinesTurnedADegreeOrTwoAreReadWhole)
{
    // Four lines of DejaVu Sans 16 px, 560 px long, turned as a skewed scan: at 2° a line's
    // baseline climbs more than a glyph's height from one end to the other.
    const QStringList written{QStringLiteral("Снимок экрана сохраняется в папку, выбранную в настройках."),
        QStringLiteral("The editor opens after each capture unless you turn it off."),
        QStringLiteral("Текст на снимке распознаётся и копируется в буфер обмена."),
        QStringLiteral("Размытие скрывает текст, номера карт и лица на снимке.")};
    for (const char* name : {"turned-page-1-left", "turned-page-1-right", "turned-page-2-left", "turned-page-2-right"}) {
        const QStringList lines = readLines(screenshot(name));
        ASSERT_EQ(lines.size(), written.size()) << name << ": " << lines.join(" | ").toStdString();
        // A sign at a line's end may go; its words may not.
        for (qsizetype i = 0; i < written.size(); ++i)
            EXPECT_LE(tarnwick::test::editDistance(lines[i], written[i]), 1) << name << ": " << lines[i].toStdString();
    }
}

TEST(ScreenshotText, ATurnedLineTheLayerReadsInPartIsReadWithItsWeakWordsAndLettersAlone)
{
    // Four lines turned about a degree: our views keep half of the first line and lose the
    // rest; the engine alone reads them, a file name and a long word unsurely, «и» and «в»
    // surely but alone.
    const QStringList written{QStringLiteral("выбранную в настройках. Установите пакет и запустите"),
        QStringLiteral("программу из меню приложений. Файлы серии называются по"),
        QStringLiteral("буквам: A.png, B.png и дальше. Текст на снимке распознаётся и"),
        QStringLiteral("копируется в буфер обмена. Все изменения можно отменить")};
    const QStringList lines = readLines(screenshot("turned-page-3-half-read"));
    ASSERT_EQ(lines.size(), written.size()) << lines.join(" | ").toStdString();
    for (qsizetype i = 0; i < written.size(); ++i) {
        // Every word in its place; a sign, or a file name the engine misreads, may differ.
        EXPECT_EQ(lines[i].split(u' ', Qt::SkipEmptyParts).size(), written[i].split(u' ').size()) << lines[i].toStdString();
        EXPECT_LE(tarnwick::test::editDistance(twinsFolded(lines[i]), twinsFolded(written[i])), 6) << lines[i].toStdString();
    }
    EXPECT_TRUE(lines[2].contains(QStringLiteral("распознаётся и"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("копируется в буфер"))) << lines[3].toStdString();
}

TEST(ScreenshotText, ASpreadsheetsHeaderLettersRowNumbersAndALoneFigureAreRead)
{
    // A sheet at 2x: grey column letters and row numbers in their header cells, each a glyph
    // alone, and a lone «0» among the sums.
    const QStringList lines = readLines(screenshot("sheet-headers-2x"));
    const QStringList words = twinsFolded(lines.join(u' ')).split(u' ', Qt::SkipEmptyParts);
    for (const char* sign : {"A", "B", "C", "D", "1", "2", "3", "4", "0"})
        EXPECT_TRUE(words.contains(QString::fromLatin1(sign))) << sign << " in " << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Связь"))) << lines.join(" | ").toStdString();
}

TEST(ScreenshotText, ALetterBrokenByItsThinStrokesOrCutFromAWideGlyphKeepsItsReading)
{
    // Chromium pages at 1x. In the serif line the capital «Э» falls apart at its thin
    // strokes, so its pieces and the letters after it are not the glyphs of their letters;
    // in the DejaVu link the glyph cut in two to pair the word off is the «m».
    EXPECT_TRUE(readsLine("page-serif-line", QStringLiteral("Привет! Это обычный абзац текста на экране, как в почте или в чате.")));
    EXPECT_TRUE(readsLineWith("page-dejavu-lines", QStringLiteral("https://example.com/path/to/page")));
    EXPECT_TRUE(readsLine("page-dejavu-lines", QStringLiteral("Привет! Это обычный абзац текста на экране, как в почте или в чате.")));
}

TEST(ScreenshotText, ALineOneLanguagePartsAtAGapAndAnotherReadsWholeIsReadOnce)
{
    // `diff -u` in xterm at 2x: a tab parts each file's name from its date. One language's
    // reading parts the line there, the other's does not; each date is still read once.
    const QStringList lines = readLines(screenshot("xterm-diff-2x"));
    const QString all = lines.join(u' ');
    EXPECT_EQ(all.count(QStringLiteral("2024-03-14 09:30:00.000000000 +0000")), 2) << lines.join(" | ").toStdString();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString& line) {
        return line.startsWith(QStringLiteral("--- plan.txt")) && line.endsWith(QStringLiteral("+0000"));
    })) << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("+Обновить договор №17"))) << lines.join(" | ").toStdString();
}

TEST(ScreenshotText, AGreyLineNumberBesideABraceOfAnotherColourIsRead)
{
    // Code in a dark theme in Chromium at 1x: a line of a grey number and a white brace has
    // few glyphs at two levels, which on a plain ground is text all the same.
    const QStringList lines = readLines(screenshot("code-braces-1x"));
    for (const char* line : {"14 }", "17 {", "22 }"})
        EXPECT_TRUE(lines.contains(QString::fromLatin1(line))) << line << " in " << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("16 static bool isBlank(const QImage& image, int row)"))) << lines.join(" | ").toStdString();
}

TEST(ScreenshotText, APageTurnedADegreeIsReadLevelInItsOrder)
{
    // A Chromium page turned 1° as a raster: read along its own baselines the lines came
    // in the wrong order, the first cut in two and one word lost.
    const QStringList written{QStringLiteral("настройках. Для записи видео нужен доступ к звуковой карте."),
        QStringLiteral("Установите пакет и запустите программу из меню приложений."),
        QStringLiteral("Use the arrow keys to move the selection by one pixel. The editor"),
        QStringLiteral("opens after each capture unless you turn it off. Файлы серии")};
    const QStringList lines = readLines(screenshot("turned-page-4-1x"));
    ASSERT_EQ(lines.size(), written.size()) << lines.join(" | ").toStdString();
    for (qsizetype i = 0; i < written.size(); ++i)
        EXPECT_LE(tarnwick::test::editDistance(lines[i], written[i]), 1) << lines[i].toStdString();
}

TEST(ScreenshotText, AShortWordOfTheLineReadAsOneLetterOrSignOfTheOtherScriptTakesTheLinesReading)
{
    // Pages turned a degree or two, read level: the Cyrillic model read the "it" of "turn it
    // off" as «Ё» over its "i" alone, as one «К» over both letters, or as the sign "®".
    for (const char* name : {"turned-it-2x", "turned-it-15x", "turned-it-125x"}) {
        const QStringList lines = readLines(screenshot(QString::fromLatin1(name)));
        const auto line = std::find_if(lines.begin(), lines.end(), [](const QString& text) { return text.contains(QStringLiteral("turn ")); });
        ASSERT_NE(line, lines.end()) << name << ": " << lines.join(" | ").toStdString();
        EXPECT_TRUE(line->contains(QStringLiteral("turn it off."))) << name << ": " << line->toStdString();
    }
}

TEST(ScreenshotText, AShortWordTheOtherModelReadsAsAWordOfItsOwnTakesTheReadingOfItsSentence)
{
    // Pages turned a degree, English sentences before Russian ones: the Cyrillic model read
    // "by" as «Бу» and "off." as «ой.», words of its lists, as surely as the Latin one. The
    // words round them are English up to the end of the sentence.
    EXPECT_TRUE(readsLineWith("turned-by-125x", QStringLiteral("selection by one pixel.")));
    EXPECT_TRUE(readsLineWith("turned-off-1x", QStringLiteral("you turn it off. Установите")));
}
