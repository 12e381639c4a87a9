// The font list of the text panel and the user's font folder: a font installed or removed while
// the editor is open shows so the next time the list opens, as the user finds it by typing.

#include "TextFormFixture.h"
#include "support/UserFonts.h"

#include <QDir>
#include <QListView>
#include <QTemporaryDir>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// Made before main makes the application, so fontconfig reads the user's folders here: this
// program's own home, whose font folder the test fills.
QTemporaryDir home;
const bool ownHome = ownFontHome(home);

const QString family = QStringLiteral("Zyxwvu Sans");

TEST_F(TextForm, AFontInstalledWhileTheEditorIsOpenIsOfferedAndARemovedOneLeaves)
{
    ASSERT_TRUE(ownHome);
    const QString folder = userFonts(home);
    const QByteArray font = renamedFont(family);
    ASSERT_FALSE(font.isEmpty());

    openPanel("ab");
    ASSERT_FALSE(HasFatalFailure());
    TextFontControls* fonts = form().fontControls();
    InstalledFontPicker* picker = fonts->picker();
    // The list opened from its button and searched for the family by its first letters.
    const auto search = [&] {
        click(fonts->fontButton());
        if (!waitUntil([&] { return fonts->choosingFont() && picker->search()->hasFocus(); }))
            return false;
        for (std::uint32_t letter : {XK_z, XK_y, XK_x, XK_w})
            key(letter);
        return waitUntil([&] { return picker->search()->text() == QStringLiteral("zyxw"); });
    };
    const auto rows = [&] {
        QStringList shown;
        for (int row = 0; row < picker->list()->model()->rowCount(); ++row)
            shown << picker->list()->model()->index(row, 0).data().toString();
        return shown;
    };

    ASSERT_TRUE(search());
    EXPECT_TRUE(rows().isEmpty()) << rows().join(u',').toStdString();
    key(XK_Escape);
    ASSERT_TRUE(waitUntil([&] { return !fonts->choosingFont(); }));

    // Beside it a file that only looks like a font: it is left out, and nothing else with it.
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile broken(QDir(folder).filePath(QStringLiteral("Zyxwvu Broken.ttf")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly) && broken.write(QByteArray(4096, 'z')) == 4096);
    broken.close();
    QFile installed(QDir(folder).filePath(QStringLiteral("Шрифт «Zyxwvu» $(x) 'n'.ttf")));
    ASSERT_TRUE(installed.open(QIODevice::WriteOnly) && installed.write(font) == font.size());
    installed.close();

    ASSERT_TRUE(search());
    ASSERT_TRUE(waitUntil([&] { return rows() == QStringList{family}; }))
        << "the new font is not offered: " << rows().join(u',').toStdString();
    // Chosen by a click on its row, it is the text's family.
    const QModelIndex index = picker->list()->model()->index(0, 0);
    click(picker->list()->viewport(), picker->list()->visualRect(index).center());
    ASSERT_TRUE(waitUntil([&] { return !fonts->choosingFont(); }));
    EXPECT_EQ(state().text().style().family, family);
    EXPECT_TRUE(type("c")) << "the text field has the keys again";

    ASSERT_TRUE(installed.remove());
    ASSERT_TRUE(search());
    EXPECT_TRUE(waitUntil([&] { return rows().isEmpty(); })) << "the removed font is still offered";
    key(XK_Escape);
    ASSERT_TRUE(waitUntil([&] { return !fonts->choosingFont(); }));
    EXPECT_EQ(draft(), QStringLiteral("abc"));
}

} // namespace
