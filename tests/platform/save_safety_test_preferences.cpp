// The preferences file: Qt's INI text, written through the checked path, and a full disk
// that keeps the old file whole and says why once.
#include "platform/PreferencesFile.h"
#include "recording/SmallDisk.h"
#include "support/PipeWatch.h"

#include <QColor>
#include <QDateTime>
#include <QFile>
#include <QPoint>
#include <QRect>
#include <QSignalSpy>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::platform;
using namespace tarnwick::test;

namespace {

const char* const diskVariable = "TARNWICK_TEST_PREFERENCES_DISK";

// Values of every kind the program and earlier versions stored, and the text that trips an
// INI writer: separators, quotes, edge spaces, escapes, digits after escapes, "@" first.
QSettings::SettingsMap awkwardValues()
{
    QByteArray geometry;
    for (int i = 0; i < 300; ++i)
        geometry += char(i * 37);
    return {
        {"autoClear", true},
        {"showsTaskbarIcon", false},
        {"colorCodeFormat", "hexHash"},
        {"imageSaveDirectory", "/home/пользователь/Снимки экрана"},
        {"recordingSaveDirectory", " /tmp/with spaces ; and, commas = too "},
        {"recordingQuality", 3},
        {"floatingPanelOrigin", QVariantList{1520.5, 40.0}},
        {"ShortcutGuideWindow", geometry},
        {"quotes", "say \"hi\" \\ back\\slash"},
        {"escapes", QString("tab\there\nnew line\r\a\b\f\v") + QChar(0x1b) + "1f"},
        {"nul", QString("a") + QChar(0) + "7b"},
        {"atFirst", "@Variant(not really)"},
        {"emoji", QString::fromUtf8("смайл 😀 и ещё")},
        {"emptyList", QStringList()},
        {"oneList", QStringList{"one, two"}},
        {"list", QStringList{"a", " b ", "c,d", "", "@x"}},
        {"oneVariant", QVariantList{42}},
        {"mixed", QVariantList{1, "two", 3.5, QByteArray("four")}},
        {"rect", QRect(1, -2, 30, 40)},
        {"size", QSize(640, 480)},
        {"point", QPoint(-5, 7)},
        {"when", QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC)},
        {"colour", QColor(10, 20, 30)},
        {"large", Q_INT64_C(1) << 40},
        {"negative", -3.25},
        {"empty", QString()},
        {"invalid", QVariant()},
        {"group/inner", "in a group"},
        {"group/deeper/key", "two levels"},
        {"General/odd", "a group named General"},
        {"другая группа/ключ", "кириллица в ключе"},
        {"spaces in key", "x"},
        {"with%percent", "y"},
    };
}

// What QSettings' own INI format reads from `path`, key by key, as a new run reads it: from a
// copy, since Qt answers for a file it has met in this process from what it holds in memory.
QSettings::SettingsMap readByQt(const QString& path)
{
    QTemporaryDir fresh;
    const QString copy = fresh.filePath("copy.conf");
    QFile::copy(path, copy);
    QSettings ini(copy, QSettings::IniFormat);
    QSettings::SettingsMap values;
    for (const QString& key : ini.allKeys())
        values.insert(key, ini.value(key));
    return values;
}

