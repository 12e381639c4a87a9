#include "SeriesTestSupport.h"

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

using AppModelTest = SeriesModelTest;

const QString unavailable = QStringLiteral("Буфер обмена недоступен. Попробуйте снова.");

} // namespace

TEST_F(AppModelTest, PreferencesDefaultsJunkAndStoredValues)
{
    const auto prefs = [](const AppModel& m) {
        return std::tuple(m.autoClear(), m.showsTaskbarIcon(), m.colorCodeFormat(), m.imageSaveDirectory(), m.transferMode());
    };
    const auto defaults = std::tuple(true, false, ColorCodeFormat::hexHash, std::optional<QString>(), TransferMode::chat);
    EXPECT_EQ(prefs(*model), defaults);
    settings.setValue(QStringLiteral("autoClear"), 0); // neither a boolean nor its text
    settings.setValue(QStringLiteral("colorCodeFormat"), QStringLiteral("CSSRGBA"));
    EXPECT_EQ(prefs(*makeModel()), defaults);

    model->setAutoClear(false);
    model->setColorCodeFormat(ColorCodeFormat::androidARGB);
    EXPECT_EQ(prefs(*makeModel()), std::tuple(false, false, ColorCodeFormat::androidARGB, std::optional<QString>(), TransferMode::chat));
    // The key earlier versions wrote is still read; the new one wins once written.
    settings.setValue(QStringLiteral("showsDockIcon"), true);
    EXPECT_TRUE(makeModel()->showsTaskbarIcon());
    model->setShowsTaskbarIcon(false);
    EXPECT_FALSE(makeModel()->showsTaskbarIcon());
}

TEST_F(AppModelTest, SaveReplacesInPlaceOrAppendsAndRefusesATwentySeventhShot)
{
    Screenshot a = shotWithComments({QStringLiteral("x")});
    ASSERT_TRUE(model->save(a, a.annotations, true));
    ASSERT_TRUE(model->save(shotWithComments({}), {}, true));
    model->save(a, {}, false);
    EXPECT_EQ(model->shots().size(), 2);
    EXPECT_TRUE(model->shots().front().annotations.isEmpty());

    while (model->shots().size() < AppModel::maximumShots)
        ASSERT_TRUE(model->save(shotWithComments({}), {}, false));
    EXPECT_FALSE(model->save(shotWithComments({}), {}, false));
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(model->save(model->shots()[3], {}, false)); // replacing one of the 26 is still fine
}

TEST_F(AppModelTest, TransferModesPublishOnlyANonEmptySeriesAndErrorsChangeNothing)
{
    model->prepareClipboard(TransferMode::combined);
    EXPECT_EQ(board.publications(), 0);
    saveSeries({QStringLiteral("x")});
    for (TransferMode mode : {TransferMode::combined, TransferMode::images, TransferMode::comments, TransferMode::chat}) {
        model->prepareClipboard(mode);
        EXPECT_EQ(bridge.mode(), mode);
    }
    board.failWrites = true;
    model->prepareClipboard(TransferMode::combined);
    EXPECT_EQ(model->status(), unavailable);
    EXPECT_EQ(model->shots().size(), 1);
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
    QImage first;
    ASSERT_TRUE(first.load(packet.files[0]));
    EXPECT_EQ(first.pixelColor(10, 10), QColor(Qt::green));

    model->deleteShot(b.id);
    const int publications = board.publications();
    model->deleteShot(c.id);
    EXPECT_FALSE(model->clipboardReady());
    EXPECT_EQ(board.publications(), publications);
}

TEST_F(AppModelTest, ClearRepeatTheLastTransferAndCopyComments)
{
    saveSeries({QStringLiteral("x")});
    const Screenshot b = shotWithComments({QStringLiteral("y")});
    model->save(b, b.annotations, false);
    model->copyComments(); // the series as it is now
    EXPECT_EQ(clipboardText(), QByteArray("A1 x\nB1 y"));
    model->prepareClipboard(TransferMode::chat);
    board.takeByOtherProgram();
    model->clear(false);
    model->copyComments(); // from the stored packet
    EXPECT_EQ(clipboardText(), QByteArray("A1 x\nB1 y"));
    model->repeatLastTransfer();
    EXPECT_TRUE(bridge.isCurrent());
}

TEST_F(AppModelTest, SingleItemCopiesEndTheSeriesHandOff)
{
    saveSeries({QStringLiteral("x")});
    EXPECT_FALSE(model->copyRecognizedText(QStringLiteral("   "), false));
    EXPECT_TRUE(model->copyRecognizedText(QStringLiteral("распознано"), false));
    EXPECT_FALSE(model->clipboardReady());
    model->copySampledColor(SampledColor{255, 194, 0, 255}, ColorCodeFormat::hexHash);
    EXPECT_EQ(model->status(), QStringLiteral("Цвет #FFC200 скопирован"));
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
    const QString first = model->saveUnmarkedImage(shot);
    EXPECT_NE(model->saveUnmarkedImage(shot), first);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_EQ(errorOf([&] { model->saveUnmarkedImage(shot); }),
              QStringLiteral("Папка сохранения недоступна. Выберите другую папку в меню рядом с дискетой."));
}
