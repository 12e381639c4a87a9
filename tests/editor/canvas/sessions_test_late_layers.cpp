#include "CanvasTestSupport.h"

#include "editor/model/EditorImageImporter.h"
#include "editor/tools/ToolDetailsSections.h"
#include "support/HeldReads.h"

#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

namespace tarnwick::test {
namespace {

using T = AnnotationTool;

// The real read of a paste's or a choice's files, behind the gate of its first file.
void holdReads(const std::shared_ptr<HeldReads>& reads, EditorState& state)
{
    state.images().setFileReader([reads](const EditorImageImporter::Offer& offer) {
        return reads->read(offer.files.value(0), [&offer] { return EditorImageImporter::fromOffer(offer); });
    });
}

// Layers whose files are read off the GUI thread, coming in while the user goes on.
class LateLayers : public CanvasFixture {
protected:
    LateLayers() : CanvasFixture(filled(1000, 800), QSize(600, 500)) { holdReads(reads, *state); }

    // A picture file of its own size and colour, to tell the layers apart.
    QString file(const QString& name, QSize size, QColor color)
    {
        const QString path = dir.filePath(name);
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        EXPECT_TRUE(image.save(path));
        return path;
    }

    // Ctrl+V of a file link, as a file manager puts it on the clipboard.
    static bool pasteLink(EditorState& into, const QString& path)
    {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        return into.images().paste(&data);
    }

    static QVector<QSize> layerSizes(const EditorState& of)
    {
        QVector<QSize> sizes;
        for (const Annotation& a : of.annotations())
            if (a.kind == T::image)
                sizes << a.embeddedImage->size();
        return sizes;
    }
    QVector<QSize> layerSizes() const { return layerSizes(*state); }

    QTemporaryDir dir;
    std::shared_ptr<HeldReads> reads = std::make_shared<HeldReads>();
};

TEST_F(LateLayers, TwoReadsThatEndInTheOtherOrderLieAndUndoInTheOrderAsked)
{
    const QString big = file(QStringLiteral("большой.png"), QSize(3000, 2000), Qt::darkRed);
    const QString small = file(QStringLiteral("белый.png"), QSize(40, 30), Qt::white);
    for (const bool chosen : {false, true}) {
        SCOPED_TRACE(chosen ? "«Выбрать файл…», then Ctrl+V" : "Ctrl+V, then Ctrl+V");
        EditorState editor(Screenshot::make(filled(1000, 800), 1), QStringLiteral("A"));
        const auto own = std::make_shared<HeldReads>();
        holdReads(own, editor);
        own->hold(big);
        if (chosen)
            editor.images().addFiles({big});
        else
            ASSERT_TRUE(pasteLink(editor, big));
        ASSERT_TRUE(pasteLink(editor, small));
        // The later read is done while the earlier one still waits for its disk.
        ASSERT_TRUE(QTest::qWaitFor([&] { return own->done(small); }, 30000));
        own->release(big);
        ASSERT_TRUE(QTest::qWaitFor([&] { return layerSizes(editor).size() == 2; }, 60000)) << "a layer never arrived";
        EXPECT_EQ(layerSizes(editor), (QVector<QSize>{QSize(3000, 2000), QSize(40, 30)})) << "the later one lies under";
        EXPECT_EQ(editor.selectedAnnotation()->embeddedImage->size(), QSize(40, 30));
        editor.undo();
        EXPECT_EQ(layerSizes(editor), QVector<QSize>{QSize(3000, 2000)}) << "the first undo takes the earlier one";
        editor.undo();
        EXPECT_TRUE(layerSizes(editor).isEmpty());
    }
}

TEST_F(LateLayers, AReadThatEndsWhileTheEditorTakesNoLayersComesInOnceItDoesAndAClipboardPictureWaitsItsTurn)
{
    const QString pasted = file(QStringLiteral("вставка.png"), QSize(50, 40), Qt::darkGreen);
    reads->hold(pasted);
    ASSERT_TRUE(pasteLink(*state, pasted));
    // A text is being written when the file is in.
    state->text().request(QPointF(100, 100), std::nullopt);
    ASSERT_TRUE(state->text().isOpen());
    reads->release(pasted);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reads->done(pasted); }, 30000));
    // A picture on the clipboard itself, pasted now, is behind the file (the text editor
    // refuses it at once, as it refuses any paste).
    QMimeData picture;
    picture.setImageData(filled(20, 10));
    EXPECT_FALSE(state->images().paste(&picture));
    EXPECT_TRUE(layerSizes().isEmpty());

    state->text().setOpen(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return layerSizes().size() == 1; }, 30000)) << "the read was let go";
    EXPECT_EQ(layerSizes().first(), QSize(50, 40));
    EXPECT_EQ(state->images().readsWaiting(), 0u);

    // With a file still being read, a clipboard picture pasted after it comes in after it.
    const QString slow = file(QStringLiteral("медленный.png"), QSize(60, 60), Qt::darkBlue);
    reads->hold(slow);
    ASSERT_TRUE(pasteLink(*state, slow));
    EXPECT_TRUE(state->images().paste(&picture));
    EXPECT_EQ(layerSizes().size(), 1);
    reads->release(slow);
    ASSERT_TRUE(QTest::qWaitFor([&] { return layerSizes().size() == 3; }, 30000));
    EXPECT_EQ(layerSizes(), (QVector<QSize>{QSize(50, 40), QSize(60, 60), QSize(20, 10)}));
}

TEST_F(LateLayers, ALayerThatArrivesDuringACropDragLeavesTheSelectionWithItsApplyStrip)
{
    const QString pasted = file(QStringLiteral("слой.png"), QSize(120, 90), Qt::yellow);
    state->setTool(T::crop);
    const QPoint from(150, 150);
    QTest::mousePress(canvas.get(), Qt::LeftButton, {}, from);
    QTest::mouseMove(canvas.get(), from + QPoint(120, 90));
    // The read ends, and its layer comes in, while the button is still down.
    ASSERT_TRUE(pasteLink(*state, pasted));
    ASSERT_TRUE(QTest::qWaitFor([&] { return layerSizes().size() == 1; }, 30000));
    QTest::mouseMove(canvas.get(), from + QPoint(200, 140));
    QTest::mouseRelease(canvas.get(), Qt::LeftButton, {}, from + QPoint(200, 140));

    ASSERT_TRUE(state->cropping().pending()) << "the drag left no selection";
    EXPECT_EQ(state->tool(), T::crop);
    EXPECT_TRUE(toolPanels(DetailsContext::of(*state)).strip.crop) << "a pending crop without Apply and Cancel";
    state->cropping().apply();
    EXPECT_FALSE(state->cropping().pending());
    EXPECT_TRUE(state->cropRect().has_value());
    EXPECT_EQ(layerSizes().size(), 1);
    EXPECT_TRUE(state->images().canAdd()) << "the editor takes no more layers";
}

} // namespace
} // namespace tarnwick::test
