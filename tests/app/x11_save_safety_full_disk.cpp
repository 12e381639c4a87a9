// Saving for the user onto a disk that is full, read-only or closed to them: the real shell, its
// panel and its editor, each test run again in a child with user and mount namespaces of its own
// and a small tmpfs (tests/recording/SmallDisk.h), under an English C locale.

#include "ShellFixture.h"

#include "editor/window/EditorExportWindow.h"
#include "editor/window/EditorHeader.h"
#include "editor/window/EditorSaveControls.h"
#include "editor/window/EditorView.h"
#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelMenu.h"
#include "panels/FloatingPanelView.h"
#include "recording/SmallDisk.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QLabel>
#include <QRandomGenerator>
#include <QTest>
#include <QToolButton>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

const char* const diskVariable = "TARNWICK_TEST_SMALL_DISK";
const char* const closedVariable = "TARNWICK_TEST_CLOSED_FOLDER";
constexpr qint64 page = 4096; // what tmpfs hands out at a time

// Random pixels: a PNG of 6 to 8 KB, under the 16 KB a buffered Qt file holds back until it
// is closed.
Screenshot noisyShot(quint32 seed)
{
    QImage image(48, 40, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, random.generate() | 0xff000000u);
    return Screenshot::make(image, 1);
}

// Every file below `folder`, hidden ones included, by its path below `folder`, with its size.
QMap<QString, qint64> filesBelow(const QString& folder)
{
    QMap<QString, qint64> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        files.insert(QDir(folder).relativeFilePath(it.filePath()), it.fileInfo().size());
    }
    return files;
}

qint64 pagesOf(qint64 bytes) { return (bytes + page - 1) / page; }

class SaveSafety : public ShellTest {
protected:
    // In the parent: runs this test again in a child on a tmpfs of `kilobytes` and returns
    // false; in that child: true, with `disk` set.
    bool inChildOnSmallDisk(int kilobytes)
    {
        if (const QString set = qEnvironmentVariable(diskVariable); !set.isEmpty()) {
            disk = set;
            return true;
        }
        QTemporaryDir parent;
        // The system's own messages would be English here.
        qputenv("LC_ALL", "C.UTF-8");
        const int status = runTestOnSmallDisk(parent, parent.filePath(QStringLiteral("disk")), kilobytes, diskVariable);
        qunsetenv("LC_ALL");
        if (status == namespaceRefused)
            skipped = "no user and mount namespaces for a small disk: " + refusalIn(parent).toStdString();
        else
            EXPECT_EQ(status, 0) << "the run on the small disk failed";
        return false;
    }

    // Fills the disk with one file, then gives `bytes` of it back.
    void leaveFree(qint64 bytes) { ASSERT_TRUE(test::leaveFree(disk, bytes)); }

    // The panel's status line as the user reads it.
    QString panelStatus() { return shell->panel()->view().statusLabel().text().replace(u'\n', u' '); }

    QAction* exportEntry() { return shell->panel()->view().menu().action(FloatingPanelMenu::Entry::exportSeries); }

    // "Сохранить серию в папку…" from the panel's menu, into `folder`; the status it ends with.
    QString exportSeriesInto(const QString& folder)
    {
        folderAnswer = folder;
        log.clear();
        if (!waitUntil([&] { return exportEntry()->isEnabled(); }, 30s))
            return QStringLiteral("<the menu entry stays disabled>");
        exportEntry()->trigger();
        EXPECT_FALSE(model().busy());
        return model().status();
    }

    // The editor's floppy button on the only shot, pressed with the pointer.
    void saveWithoutMarkers()
    {
        shell->editShot(model().shots().front().id);
        ASSERT_TRUE(waitUntil([&] { return shell->editor() && shell->editor()->isVisible(); }, 30s));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(shell->editor()));
        QToolButton* button = shell->editor()->view().header()->saveControls()->saveButton();
        ASSERT_TRUE(waitUntil([&] { return button->isVisible() && button->isEnabled(); }, 30s));
        const QPoint at = button->mapToGlobal(button->rect().center());
        x.click(at.x(), at.y());
    }

    QString disk;
    std::string skipped;
};

} // namespace

TEST_F(SaveSafety, ASeriesSavedOntoAFullDiskSaysSoAndLeavesNoShortFile)
{
    if (!inChildOnSmallDisk(256)) {
        if (!skipped.empty())
            GTEST_SKIP() << skipped;
        return;
    }
    start();
    for (quint32 seed : {1u, 2u, 3u})
        model().save(noisyShot(seed), {}, false);

    // Where there is room: what every file should be.
    const QString roomy = dir.filePath(QStringLiteral("roomy"));
    ASSERT_TRUE(QDir().mkpath(roomy));
    ASSERT_EQ(exportSeriesInto(roomy), QStringLiteral("Серия сохранена в папку"));
    ASSERT_EQ(log.size(), 2);
    const QString reference = log[1].mid(QStringLiteral("reveal: ").size());
    const QMap<QString, qint64> meant = filesBelow(reference);
    ASSERT_EQ(meant.keys(), (QStringList{"A.png", "B.png", "C.png", "Комментарии.md", "Комментарии.txt"}));

    // Room for four pages: the first files fit, the one that tips it over fails.
    const qint64 room = 4 * page;
    QString tipping;
    qint64 used = 0;
    for (const QString name : {"A.png", "B.png", "C.png", "Комментарии.txt", "Комментарии.md"}) {
        used += pagesOf(meant[name]) * page;
        if (used > room) {
            tipping = name;
            break;
        }
    }
    ASSERT_FALSE(tipping.isEmpty()) << "the series fits on the small disk";
    leaveFree(room);

    const QString sentence = QStringLiteral("Не удалось записать файл «%1»: на диске нет места.").arg(tipping);
    EXPECT_EQ(exportSeriesInto(disk), sentence);
    EXPECT_TRUE(waitUntil([&] { return panelStatus() == sentence; }, 30s)) << panelStatus().toStdString();
    EXPECT_EQ(log, (QStringList{QStringLiteral("folder: Сохранить серию"), QStringLiteral("alert: ") + sentence}));
    // Nothing on the disk but the filler is anything less than whole.
    QMap<QString, qint64> left = filesBelow(disk);
    left.remove(QStringLiteral("filler"));
    for (auto it = left.cbegin(); it != left.cend(); ++it)
        EXPECT_EQ(it.value(), meant.value(QFileInfo(it.key()).fileName(), -1)) << it.key().toStdString();
    EXPECT_TRUE(left.isEmpty()) << "a failed export leaves no folder";
}

