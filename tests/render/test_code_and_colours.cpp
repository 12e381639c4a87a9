// Code and coloured terminal text: braces that open and close blocks, names in camel case,
// colours as dark as the ground they stand on, and selections that stand a pixel inside a
// frame of their own colour. Screenshots of real programs in data/screens (make.sh there).

#include "ScreenshotReading.h"

using namespace tarnwick;
using namespace tarnwick::testing;

TEST(CodeAndColours, ASelectedValueAPixelInsideTheFieldsFocusRingIsRead)
{
    // GTK3 at 1.5×: the selection's blue stands a white pixel inside the focus ring, of the
    // same blue, round the field.
    EXPECT_TRUE(readsLine("gtk-selected-by-focus-ring-15x", QStringLiteral("Email i.smirnov@mail.ru")));
    EXPECT_TRUE(readsLine("gtk-selected-by-focus-ring-15x", QStringLiteral("Телефон +7 912 345-67-89")));
}

TEST(CodeAndColours, BracesThatOpenAndCloseABlockAreRead)
{
    // A brace at a line's end after «", », taller than the quotes and comma beside it, and a
    // line of «});» alone, at 1.25×.
    EXPECT_TRUE(readsLine("code-block-ends-125x", QStringLiteral("const response = await fetch(\"/api/upload\", {")));
    EXPECT_TRUE(readsLine("code-block-ends-125x", QStringLiteral("});")));
    // Lone closing braces at 1×, one on the current line's lighter band, from ascender to
    // descender: taller than the letters a lone glyph is measured by.
    // A line of pink, green and yellow words under an editor's current-line band at 1×: its
    // ground of two levels is a page's, not a photo's, whatever the colours of its words.
    EXPECT_TRUE(readsLine("code-beside-current-line-1x", QStringLiteral("const response = await fetch(\"/api/upload\", {")));
    const QStringList lines = readLines(screenshot("code-braces-alone-1x"));
    EXPECT_EQ(lines.count(QStringLiteral("}")), 2) << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("return count;"))) << lines.join(" | ").toStdString();
}

TEST(CodeAndColours, ANameInCamelCaseTheOtherModelReadsFarLessSurelyKeepsItsLetters)
{
    // "(qGray(image.pixel(x," read at 91 in Latin, at 20 as «(9бгау(1таде.рлхе\(х,».
    EXPECT_TRUE(readsLineWith("code-camel-case-15x", QStringLiteral("if (qGray(image.pixel(x, row)) < 128)")));
    EXPECT_TRUE(readsLineWith("code-camel-case-15x", QStringLiteral("static bool isBlank(const QImage& image, int row)")));
}

TEST(CodeAndColours, ColoursAsDarkAsATerminalsGroundAreTextAndACapitalAloneStaysLatin)
{
    // `git status -s` in xterm's Tango palette at 1.25×: red #cc0000 on #2e3436 is as dark
    // in grey as the ground. The «M» is Latin beside a Latin name, and the red question
    // marks are read as marks, not as the figure the engine reads the first one as.
    const QStringList lines = readLines(screenshot("git-status-tango-125x"));
    for (const QString& line : {QStringLiteral("M README"), QStringLiteral("M src/main.cpp"), QStringLiteral("?? CMakeLists.txt")})
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QString& read) { return read.startsWith(line); }))
            << line.toStdString() << " in " << lines.join(" | ").toStdString();
    // The blue of a selection on Adwaita's dark dialog is as dark as the dialog in grey too,
    // but a ground of its own: its white value is read against it as it stands.
    EXPECT_TRUE(readsLineWith("gtk-dark-selected-1x", QStringLiteral("Установка")));
    // A green navigation bar, as dark as a terminal in grey: the shades of its own green the
    // encoder left stay its ground, and «Docs» is no «00с5».
    EXPECT_TRUE(readsLine("navbar-green-125x", QStringLiteral("Мой сайт Форум Docs Документы Команда")));
}

TEST(CodeAndColours, TheCellsOfASelectedBarAreReadAndTheFramesBesideThemAreNoLetters)
{
    // Midnight Commander at 1.5×: the selected row's cyan cells, parted by the panel's
    // column lines, are read as fills of their own; those lines, cut short beside them,
    // are no «|» in the header above.
    const QStringList lines = readLines(screenshot("mc-selected-bar-15x"));
    EXPECT_EQ(lines.filter(QStringLiteral("-ВВЕРХ- мар 14 2024")).size(), 2) << lines.join(" | ").toStdString();
    EXPECT_EQ(lines.count(QStringLiteral("Размер Время правки")), 2) << lines.join(" | ").toStdString();
}

TEST(CodeAndColours, ADiffsHeadersReadWholeFromTheirFirstDashToTheirDates)
{
    // `diff --color -u` in xterm at 1.5×: the first dash of «---» stands off the name by the
    // other two, and the new file's dates stand a whole tab after its name.
    EXPECT_TRUE(readsLine("diff-colour-headers-15x", QStringLiteral("--- plan.txt 2024-03-14 09:30:00.000000000 +0000")));
    EXPECT_TRUE(readsLine("diff-colour-headers-15x", QStringLiteral("+++ plan-new.txt 2024-03-14 09:30:00.000000000 +0000")));
    EXPECT_TRUE(readsLine("diff-colour-headers-15x", QStringLiteral("-Забронировать переговорную")));
    // A web form at 1×: the side of the field round an e-mail stands as tall as its line, a
    // stroke and no mark of it, though the address holds marks below its baseline.
    const QStringList form = readLines(screenshot("form-email-field-1x"));
    EXPECT_TRUE(std::any_of(form.begin(), form.end(), [](const QString& line) { return line.endsWith(QStringLiteral(" anna.petrova@example.com")) || line == QStringLiteral("anna.petrova@example.com"); }))
        << form.join(" | ").toStdString();
    EXPECT_FALSE(form.join(u' ').contains(u'|')) << form.join(" | ").toStdString();
}
