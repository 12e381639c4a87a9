// The font list and what fontconfig cannot tell: a font installed in the second in which it read
// the font folders, and a named pipe put among the fonts, which it would wait on for good.
#include "editor/tools/InstalledFontPicker.h"
#include "editor/tools/InstalledFonts.h"
#include "support/PipeWatch.h"
#include "support/UserFonts.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <ctime>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// Made before main makes the application, so fontconfig reads the user's folders here: this
// program's own home, whose font folder the tests fill.
QTemporaryDir home;
const bool ownHome = ownFontHome(home) && QDir().mkpath(userFonts(home));

bool install(const QString& name, const QByteArray& font)
{
    QFile file(QDir(userFonts(home)).filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(font) == font.size();
}

} // namespace

// fontconfig reads the folders at the start, within one whole second, and the user copies a font
// in later in that same second: its own check, in whole seconds, sees no change. The list's
// first look offers the font all the same.
TEST(InstalledFonts, AFontInstalledInTheSecondFontconfigReadTheFoldersIsOfferedAtTheFirstLook)
{
    ASSERT_TRUE(ownHome);
    const QString family = QStringLiteral("Qwertz Sans");
    const QByteArray font = renamedFont(family);
    ASSERT_FALSE(font.isEmpty());
    std::time_t second = 0;
    for (std::time_t before = -1; before != second;) {
        before = std::time(nullptr);
        ASSERT_TRUE(FcInitReinitialize());
        second = std::time(nullptr);
    }
    ASSERT_TRUE(install(QStringLiteral("Qwertz.ttf"), font));
    // However long the copy took here, the folder says it changed in that second.
    const timespec times[2] = {{second, 999'999'999}, {second, 999'999'999}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(userFonts(home)).constData(), times, 0), 0);
    EXPECT_TRUE(installedFontFamilies().contains(family));
}

// A named pipe among the fonts would hold fontconfig, and with it the program, in open() for
// good as it reads the folder again. While it is there the list stays as it was and the picker
// says why; once it is gone the fonts installed meanwhile are offered.
TEST(InstalledFonts, APipeAmongTheFontsKeepsTheListAndIsNamedUntilItGoes)
{
    ASSERT_TRUE(ownHome);
    const QString family = QStringLiteral("Asdfgh Sans");
    const QByteArray font = renamedFont(family);
    ASSERT_FALSE(font.isEmpty());
    InstalledFontPicker picker([] { return QString(); }, [](const QString&) {}, [] {});
    picker.reload();
    EXPECT_TRUE(picker.note()->isHidden());
    const QStringList before = picker.families();
    ASSERT_FALSE(before.isEmpty());

    const QString pipe = QDir(userFonts(home)).filePath(QStringLiteral("Шрифт «новый».ttf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ASSERT_TRUE(install(QStringLiteral("Asdfgh.ttf"), font));
    PipeWatch watch({pipe});
    for (int look = 0; look < 2; ++look) {
        picker.reload();
        EXPECT_EQ(picker.families(), before);
        EXPECT_FALSE(picker.note()->isHidden());
        EXPECT_EQ(picker.note()->text(), QStringLiteral("Новые шрифты не прочитаны: «Шрифт «новый».ttf» в папке шрифтов — не файл."));
    }
    EXPECT_FALSE(watch.stop()) << "the pipe was opened and waited on";

    ASSERT_TRUE(QFile::remove(pipe));
    picker.reload();
    EXPECT_TRUE(picker.note()->isHidden());
    EXPECT_TRUE(picker.families().contains(family));
}
