// ScreenTextRecognizer on the real Tesseract: text of every size and ground as screens show it,
// read the way each part of the picture needs.

#include "RenderTestSupport.h"

#include "render/recognition/ReadingStages.h"
#include "render/recognition/ScreenTextRecognizer.h"
#include "support/EditDistance.h"

#include <QLinearGradient>
#include <QRegularExpression>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// Hinted and smoothed, as a desktop draws its text.
QFont screenFont(const char* family, int pixelSize, bool bold = false)
{
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QString folded(QString text)
{
    text.replace(QChar(0x0451), QChar(0x0435)).replace(QChar(0x0401), QChar(0x0415));
    return text.simplified();
}

QString read(const QImage& image) { return ScreenTextRecognizer::recognize(image).value_or(QString()); }

} // namespace

TEST(ScreenTextLayouts, ATallHeadingBesideASmallLabelReadsAsWritten)
{
    // A page header: a 44-px heading in the left column, a 16-px label in the right one.
    const QString label = QStringLiteral("Изменено вчера в 18:40");
    QImage image = canvas(720, 110);
    paint(image, [&](QPainter& p) {
        p.setPen(QColor(25, 25, 25));
        p.setFont(screenFont("DejaVu Sans", 44));
        p.drawText(20, 70, QStringLiteral("Заголовок"));
        p.setFont(screenFont("DejaVu Sans", 16));
        p.setPen(QColor(90, 90, 90));
        p.drawText(420, 62, label);
    });
    const QString text = read(image);
    const QStringList lines = text.split(u'\n');
    ASSERT_EQ(lines.size(), 2) << text.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Заголовок")) << text.toStdString();
    EXPECT_EQ(lines[1], label) << text.toStdString();
}

TEST(ScreenTextLayouts, LightTextOnAColouredGradientReadsAsOnPlainGround)
{
    // A banner: white text on blue from dark to light, and the same on a warm gradient.
    struct Case {
        QColor from, to;
        QString text;
        int size;
    };
    const Case cases[] = {
        {QColor(20, 60, 160), QColor(90, 160, 240), QStringLiteral("Target window"), 40},
        {QColor(150, 40, 90), QColor(240, 150, 60), QStringLiteral("Новое окно"), 32},
    };
    for (const Case& c : cases) {
        QImage image = canvas(560, 100);
        paint(image, [&](QPainter& p) {
            QLinearGradient ground(0, 0, 560, 100);
            ground.setColorAt(0, c.from);
            ground.setColorAt(1, c.to);
            p.fillRect(image.rect(), ground);
            p.setFont(screenFont("DejaVu Sans", c.size));
            p.setPen(Qt::white);
            p.drawText(30, 50 + c.size / 3, c.text);
        });
        EXPECT_EQ(read(image), c.text) << c.text.toStdString();
    }
}

TEST(ScreenTextLayouts, ShortRussianWordsInARussianSentenceStayRussianAndEnglishLookAlikesStayEnglish)
{
    // The small letter "н" is a small capital; beside an English name "на" reads as "Ha".
    const QStringList sentences{
        QStringLiteral("Папка с загрузками заполнена на девяносто три процента, место на диске кончается."),
        QStringLiteral("Загрузите архив на GitHub или на свой сервер, а ссылку отправьте на почту."),
        QStringLiteral("Мы на связи до вечера, по почте или в чате на сайте."),
        // English words of letters that look Cyrillic stay as written.
        QStringLiteral("Meet Apex at the Cape, then Ace the Exec test with Max and Mac."),
    };
    for (int size : {14, 16}) {
        QImage image = canvas(70 * size, 2 * size * int(sentences.size() + 1), QColor(250, 250, 250));
        paint(image, [&](QPainter& p) {
            p.setFont(screenFont("DejaVu Sans", size));
            p.setPen(QColor(20, 20, 20));
            for (int i = 0; i < sentences.size(); ++i)
                p.drawText(size, 2 * size * (i + 1), sentences[i]);
        });
        const QStringList lines = read(image).split(u'\n');
        ASSERT_EQ(lines.size(), sentences.size()) << size << ":\n" << lines.join(u'\n').toStdString();
        for (int i = 0; i < sentences.size(); ++i)
            EXPECT_EQ(folded(lines[i]), folded(sentences[i])) << size;
    }
}

