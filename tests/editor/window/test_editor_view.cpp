// The window's views on a real model: header, footer, notices, comments panel and sheet.

#include "WindowTestSupport.h"

#include "editor/window/EditorCommentSheet.h"
#include "editor/window/EditorCommentsPanel.h"
#include "editor/window/EditorFloatingToolbar.h"
#include "editor/window/EditorToolVariants.h"
#include "editor/window/EditorSaveControls.h"
#include "editor/tools/TextEditorPresenter.h"
#include "editor/window/EditorView.h"
#include "panels/Theme.h"
#include "support/FakeClipboardBackend.h"

#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

class EditorViewTest : public ::testing::Test, public EditorHarness<FakeClipboardBackend> {
protected:
    void SetUp() override { open(shotOf({1200, 700})); }
    EditorView& view() { return window->view(); }
    EditorHeader& header() { return *view().header(); }
    Annotation comment(QPointF at, const QString& text)
    {
        Annotation c = freshAnnotation(AnnotationTool::comment, at);
        c.text = text;
        return c;
    }
    QStringList badges()
    {
        QStringList out;
        for (auto* row : view().commentsPanel()->rows())
            out << row->badge() + u' ' + row->text();
        return out;
    }
};

} // namespace

TEST_F(EditorViewTest, HeaderFollowsTheModel)
{
    EXPECT_FALSE(header().undoButton()->isEnabled());
    EXPECT_FALSE(header().redoButton()->isEnabled());
    state().add(redRectangle({10, 10}, {60, 60}), false);
    settle();
    EXPECT_TRUE(header().undoButton()->isEnabled());
    QTest::mouseClick(header().undoButton(), Qt::LeftButton);
    settle();
    EXPECT_TRUE(state().annotations().isEmpty());
    EXPECT_FALSE(header().undoButton()->isEnabled());
    EXPECT_TRUE(header().redoButton()->isEnabled());

    // A pending crop selection: undo only cancels it, redo waits.
    state().setTool(AnnotationTool::crop);
    state().cropping().select(QRectF(10, 10, 100, 100));
    settle();
    EXPECT_TRUE(header().undoButton()->isEnabled());
    EXPECT_FALSE(header().redoButton()->isEnabled());
    EXPECT_FALSE(header().saveButton()->isEnabled()) << "no export with a pending crop";
    state().cropping().cancel();

    // The copy label: copied until the shot changes.
    window->resize(1100, 700);
    settle();
    QTest::mouseClick(header().copyButton(), Qt::LeftButton);
    settle();
    EXPECT_EQ(header().copyButton()->text(), QStringLiteral("Скопировано"));
    EXPECT_TRUE(finishes.isEmpty()) << "the header's copy stays in the editor";
    state().add(redRectangle({10, 10}, {60, 60}), false);
    settle();
    EXPECT_EQ(header().copyButton()->text(), QStringLiteral("Без маркировки"));

    // Compact below 1000 points: the symbol only.
    header().resize(999, EditorHeader::height);
    EXPECT_TRUE(header().compact());
    EXPECT_TRUE(header().copyButton()->text().isEmpty());
    header().resize(1000, EditorHeader::height);
    EXPECT_FALSE(header().compact());

    // The comment sheet disables saving without markers, not copying.
    state().comment().request({5, 5}, std::nullopt);
    settle();
    EXPECT_FALSE(header().saveControls()->saveButton()->isEnabled());
    EXPECT_TRUE(header().copyButton()->isEnabled());
    // The text editor disables the whole bar, "Отмена" included.
    state().comment().setOpen(false);
    state().text().request({5, 5}, std::nullopt);
    settle();
    EXPECT_FALSE(header().cancelButton()->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([this] { return window->findChild<TextEditorPanel*>() != nullptr; }, 1000))
        << "the text editor's panel opens beside the editor";
}

