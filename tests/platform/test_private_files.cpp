#include "platform/PrivateFiles.h"
#include "support/Errors.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarnwick::platform;
using tarnwick::test::errorOf;

namespace {

mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "<missing>";
}

// Points $XDG_RUNTIME_DIR at a scratch folder for the duration of a test.
class PrivateFilesTest : public ::testing::Test {
protected:
    void SetUp() override { qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit()); }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", saved); }

    QTemporaryDir runtime;
    const QString root = runtime.filePath(QStringLiteral("tarnwick"));
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
};

} // namespace

TEST_F(PrivateFilesTest, RootIsAPrivateFolderOfTheRuntimeDirectoryOrOfTmp)
{
    EXPECT_EQ(privateTempRoot(), root);
    EXPECT_EQ(modeOf(root), 0700u);
    // A folder of ours left too open is closed again.
    ::chmod(QFile::encodeName(root).constData(), 0755);
    EXPECT_EQ(privateTempRoot(), root);
    EXPECT_EQ(modeOf(root), 0700u);

    qunsetenv("XDG_RUNTIME_DIR");
    const QString fallback = QStringLiteral("/tmp/tarnwick-%1").arg(::getuid());
    EXPECT_EQ(privateTempRoot(), fallback);
    EXPECT_EQ(modeOf(fallback), 0700u);
}

TEST_F(PrivateFilesTest, RefusesALinkAFileOrAnotherUsersFolderAsTheRoot)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.path(), root));
    EXPECT_TRUE(errorOf([] { privateTempRoot(); }).contains(QStringLiteral("подменена ссылкой")));
    EXPECT_TRUE(entries(elsewhere.path()).isEmpty());
    EXPECT_EQ(modeOf(elsewhere.path()), 0700u) << "the link's target is left as it was";

    QFile::remove(root);
    QFile file(root);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(errorOf([] { privateTempRoot(); }).isEmpty());

    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand a folder to another user";
    file.remove();
    ASSERT_TRUE(QDir().mkdir(root));
    ASSERT_EQ(::chown(QFile::encodeName(root).constData(), 65534, 65534), 0);
    EXPECT_TRUE(errorOf([] { privateTempRoot(); }).contains(QStringLiteral("другому пользователю")));
}

TEST_F(PrivateFilesTest, CreatesNestedPrivateFoldersAndFiles)
{
    const QString folder = privateTempRoot() + QStringLiteral("/Tarnwick-Clipboard/0F0F");
    ASSERT_TRUE(QDir().mkdir(root + QStringLiteral("/Tarnwick-Clipboard")));
    ::chmod(QFile::encodeName(root + QStringLiteral("/Tarnwick-Clipboard")).constData(), 0755);
    createPrivateDirectory(root, folder);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(root + QStringLiteral("/Tarnwick-Clipboard")), 0700u) << "an existing component is closed too";

    const QString file = folder + QStringLiteral("/Комментарии.txt");
    writeFileAtomically(file, QStringLiteral("A1 текст").toUtf8());
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(contentOf(file), QStringLiteral("A1 текст").toUtf8());

    const QString made = createPrivateFile(folder, QStringLiteral("Tarnwick-capture-"), QStringLiteral(".png"));
    EXPECT_TRUE(QFileInfo(made).fileName().startsWith(QStringLiteral("Tarnwick-capture-")));
    EXPECT_TRUE(made.endsWith(QStringLiteral(".png")));
    EXPECT_EQ(modeOf(made), 0600u);
    EXPECT_NE(createPrivateFile(folder, QStringLiteral("Tarnwick-capture-"), QStringLiteral(".png")), made);
}

TEST_F(PrivateFilesTest, RefusesLinksAnywhereBelowTheRootAndPathsTheKernelWouldResolveElsewhere)
{
    privateTempRoot();
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QDir().mkdir(elsewhere.filePath(QStringLiteral("inner"))));
    ASSERT_TRUE(QFile::link(elsewhere.filePath(QStringLiteral("inner")), root + QStringLiteral("/link")));
    ASSERT_TRUE(QFile::link(elsewhere.path(), root + QStringLiteral("/Tarnwick-Clipboard")));
    const QStringList kept{QStringLiteral("link"), QStringLiteral("Tarnwick-Clipboard")};
    for (const QString& path : {root + QStringLiteral("/missing/../sub"), root + QStringLiteral("/link/../sub"),
                                root + QStringLiteral("/Tarnwick-Clipboard/0F0F"), root + QStringLiteral("/link/sub"),
                                elsewhere.filePath(QStringLiteral("sub"))}) {
        EXPECT_FALSE(errorOf([&] { createPrivateDirectory(root, path); }).isEmpty()) << path.toStdString();
        EXPECT_EQ(entries(root), kept);
        EXPECT_EQ(entries(elsewhere.path()), QStringList{QStringLiteral("inner")});
    }
    // Removing a tree never follows a link, at its top or inside it.
    ASSERT_TRUE(QDir().mkdir(root + QStringLiteral("/session")));
    ASSERT_TRUE(QFile::link(elsewhere.path(), root + QStringLiteral("/session/outside")));
    for (const QString& tree : {root + QStringLiteral("/Tarnwick-Clipboard"), root + QStringLiteral("/session")})
        removePrivateTree(tree);
    EXPECT_EQ(entries(root), QStringList{QStringLiteral("link")});
    EXPECT_EQ(entries(elsewhere.path()), QStringList{QStringLiteral("inner")});
}

