#include "support/X11Client.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>
#include <gtest/gtest.h>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

using namespace std::chrono_literals;
using namespace tarnwick::test;

namespace {

// The real program, started and quit like a user's, with a chat in a second
// process that takes the pasted file names at once and reads the files later.
class PreparedSeries : public ::testing::Test {
protected:
    PreparedSeries()
    {
        QDir().mkpath(home.filePath("run"));
        QFile::setPermissions(home.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert("XDG_RUNTIME_DIR", home.filePath("run"));
        environment.insert("XDG_CACHE_HOME", home.filePath("cache"));
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    }
    ~PreparedSeries() override
    {
        for (QProcess* p : {&app, &openbox}) {
            p->kill();
            p->waitForFinished();
        }
    }

    void startProgram()
    {
        // The window manager first, so that it takes in the editor; it stays for later starts.
        if (openbox.state() == QProcess::NotRunning) {
            ASSERT_TRUE(startOpenbox(openbox)) << "no window manager";
        }
        app.setProcessEnvironment(environment);
        app.start(TARNWICK_APP, {});
        ASSERT_TRUE(waitUntil([&] { return QDir(home.filePath("run/tarnwick")).entryList({"instance-*"}, QDir::System).size() == 1; }, 30s));
    }
    void quitProgram()
    {
        ::kill(pid_t(app.processId()), SIGTERM);
        ASSERT_TRUE(app.waitForFinished(30000));
        EXPECT_EQ(app.exitCode(), 0);
    }

    // Opens an image in the running program's editor (a second start hands it over)
    // and presses `keys` there, which end the editor.
    void edit(const QImage& image, const QString& label, const char* keys)
    {
        const QString file = home.filePath(label + ".png");
        ASSERT_TRUE(image.save(file));
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(TARNWICK_APP, {"--open-image", file});
        ASSERT_TRUE(second.waitForFinished(30000));
        QByteArray editor;
        ASSERT_TRUE(waitUntil([&] {
            return runProcess("xdotool", {"search", "--onlyvisible", "--name", "Tarnwick · " + label}, &editor) == 0;
        }, 30s)) << label.toStdString();
        EXPECT_EQ(runProcess("xdotool", {"windowactivate", "--sync", QString::fromLatin1(editor.trimmed().split('\n').first()), "key", keys},
                             nullptr, {}, 30s),
                  0)
            << label.toStdString();
        // Both keys end the editor; the next image is handed over only once it is gone.
        EXPECT_TRUE(waitUntil([&] {
            return runProcess("xdotool", {"search", "--onlyvisible", "--name", "Tarnwick · " + label}) != 0;
        }, 30s)) << label.toStdString();
    }

    // The file names on the clipboard once there are `count` of them, the last one named `last`.
    QStringList clipboardFiles(int count, const QString& last)
    {
        QStringList files;
        waitUntil([&] {
            files.clear();
            for (const QByteArray& uri : xclipRead("text/uri-list").split('\n'))
                if (!uri.trimmed().isEmpty())
                    files << QUrl::fromEncoded(uri.trimmed()).toLocalFile();
            return files.size() == count && files.last().endsWith(last);
        }, 30s);
        return files;
    }

    // The chat: takes the pasted files' names now, and the bytes as they are now to compare with later.
    void paste(const QStringList& files)
    {
        for (const QString& file : files) {
            QByteArray bytes;
            EXPECT_EQ(runProcess("cat", {file}, &bytes), 0) << file.toStdString();
            EXPECT_TRUE(file.startsWith(clipboard.path() + "/")) << file.toStdString();
            pasted.append({file, bytes});
        }
    }
    // What the chat reads when the message is finally sent.
    void expectPastedFilesRead(const char* when)
    {
        for (const auto& [file, bytes] : pasted) {
            QByteArray now;
            EXPECT_EQ(runProcess("cat", {file}, &now), 0) << when << ": " << file.toStdString();
            EXPECT_TRUE(now == bytes && !now.isEmpty()) << when << ": " << file.toStdString();
        }
    }

    QTemporaryDir home;
    QDir clipboard{home.filePath("cache/tarnwick/Tarnwick-Clipboard")};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess openbox, app;
    QList<std::pair<QString, QByteArray>> pasted;
};

QImage filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

bool age(const QString& path, qint64 seconds)
{
    const time_t stamp = time(nullptr) - time_t(seconds);
    const struct timespec times[2] = {{stamp, 0}, {stamp, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace

TEST_F(PreparedSeries, PastedFilesStayReadableAfterLaterShotsAndQuittingAndGoAfterAWeek)
{
    startProgram();
    edit(filled({200, 120}, Qt::red), "A", "ctrl+Return");
    paste(clipboardFiles(1, "/A.png"));
    // Copied without markers (the editor closes, the series keeps one shot), then pasted.
    edit(filled({160, 90}, Qt::green), "B", "ctrl+c");
    paste(clipboardFiles(1, "/Screenshot.png"));
    // Two more shots prepared: the files pasted before are still there, byte for byte.
    edit(filled({160, 90}, Qt::green), "B", "ctrl+Return");
    clipboardFiles(2, "/B.png");
    edit(filled({120, 200}, Qt::blue), "C", "ctrl+Return");
    paste(clipboardFiles(3, "/C.png"));
    ASSERT_EQ(pasted.size(), 5);
    expectPastedFilesRead("after two more shots");
    EXPECT_EQ(QFileInfo(clipboard.path()).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther), 0);
    quitProgram();
    expectPastedFilesRead("after quitting");
    EXPECT_EQ(QDir(home.filePath("run/tarnwick")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), QStringList());

    // Left by runs a week and more ago: the next start removes what is older than seven days,
    // a link by its own age, and never what a link points at.
    const auto uuid = [] { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); };
    const QString eightDays = uuid(), sevenDays = uuid(), link = uuid();
    QTemporaryDir outside;
    ASSERT_TRUE(QFile(outside.filePath("keep.png")).open(QIODevice::WriteOnly));
    for (const QString& name : {eightDays, sevenDays}) {
        ASSERT_TRUE(clipboard.mkpath(name));
        ASSERT_TRUE(QFile(clipboard.filePath(name + "/A.png")).open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(outside.path(), clipboard.filePath(link)));
    ASSERT_TRUE(age(clipboard.filePath(eightDays), 8 * 86400));
    ASSERT_TRUE(age(clipboard.filePath(sevenDays), 7 * 86400 - 3600));
    ASSERT_TRUE(age(clipboard.filePath(link), 8 * 86400));
    startProgram();
    EXPECT_TRUE(waitUntil([&] { return !clipboard.exists(eightDays) && !QFileInfo(clipboard.filePath(link)).isSymLink(); }, 30s));
    EXPECT_TRUE(clipboard.exists(sevenDays + "/A.png"));
    EXPECT_EQ(QDir(outside.path()).entryList(QDir::Files), QStringList{"keep.png"});
    expectPastedFilesRead("after the next start");
    quitProgram();
}
