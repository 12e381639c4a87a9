// The floating toolbar on a real editor window with a real canvas: slots, variant cards, palette, popovers, orientation.

#include "WindowTestSupport.h"

#include "editor/canvas/CanvasTestSupport.h"
#include "editor/tools/EditorPalette.h"
#include "editor/tools/EditorSupplementalControls.h"
#include "editor/window/EditorChrome.h"
#include "editor/window/EditorFloatingControls.h"
#include "editor/window/EditorFloatingToolbar.h"
#include "editor/window/EditorPopover.h"
#include "editor/window/EditorToolStrip.h"
#include "editor/window/EditorToolVariants.h"
#include "editor/window/EditorView.h"
#include "panels/Theme.h"
#include "platform/UsableArea.h"
#include "support/FakeClipboardBackend.h"

#include <QMenu>
#include <QScreen>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

class ToolbarTest : public ::testing::Test, public EditorHarness<FakeClipboardBackend> {
protected:
    void SetUp() override
    {
        open(shotOf({1200, 700}));
        canvas = new ImageCanvasView(state());
        window->view().setCanvas(canvas);
        window->resize(1180, 790);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        settle();
    }
    EditorFloatingToolbar& bar() { return *window->view().floatingToolbar(); }
    EditorFloatingControls& controls() { return *bar().controls(); }
    void click(QWidget* widget)
    {
        QTest::mouseClick(widget, Qt::LeftButton);
        settle();
    }
    // Slots 1…8, 9 is the extra-tools button.
    void press(int position)
    {
        click(position == 9 ? static_cast<QWidget*>(bar().strip()->extraButton()) : bar().strip()->slotButton(position));
    }
    void chooseCard(const QString& title)
    {
        ASSERT_TRUE(bar().shownVariants());
        for (auto* card : bar().shownVariants()->cards())
            if (card->text() == title)
                return click(card);
        FAIL() << "no card " << title.toStdString();
    }
    QUuid addSelected(Annotation a)
    {
        state().setTool(AnnotationTool::select);
        state().add(a, false);
        settle();
        return a.id;
    }
    ImageCanvasView* canvas = nullptr;
};

using T = AnnotationTool;
using G = EditorToolGroup;

} // namespace

TEST_F(ToolbarTest, SlotsCardsAndFamilyMemory)
{
    struct Step {
        int slot;           // 0: choose `card` among the shown variants
        const char16_t* card;
        T tool;
        std::optional<G> shown;
    };
    const Step steps[] = {
        {1, nullptr, T::select, std::nullopt},
        {9, nullptr, T::magnifier, G::extra},
        {0, u"Рулетка", T::ruler, G::extra}, // the extra button's group keeps the ruler under extra
        {2, nullptr, T::ruler, G::line},     // the arrow slot remembers the ruler
        {0, u"Линия размера", T::arrow, G::line},
        {7, nullptr, T::pencil, G::drawing},
        {0, u"Выделитель", T::highlighter, G::drawing},
        {8, nullptr, T::blur, G::blur},
        {7, nullptr, T::highlighter, G::drawing}, // the pencil slot brings the highlighter back
        {4, nullptr, T::crop, std::nullopt},
        {2, nullptr, T::arrow, G::line},
        {9, nullptr, T::highlighter, G::extra}, // the extra tool chosen last
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.slot);
        if (step.slot)
            press(step.slot);
        else
            chooseCard(QString::fromUtf16(step.card));
        EXPECT_EQ(state().tool(), step.tool);
        EXPECT_EQ(bar().contextualGroup(), step.shown);
        EXPECT_EQ(bar().shownVariants() ? std::optional(bar().shownVariants()->group()) : std::nullopt, step.shown);
        for (int slot = 1; slot <= EditorToolStrip::slotCount; ++slot)
            EXPECT_EQ(bar().strip()->slotButton(slot)->selected(), slot == 2 && step.tool == T::ruler ? true
                      : slot == 7 && step.tool == T::highlighter ? true
                      : toolbarTools()[static_cast<std::size_t>(slot - 1)] == step.tool)
                << "slot " << slot;
    }
    EXPECT_EQ(state().style().lineKind(), LineKind::length) << "the length card's kind stays for the arrow slot";

    // A card that matches the selection keeps it and converts it in one undo step; one that does not drops it.
    addSelected(redRectangle({10, 10}, {80, 60}));
    chooseCard(QStringLiteral("Круг"));
    ASSERT_TRUE(state().selectedAnnotation());
    EXPECT_EQ(state().selectedAnnotation()->kind, T::ellipse);
    EXPECT_EQ(state().tool(), T::rectangle);
    state().undo();
    EXPECT_EQ(state().annotations().first().kind, T::rectangle) << "one step undoes the change of shape";
    Annotation blur = freshAnnotation(T::blur, {100, 100});
    blur.end = {200, 160};
    const QUuid blurID = addSelected(blur);
    chooseCard(QStringLiteral("Пиксели"));
    EXPECT_EQ(state().selectedID(), blurID);
    EXPECT_EQ(state().selectedAnnotation()->blurMode, BlurMode::pixelate);
}

