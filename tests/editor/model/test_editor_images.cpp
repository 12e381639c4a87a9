#include "EditorTestSupport.h"
#include "editor/model/EditorImageImporter.h"
#include "platform/KeyNames.h"
#include "platform/SerialQueue.h"
#include "platform/TarnwickError.h"

#include <QBuffer>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <zlib.h>

using namespace tarnwick;
using namespace tarnwick::test;
using T = AnnotationTool;

namespace {

const QString unreadable = QStringLiteral("Не удалось прочитать изображение.");

// A valid PNG whose header declares 30000 × 30000 pixels.
QByteArray hugePngHeader()
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture(1, 1).save(&buffer, "PNG");
    const uchar size[8] = {0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30};
    png.replace(16, 8, reinterpret_cast<const char*>(size), 8);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.constData() + 12), 17);
    for (int i = 0; i < 4; ++i)
        png[29 + i] = static_cast<char>((crc >> (24 - 8 * i)) & 0xff);
    return png;
}

// Lets everything queued on the removal queue finish and its results arrive.
void settle()
{
    BackgroundRemoval::queue().sync([] {});
    QCoreApplication::processEvents();
}

// A processor that waits for the test, then honours cancellation or returns `result`.
struct GatedProcessor {
    std::shared_ptr<std::promise<void>> gate = std::make_shared<std::promise<void>>();
    std::shared_future<void> opened = gate->get_future().share();
    std::function<QImage(const QImage&)> result = [](const QImage& image) {
        QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        out.fill(Qt::transparent);
        return out;
    };
    BackgroundRemoval::Processor processor()
    {
        return [opened = opened, result = result](const QImage& image, const std::function<bool()>& cancelled) {
            opened.wait();
            if (cancelled())
                throw CancellationError();
            return result(image);
        };
    }
    void release() { gate->set_value(); }
};

} // namespace

TEST(EditorLayers, PlacesEveryInsertionAsOneStep)
{
    EditorState state(shotOf(1000, 800), QStringLiteral("A"));
    state.setTool(T::arrow);
    ASSERT_TRUE(state.images().add({picture(4000, 1000), picture(100, 100)}));
    ASSERT_EQ(state.annotations().size(), 2);
    EXPECT_EQ(state.annotations()[0].rect(), QRectF(175, 318.75, 650, 162.5));
    EXPECT_EQ(state.annotations()[1].rect(), QRectF(450, 350, 100, 100));
    EXPECT_EQ(state.tool(), T::select);
    EXPECT_EQ(state.selectedID(), state.annotations()[1].id);
    state.undo();
    EXPECT_TRUE(state.annotations().isEmpty());
}

TEST(EditorLayers, ImportPrefersFilesAndRefusesHugeOrMissingImages)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("вставка.png"));
    ASSERT_TRUE(picture(10, 10).save(file));
    EditorState state(shotOf(1000, 800), QStringLiteral("A"));

    QMimeData both;
    both.setUrls({QUrl::fromLocalFile(file)});
    both.setImageData(picture(20, 20));
    ASSERT_TRUE(state.images().paste(&both));
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.selectedAnnotation().has_value(); }, 30000));
    EXPECT_EQ(state.selectedAnnotation()->embeddedImage->size(), QSize(10, 10));

    const QString hugeFile = dir.filePath(QStringLiteral("huge.png"));
    QFile out(hugeFile);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(hugePngHeader());
    out.close();
    QMimeData hugeData, hugeUrl, text;
    hugeData.setData(QStringLiteral("image/png"), hugePngHeader());
    hugeUrl.setUrls({QUrl::fromLocalFile(hugeFile)});
    text.setText(QStringLiteral("не картинка"));
    const struct {
        QMimeData* data;
        QString message;
    } refusals[] = {{&hugeData, unreadable}, {&hugeUrl, unreadable}, {&text, QStringLiteral("В буфере обмена нет изображения.")}};
    for (const auto& refusal : refusals) {
        state.images().setMessage(std::nullopt);
        // A file is read on a thread of its own, and said to be unreadable once it is read.
        const bool fromFile = refusal.data == &hugeUrl;
        EXPECT_EQ(state.images().paste(refusal.data), fromFile);
        if (fromFile) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return state.images().message().has_value(); }, 30000));
        }
        EXPECT_EQ(state.images().message(), refusal.message);
    }
    EXPECT_EQ(state.annotations().size(), 1);
}

