#include "editor/tools/InstalledFontPicker.h"
#include "editor/tools/TextEditorPresenter.h"
#include "editor/tools/TextEditorView.h"
#include "editor/tools/TextFontControls.h"
#include "editor/tools/TextPreviewView.h"
#include "panels/Theme.h"
#include "render/ScreenshotRenderer.h"
#include "ToolsTestSupport.h"

#include <QFontDatabase>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

struct Session {
    EditorState state{Screenshot::make(test::picture(600, 300, Theme::card()), 1), QStringLiteral("A")};
    QWidget window;
    QWidget* canvas = new QWidget(&window);
    TextEditorPresenter presenter{state};

    Session()
    {
        window.resize(800, 600);
        window.show();
        presenter.setParentWindow(&window);
        presenter.setCanvas(canvas);
        canvas->setFocusPolicy(Qt::StrongFocus);
    }
    TextEditorView& open(const QPointF& at)
    {
        state.setTool(AnnotationTool::text);
        state.text().request(at, std::nullopt);
        test::settle();
        EXPECT_TRUE(presenter.panel() && presenter.panel()->isVisible());
        return presenter.panel()->form();
    }
};

void type(QWidget* field, const QString& text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

} // namespace

TEST(TextEditor, WritesRussianTextInAChosenFontSizeAndColourPreviewingTheShotsPixelsAndSavesOneStep)
{
    Session s;
    TextEditorView& form = s.open({40, 30});
    EXPECT_EQ(s.presenter.panel()->windowTitle(), QStringLiteral("Текст на снимке"));
    const QPoint placed = s.presenter.panel()->pos();
    s.window.move(s.window.pos() + QPoint(50, 20));
    EXPECT_TRUE(QTest::qWaitFor([&] { return s.presenter.panel()->pos() == placed + QPoint(50, 20); })) << "moves along";
    EXPECT_FALSE(form.saveButton()->isEnabled());
    type(form.textField(), QStringLiteral("Привет, мир"));
    EXPECT_EQ(s.state.text().draft(), QStringLiteral("Привет, мир"));
    QTest::keyClick(form.sizeSlider(), Qt::Key_PageUp);
    EXPECT_EQ(s.state.text().fontSize(), 34);
    QTest::mouseClick(form.swatch(3), Qt::LeftButton);
    EXPECT_EQ(s.state.style().colorIndex(), 3);

    // The font picker lists every installed family once, in numeric-aware order, and narrows by search.
    TextFontControls& fonts = *form.fontControls();
    QTest::mouseClick(fonts.fontButton(), Qt::LeftButton);
    ASSERT_TRUE(fonts.choosingFont());
    InstalledFontPicker& picker = *fonts.picker();
    QSet<QString> installed;
    for (QString family : QFontDatabase::families())
        installed.insert(family.remove(QRegularExpression(QStringLiteral("\\s*\\[.*\\]$"))));
    const QStringList listed = picker.families();
    EXPECT_EQ(listed.size(), installed.size());
    EXPECT_EQ(QSet<QString>(listed.begin(), listed.end()), installed);
    EXPECT_EQ(familyDisplayOrder(listed), listed);
    QTest::keyClicks(picker.search(), QStringLiteral("dejavu s"));
    const QStringList found = picker.filteredFamilies();
    ASSERT_TRUE(found.contains(QStringLiteral("DejaVu Serif")));
    EXPECT_LT(found.size(), listed.size());
    const QModelIndex serif = picker.list()->model()->index(int(found.indexOf(QStringLiteral("DejaVu Serif"))), 0);
    QTest::mouseClick(picker.list()->viewport(), Qt::LeftButton, {}, picker.list()->visualRect(serif).center());
    EXPECT_EQ(s.state.text().style().family, QStringLiteral("DejaVu Serif"));
    EXPECT_FALSE(fonts.choosingFont());
    EXPECT_EQ(fonts.fontButton()->text(), QStringLiteral("DejaVu Serif"));
    // Style toggles combine; "Обычный" clears them and keeps the family.
    for (int i : {1, 2, 1, 2, 3})
        QTest::mouseClick(fonts.styleButton(i), Qt::LeftButton);
    EXPECT_EQ(s.state.text().style(), (TextFontStyle{QStringLiteral("DejaVu Serif"), false, false, true}));
    QTest::mouseClick(fonts.styleButton(0), Qt::LeftButton);
    EXPECT_EQ(s.state.text().style(), TextFontStyle{QStringLiteral("DejaVu Serif")});
    EXPECT_TRUE(fonts.styleButton(0)->selected() && !fonts.styleButton(3)->selected());

    // Picking a colour on the canvas puts the panel aside and brings it back.
    s.state.style().setPickingColor(true);
    test::settle();
    EXPECT_FALSE(s.presenter.panel()->isVisible());
    s.state.style().applyPickedColor({200, 40, 90, 255});
    test::settle();
    EXPECT_TRUE(s.presenter.panel()->isVisible());
    EXPECT_FALSE(form.swatch(3)->chosen());
    QTest::mouseClick(form.swatch(3), Qt::LeftButton);
    test::settle();

    const QImage shown = form.preview()->grab().toImage();
    QTest::keyClick(form.textField(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_FALSE(s.state.text().isOpen());
    ASSERT_EQ(s.state.annotations().size(), 1);
    const Annotation saved = s.state.annotations().front();
    EXPECT_EQ(saved.text, QStringLiteral("Привет, мир"));
    EXPECT_EQ(saved.textStyle.family, QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(saved.fontSize, 34);
    EXPECT_EQ(saved.colorIndex, 3);
    const QImage rendered = ScreenshotRenderer::render(s.state.editedShot(), QString(), false);
    const QRect r = saved.rect().toAlignedRect();
    int differing = 0, inked = 0;
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x) {
            differing += rendered.pixel(r.x() + x, r.y() + y) != shown.pixel(8 + x, 8 + y);
            inked += shown.pixel(8 + x, 8 + y) != Theme::card().rgb();
        }
    EXPECT_EQ(differing, 0) << "of " << r.width() * r.height() << " pixels";
    EXPECT_GT(inked, 200);
    test::settle();
    EXPECT_FALSE(s.presenter.panel());
    s.state.undo();
    EXPECT_TRUE(s.state.annotations().isEmpty());
}

TEST(TextEditor, EscapeAndTheCloseButtonCancelWithoutAStep)
{
    Session s;
    TextEditorView& form = s.open({40, 30});
    type(form.textField(), QStringLiteral("Черновик"));
    QTest::keyClick(form.textField(), Qt::Key_Escape);
    EXPECT_FALSE(s.state.text().isOpen());
    test::settle();
    EXPECT_FALSE(s.presenter.panel());

    s.open({40, 30});
    s.presenter.panel()->close();
    EXPECT_FALSE(s.state.text().isOpen());
    test::settle();
    EXPECT_FALSE(s.presenter.panel());
    EXPECT_TRUE(s.state.annotations().isEmpty());
    EXPECT_FALSE(s.state.canUndo());
}