TEST_F(ToolbarTest, PaletteAndPopoversOnTheRealCanvas)
{
    const QUuid shape = addSelected(redRectangle({10, 10}, {60, 60}));
    EditorPopover* popover = controls().palettePopover();
    click(controls().colorButton());
    ASSERT_TRUE(popover->isOpen());
    click(controls().colorButton());
    EXPECT_FALSE(popover->isOpen()) << "its own button closes it and does not reopen it";

    // The chosen swatch again changes nothing and leaves it open; another recolours the selection
    // in one step, becomes the drawing colour and closes the palette.
    click(controls().colorButton());
    click(controls().palette()->swatch(1));
    EXPECT_TRUE(popover->isOpen());
    const int steps = state().historyRevision();
    click(controls().palette()->swatch(3));
    EXPECT_EQ(state().annotations().first().colorIndex, 3);
    EXPECT_EQ(state().historyRevision(), steps + 1);
    EXPECT_EQ(state().style().drawingColorIndex(), 3);
    EXPECT_FALSE(popover->isOpen());

    // The rainbow slot picks from the canvas: a real click on the grey shot.
    click(controls().colorButton());
    click(controls().palette()->customSlot());
    EXPECT_TRUE(state().style().pickingColor());
    EXPECT_FALSE(popover->isOpen());
    QTest::mouseClick(canvas, Qt::LeftButton, {}, canvas->imageRect().center().toPoint());
    settle();
    EXPECT_EQ(state().style().customColor(), (SampledColor{200, 200, 200, 255}));
    EXPECT_EQ(state().style().colorIndex(), -1);
    EXPECT_EQ(state().selectedID(), shape);
    EXPECT_EQ(state().annotations().first().customColor, (SampledColor{200, 200, 200, 255}));

    // A tool key on the canvas while a popover is open changes the tool and closes it; an outside press does too.
    click(controls().colorButton());
    ASSERT_TRUE(popover->isOpen());
    QTest::keyClick(canvas, Qt::Key_8);
    settle();
    EXPECT_EQ(state().tool(), T::blur);
    EXPECT_FALSE(popover->isOpen());
    EXPECT_FALSE(controls().colorButton()->isEnabled()) << "blur carries no colour";
    // Escape on the canvas closes the open popover and changes nothing else.
    press(1);
    click(controls().colorButton());
    ASSERT_TRUE(popover->isOpen());
    const AnnotationTool before = state().tool();
    const int stepsBefore = state().historyRevision();
    QTest::keyClick(canvas, Qt::Key_Escape);
    settle();
    EXPECT_FALSE(popover->isOpen());
    EXPECT_EQ(state().tool(), before);
    EXPECT_EQ(state().historyRevision(), stepsBefore);
    click(controls().colorButton());
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(popover->isOpen());
}