// `values` written by QSettings' own INI format into `path`, as an earlier run left them: through
// a copy, so this process holds nothing of the file in memory.
void writeByQt(const QString& path, const QSettings::SettingsMap& values)
{
    QTemporaryDir staging;
    {
        QSettings ini(staging.filePath("staged.conf"), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            ini.setValue(it.key(), it.value());
    }
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    QFile::copy(staging.filePath("staged.conf"), path);
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

// Whatever the values, Qt reads the text written here as it reads its own.
TEST(PreferencesFile, ItsTextReadsBackInQtAsQtsOwnTextDoes)
{
    QTemporaryDir dir;
    const QSettings::SettingsMap values = awkwardValues();
    writeByQt(dir.filePath("qt.conf"), values);
    QFile ours(dir.filePath("ours.conf"));
    ASSERT_TRUE(ours.open(QIODevice::WriteOnly));
    ours.write(PreferencesFile::iniText(values));
    ours.close();
    const QSettings::SettingsMap meant = readByQt(dir.filePath("qt.conf"));
    const QSettings::SettingsMap read = readByQt(dir.filePath("ours.conf"));
    ASSERT_EQ(meant.size(), values.size());
    EXPECT_EQ(read.keys(), meant.keys());
    for (auto it = meant.cbegin(); it != meant.cend(); ++it)
        EXPECT_EQ(read.value(it.key()), it.value()) << it.key().toStdString() << ": " << bytesOf(ours.fileName()).toStdString();
}

// A file an earlier version wrote through QSettings reads whole, and a change writes it whole again.
TEST(PreferencesFile, ReadsWhatEarlierVersionsWroteAndKeepsEveryKeyOnAChange)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config/Tarnwick/Tarnwick.conf");
    const QSettings::SettingsMap values = awkwardValues();
    writeByQt(path, values);
    const QSettings::SettingsMap earlier = readByQt(path);
    {
        PreferencesFile preferences(path);
        for (auto it = earlier.cbegin(); it != earlier.cend(); ++it)
            EXPECT_EQ(preferences.value(it.key()), it.value())
                << it.key().toStdString() << ": " << preferences.value(it.key()).typeName() << " "
                << preferences.value(it.key()).toString().toStdString() << " for " << it.value().typeName() << " "
                << it.value().toString().toStdString();
        preferences.setValue("autoClear", false);
        EXPECT_TRUE(preferences.save());
    }
    QSettings::SettingsMap expected = earlier;
    expected["autoClear"] = QStringLiteral("false");
    EXPECT_EQ(readByQt(path), expected);
    EXPECT_TRUE(QDir(dir.filePath("config/Tarnwick")).entryList(QDir::Files | QDir::Hidden) == QStringList{"Tarnwick.conf"})
        << "no temporary file stays beside it";

    // Kept with the user's other dotfiles through a link: written there, the link stays.
    const QString kept = dir.filePath("dotfiles/Tarnwick.conf");
    writeByQt(kept, values);
    const QString linked = dir.filePath("linked/Tarnwick.conf");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(linked).path()) && QFile::link(kept, linked));
    {
        PreferencesFile preferences(linked);
        preferences.setValue("autoClear", false);
        EXPECT_TRUE(preferences.save());
    }
    EXPECT_TRUE(QFileInfo(linked).isSymLink());
    EXPECT_EQ(readByQt(kept), expected);

    // The program's own file, where QSettings() finds it.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
    QCoreApplication::setOrganizationName("Tarnwick");
    QCoreApplication::setApplicationName("Tarnwick");
    PreferencesFile standard;
    EXPECT_EQ(QFileInfo(standard.fileName()).canonicalFilePath(), QFileInfo(path).canonicalFilePath());
    EXPECT_EQ(standard.value("autoClear").toString(), QStringLiteral("false"));
    EXPECT_EQ(standard.value("imageSaveDirectory"), values["imageSaveDirectory"]);
    qunsetenv("XDG_CONFIG_HOME");
}

