// The checked path's last steps and what it reads: a rename refused at the end is a failure, and a
// file the user names is refused at once when it is no regular file.
#include "platform/PrivateFiles.h"
#include "support/Errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::platform;
using tarnwick::test::errorOf;

namespace {

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The sentence `action` throws, waited for on a thread of its own; when it is still waiting
// after a generous while, `unblock` lets it go and the answer says so.
QString errorWithin(const std::function<void()>& action, const std::function<void()>& unblock)
{
    auto answer = std::async(std::launch::async, [action] { return errorOf(action); });
    if (answer.wait_for(std::chrono::seconds(30)) == std::future_status::ready)
        return answer.get();
    unblock();
    answer.wait();
    return QStringLiteral("<still waiting>");
}

} // namespace

// Every step is checked to its end: a folder at the target's name makes the last one, the rename,
// fail, and that is said, with nothing left beside it.
TEST(CheckedFiles, ARenameRefusedAtTheEndIsAFailureAndLeavesNothing)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("A.png"));
    ASSERT_TRUE(QDir().mkdir(target));
    ASSERT_TRUE(QFile(target + QStringLiteral("/inside.txt")).open(QIODevice::WriteOnly));
    EXPECT_EQ(errorOf([&] { writeFileAtomically(target, "png", FileAccess::user); }),
              QStringLiteral("Не удалось записать файл «A.png»: это папка."));
    const QString source = dir.filePath(QStringLiteral("source.mp4"));
    writeFileAtomically(source, QByteArray(100000, 'v'));
    EXPECT_EQ(errorOf([&] { copyFileAtomically(source, target); }), QStringLiteral("Не удалось записать файл «A.png»: это папка."));
    EXPECT_EQ(entries(dir.path()), (QStringList{QStringLiteral("A.png"), QStringLiteral("source.mp4")}));
    EXPECT_EQ(entries(target), QStringList{QStringLiteral("inside.txt")});
    EXPECT_EQ(fileErrorReason(EISDIR), QStringLiteral("это папка"));
}

// A named pipe would hold open() until something writes into it: it is refused at once, as a
// folder or a device is, and a regular file opens as before.
TEST(CheckedFiles, WhatIsNoRegularFileIsRefusedAtOnceWhenRead)
{
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("x.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const auto letGo = [&] {
        const int writer = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    };
    EXPECT_EQ(errorWithin([&] { ::close(openForReading(pipe)); }, letGo),
              QStringLiteral("Не удалось прочитать файл «x.png»: это не файл."));
    const QString target = dir.filePath(QStringLiteral("copy.mp4"));
    EXPECT_EQ(errorWithin([&] { copyFileAtomically(pipe, target); }, letGo),
              QStringLiteral("Не удалось прочитать файл «x.png»: это не файл."));
    EXPECT_EQ(errorOf([&] { ::close(openForReading(dir.path())); }),
              QStringLiteral("Не удалось прочитать файл «%1»: это папка.").arg(QFileInfo(dir.path()).fileName()));
    EXPECT_EQ(errorOf([&] { ::close(openForReading(QStringLiteral("/dev/null"))); }),
              QStringLiteral("Не удалось прочитать файл «null»: это не файл."));
    EXPECT_FALSE(QFileInfo::exists(target));

    const QString file = dir.filePath(QStringLiteral("shot.png"));
    writeFileAtomically(file, "picture");
    const int fd = openForReading(file);
    char read[16] = {};
    EXPECT_EQ(::read(fd, read, sizeof read), 7) << "the file reads as usual once open";
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    ::close(fd);
}
