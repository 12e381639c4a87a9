#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sched.h>
#include <string>
#include <utility>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnwick::test {

// The exit status of a child that could not have namespaces of its own; the step and
// its error are in the reason file.
constexpr int namespaceRefused = 101;

inline QString refusalIn(const QTemporaryDir& dir)
{
    QFile file(dir.filePath("refused.txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Between fork and the body only system calls: the parent may have threads.
inline bool writeRaw(const char* path, const std::string& text, int flags = O_WRONLY)
{
    const int fd = ::open(path, flags, 0600);
    const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (fd >= 0)
        ::close(fd);
    return written;
}

// Runs `body` in a child process with user and mount namespaces of its own and a tmpfs of
// `kilobytes` mounted on `disk`; the child's exit status, 100 when it did not exit, or
// namespaceRefused when the system refused the namespaces or the mount.
inline int onSmallDisk(const QTemporaryDir& dir, const QString& disk, int kilobytes, const std::function<int()>& body)
{
    QDir().mkpath(disk);
    const QByteArray reason = QFile::encodeName(dir.filePath("refused.txt"));
    const QByteArray mountPoint = QFile::encodeName(disk);
    const std::string size = "size=" + std::to_string(kilobytes) + "k";
    const std::string uidMap = "0 " + std::to_string(geteuid()) + " 1";
    const std::string gidMap = "0 " + std::to_string(getegid()) + " 1";
    const pid_t child = fork();
    if (child != 0) {
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
    }
    const auto refuse = [&](const char* step) {
        const int error = errno;
        writeRaw(reason.constData(), std::string(step) + ": " + strerror(error), O_WRONLY | O_CREAT | O_TRUNC);
        _exit(namespaceRefused);
    };
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        refuse("unshare(CLONE_NEWUSER | CLONE_NEWNS)");
    if (!writeRaw("/proc/self/setgroups", "deny") || !writeRaw("/proc/self/uid_map", uidMap) ||
        !writeRaw("/proc/self/gid_map", gidMap))
        refuse("/proc/self/uid_map");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        refuse("mount --make-rprivate /");
    if (mount("tmpfs", mountPoint.constData(), "tmpfs", 0, size.c_str()) != 0)
        refuse("mount -t tmpfs");
    _exit(body());
}

// Fills the disk of `disk` with one file, "filler" in it, and gives `bytes` back (a multiple of
// the disk's pages); true when exactly that much is left free.
inline bool leaveFree(const QString& disk, qint64 bytes)
{
    QFile filler(disk + "/filler");
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    while (filler.write(QByteArray(4096, 'f')) > 0) {
    }
    while (filler.write("f", 1) > 0) {
    }
    if (bytes > 0 && !filler.resize(filler.size() - bytes))
        return false;
    struct statvfs room {};
    return ::statvfs(QFile::encodeName(disk).constData(), &room) == 0
           && qint64(room.f_bavail) * qint64(room.f_bsize) == bytes;
}

// The running test program and the filter that runs the running test alone.
inline std::pair<QByteArray, QByteArray> runningTest()
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return {QFile::encodeName(QCoreApplication::applicationFilePath()),
            QByteArray("--gtest_filter=") + test->test_suite_name() + '.' + test->name()};
}

// Replaces this child with the running test program, running the running test alone.
inline int execRunningTest(const std::pair<QByteArray, QByteArray>& test)
{
    char* const arguments[] = {const_cast<char*>(test.first.constData()), const_cast<char*>(test.second.constData()),
                               nullptr};
    execv(test.first.constData(), arguments);
    return 103;
}

// Runs the running test again, with its own X server, in a child on a tmpfs of `kilobytes` at
// `disk` (see onSmallDisk), which finds the disk's path in the environment variable `variable`;
// the child's exit status.
inline int runTestOnSmallDisk(const QTemporaryDir& dir, const QString& disk, int kilobytes, const char* variable)
{
    const auto test = runningTest();
    qputenv(variable, QFile::encodeName(disk));
    const int status = onSmallDisk(dir, disk, kilobytes, [&] { return execRunningTest(test); });
    qunsetenv(variable);
    return status;
}

// Runs the running test again in a process of its own (whose memory is its own to measure),
// which finds `value` in the environment variable `variable`; the child's exit status, 100 when
// it did not exit.
inline int runTestInChild(const char* variable, const QString& value)
{
    const auto test = runningTest();
    qputenv(variable, QFile::encodeName(value));
    const pid_t child = fork();
    if (child == 0)
        _exit(execRunningTest(test));
    qunsetenv(variable);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

} // namespace tarnwick::test
