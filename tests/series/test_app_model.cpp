#include "series/AppModel.h"
#include "series/TarnwickError.h"
#include "support/Errors.h"
#include "support/FakeClipboardBackend.h"

#include "SeriesTestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;
using tarnwick::test::errorOf;
using tarnwick::test::FakeClipboardBackend;
using tarnwick::test::shotWithComments;
using tarnwick::test::stripeRenderer;

namespace {

class AppModelTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    QSettings settings{root.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat};
    FakeClipboardBackend board;
    ClipboardBridge bridge{board, root.path(), stripeRenderer};
    std::unique_ptr<AppModel> model = makeModel();
    QStringList alerts;
    int beeps = 0;

    std::unique_ptr<AppModel> makeModel()
    {
        // No X server: the hooks' defaults must not reach a real display.
        auto m = std::make_unique<AppModel>(bridge, settings, false, QStringLiteral(":65000"));
        m->alert = [this](const QString& s) { alerts << s; };
        m->beep = [this] { ++beeps; };
        return m;
    }
};

} // namespace

TEST_F(AppModelTest, StartsFromDefaultsAndIgnoresJunkPreferences)
{
    EXPECT_EQ(model->status(), QStringLiteral("Снимок → разметка → Ctrl+V"));
    EXPECT_TRUE(model->autoClear());
    EXPECT_FALSE(model->showsDockIcon());
    EXPECT_EQ(model->colorCodeFormat(), ColorCodeFormat::hexHash);
    EXPECT_FALSE(model->imageSaveDirectory());
    EXPECT_EQ(model->transferMode(), TransferMode::chat);

    settings.setValue(QStringLiteral("autoClear"), QStringLiteral("да"));
    settings.setValue(QStringLiteral("colorCodeFormat"), QStringLiteral("CSSRGBA"));
    settings.setValue(QStringLiteral("imageSaveDirectory"), QString());
    settings.setValue(QStringLiteral("showsDockIcon"), 17);
    auto junk = makeModel();
    EXPECT_TRUE(junk->autoClear());
    EXPECT_EQ(junk->colorCodeFormat(), ColorCodeFormat::hexHash);
    EXPECT_FALSE(junk->imageSaveDirectory());
    EXPECT_FALSE(junk->showsDockIcon());

    settings.setValue(QStringLiteral("autoClear"), false);
    settings.setValue(QStringLiteral("colorCodeFormat"), QStringLiteral("androidARGB"));
    auto stored = makeModel();
    EXPECT_FALSE(stored->autoClear());
    EXPECT_EQ(stored->colorCodeFormat(), ColorCodeFormat::androidARGB);
}

TEST_F(AppModelTest, PreferencesAreWrittenAndDockChangesReported)
{
    QVector<bool> dock;
    model->dockVisibilityChanged = [&](bool on) { dock << on; };
    model->setShowsDockIcon(false);
    EXPECT_TRUE(dock.isEmpty());
    EXPECT_EQ(settings.value(QStringLiteral("showsDockIcon")).toBool(), false);
    model->setShowsDockIcon(true);
    EXPECT_EQ(dock, QVector<bool>{true});
    model->setAutoClear(false);
    EXPECT_FALSE(makeModel()->autoClear());
}

TEST_F(AppModelTest, SaveReplacesInPlaceOrAppendsAndPublishesForChat)
{
    Screenshot a = shotWithComments({QStringLiteral("x")}), b = shotWithComments({});
    ASSERT_TRUE(model->save(a, a.annotations, true));
    ASSERT_TRUE(model->save(b, {}, true));
    EXPECT_EQ(model->status(), QStringLiteral("Сначала снимки, затем отдельный текст"));
    EXPECT_TRUE(model->clipboardReady());
    const int revision = model->revision();
    model->save(a, {}, false);
    EXPECT_EQ(model->shots().size(), 2);
    EXPECT_EQ(model->shots().front().id, a.id);
    EXPECT_TRUE(model->shots().front().annotations.isEmpty());
    EXPECT_EQ(model->revision(), revision + 1);
}