// The details are built on their first opening: the popover must be mapped at its full size
// and place, since a window manager still framing it may not follow a move made a moment later.
// With no room above its button it stands below it, never over it.
TEST_F(ToolbarTest, TheDetailsPopoverOpensWholeAndBesideItsButton)
{
    state().setTool(T::arrow);
    settle();
    QToolButton* details = controls().settingsButton();
    EditorPopover* popover = controls().detailsPopover();
    ASSERT_TRUE(details->isEnabled());
    const auto buttonRect = [&] { return QRect(details->mapToGlobal(QPoint(0, 0)), details->size()); };
    QTest::mouseClick(details, Qt::LeftButton);
    ASSERT_TRUE(popover->isOpen());
    const QRect atOpening = popover->geometry();
    for (int i = 0; i < 5; ++i)
        settle();
    EXPECT_EQ(popover->geometry(), atOpening) << "the popover changed after it was shown";
    EXPECT_EQ(popover->geometry().bottom(), buttonRect().top() - 7);
    click(details);
    ASSERT_FALSE(popover->isOpen());

    // The editor dragged up until its toolbar is near the top of the screen.
    const QRect area = platform::usableArea(*details->screen());
    window->move(window->x(), window->y() - (buttonRect().top() - area.top()) + 40);
    settle();
    ASSERT_LT(buttonRect().top() - area.top(), popover->height());
    click(details);
    ASSERT_TRUE(popover->isOpen());
    EXPECT_FALSE(popover->geometry().intersects(buttonRect())) << "the popover covers its button";
    EXPECT_EQ(popover->geometry().top(), buttonRect().bottom() + 7);
}

TEST_F(ToolbarTest, OrientationIsRememberedAndTheSelectedSlotIsAccented)
{
    QWidget* surface = bar().surface();
    EXPECT_GT(surface->width(), surface->height());
    EXPECT_EQ(surface->geometry().bottom(), window->view().height() - 21);
    bar().orientationMenu()->actions()[1]->trigger();
    settle();
    EXPECT_TRUE(window->view().verticalToolbar());
    EXPECT_EQ(surface->pos(), QPoint(12, 70));
    EXPECT_LT(surface->width(), surface->height());
    settings.sync();
    {
        QSettings again(settings.fileName(), QSettings::IniFormat);
        AppModel restarted(bridge, again);
        EXPECT_TRUE(restarted.editorVerticalToolbar());
    }
    addSelected(redRectangle({10, 10}, {60, 60}));
    EXPECT_TRUE(controls().deleteButton()->isVisible());
    click(controls().deleteButton());
    EXPECT_TRUE(state().annotations().isEmpty());

    // The accent fills the selected slot and draws its symbol; a slot beside it keeps the surface's colour.
    press(3);
    const QImage shot = surface->grab().toImage();
    const QRect chosen(bar().strip()->slotButton(3)->mapTo(surface, QPoint(0, 0)), QSize(36, 36));
    const QRect other(bar().strip()->slotButton(4)->mapTo(surface, QPoint(0, 0)), QSize(36, 36));
    const QColor fill = shot.pixelColor(chosen.topLeft() + QPoint(3, 18));
    const QColor plain = shot.pixelColor(other.topLeft() + QPoint(3, 18));
    expectColor(plain, EditorChrome::floating());
    const double a = 0.17;
    const QColor accent = Theme::accent();
    const QColor base = EditorChrome::floating();
    expectColor(fill, QColor::fromRgbF(base.redF() * (1 - a) + accent.redF() * a, base.greenF() * (1 - a) + accent.greenF() * a,
                                       base.blueF() * (1 - a) + accent.blueF() * a));
    bool accentInk = false;
    for (int y = chosen.top(); y <= chosen.bottom(); ++y)
        for (int x = chosen.left(); x <= chosen.right(); ++x)
            accentInk = accentInk || (std::abs(shot.pixelColor(x, y).blue() - accent.blue()) < 30 && shot.pixelColor(x, y).red() < 60);
    EXPECT_TRUE(accentInk) << "the symbol is drawn in the accent";
}

// The option strip is made after the bar and changes its buttons on the same change:
// it must still be measured with what it shows now (a comment once left it 16 px wide).
TEST_F(ToolbarTest, OptionStripIsSizedToItsButtonsAfterEachChange)
{
    auto* strip = window->findChild<EditorSupplementalControls*>();
    ASSERT_TRUE(strip);
    const auto step = [&](const std::function<void()>& change, const char* what) {
        change();
        settle();
        EXPECT_TRUE(strip->isVisible()) << what;
        EXPECT_EQ(strip->width(), strip->sizeHint().width()) << what;
    };
    step([&] { state().add(element(T::arrow, {100, 100}, {300, 200}), false); }, "arrow");
    state().setTool(T::comment);
    step([&] { state().add(element(T::comment, {300, 300}, {300, 300}), false); }, "comment");
}