TEST_F(EditorViewTest, TextsShowLinuxKeyNames)
{
    EXPECT_EQ(header().undoButton()->toolTip(), QStringLiteral("Отменить · Ctrl+Z"));
    EXPECT_EQ(header().redoButton()->toolTip(), QStringLiteral("Повторить · Ctrl+Shift+Z"));
    EXPECT_EQ(header().pasteAction()->text(), QStringLiteral("Вставить изображение · Ctrl+V"));
    EXPECT_TRUE(header().copyButton()->toolTip().endsWith(QStringLiteral("Ctrl+C — скопировать и закрыть.")));
    EXPECT_EQ(view().zoomOutButton()->toolTip(), QStringLiteral("Уменьшить масштаб · Ctrl+−"));
    EXPECT_EQ(view().zoomInButton()->toolTip(), QStringLiteral("Увеличить масштаб · Ctrl++"));
    EXPECT_EQ(view().fitButton()->toolTip(), QStringLiteral("Вписать снимок в холст · Ctrl+0"));
    const auto labels = view().commentSheet()->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == QStringLiteral("Ctrl+Enter — сохранить"); }));

    // Footer hint by tool, the notices before it in their order.
    state().setTool(AnnotationTool::pencil);
    settle();
    EXPECT_EQ(view().footer()->toolTip(), QStringLiteral("Рисуйте свободно. Ctrl — ровная линия по горизонтали или вертикали."));
    state().setTool(AnnotationTool::blur);
    state().style().setBlurMode(BlurMode::objectPixelate);
    settle();
    EXPECT_TRUE(view().notice()->isHidden());
    EXPECT_EQ(view().footer()->toolTip(), QStringLiteral("Выделите объект прямоугольником с небольшим запасом."));
    QMimeData nothing;
    state().images().paste(&nothing);
    state().qr().setMessage(QStringLiteral("код"));
    settle();
    EXPECT_EQ(view().notice()->text(), QStringLiteral("код"));
    EXPECT_EQ(view().footer()->toolTip(), QStringLiteral("код"));
    state().qr().setMessage(std::nullopt);
    settle();
    EXPECT_EQ(view().notice()->text(), QStringLiteral("В буфере обмена нет изображения."));
}

TEST_F(EditorViewTest, FooterShowsSizeAndZoom)
{
    state().setCropRect(QRectF(10, 20, 1180.7, 640.2));
    CanvasNavigation zoomed;
    zoomed.zoom = 2.5;
    state().setNavigation(zoomed);
    settle();
    EXPECT_EQ(view().sizeLabel()->text(), QStringLiteral("A · 1180 × 640 px"));
    EXPECT_EQ(view().percentButton()->text(), QStringLiteral("250%"));
    QTest::mouseClick(view().fitButton(), Qt::LeftButton);
    settle();
    EXPECT_EQ(view().percentButton()->text(), QStringLiteral("100%"));
    EXPECT_EQ(view().canvasInsets(), QMargins(0, 0, 0, 80));
    view().setVerticalToolbar(true);
    EXPECT_EQ(view().canvasInsets(), QMargins(68, 0, 0, 0));
}

TEST_F(EditorViewTest, SaveControlsFollowTheImageFolder)
{
    auto* controls = header().saveControls();
    auto visibleTexts = [&] {
        QStringList out;
        for (QAction* a : controls->folderMenu()->actions())
            if (a->isVisible())
                out << a->text();
        return out;
    };
    EXPECT_EQ(visibleTexts(), QStringList{QStringLiteral("Выбрать папку сохранения…")});
    EXPECT_EQ(controls->folderButton()->toolTip(), QStringLiteral("Выбрать папку сохранения по умолчанию"));
    model.setImageSaveDirectory(root.path());
    EXPECT_EQ(visibleTexts(), (QStringList{QStringLiteral("Папка: ") + root.path(), QStringLiteral("Изменить папку сохранения…")}));
    EXPECT_EQ(controls->folderButton()->toolTip(), QStringLiteral("Папка сохранения: ") + root.path());
}

