// The file dialogs speak Russian whatever the system's locale, while the C library keeps the
// locale FFmpeg and Tesseract read numbers in. The test program installs the look and language
// as main() does.
#include "panels/FileDialogs.h"

#include <QAbstractItemView>
#include <QFile>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace tarnwick;

TEST(FileDialogs, ListSizesDatesAndTypesInRussianAndLeaveTheCLibraryAlone)
{
    // What FFmpeg's and Tesseract's number reading and writing depend on.
    char written[16];
    std::snprintf(written, sizeof written, "%.1f", 2.5);
    EXPECT_STREQ(written, "2.5");
    EXPECT_EQ(std::strtod("2.5", nullptr), 2.5);
    EXPECT_EQ(QLocale().language(), QLocale::Russian);

    QTemporaryDir folder;
    QFile shot(folder.filePath("снимок.png"));
    ASSERT_TRUE(shot.open(QIODevice::WriteOnly));
    shot.write(QByteArray(3 * 1024 * 1024 + 5000, '\0'));
    shot.close();

    QFileDialog dialog(nullptr, QStringLiteral("Открыть изображение"), folder.path());
    fitQtFileDialog(dialog);
    dialog.show();
    auto* list = dialog.findChild<QTreeView*>();
    ASSERT_TRUE(list);
    QModelIndex row;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QAbstractItemModel* model = list->model();
        const QModelIndex root = list->rootIndex();
        for (int r = 0; r < model->rowCount(root); ++r)
            if (model->index(r, 0, root).data().toString() == "снимок.png")
                row = model->index(r, 0, root);
        return row.isValid() && !row.siblingAtColumn(2).data().toString().isEmpty();
    }, 10000));
    const QLocale russian(QLocale::Russian, QLocale::Russia), english(QLocale::English, QLocale::UnitedStates);
    const QDateTime modified = QFileInfo(shot.fileName()).lastModified();
    const struct {
        int column;
        QString shown, notShown; // Russian words, not the English of a C or English system locale
    } columns[] = {
        {1, QStringLiteral("3,00 МБ"), english.formattedDataSize(shot.size())},
        {2, QMimeDatabase().mimeTypeForFile(shot.fileName()).comment(), QStringLiteral("PNG image")},
        {3, russian.toString(modified, QLocale::ShortFormat), english.toString(modified, QLocale::ShortFormat)},
    };
    for (const auto& c : columns) {
        EXPECT_EQ(row.siblingAtColumn(c.column).data().toString(), c.shown) << "column " << c.column;
        EXPECT_NE(c.shown, c.notShown);
    }
}
