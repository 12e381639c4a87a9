#include "MediaFiles.h"
#include "platform/TarnwickError.h"
#include "recording/review/RecordingExport.h"
#include "support/Errors.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::review;
using namespace tarnwick::test;

namespace {

// A 3 s, 30 frames/s H.264 + AAC file whose frames all differ.
QString makeSource(const QTemporaryDir& dir)
{
    const QString path = dir.filePath("source.mp4");
    runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30:duration=3", "-f", "lavfi",
                   "-i", "sine=frequency=440:duration=3", "-c:v", "libx264", "-g", "30", "-bf", "0", "-c:a", "aac",
                   "-shortest", path});
    return path;
}

} // namespace

TEST(RecordingExport, CutsAFrameExactFragmentWithoutReencoding)
{
    QTemporaryDir dir;
    const QString source = makeSource(dir);
    ASSERT_NEAR(RecordingExport::duration(source), 3.0, 0.05);
    // A fragment inside, and one trimmed at the end only.
    for (const auto& [start, end] : {std::pair{0.5, 1.5}, {0.0, 2.0}}) {
        SCOPED_TRACE(end);
        const QString cut = dir.filePath(QStringLiteral("cut%1.mp4").arg(end));
        RecordingExport::prepare(source, {3.0, start, end}, cut);
        const QJsonObject probe = QJsonDocument::fromJson(runTool("ffprobe", {"-v", "error", "-of", "json",
                                                                         "-show_streams", "-show_format", cut}))
                                      .object();
        EXPECT_NEAR(probe["format"].toObject()["duration"].toString().toDouble(), end - start, 0.04);
        EXPECT_EQ(probe["streams"].toArray()[0].toObject()["codec_name"].toString(), "h264");
        EXPECT_EQ(probe["streams"].toArray().size(), 2);
        const QByteArray first = pictureAt(cut, 0);
        ASSERT_FALSE(first.isEmpty());
        EXPECT_TRUE(first == pictureAt(source, start)) << "the fragment must start at the frame of its start";
    }
}

TEST(RecordingExport, RefusesEmptyFragmentsCopiesWholeOnesAndInstallsAtomically)
{
    QTemporaryDir dir;
    const QString source = makeSource(dir);
    const QString refused = dir.filePath("refused.mp4");
    for (const RecordingTrim trim : {RecordingTrim{3, 1, 1}, RecordingTrim{3, 0, 3.5}, RecordingTrim{3, -0.1, 1},
                                     RecordingTrim{0, 0, 0}, RecordingTrim{qInf(), 0, 1}}) {
        try {
            RecordingExport::prepare(source, trim, refused);
            ADD_FAILURE() << trim.duration << " " << trim.start << " " << trim.end;
        } catch (const TarnwickError& e) {
            EXPECT_EQ(e.errorDescription(), "Выберите непустой фрагмент видео.");
        }
        EXPECT_FALSE(QFile::exists(refused));
    }
    const QString whole = dir.filePath("whole.mp4");
    RecordingExport::prepare(source, {3, 0.0009, 2.9995}, whole);
    QFile a(source), b(whole);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());

    QDir(dir.path()).mkdir("out");
    const QString target = dir.filePath("out/Saved.mp4");
    RecordingExport::install(whole, target); // a new name
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
    old.write("old");
    old.close();
    RecordingExport::install(whole, target); // over an existing file
    EXPECT_EQ(QFileInfo(target).size(), QFileInfo(source).size());
    EXPECT_TRUE(QFile::exists(whole));
    EXPECT_THROW(RecordingExport::install(whole, dir.filePath("missing/Saved.mp4")), TarnwickError);
    EXPECT_EQ(tarnwick::test::errorOf([&] { RecordingExport::install(whole, dir.filePath("missing/Saved.mp4")); }),
              "Не удалось записать файл в выбранную папку: папка не найдена.");
    EXPECT_TRUE(QDir(dir.filePath("out")).entryList({".Tarnwick-*"}, QDir::Files | QDir::Hidden).isEmpty());
}

// A save's copy is prepared in a hidden private file beside its destination and renamed over it:
// a link planted at the destination is replaced, never written through, a name with quotes, a
// line break and shell signs is kept as it is, and nothing hidden stays behind.
TEST(RecordingExport, AFilePreparedBesideItsDestinationIsRenamedOverItNeverThroughALink)
{
    QTemporaryDir dir;
    const QString source = makeSource(dir);
    const QString folder = dir.filePath("Видео «мои»");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString theirs = dir.filePath("theirs.mp4");
    QFile planted(theirs);
    ASSERT_TRUE(planted.open(QIODevice::WriteOnly) && planted.write("theirs") == 6);
    planted.close();
    const QString destination = folder + "/Запись \"1\"\n$(x) 'a'.mp4";
    ASSERT_TRUE(QFile::link(theirs, destination));

    const QString prepared = RecordingExport::reserveBeside(destination);
    EXPECT_EQ(QFileInfo(prepared).absolutePath(), QFileInfo(destination).absolutePath());
    EXPECT_TRUE(QFileInfo(prepared).fileName().startsWith(".Tarnwick-")) << prepared.toStdString();
    EXPECT_EQ(QFileInfo(prepared).permissions(),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser)
        << "private while it is being written";
    RecordingExport::prepare(source, {3, 0, 3}, prepared);
    RecordingExport::install(prepared, destination);
    EXPECT_FALSE(QFileInfo(destination).isSymLink());
    QFile saved(destination), original(source);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll() == original.readAll());
    ASSERT_TRUE(planted.open(QIODevice::ReadOnly));
    EXPECT_EQ(planted.readAll(), QByteArray("theirs"));
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QFileInfo(destination).fileName()});

    // A folder gone meanwhile: said as the install's own failures are.
    EXPECT_EQ(errorOf([&] { RecordingExport::reserveBeside(dir.filePath("gone/Saved.mp4")); }),
              "Не удалось записать файл в выбранную папку: папка не найдена.");
}