TEST_F(EditorViewTest, CommentsPanelOpensByItsRulesAndEditsThroughTheModel)
{
    auto* panel = view().commentsPanel();
    EXPECT_FALSE(view().commentsVisible());
    state().setTool(AnnotationTool::comment);
    settle();
    EXPECT_TRUE(view().commentsVisible());
    EXPECT_TRUE(panel->emptyState()->isVisibleTo(panel));
    QTest::mouseClick(panel->closeButton(), Qt::LeftButton);
    EXPECT_FALSE(view().commentsVisible());

    // The first comment opens it again; rows come in number order.
    state().add(comment({100, 100}, QStringLiteral("первый")), false);
    settle();
    EXPECT_TRUE(view().commentsVisible());
    state().add(comment({200, 100}, QStringLiteral("второй")), false);
    state().add(comment({300, 100}, QStringLiteral("третий")), false);
    state().add(comment({1150, 650}, QStringLiteral("за кадром")), false);
    state().setCropRect(QRectF(0, 0, 1000, 600));
    settle();
    EXPECT_EQ(badges(), (QStringList{QStringLiteral("A1 первый"), QStringLiteral("A2 второй"), QStringLiteral("A3 третий")}));
    EXPECT_EQ(panel->countLabel()->text(), QStringLiteral("3"));
    auto* second = panel->rows().at(1);

    // Edit: the sheet opens with the text; saving is one undo step.
    QTest::mouseClick(second->editButton(), Qt::LeftButton);
    settle();
    auto* sheet = view().commentSheet();
    ASSERT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->editor()->toPlainText(), QStringLiteral("второй"));
    sheet->editor()->setPlainText(QStringLiteral("  \n "));
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    sheet->editor()->setPlainText(QStringLiteral("другой ЖЖЖЖЖЖЖЖ"));
    // The text reads light on the dark field: many bright pixels, more than a caret has.
    const QImage field = sheet->editor()->grab().toImage();
    int bright = 0;
    for (int y = 0; y < field.height(); ++y)
        for (int x = 0; x < field.width(); ++x)
            bright += QColor(field.pixel(x, y)).lightness() > 150;
    EXPECT_GT(bright, 60) << "the comment's text is dark on the dark field";
    sheet->editor()->setPlainText(QStringLiteral("другой"));
    const int steps = state().historyRevision();
    QTest::keyClick(sheet->editor(), Qt::Key_Return, Qt::ControlModifier);
    settle();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(state().historyRevision(), steps + 1);
    EXPECT_EQ(badges().at(1), QStringLiteral("A2 другой"));
    EXPECT_EQ(panel->rows().at(1), second) << "rows are kept, not rebuilt";

    // Clicking a row selects its comment with the select tool.
    state().setTool(AnnotationTool::rectangle);
    QTest::mouseClick(panel->rows().at(2), Qt::LeftButton, {}, QPoint(5, 5));
    settle();
    EXPECT_EQ(state().tool(), AnnotationTool::select);
    EXPECT_TRUE(panel->rows().at(2)->selected());

    // Delete: one step, the rest renumbered; undo brings it back.
    QTest::mouseClick(panel->rows().at(0)->deleteButton(), Qt::LeftButton);
    settle();
    EXPECT_EQ(state().historyRevision(), steps + 2);
    EXPECT_EQ(badges(), (QStringList{QStringLiteral("A1 другой"), QStringLiteral("A2 третий")}));
    state().undo();
    settle();
    EXPECT_EQ(badges().size(), 3);

    // Escape cancels the sheet and changes nothing.
    const QStringList before = badges();
    QTest::mouseClick(panel->rows().at(0)->editButton(), Qt::LeftButton);
    settle();
    QTest::keyClick(sheet->editor(), Qt::Key_X);
    QTest::keyClick(sheet->editor(), Qt::Key_Escape);
    settle();
    EXPECT_FALSE(state().comment().isOpen());
    EXPECT_EQ(badges(), before);

    // Add: at the selection's start, else the crop's centre.
    state().setSelectedID(state().effectiveAnnotations().at(2).id);
    QTest::mouseClick(panel->addButton(), Qt::LeftButton);
    EXPECT_EQ(state().comment().point(), QPointF(300, 100));
    state().comment().setOpen(false);
    state().setSelectedID(std::nullopt);
    QTest::mouseClick(panel->addButton(), Qt::LeftButton);
    EXPECT_EQ(state().comment().point(), QPointF(500, 300));
    EXPECT_FALSE(state().comment().editingID());
}

TEST_F(EditorViewTest, CancelAndSaveGoThroughTheShell)
{
    state().add(redRectangle({10, 10}, {60, 60}), false);
    settle();
    QTest::mouseClick(header().saveButton(), Qt::LeftButton);
    ASSERT_EQ(model.shots().size(), 1);
    EXPECT_EQ(model.shots().first().annotations.size(), 1);
    open(shotOf({100, 100}));
    QTest::mouseClick(header().cancelButton(), Qt::LeftButton);
    EXPECT_EQ(finishes.last(), std::make_pair(false, true));
    EXPECT_EQ(model.shots().size(), 1);

    // The close button commits, without preparing the series right after a copy.
    open(shotOf({100, 100}));
    QTest::mouseClick(header().copyButton(), Qt::LeftButton);
    window->close();
    EXPECT_EQ(finishes.last(), std::make_pair(true, false));
    EXPECT_EQ(model.shots().size(), 2);
    EXPECT_EQ(model.status(), QStringLiteral("Снимок без маркировки скопирован — Ctrl+V"));
}