TEST(ScreenTextLayouts, EachRowOfALongListingIsOneLineWithItsGapsKept)
{
    // `ls -l` in a terminal: the columns are padded with blanks, which a copy keeps.
    const QStringList rows{
        QStringLiteral("drwxr-xr-x  2 anna users  4096 Nov 28 09:14 Documents"),
        QStringLiteral("-rw-r--r--  1 anna users 18342 Dec  1 10:05 report.txt"),
        QStringLiteral("-rw-r--r--  1 anna users   512 Dec  2 18:30 notes.md"),
        QStringLiteral("lrwxrwxrwx  1 root root     21 Oct  7  2025 python -> /usr/bin/python3"),
    };
    for (bool dark : {false, true}) {
        const int size = 15;
        const QFont font = screenFont("DejaVu Sans Mono", size);
        const int line = size * 3 / 2;
        QImage image = canvas(QFontMetrics(font).horizontalAdvance(rows[3]) + 2 * size, line * int(rows.size() + 1),
            dark ? QColor(28, 28, 30) : QColor(255, 255, 255));
        paint(image, [&](QPainter& p) {
            p.setFont(font);
            p.setPen(dark ? QColor(215, 215, 215) : QColor(30, 30, 30));
            for (int i = 0; i < rows.size(); ++i)
                p.drawText(size, line * (i + 1), rows[i]);
        });
        const QString text = read(image);
        const QStringList lines = text.split(u'\n');
        ASSERT_EQ(lines.size(), rows.size()) << (dark ? "light on dark:\n" : "dark on light:\n") << text.toStdString();
        // The runs of blanks between the words of a line, in characters.
        const auto blanks = [](const QString& line) {
            QList<qsizetype> runs;
            for (const QString& gap : line.trimmed().split(QRegularExpression("[^ ]+"), Qt::SkipEmptyParts))
                runs.append(gap.size());
            return runs;
        };
        for (int i = 0; i < rows.size(); ++i) {
            // Each cell at its place: the blanks between the words come back as in the row, give or take one.
            EXPECT_LE(test::editDistance(lines[i], rows[i]), 3) << lines[i].toStdString();
            const QList<qsizetype> want = blanks(rows[i]), got = blanks(lines[i]);
            ASSERT_EQ(got.size(), want.size()) << lines[i].toStdString();
            for (qsizetype k = 0; k < want.size(); ++k)
                EXPECT_NEAR(got[k], want[k], 1) << lines[i].toStdString();
        }
    }
}

TEST(ScreenTextLayouts, HeadingsAreReadApartFromTheirParagraphsAndAFormsColumnsTogether)
{
    using namespace ScreenTextRecognizer::stages;
    const QStringList paragraph{QStringLiteral("Снимок экрана сохраняется в папку."), QStringLiteral("Все изменения можно отменить."),
                                QStringLiteral("Горячие клавиши можно изменить."), QStringLiteral("Текст на снимке распознаётся.")};
    auto grey = [](const QImage& image) { return image.convertToFormat(QImage::Format_Grayscale8); };
    // A 40 px heading over 14 px lines, and a second heading between them: each heading is
    // read apart from the paragraphs, which alone set the size they are enlarged to.
    const QImage page = grey(painted(640, 330, Qt::white, [&](QPainter& p) {
        p.setPen(QColor(30, 30, 30));
        p.setFont(screenFont("DejaVu Serif", 40, true));
        p.drawText(20, 50, QStringLiteral("Настройка"));
        p.drawText(20, 210, QStringLiteral("Запись экрана"));
        p.setFont(screenFont("DejaVu Serif", 14));
        for (int i = 0; i < 4; ++i)
            p.drawText(20, i < 2 ? 90 + 24 * i : 240 + 24 * (i - 2), paragraph[i]);
    }));
    const std::vector<Band> pageParts = sizePieces({page, 0});
    ASSERT_GE(pageParts.size(), 3u);
    // Neither heading shares a part with a paragraph line.
    for (const Band& part : pageParts) {
        const int bottom = part.top + int(part.image.height() / part.scale);
        const bool heading = part.top < 55 || (part.top < 215 && bottom > 175);
        const bool lines = (part.top < 120 && bottom > 76) || bottom > 240;
        EXPECT_FALSE(heading && lines) << part.top << "–" << bottom;
    }

    // A form whose labels and fields share their rows, past a gutter as wide as a
    // sidebar's: one part, read together as the rows of a table.
    const QImage form = grey(painted(900, 160, Qt::white, [&](QPainter& p) {
        p.setPen(QColor(30, 30, 30));
        p.setFont(screenFont("DejaVu Sans", 13));
        for (int i = 0; i < 4; ++i) {
            p.drawText(20, 30 + 30 * i, QStringList{"Имя:", "Фамилия:", "Порт:", "Папка:"}[i]);
            p.drawText(330, 30 + 30 * i, QStringList{"Мария", "Васильев", "9977", "/home/anna"}[i]);
        }
    }));
    EXPECT_EQ(sizePieces({form, 0}).size(), 1u);
    // Its labels are narrower than the gutter: no prose, even on a page read in columns.
    EXPECT_EQ(sizePieces({form, 0}, true).size(), 1u);
}