// Four kilobytes left on the disk: the change stays in memory, the file on the disk stays whole,
// and the reason is said once, not at every change; with room again, all of it is written.
TEST(PreferencesFile, AFullDiskKeepsTheOldFileWholeAndSaysWhyOnce)
{
    const QString disk = qEnvironmentVariable(diskVariable);
    if (disk.isEmpty()) {
        QTemporaryDir parent;
        qputenv("LC_ALL", "C.UTF-8"); // the system's own messages would be English here
        const int status = runTestOnSmallDisk(parent, parent.filePath("disk"), 256, diskVariable);
        qunsetenv("LC_ALL");
        if (status == namespaceRefused)
            GTEST_SKIP() << "no user and mount namespaces for a small disk: " << refusalIn(parent).toStdString();
        EXPECT_EQ(status, 0) << "the run on the small disk failed";
        return;
    }
    const QString path = disk + "/Tarnwick/Tarnwick.conf";
    QSettings::SettingsMap values = awkwardValues();
    for (int i = values.size(); i < 56; ++i) // the keys of a file a user has had for a while
        values.insert(QStringLiteral("recent/file%1").arg(i), QStringLiteral("/home/пользователь/Документы/%1.png").arg(i).repeated(8));
    writeByQt(path, values);
    const QByteArray before = bytesOf(path);
    ASSERT_GT(before.size(), 8192) << "the file must need more than the room left";

    ASSERT_TRUE(leaveFree(disk, 4096)) << "everything but four kilobytes taken";

    PreferencesFile preferences(path);
    QSignalSpy said(&preferences, &PreferencesFile::writeFailed);
    // Qt writes a turn's changes when the event it posted for them comes.
    const auto changesWritten = [&] { QCoreApplication::sendPostedEvents(&preferences, QEvent::UpdateRequest); };
    preferences.setValue("autoClear", false);
    changesWritten();
    ASSERT_EQ(said.size(), 1) << "the failure went unsaid";
    EXPECT_EQ(said.takeFirst().at(0).toString(), QStringLiteral("Не удалось сохранить настройки: на диске нет места."));
    EXPECT_EQ(bytesOf(path), before);
    preferences.setValue("colorCodeFormat", "rgb");
    changesWritten();
    EXPECT_FALSE(preferences.save());
    EXPECT_EQ(said.size(), 0) << "said again";
    EXPECT_EQ(bytesOf(path), before);
    EXPECT_EQ(preferences.value("autoClear").toBool(), false) << "the change is kept for the run";
    EXPECT_EQ(QDir(disk + "/Tarnwick").entryList(QDir::Files | QDir::Hidden), QStringList{"Tarnwick.conf"});

    // Room again: every key, old and new, goes into the file; a later failure is said again.
    ASSERT_TRUE(QFile::remove(disk + "/filler"));
    preferences.setValue("showsTaskbarIcon", true);
    changesWritten();
    EXPECT_EQ(said.size(), 0);
    QTemporaryDir roomy;
    writeByQt(roomy.filePath("expected.conf"), values);
    QSettings::SettingsMap expected = readByQt(roomy.filePath("expected.conf"));
    expected["autoClear"] = QStringLiteral("false");
    expected["colorCodeFormat"] = QStringLiteral("rgb");
    expected["showsTaskbarIcon"] = QStringLiteral("true");
    EXPECT_EQ(readByQt(path), expected);
    ASSERT_TRUE(leaveFree(disk, 0));
    preferences.setValue("autoClear", true);
    changesWritten();
    EXPECT_EQ(said.size(), 1);

    // A disk made read-only: Qt's own lock beside the file is refused before a word is written.
    ASSERT_TRUE(QFile::remove(disk + "/filler"));
    preferences.setValue("autoClear", false);
    changesWritten();
    ASSERT_EQ(::mount(nullptr, QFile::encodeName(disk).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    said.clear();
    preferences.setValue("autoClear", true);
    changesWritten();
    ASSERT_EQ(said.size(), 1);
    EXPECT_EQ(said.takeFirst().at(0).toString(), QStringLiteral("Не удалось сохранить настройки: диск только для чтения."));
    EXPECT_EQ(readByQt(path).value("autoClear"), QStringLiteral("false"));
}

namespace {

const char* const strangerVariable = "TARNWICK_TEST_PREFERENCES_STRANGER";

// What is at `path` itself: its type and owner, a link not followed.
std::pair<mode_t, uid_t> kindOf(const QString& path)
{
    struct stat s {};
    if (::lstat(QFile::encodeName(path).constData(), &s) != 0)
        return {0, 0};
    return {s.st_mode & S_IFMT, s.st_uid};
}

QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

// A pipe in the preferences' place would hold the start in open() for good, waiting for a writer;
// a link to one, a device or a folder are no better. Each is refused at once with its reason, the
// run goes on with the defaults and what it sets, and the file is never written over: the pipe
// stays a pipe, the link a link, and nothing is left beside them.
TEST(PreferencesFile, WhatIsNoRegularFileIsRefusedAtOnceAndNeverWrittenOver)
{
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe/Tarnwick.conf");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(pipe).path()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString linked = dir.filePath("linked/Tarnwick.conf");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(linked).path()) && QFile::link(pipe, linked));
    const QString folder = dir.filePath("folder/Tarnwick.conf");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString device = dir.filePath("device/Tarnwick.conf");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(device).path()) && QFile::link("/dev/zero", device));

    PipeWatch watch({pipe});
    struct Case {
        QString path;
        mode_t kind;
        const char* reason;
    };
    for (const Case& c : {Case{pipe, S_IFIFO, "это не файл"}, Case{linked, S_IFLNK, "это не файл"},
                          Case{folder, S_IFDIR, "это папка"}, Case{device, S_IFLNK, "это не файл"}}) {
        SCOPED_TRACE(c.path.toStdString());
        {
            PreferencesFile preferences(c.path);
            EXPECT_EQ(preferences.refusal(), QStringLiteral("Не удалось прочитать файл «Tarnwick.conf»: %1. Действуют "
                                                            "настройки по умолчанию, этот файл не изменится.")
                                                 .arg(QString::fromUtf8(c.reason)));
            EXPECT_TRUE(preferences.allKeys().isEmpty());
            QSignalSpy said(&preferences, &PreferencesFile::writeFailed);
            preferences.setValue("autoClear", false);
            QCoreApplication::sendPostedEvents(&preferences, QEvent::UpdateRequest);
            EXPECT_EQ(said.size(), 0) << "said again at each change";
            EXPECT_FALSE(preferences.save());
            EXPECT_EQ(preferences.value("autoClear").toBool(), false) << "the change is kept for the run";
        }
        EXPECT_EQ(kindOf(c.path).first, c.kind);
        EXPECT_EQ(entriesOf(QFileInfo(c.path).path()), QStringList{"Tarnwick.conf"});
    }
    EXPECT_FALSE(watch.stop()) << "the pipe was opened and waited on";
    EXPECT_EQ(kindOf(pipe).first, S_IFIFO);
    EXPECT_TRUE(entriesOf(folder).isEmpty());

    // A pipe put in the place of a file that was read: the change is kept in memory, the reason said once.
    const QString swapped = dir.filePath("swapped/Tarnwick.conf");
    writeByQt(swapped, {{"autoClear", true}, {"colorCodeFormat", "rgb"}});
    PreferencesFile preferences(swapped);
    EXPECT_EQ(preferences.refusal(), QString());
    EXPECT_EQ(preferences.value("colorCodeFormat").toString(), "rgb");
    ASSERT_TRUE(QFile::remove(swapped));
    ASSERT_EQ(::mkfifo(QFile::encodeName(swapped).constData(), 0600), 0);
    QSignalSpy said(&preferences, &PreferencesFile::writeFailed);
    preferences.setValue("autoClear", false);
    QCoreApplication::sendPostedEvents(&preferences, QEvent::UpdateRequest);
    ASSERT_EQ(said.size(), 1);
    EXPECT_EQ(said.takeFirst().at(0).toString(),
              QStringLiteral("Не удалось прочитать файл «Tarnwick.conf»: это не файл. Настройки не сохранены."));
    preferences.setValue("colorCodeFormat", "hexHash");
    QCoreApplication::sendPostedEvents(&preferences, QEvent::UpdateRequest);
    EXPECT_EQ(said.size(), 0);
    EXPECT_FALSE(preferences.save());
    EXPECT_EQ(kindOf(swapped).first, S_IFIFO);
    // A file there again: every change of the run goes into it.
    ASSERT_TRUE(QFile::remove(swapped));
    writeByQt(swapped, {{"autoClear", true}, {"colorCodeFormat", "rgb"}, {"recordingQuality", "high"}});
    EXPECT_TRUE(preferences.save());
    EXPECT_EQ(readByQt(swapped), (QSettings::SettingsMap{{"autoClear", "false"}, {"colorCodeFormat", "hexHash"},
                                                         {"recordingQuality", "high"}}));
}

// A preferences file this user cannot read must not be taken for none: the defaults the program
// sets at its start, written over it, would lose every key it holds. It is refused for the whole
// run, also once it can be read again (its rights mended), and that is said. Root reads any file:
// as root, the file is another user's, seen from a namespace that does not know that user.
TEST(PreferencesFile, AnUnreadableFileIsNeverWrittenOverWithTheDefaults)
{
    QString folder = qEnvironmentVariable(strangerVariable);
    QTemporaryDir dir;
    if (folder.isEmpty()) {
        folder = dir.filePath("config/Tarnwick");
        writeByQt(folder + "/Tarnwick.conf", awkwardValues());
        ASSERT_TRUE(QFile::copy(folder + "/Tarnwick.conf", folder + "/mended.conf"));
        ASSERT_TRUE(QFile::setPermissions(folder + "/Tarnwick.conf", QFileDevice::Permissions()));
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(QFile::encodeName(folder + "/Tarnwick.conf").constData(), 65534, 65534), 0);
            const auto test = runningTest();
            qputenv(strangerVariable, QFile::encodeName(folder));
            const int status = onSmallDisk(dir, dir.filePath("disk"), 64, [&] { return execRunningTest(test); });
            qunsetenv(strangerVariable);
            if (status == namespaceRefused)
                GTEST_SKIP() << "no user and mount namespaces: " << refusalIn(dir).toStdString();
            EXPECT_EQ(status, 0) << "the run that cannot read the file failed";
            return;
        }
    }
    const QString path = folder + "/Tarnwick.conf";
    const QByteArray before = bytesOf(folder + "/mended.conf");
    ASSERT_EQ(bytesOf(path), QByteArray("<missing>")) << "the file can be read here";
    {
        PreferencesFile preferences(path);
        EXPECT_EQ(preferences.refusal(), QStringLiteral("Не удалось прочитать файл «Tarnwick.conf»: нет прав на чтение. "
                                                        "Действуют настройки по умолчанию, этот файл не изменится."));
        EXPECT_FALSE(preferences.contains("imageSaveDirectory"));
        // What the program sets from its defaults as it starts.
        preferences.setValue("autoClear", true);
        preferences.setValue("floatingPanelOrigin", QVariantList{10.0, 20.0});
        QCoreApplication::sendPostedEvents(&preferences, QEvent::UpdateRequest);
        EXPECT_FALSE(preferences.save());
        // The file readable again: the run still never writes over what it could not read.
        ASSERT_EQ(std::rename(QFile::encodeName(folder + "/mended.conf").constData(), QFile::encodeName(path).constData()), 0);
        preferences.setValue("autoClear", false);
        QCoreApplication::sendPostedEvents(&preferences, QEvent::UpdateRequest);
        EXPECT_FALSE(preferences.save());
    }
    EXPECT_EQ(bytesOf(path), before);
    EXPECT_EQ(entriesOf(folder), QStringList{"Tarnwick.conf"});
}