TEST_F(EditorViewTest, ZoomButtonsAndKeysReachTheCanvas)
{
    QTest::mouseClick(view().zoomOutButton(), Qt::LeftButton);
    EXPECT_EQ(state().navigation().zoom, 1) << "no zoom below fitting";
    QTest::mouseClick(view().zoomInButton(), Qt::LeftButton);
    EXPECT_EQ(state().navigation().zoom, 2);
    QTest::keyClick(window->canvas(), Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(state().navigation().zoom, 4);
    for (int i = 0; i < 5; ++i)
        QTest::mouseClick(view().zoomInButton(), Qt::LeftButton);
    EXPECT_EQ(state().navigation().zoom, 32);
    window->setFocus();
    QTest::keyClick(window, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(state().navigation().zoom, 1);

    CanvasZoomButton outside(2.0);
    outside.click(); // not in an editor window: nothing happens
    EXPECT_EQ(state().navigation().zoom, 1);
}

TEST_F(EditorViewTest, TabCopiesTheColourUnderThePointerNow)
{
    QImage image = shotOf({200, 100}).image;
    image.setPixelColor(150, 50, QColor(255, 0, 0));
    open(Screenshot::make(image, 1));
    QTest::mouseMove(window->canvas(), onCanvas({20, 20}));
    // The pointer moves without a move event reaching the canvas's read-out.
    QTest::mouseMove(window->canvas(), onCanvas({150.5, 50.5}));
    QTest::keyClick(window->canvas(), Qt::Key_Tab);
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 1000));
    EXPECT_EQ(QString::fromUtf8(board.publishedData(QStringLiteral("text/plain"))), QStringLiteral("#FF0000"));
    EXPECT_EQ(model.status(), QStringLiteral("Цвет #FF0000 скопирован"));
}

// The notice bubble with either toolbar: nothing of the toolbar covers a word of it, whatever
// stands beside the vertical column.
TEST_F(EditorViewTest, TheNoticeBubbleStandsClearOfTheToolbar)
{
    window->resize(1180, 790);
    EditorFloatingToolbar* toolbar = view().floatingToolbar();
    for (bool vertical : {true, false}) {
        view().setVerticalToolbar(vertical);
        for (AnnotationTool tool : {AnnotationTool::select, AnnotationTool::arrow, AnnotationTool::blur, AnnotationTool::magnifier}) {
            state().setTool(tool);
            state().style().setPickingColor(true);
            settle();
            QLabel* notice = view().notice();
            ASSERT_TRUE(notice->isVisible()) << rawString(tool).toStdString();
            const QRect bubble(notice->mapTo(&view(), QPoint()), notice->size());
            QVector<QWidget*> pieces{toolbar->surface(), static_cast<QWidget*>(toolbar->shownVariants())};
            for (QWidget* w : view().findChildren<QWidget*>())
                if (w->parentWidget() == &view() && w->isVisible() && w->inherits("tarnwick::FloatingCapsule"))
                    pieces << w;
            for (QWidget* piece : pieces) {
                if (piece && piece->isVisible()) {
                    EXPECT_FALSE(bubble.intersects(piece->geometry()))
                        << (vertical ? "vertical, " : "horizontal, ") << rawString(tool).toStdString() << ": the bubble "
                        << QDebug::toString(bubble).toStdString() << " under " << piece->metaObject()->className() << " "
                        << QDebug::toString(piece->geometry()).toStdString();
                }
            }
            EXPECT_TRUE(QRect(QPoint(), view().size()).contains(bubble));
            state().style().setPickingColor(false);
        }
    }
}

// A blur whose effect fails holds «В серию» back, and the button says why, as the notice does.
TEST_F(EditorViewTest, AFailedEffectDisablesTheSeriesButtonWithTheNoticeAsItsHelp)
{
    ASSERT_TRUE(header().saveButton()->isEnabled());
    EXPECT_TRUE(header().saveButton()->toolTip().isEmpty());
    // An area without width: no image can be prepared for it.
    Annotation blur = freshAnnotation(AnnotationTool::blur, {100, 100});
    blur.end = {100, 300};
    state().add(blur, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().effects().failed(); }, 30000)) << "the effect did not fail";
    settle();
    EXPECT_FALSE(header().saveButton()->isEnabled());
    ASSERT_TRUE(view().notice()->isVisible());
    EXPECT_FALSE(view().notice()->text().isEmpty());
    EXPECT_EQ(header().saveButton()->toolTip(), view().notice()->text());
    // Without the failing area the button is back, with nothing to explain.
    state().undo();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !state().effects().failed(); }, 30000));
    settle();
    EXPECT_TRUE(header().saveButton()->isEnabled());
    EXPECT_TRUE(header().saveButton()->toolTip().isEmpty());
}
