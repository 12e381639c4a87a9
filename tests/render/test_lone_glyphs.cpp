// Glyphs standing alone: a sheet's lone figures, column letters and row numbers are read; a
// bullet is no glyph; an unsure reading of a glyph alone goes, the marks read beside it stay.

#include "RenderTestSupport.h"

#include "render/recognition/ReadingStages.h"
#include "render/recognition/ScreenTextRecognizer.h"

#include <QPainter>
#include <QRegularExpression>

using namespace tarnwick;
using namespace tarnwick::ScreenTextRecognizer::stages;

namespace {

QImage sheet() { return QImage(QStringLiteral(TARNWICK_RENDER_TEST_DATA "/screens/sheet-lone-cells-1x.png")); }

bool loneAt(const TextLayer& layer, const QPoint& point)
{
    return std::any_of(layer.lines.begin(), layer.lines.end(), [&](const TextLine& line) { return line.lone && line.box.contains(point); });
}

} // namespace

TEST(LoneGlyphs, ASheetsLoneFiguresColumnLettersAndRowNumbersAt1xAreRead)
{
    // A sheet at 1×: thirteen cells hold a lone «0», filled as densely as a bullet; the grey
    // header holds the column letters, «D» and «E» with a stem by the header's grey, in Latin
    // where a language reads them so surely (the «C» no language is sure of but Russian).
    const QString text = ScreenTextRecognizer::recognize(sheet()).value_or(QString());
    const QStringList words = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    EXPECT_EQ(words.count(QStringLiteral("0")), 13) << text.toStdString();
    for (const char* sign : {"A", "B", "D", "E", "1", "2", "4", "5", "6", "7", "8", "9", "10"})
        EXPECT_TRUE(words.contains(QString::fromLatin1(sign))) << sign << " in " << text.toStdString();
    EXPECT_TRUE(words.contains(QStringLiteral("C")) || words.contains(QStringLiteral("С"))) << text.toStdString();
}

TEST(LoneGlyphs, ABulletInACellIsNoGlyphAloneThoughAFigureAsDenseIs)
{
    // A status dot and a filled square, each the size of the sheet's figures, in its empty
    // cells B4 and E5: solid, no hollow nor notch across them.
    QImage picture = sheet().convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(40, 40, 40));
        painter.drawEllipse(QRect(286, 130, 8, 8));
        painter.drawRect(QRect(655, 159, 8, 9));
    }
    const TextLayer layer = textLayer(readableGrey(picture));
    EXPECT_FALSE(loneAt(layer, {290, 134}));
    EXPECT_FALSE(loneAt(layer, {659, 163}));
    EXPECT_TRUE(loneAt(layer, {290, 77}));  // the «0» of B2
    EXPECT_TRUE(loneAt(layer, {486, 19}));  // the «D» of the header
}

TEST(LoneGlyphs, AnUnsureReadingOfAGlyphAloneGoesButTheMarksBesideItStay)
{
    // The file manager's «.и» header at 2×: no language is sure of the bold «и».
    const auto symbol = [](const char* text, QRect box) { return ReadSymbol{QString::fromUtf8(text), box}; };
    ReadWord marked{QStringLiteral(".и"), QRect(30, 92, 30, 19), 54};
    marked.symbols = {symbol(".", QRect(30, 105, 5, 6)), symbol("и", QRect(44, 92, 16, 19))};
    ReadWord icon{QStringLiteral("©"), QRect(100, 92, 16, 19), 40};
    icon.symbols = {symbol("©", icon.box)};
    WordRun row;
    row.words = {marked, icon, ReadWord{QStringLiteral("Имя"), QRect(200, 92, 50, 19), 95}};
    ReadWord unsure{QStringLiteral(".u"), marked.box, 66};
    const std::vector<WordRun> kept = withoutUnsureLoneGlyphs({row}, {QRect(28, 90, 34, 23), QRect(98, 90, 20, 23)}, {unsure, icon});
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept.front().text, QStringLiteral(". Имя"));
}