TEST_F(PrivateFilesTest, FailedWritesLeaveNoTraceAndKeepTheOldFile)
{
    const QString gone = privateTempRoot() + QStringLiteral("/gone/A.png");
    EXPECT_EQ(errorOf([&] { writeFileAtomically(gone, "png"); }), QStringLiteral("Не удалось записать файл «A.png»: папка не найдена."));

    // A full disk: a small tmpfs of its own.
    const QString small = runtime.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkdir(small));
    if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(small)};
    const QString target = small + QStringLiteral("/A.png");
    writeFileAtomically(target, "old");
    EXPECT_EQ(errorOf([&] { writeFileAtomically(target, QByteArray(1 << 20, 'x')); }),
              QStringLiteral("Не удалось записать файл «A.png»: на диске нет места."));
    EXPECT_EQ(entries(small), QStringList{QStringLiteral("A.png")});
    EXPECT_EQ(contentOf(target), "old");

    // A copy too big for the disk, and one that fits only in part of Qt's 16 KB write buffer.
    const QString big = runtime.filePath(QStringLiteral("big.mp4"));
    writeFileAtomically(big, QByteArray(3 << 20, 'v'));
    EXPECT_EQ(errorOf([&] { copyFileAtomically(big, target, FileAccess::user); }),
              QStringLiteral("Не удалось записать файл «A.png»: на диске нет места."));
    QFile filler(small + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'f')) > 0) {
    }
    ASSERT_TRUE(filler.resize(filler.size() - 4096));
    EXPECT_EQ(errorOf([&] { writeFileAtomically(small + QStringLiteral("/B.png"), QByteArray(6000, 'b'), FileAccess::user); }),
              QStringLiteral("Не удалось записать файл «B.png»: на диске нет места."));
    EXPECT_EQ(entries(small), (QStringList{QStringLiteral("A.png"), QStringLiteral("filler")}));
    EXPECT_EQ(contentOf(target), "old");
}

TEST_F(PrivateFilesTest, FilesSavedForTheUserTakeTheModeTheirUmaskGivesAndCopiesReplaceWhole)
{
    struct RestoredUmask {
        mode_t mask;
        ~RestoredUmask() { ::umask(mask); }
    } const restored{::umask(027)};
    const QString source = runtime.filePath(QStringLiteral("Export.mp4"));
    const QByteArray video = QByteArray(3 << 20, 'v') + "end";
    writeFileAtomically(source, video);
    EXPECT_EQ(modeOf(source), 0600u);

    const QString saved = runtime.filePath(QStringLiteral("Видео/Запись.mp4"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(saved).path()));
    writeFileAtomically(saved, "old", FileAccess::user);
    EXPECT_EQ(modeOf(saved), 0640u);
    ::umask(002);
    copyFileAtomically(source, saved, FileAccess::user);
    EXPECT_EQ(contentOf(saved), video);
    EXPECT_EQ(modeOf(saved), 0664u);
    EXPECT_EQ(entries(QFileInfo(saved).path()), QStringList{QStringLiteral("Запись.mp4")}) << "no temporary file is left";

    // A link planted at the target is replaced, never written through.
    const QString other = runtime.filePath(QStringLiteral("other.txt"));
    writeFileAtomically(other, "mine");
    ASSERT_TRUE(QFile::remove(saved) && QFile::link(other, saved));
    copyFileAtomically(source, saved, FileAccess::user);
    EXPECT_FALSE(QFileInfo(saved).isSymLink());
    EXPECT_EQ(contentOf(other), "mine");

    EXPECT_EQ(errorOf([&] { copyFileAtomically(runtime.filePath(QStringLiteral("нет.mp4")), saved); }),
              QStringLiteral("Не удалось прочитать файл «нет.mp4»: файл не найден."));
    EXPECT_EQ(contentOf(saved), video);
}