TEST_F(AppModelTest, TheTwentySeventhShotIsRefusedWithABeep)
{
    for (int i = 0; i < AppModel::maximumShots; ++i)
        ASSERT_TRUE(model->save(shotWithComments({}), {}, false));
    EXPECT_FALSE(model->save(shotWithComments({}), {}, false));
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(model->shots().size(), 26);
    // Replacing one of the 26 is still fine.
    EXPECT_TRUE(model->save(model->shots()[3], {}, false));
}

TEST_F(AppModelTest, StatusByTransferMode)
{
    model->prepareClipboard(TransferMode::combined);
    EXPECT_EQ(model->status(), QStringLiteral("Снимок → разметка → Ctrl+V")); // empty series: nothing at all
    EXPECT_EQ(board.publications(), 0);
    model->save(shotWithComments({QStringLiteral("x")}), shotWithComments({QStringLiteral("x")}).annotations, false);
    model->prepareClipboard(TransferMode::combined);
    EXPECT_EQ(model->status(), QStringLiteral("Серия готова — вставьте через Ctrl+V"));
    model->prepareClipboard(TransferMode::images);
    EXPECT_EQ(model->status(), QStringLiteral("В буфере: только снимки"));
    model->prepareClipboard(TransferMode::comments);
    EXPECT_EQ(model->status(), QStringLiteral("В буфере: только комментарии"));
    EXPECT_EQ(model->transferMode(), TransferMode::comments);
}

TEST_F(AppModelTest, DeletingRelabelsAndTheLastDeletionLeavesTheClipboard)
{
    Screenshot a = shotWithComments({}, Qt::red), b = shotWithComments({}, Qt::green), c = shotWithComments({}, Qt::blue);
    for (const Screenshot& s : {a, b, c})
        model->save(s, {}, false);
    model->prepareClipboard(TransferMode::chat);
    model->deleteShot(a.id);
    const TransferPacket& packet = *bridge.packet();
    ASSERT_EQ(packet.files.size(), 2);
    EXPECT_TRUE(packet.files[0].endsWith(QStringLiteral("/A.png")));
    QImage first;
    ASSERT_TRUE(first.load(packet.files[0]));
    EXPECT_EQ(first.pixelColor(10, 10), QColor(Qt::green));

    model->deleteShot(b.id);
    const int publications = board.publications();
    model->deleteShot(c.id);
    EXPECT_EQ(model->status(), QStringLiteral("Серия пуста"));
    EXPECT_FALSE(model->clipboardReady());
    EXPECT_EQ(board.publications(), publications);
    EXPECT_TRUE(board.ownsClipboard());
}

TEST_F(AppModelTest, ClearAndRepeatTheLastTransfer)
{
    model->repeatLastTransfer();
    EXPECT_EQ(model->status(), QStringLiteral("Последняя серия снова готова к вставке"));
    EXPECT_EQ(board.publications(), 0);

    model->save(shotWithComments({QStringLiteral("x")}), shotWithComments({QStringLiteral("x")}).annotations, true);
    board.takeByOtherProgram();
    model->clear(false);
    EXPECT_EQ(model->status(), QStringLiteral("Новая серия начинается с A"));
    EXPECT_TRUE(model->lastTransferAvailable());
    EXPECT_TRUE(model->shots().isEmpty());
    model->repeatLastTransfer();
    EXPECT_TRUE(bridge.isCurrent());
    EXPECT_EQ(bridge.mode(), TransferMode::chat);
    model->clear(true);
    EXPECT_EQ(model->status(), QStringLiteral("Серия передана. Начните новую с A"));
}

