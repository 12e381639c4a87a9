#include "platform/PrivateFiles.h"
#include "platform/TarnwickError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include "support/Errors.h"

using namespace tarnwick;
using tarnwick::test::errorOf;
using namespace tarnwick::platform;

namespace {

mode_t modeOf(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Points $XDG_RUNTIME_DIR at a scratch folder for the duration of a test.
class PrivateFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isValid());
        saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", saved); }

    QString rootPath() const { return runtime.filePath(QStringLiteral("tarnwick")); }

    QTemporaryDir runtime;
    QByteArray saved;
};

} // namespace

TEST_F(PrivateFilesTest, RootIsAPrivateFolderInTheRuntimeDirectory)
{
    EXPECT_EQ(privateTempRoot(), rootPath());
    EXPECT_EQ(modeOf(rootPath()), 0700u);
    // A folder of ours left too open is closed again.
    ::chmod(QFile::encodeName(rootPath()).constData(), 0755);
    EXPECT_EQ(privateTempRoot(), rootPath());
    EXPECT_EQ(modeOf(rootPath()), 0700u);
}

TEST_F(PrivateFilesTest, RootFallsBackToAPerUserFolderInTmp)
{
    qunsetenv("XDG_RUNTIME_DIR");
    const QString expected = QStringLiteral("/tmp/tarnwick-%1").arg(::getuid());
    EXPECT_EQ(privateTempRoot(), expected);
    EXPECT_EQ(modeOf(expected), 0700u);
}

TEST_F(PrivateFilesTest, RefusesASymlinkOrAFileInPlaceOfTheRoot)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.path(), rootPath()));
    const QString error = errorOf([] { privateTempRoot(); });
    EXPECT_TRUE(error.contains(QStringLiteral("подменена ссылкой"))) << error.toStdString();
    EXPECT_TRUE(entries(elsewhere.path()).isEmpty());
    EXPECT_EQ(modeOf(elsewhere.path()), 0700u) << "the link's target is left as it was";

    QFile::remove(rootPath());
    QFile file(rootPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(errorOf([] { privateTempRoot(); }).isEmpty());
}

TEST_F(PrivateFilesTest, RefusesARootOfAnotherUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand a folder to another user";
    ASSERT_TRUE(QDir().mkdir(rootPath()));
    ASSERT_EQ(::chown(QFile::encodeName(rootPath()).constData(), 65534, 65534), 0);
    const QString error = errorOf([] { privateTempRoot(); });
    EXPECT_TRUE(error.contains(QStringLiteral("другому пользователю"))) << error.toStdString();
}

TEST_F(PrivateFilesTest, CreatesNestedPrivateFoldersAndFiles)
{
    const QString folder = privateTempRoot() + QStringLiteral("/Tarnwick-Clipboard/0F0F");
    createPrivateDirectory(folder);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(privateTempRoot() + QStringLiteral("/Tarnwick-Clipboard")), 0700u);

    const QString file = folder + QStringLiteral("/Комментарии.txt");
    writeFileAtomically(file, QStringLiteral("A1 текст").toUtf8());
    EXPECT_EQ(modeOf(file), 0600u);
    QFile read(file);
    ASSERT_TRUE(read.open(QIODevice::ReadOnly));
    EXPECT_EQ(read.readAll(), QStringLiteral("A1 текст").toUtf8());

    const QString made = createPrivateFile(folder, QStringLiteral("Tarnwick-capture-"), QStringLiteral(".png"));
    EXPECT_TRUE(QFileInfo(made).fileName().startsWith(QStringLiteral("Tarnwick-capture-")));
    EXPECT_TRUE(made.endsWith(QStringLiteral(".png")));
    EXPECT_EQ(modeOf(made), 0600u);
    EXPECT_NE(createPrivateFile(folder, QStringLiteral("Tarnwick-capture-"), QStringLiteral(".png")), made);
}

TEST_F(PrivateFilesTest, FailedWritesLeaveNoTraceAndKeepTheOldFile)
{
    const QString folder = privateTempRoot() + QStringLiteral("/gone");
    const QString error = errorOf([&] { writeFileAtomically(folder + QStringLiteral("/A.png"), "png"); });
    EXPECT_EQ(error, QStringLiteral("Не удалось записать файл «A.png»: папка не найдена."));

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
    const QString full = errorOf([&] { writeFileAtomically(target, QByteArray(1 << 20, 'x')); });
    EXPECT_EQ(full, QStringLiteral("Не удалось записать файл «A.png»: на диске нет места."));
    EXPECT_EQ(entries(small), QStringList{QStringLiteral("A.png")});
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "old");
}

TEST_F(PrivateFilesTest, RefusesParentComponentsTheKernelWouldResolveElsewhere)
{
    const QString root = privateTempRoot();
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QDir().mkdir(elsewhere.filePath(QStringLiteral("inner"))));
    ASSERT_TRUE(QFile::link(elsewhere.filePath(QStringLiteral("inner")), root + QStringLiteral("/link")));
    for (const QString& path : {root + QStringLiteral("/missing/../sub"), root + QStringLiteral("/link/../sub")}) {
        EXPECT_FALSE(errorOf([&] { createPrivateDirectory(path); }).isEmpty()) << path.toStdString();
        EXPECT_EQ(entries(root), QStringList{QStringLiteral("link")});
        EXPECT_EQ(entries(elsewhere.path()), QStringList{QStringLiteral("inner")});
    }
}
