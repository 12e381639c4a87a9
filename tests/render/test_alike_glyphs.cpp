#include <gtest/gtest.h>

#include "render/recognition/AlikeGlyphs.h"

#include <QFontMetrics>
#include <QPainter>

using namespace tarnwick;
using namespace tarnwick::ScreenTextRecognizer::detail;

namespace {

// Words in a terminal font, unsmoothed, dark on light, with the characters an engine
// "read" on them: each drawn word is given as read, one symbol box a character cell.
struct Terminal {
    QFont font{QStringLiteral("DejaVu Sans Mono")};
    QImage view{900, 60, QImage::Format_Grayscale8};
    std::vector<WordRun> runs{1};
    int x = 10;

    Terminal()
    {
        font.setPixelSize(16);
        font.setStyleStrategy(QFont::NoAntialias);
        view.fill(235);
    }

    // `drawn` on the screen, read as `read` (as many characters, or `doubled` read twice).
    void word(const QString& drawn, const QString& read, int doubled = -1)
    {
        const QFontMetrics metrics(font);
        {
            QPainter p(&view);
            p.setFont(font);
            p.setPen(QColor(20, 20, 20));
            p.drawText(x, 40, drawn);
        }
        const int cell = metrics.horizontalAdvance(u'x');
        ReadWord word;
        word.text = read;
        word.box = QRect(x, 40 - metrics.ascent(), cell * int(drawn.size()), metrics.height());
        for (int i = 0, at = 0; i < read.size(); ++i) {
            // A character read twice stands on the middle of its cell, side by side.
            const bool first = i == doubled, second = i == doubled + 1 && doubled >= 0;
            const int left = x + at * cell + (first ? cell / 6 : second ? cell / 2 : 0);
            const int width = first || second ? cell / 3 : cell;
            word.symbols.push_back({QString(read[i]), QRect(left, word.box.y(), width, word.box.height())});
            at += first ? 0 : 1;
        }
        WordRun& run = runs.front();
        run.text += (run.text.isEmpty() ? QString() : QStringLiteral(" ")) + read;
        run.words.push_back(word);
        x += cell * int(drawn.size() + 2);
    }

    QString readAs()
    {
        readAlikeGlyphsAlike(runs, view, 1.0);
        return runs.front().text;
    }
};

} // namespace

TEST(AlikeGlyphs, AGlyphTakesTheReadingOfItsCopiesInsideWordsAndOtherGlyphsKeepTheirs)
{
    Terminal screen;
    // The "l" read right inside words, and the figure "1" inside a number.
    screen.word("old", "old");
    screen.word("all", "all");
    screen.word("build", "build");
    screen.word("root", "root");
    screen.word("for", "for");
    screen.word("2017", "2017");
    screen.word("2011", "2011");
    // The same "l" misread at the start of words, once read twice on one glyph.
    screen.word("lib64", "1ib64");
    screen.word("lost", "Lost");
    screen.word("lib32", "1Lib32", 0);
    // Other glyphs: a real "1" and a real capital "L" keep their readings, and a Latin
    // "o" read as the Cyrillic one stays, since the scripts draw it alike.
    screen.word("1st", "1st");
    screen.word("Lab", "Lab");
    screen.word("box", QStringLiteral("bоx"));
    EXPECT_EQ(screen.readAs(), QStringLiteral("old all build root for 2017 2011 lib64 lost lib32 1st Lab bоx"));
}

TEST(AlikeGlyphs, WordsWhoseCharactersDoNotSpellThemOrStandApartFromTheirGlyphsStayAsRead)
{
    Terminal screen;
    screen.word("old", "old");
    screen.word("all", "all");
    // The symbols spell another word than the one read: the reading is not the engine's own.
    screen.word("lib", "1ib");
    screen.runs.front().words.back().text = QStringLiteral("1ib.");
    screen.runs.front().text += u'.';
    // A single copy inside a word is no agreement.
    Terminal one;
    one.word("old", "old");
    one.word("lib", "1ib");
    EXPECT_EQ(screen.readAs(), QStringLiteral("old all 1ib."));
    EXPECT_EQ(one.readAs(), QStringLiteral("old 1ib"));
}

TEST(AlikeGlyphs, AGlyphReadAloneTakesTheReadingOfOneCopyBesideLettersAndFiguresStay)
{
    // "i" read alone as "1" three times and once inside "int": the lone readings had
    // nothing to go by. The real figures "1" and "10" are other glyphs.
    Terminal code;
    code.word("int", "int");
    code.word("i", "1");
    code.word("=", "=");
    code.word("1;", "1;");
    code.word("i", "1");
    code.word("10", "10");
    code.word("(i)", "(1)");
    EXPECT_EQ(code.readAs(), QStringLiteral("int i = 1; i 10 (i)"));

    // A copy in a run of two ("+41" read on "++i") is too little to go by, and a copy
    // beside letters does not change a glyph read beside letters too ("1ag" keeps its
    // figure: a word's edge needs two copies inside words).
    Terminal little;
    little.word("+i", "4i");
    little.word("i", "1");
    little.word("lag", "1ag");
    little.word("lot", "lot");
    EXPECT_EQ(little.readAs(), QStringLiteral("4i 1 1ag lot"));

    // Copies beside letters that disagree settle nothing.
    Terminal torn;
    torn.word("int", "int");
    torn.word("i", "1");
    torn.word("ibm", "1bm");
    EXPECT_EQ(torn.readAs(), QStringLiteral("int 1 1bm"));
}

TEST(AlikeGlyphs, ALetterBoxedAThirdOfACellOffItsGlyphBesideASmearedBoxStillTakesItsCopiesReading)
{
    Terminal screen;
    screen.word("users", "users");
    screen.word("report", "report");
    screen.word("error", "error");
    // A listing's permissions: the engine boxed its "w" over both the "r" and the "w" and
    // its misread "f" a little to the left of the "r" it stands for.
    screen.word("-rw-r--r--", "-fw-r--r--");
    std::vector<ReadSymbol>& symbols = screen.runs.front().words.back().symbols;
    const int cell = symbols[1].box.width();
    symbols[2].box = symbols[1].box.united(symbols[2].box);
    symbols[1].box.translate(-cell / 10, 0);
    EXPECT_EQ(screen.readAs(), QStringLiteral("users report error -rw-r--r--"));
}

TEST(AlikeGlyphs, AnExclamationMarkReadOnOneUnbrokenStrokeAfterASmallLetterIsAnL)
{
    // The "l" at a name's end read as "!", which has no copy to go by; real exclamation
    // marks, a stroke and a dot apart, stay, as does an "!" read after a capital.
    Terminal screen;
    screen.word("index.html", "index.htm!");
    screen.word("Hello!", "Hello!");
    screen.word("ok!", "ok!");
    screen.word("README.l", "README.!");
    EXPECT_EQ(screen.readAs(), QStringLiteral("index.html Hello! ok! README.!"));
}

TEST(AlikeGlyphs, AnIReadOnOneUnbrokenStrokeAfterASmallLetterIsAnL)
{
    // A file type's "l" read as "i": real ones, a dot over a stem, stay, at a word's end too.
    Terminal screen;
    screen.word("xlsx", "xisx");
    screen.word("pixel", "pixel");
    screen.word("wiki", "wiki");
    EXPECT_EQ(screen.readAs(), QStringLiteral("xlsx pixel wiki"));
}