TEST_F(SaveSafety, AShotSavedWithoutMarkersOntoAFullDiskSaysSoAndLeavesNoShortFile)
{
    if (!inChildOnSmallDisk(256)) {
        if (!skipped.empty())
            GTEST_SKIP() << skipped;
        return;
    }
    start();
    model().save(noisyShot(7), {}, false);

    // Where there is room: the size of the saved picture.
    const QString roomy = dir.filePath(QStringLiteral("Снимки"));
    ASSERT_TRUE(QDir().mkpath(roomy));
    model().setImageSaveDirectory(roomy);
    saveWithoutMarkers();
    ASSERT_TRUE(waitUntil([&] { return !shell->editor(); }, 30s)) << model().status().toStdString();
    const QMap<QString, qint64> saved = filesBelow(roomy);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(model().status(), QStringLiteral("Снимок сохранён: ") + saved.firstKey());
    const qint64 meant = saved.first();
    ASSERT_GT(meant, page) << "the picture fits in the room left";

    // The same shot onto a disk with one page left.
    const QString full = disk + QStringLiteral("/Снимки");
    ASSERT_TRUE(QDir().mkpath(full));
    model().setImageSaveDirectory(full);
    leaveFree(page);
    log.clear();
    saveWithoutMarkers();
    const QString sentence = QStringLiteral("Не удалось сохранить снимок: на диске нет места.");
    ASSERT_TRUE(waitUntil([&] { return log.size() == 1; }, 30s)) << "no alert; the status reads " << model().status().toStdString();
    EXPECT_EQ(log[0], QStringLiteral("alert: ") + sentence);
    EXPECT_TRUE(waitUntil([&] { return panelStatus() == sentence; }, 30s)) << panelStatus().toStdString();
    EXPECT_TRUE(shell->editor() && shell->editor()->isVisible()) << "the editor stays open with the shot";
    const QMap<QString, qint64> left = filesBelow(full);
    for (auto it = left.cbegin(); it != left.cend(); ++it)
        EXPECT_EQ(it.value(), meant) << it.key().toStdString();
    EXPECT_TRUE(left.isEmpty());
}

// The reasons people meet, in Russian whatever the locale; the system's own text is English here.
TEST_F(SaveSafety, ASeriesThatCannotBeSavedSaysWhyInRussian)
{
    // A folder of another user, whom the child's namespace does not know: closed even to its root.
    if (qEnvironmentVariableIsEmpty(diskVariable)) {
        const QString closed = dir.filePath(QStringLiteral("closed"));
        ASSERT_TRUE(QDir().mkpath(closed));
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(QFile::encodeName(closed).constData(), 65534, 65534), 0);
        }
        qputenv(closedVariable, QFile::encodeName(::geteuid() == 0 ? closed : QStringLiteral("/")));
    }
    const bool child = inChildOnSmallDisk(64);
    if (!child) {
        qunsetenv(closedVariable);
        if (!skipped.empty())
            GTEST_SKIP() << skipped;
        return;
    }
    start();
    model().save(noisyShot(4), {}, false);
    const QString closed = qEnvironmentVariable(closedVariable);
    const QString missing = disk + QStringLiteral("/нет такой");

    leaveFree(0);
    EXPECT_EQ(exportSeriesInto(disk), QStringLiteral("Не удалось записать файл «A.png»: на диске нет места."));
    EXPECT_EQ(exportSeriesInto(missing), QStringLiteral("Не удалось создать папку для серии в «нет такой»: папка не найдена."));
    EXPECT_EQ(exportSeriesInto(closed),
              QStringLiteral("Не удалось создать папку для серии в «%1»: нет прав на запись.")
                  .arg(closed == QStringLiteral("/") ? closed : QDir(closed).dirName()));
    QFile::remove(disk + QStringLiteral("/filler"));
    ASSERT_EQ(::mount(nullptr, QFile::encodeName(disk).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << strerror(errno);
    EXPECT_EQ(exportSeriesInto(disk), QStringLiteral("Не удалось создать папку для серии в «disk»: диск только для чтения."));
    EXPECT_EQ(filesBelow(disk), (QMap<QString, qint64>{}));
}
