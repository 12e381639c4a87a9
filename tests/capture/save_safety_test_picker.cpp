// The picker's file is the user's: it takes the mode their umask gives a new file, also over an
// older one, and a folder in its place is named as such.
#include "capture/Picker.h"
#include "support/Errors.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tarnwick;
using tarnwick::test::errorOf;

namespace {

mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

TEST(PickerFile, TakesTheUsersModeAndNamesAFolderInItsPlace)
{
    struct RestoredUmask {
        mode_t mask;
        ~RestoredUmask() { ::umask(mask); }
    } const restored{::umask(027)};
    QTemporaryDir dir;
    QImage shot(40, 30, QImage::Format_ARGB32_Premultiplied);
    shot.fill(Qt::darkCyan);
    const QString file = dir.filePath(QStringLiteral("Снимок.png"));
    capture::writeShot(shot, 1.5, file);
    EXPECT_EQ(modeOf(file), 0640u);
    EXPECT_EQ(QImage(file).size(), shot.size());

    // An older file of theirs, kept private, is replaced by one of the mode a new file gets.
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0600), 0);
    ::umask(002);
    capture::writeShot(shot, 1, file);
    EXPECT_EQ(modeOf(file), 0664u);

    const QString folder = dir.filePath(QStringLiteral("Папка"));
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_EQ(errorOf([&] { capture::writeShot(shot, 1, folder); }), QStringLiteral("Не удалось записать файл «Папка»: это папка."));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("Папка"), QStringLiteral("Снимок.png")}));
}