TEST(ScreenTextLayouts, APagesColumnsOfProseAreReadApartAndEachLineWhole)
{
    using namespace ScreenTextRecognizer::stages;
    const QStringList left{QStringLiteral("Снимок экрана сохраняется в папку"), QStringLiteral("Все изменения можно отменить сразу"),
                           QStringLiteral("Горячие клавиши можно изменить")},
        right{QStringLiteral("The series is pasted into the chat"), QStringLiteral("Comments follow the pictures in order"),
              QStringLiteral("Recordings keep the system sound")};
    // Two columns of prose whose lines share their rows, as on a page of two columns.
    auto page = [&](int width, int gutterAt) {
        return painted(width, 40 + 22 * 18, Qt::white, [&](QPainter& p) {
            p.setPen(QColor(30, 30, 30));
            p.setFont(screenFont("DejaVu Sans", 14));
            for (int i = 0; i < 18; ++i) {
                p.drawText(20, 30 + 22 * i, left[i % 3]);
                p.drawText(gutterAt, 30 + 22 * i, right[i % 3]);
            }
        });
    };
    const QImage twoColumns = page(1000, 560);
    const QImage grey = twoColumns.convertToFormat(QImage::Format_Grayscale8);
    // On a large view each column is a part of its own; the same page stays whole
    // where the view is small enough to read in one go.
    const std::vector<Band> parts = sizePieces({grey, 0}, true);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_LT(parts[0].left + parts[0].image.width() / parts[0].scale, 560);
    EXPECT_GT(parts[1].left, 300);
    EXPECT_EQ(sizePieces({grey, 0}, false).size(), 1u);

    // Read whole, every line of each column comes back as written, none joined to its
    // neighbour across the gutter.
    const QStringList lines = read(twoColumns).split(u'\n', Qt::SkipEmptyParts);
    int exact = 0;
    for (const QString& line : lines) {
        EXPECT_FALSE(line.contains(QStringLiteral("папку")) && line.contains(QStringLiteral("series"))) << line.toStdString();
        exact += left.contains(folded(line)) || right.contains(folded(line));
    }
    EXPECT_GE(exact, 33) << lines.join(u'\n').toStdString();
}

TEST(ScreenTextLayouts, APageOfOneColumnReadInPiecesLosesAndRepeatsNoLine)
{
    // A page of one column, large enough to be cut into pieces for every reading thread:
    // each line comes back once, whole and in its place, the lines at the cuts too.
    const QStringList prose{QStringLiteral("Снимок экрана сохраняется в папку с изображениями."),
                            QStringLiteral("The series is pasted into the chat in order."),
                            QStringLiteral("Горячие клавиши можно изменить в настройках."),
                            QStringLiteral("Recordings keep the system sound and the microphone."),
                            QStringLiteral("Текст на снимке распознаётся и копируется.")};
    QStringList lines;
    for (int i = 0; i < 36; ++i)
        lines.append(QString::number(i + 1) + QStringLiteral(". ") + prose[i % prose.size()]);
    const QImage page = painted(760, 40 + 24 * int(lines.size()), Qt::white, [&](QPainter& p) {
        p.setPen(QColor(30, 30, 30));
        p.setFont(screenFont("DejaVu Sans", 14));
        for (int i = 0; i < lines.size(); ++i)
            p.drawText(20, 30 + 24 * i, lines[i]);
    });
    const QStringList read = ScreenTextRecognizer::recognize(page).value_or(QString()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(read.size(), lines.size()) << read.join(u'\n').toStdString();
    for (int i = 0; i < lines.size(); ++i)
        EXPECT_LE(test::editDistance(folded(read[i]), lines[i]), 2) << read[i].toStdString() << " for " << lines[i].toStdString();
}