TEST(EditorLayers, APastedFileOnAStalledDiskLeavesTheEditorFreeAndArrivesAsOneStep)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("с сетевого диска.png"));
    ASSERT_TRUE(picture(12, 8).save(file));
    EditorState state(shotOf(1000, 800), QStringLiteral("A"));
    // The real read, held until the test lets the disk answer (a minute at most: a paste that
    // waits for it on the GUI thread ends then).
    std::promise<void> disk;
    const auto reading = std::make_shared<std::atomic<bool>>(false);
    state.images().setFileReader([answered = disk.get_future().share(), reading](const EditorImageImporter::Offer& offer) {
        *reading = true;
        answered.wait_for(std::chrono::minutes(1));
        return EditorImageImporter::fromOffer(offer);
    });

    QMimeData copied;
    copied.setUrls({QUrl::fromLocalFile(file)});
    ASSERT_TRUE(state.images().paste(&copied));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reading->load(); }, 30000)) << "the file is never read";
    // Meanwhile the editor goes on: a layer added by other means is its own step.
    EXPECT_TRUE(state.annotations().isEmpty());
    ASSERT_TRUE(state.images().add({picture(30, 30)}));
    ASSERT_EQ(state.annotations().size(), 1);

    disk.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.annotations().size() == 2; }, 30000)) << "the pasted file never arrived";
    EXPECT_EQ(state.annotations()[1].embeddedImage->size(), QSize(12, 8));
    EXPECT_EQ(state.selectedID(), state.annotations()[1].id);
    EXPECT_FALSE(state.images().message());
    state.undo();
    ASSERT_EQ(state.annotations().size(), 1);
    EXPECT_EQ(state.annotations()[0].embeddedImage->size(), QSize(30, 30));
}

// What Qt's image readers say while this is installed.
QStringList imageReaderMessages;
QtMessageHandler otherMessages = nullptr;

void collectImageReaderMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (context.category && qstrcmp(context.category, "qt.gui.imageio") == 0)
        imageReaderMessages << text;
    else if (otherMessages)
        otherMessages(type, context, text);
}

TEST(EditorLayers, ImportLimitCountsFourBytesAPixelWhateverTheFileStores)
{
    otherMessages = qInstallMessageHandler(collectImageReaderMessages);
    struct Restore {
        ~Restore() { qInstallMessageHandler(otherMessages); }
    } const restore;
    // Grey stores one byte a pixel and mono one bit; the layer takes four either way.
    for (const QImage::Format stored : {QImage::Format_Grayscale8, QImage::Format_Mono}) {
        for (const auto& [height, accepted] : {std::pair{8192, true}, {8193, false}}) {
            QImage image(8192, height, stored);
            image.fill(0);
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            ASSERT_TRUE(image.save(&buffer, "PNG"));
            imageReaderMessages.clear();
            EXPECT_EQ(EditorImageImporter::decode(png, QStringLiteral("image/png")).has_value(), accepted)
                << stored << " " << height;
            // Refused from the header, before any decoder runs: Qt's own allocation limit inside the
            // decoder would refuse it too, but only after decoding began, and says so.
            EXPECT_EQ(imageReaderMessages, QStringList()) << stored << " " << height;
        }
    }
}

TEST(EditorLayers, ScreenshotCornersAreOneStepPerChange)
{
    EditorState state(shotOf(300, 200), QStringLiteral("A"));
    state.setTool(T::select);
    EXPECT_EQ(state.images().cornerRadiusLimit(), 100);
    state.beginStrokeEdit();
    for (double radius : {10.0, 30.0, 500.0})
        state.images().setCornerRadius(radius);
    state.endStrokeEdit();
    EXPECT_EQ(state.images().displayedCornerRadius(), 100);
    EXPECT_EQ(qAlpha(state.scene().image.pixel(0, 0)), 0);
    const int revision = state.historyRevision();
    state.images().setCornerRadius(100);
    EXPECT_EQ(state.historyRevision(), revision);
    state.undo();
    EXPECT_EQ(state.shot().imageCornerRadius, 0);
    EXPECT_EQ(qAlpha(state.scene().image.pixel(0, 0)), 255);
    EXPECT_FALSE(state.canUndo());
}