TEST_F(AppModelTest, CopyCommentsPreparesOrRepublishes)
{
    Screenshot shot = shotWithComments({QStringLiteral("x")});
    model->save(shot, shot.annotations, true);
    model->copyComments();
    EXPECT_TRUE(model->awaitingComments());
    EXPECT_EQ(model->status(), QStringLiteral("Комментарии в буфере — вставьте через Ctrl+V"));
    EXPECT_EQ(board.mimeTypes().front(), ClipboardBridge::tokenType());
    EXPECT_EQ(board.publishedData(QStringLiteral("text/plain")), QByteArray("A1 x"));
}

TEST_F(AppModelTest, ErrorsGoToTheStatusAndAnAlertAndChangeNothingElse)
{
    Screenshot shot = shotWithComments({QStringLiteral("x")});
    model->save(shot, shot.annotations, true);
    board.failWrites = true;
    model->prepareClipboard(TransferMode::combined);
    EXPECT_EQ(model->status(), QStringLiteral("Буфер обмена недоступен. Попробуйте снова."));
    EXPECT_EQ(alerts, QStringList{QStringLiteral("Буфер обмена недоступен. Попробуйте снова.")});
    EXPECT_EQ(model->transferMode(), TransferMode::chat);
    EXPECT_EQ(model->shots().size(), 1);
}

TEST_F(AppModelTest, SingleItemCopiesEndTheSeriesHandOff)
{
    Screenshot shot = shotWithComments({QStringLiteral("x")});
    model->save(shot, shot.annotations, true);
    const int revision = model->revision();
    EXPECT_FALSE(model->copyRecognizedText(QStringLiteral("   "), false));
    EXPECT_EQ(model->revision(), revision);
    EXPECT_TRUE(model->copyRecognizedText(QStringLiteral("распознано"), false));
    EXPECT_EQ(model->status(), QStringLiteral("Текст скопирован — Ctrl+V"));
    EXPECT_EQ(model->revision(), revision + 1);
    EXPECT_FALSE(model->clipboardReady());

    model->copySampledColor(SampledColor{255, 194, 0, 255}, ColorCodeFormat::hexHash);
    EXPECT_EQ(model->status(), QStringLiteral("Цвет #FFC200 скопирован"));
    model->copyUnmarkedImage(shot, {});
    EXPECT_EQ(model->status(), QStringLiteral("Снимок без маркировки скопирован — Ctrl+V"));
    model->refresh();
    EXPECT_FALSE(model->clipboardReady());
}

TEST_F(AppModelTest, UnmarkedSavesNeedAUsableFolder)
{
    const Screenshot shot = shotWithComments({});
    EXPECT_EQ(errorOf([&] { model->saveUnmarkedImage(shot); }), QStringLiteral("Выберите папку сохранения снимков."));

    QFile plain(root.filePath(QStringLiteral("file.txt")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    EXPECT_EQ(errorOf([&] { model->setImageSaveDirectory(plain.fileName()); }),
              QStringLiteral("Выберите доступную папку для сохранения снимков."));
    EXPECT_FALSE(model->imageSaveDirectory());

    const QString folder = root.filePath(QStringLiteral("shots"));
    ASSERT_TRUE(QDir().mkdir(folder));
    model->setImageSaveDirectory(folder + QStringLiteral("/./"));
    EXPECT_EQ(model->imageSaveDirectory(), folder);
    EXPECT_EQ(settings.value(QStringLiteral("imageSaveDirectory")).toString(), folder);

    const QString first = model->saveUnmarkedImage(shot);
    const QString second = model->saveUnmarkedImage(shot);
    EXPECT_NE(first, second);
    EXPECT_TRUE(QFileInfo(first).fileName().contains(QRegularExpression(
        QStringLiteral("^Tarnwick \\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d [0-9A-F]{8}\\.png$"))));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 2);

    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_EQ(errorOf([&] { model->saveUnmarkedImage(shot); }),
              QStringLiteral("Папка сохранения недоступна. Выберите другую папку в меню рядом с дискетой."));
}