TEST(EditorBackgroundRemoval, StaleFailedAndLateResultsChangeNothing)
{
    EditorState state(shotOf(1000, 800), QStringLiteral("A"));
    ASSERT_TRUE(state.images().add({picture(200, 100)}));
    const Annotation layer = *state.selectedAnnotation();

    // Moving the layer keeps the removal; deleting it drops the result even after undo.
    GatedProcessor deleted;
    state.backgroundRemoval().removeFromSelectedImage(deleted.processor());
    EXPECT_EQ(state.backgroundRemoval().targetID(), layer.id);
    EXPECT_FALSE(state.images().canAdd());
    state.transform(layer.translated({5, 5}), false, true);
    EXPECT_EQ(state.backgroundRemoval().targetID(), layer.id);
    state.remove(layer.id);
    EXPECT_FALSE(state.backgroundRemoval().targetID());
    state.undo();
    deleted.release();
    settle();
    EXPECT_EQ(state.annotations().last().embeddedImage, layer.embeddedImage);
    EXPECT_FALSE(state.images().message());

    const QString wrongSize = QStringLiteral("Не удалось сохранить размер изображения. Фон оставлен без изменений.");
    const QString thrown = QStringLiteral("Не удалось найти объект. Фон оставлен без изменений.");
    const struct {
        BackgroundRemoval::Processor processor;
        QString message;
    } failures[] = {
        {[](const QImage&, const std::function<bool()>&) { return picture(3, 3); }, wrongSize},
        {[thrown](const QImage&, const std::function<bool()>&) -> QImage { throw TarnwickError::message(thrown); }, thrown},
    };
    for (const auto& failure : failures) {
        state.setSelectedID(state.annotations().last().id);
        const int revision = state.historyRevision();
        state.backgroundRemoval().removeFromSelectedImage(failure.processor);
        settle();
        EXPECT_EQ(state.images().message(), failure.message);
        EXPECT_EQ(state.historyRevision(), revision);
        EXPECT_FALSE(state.backgroundRemoval().targetID());
    }

    // A session closed meanwhile drops the result.
    auto closed = std::make_unique<EditorState>(shotOf(300, 200), QStringLiteral("B"));
    GatedProcessor late;
    closed->setTool(T::select);
    closed->backgroundRemoval().removeFromScreenshot(late.processor());
    ASSERT_TRUE(closed->backgroundRemoval().targetID());
    closed.reset();
    late.release();
    settle();
}

TEST(EditorBackgroundRemoval, SuccessIsOneStepWithANoticeThatGoesUnlessReplaced)
{
    EditorState replaced(shotOf(300, 200), QStringLiteral("A"));
    EditorState shown(shotOf(300, 200), QStringLiteral("B"));
    const QString notice = platform::keyText(u"Фон удалён. ⌘Z — вернуть исходное изображение.");
    for (EditorState* state : {&replaced, &shown}) {
        state->setTool(T::select);
        GatedProcessor removal;
        removal.release();
        state->backgroundRemoval().removeFromScreenshot(removal.processor());
        settle();
        EXPECT_EQ(state->images().message(), notice);
        EXPECT_EQ(state->shot().image.pixel(5, 5), 0u);
    }
    const qint64 removed = shown.shot().image.cacheKey();
    shown.undo();
    EXPECT_FALSE(shown.canUndo());
    EXPECT_FALSE(shown.images().message());
    EXPECT_EQ(shown.shot().image.pixel(5, 5), picture(1, 1).pixel(0, 0));
    shown.redo();
    EXPECT_EQ(shown.shot().image.cacheKey(), removed);

    QMimeData empty;
    EXPECT_FALSE(replaced.images().paste(&empty));
    GatedProcessor again;
    again.release();
    shown.backgroundRemoval().removeFromScreenshot(again.processor());
    settle();
    ASSERT_EQ(shown.images().message(), notice);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shown.images().message(); }, 2 * EditorState::noticeDelayMs));
    EXPECT_EQ(replaced.images().message(), QStringLiteral("В буфере обмена нет изображения."));
}

TEST(EditorQR, ReadsOnlyWithTheQrToolAndDropsAbandonedReads)
{
    EditorState state(shotOf(300, 200), QStringLiteral("A"));
    EXPECT_FALSE(state.beginQRRecognition());
    state.style().activateExtraTool(ExtraToolKind::qr);
    state.comment().request({10, 10}, std::nullopt);
    EXPECT_FALSE(state.beginQRRecognition());
    state.comment().setOpen(false);

    const std::optional<QUuid> first = state.beginQRRecognition();
    ASSERT_TRUE(first);
    EXPECT_EQ(state.qr().message(), QStringLiteral("Распознаём QR-код…"));
    EXPECT_FALSE(state.canExport());
    state.setTool(T::arrow);
    EXPECT_FALSE(state.qr().message());
    EXPECT_FALSE(state.qr().finish(*first, QStringLiteral("поздно")));
    EXPECT_FALSE(state.qr().message());

    state.setTool(T::qr);
    const std::optional<QUuid> second = state.beginQRRecognition();
    ASSERT_TRUE(second);
    EXPECT_TRUE(state.qr().finish(*second, QStringLiteral("https://пример.рф")));
    EXPECT_EQ(state.qr().message(), QStringLiteral("https://пример.рф"));
}
