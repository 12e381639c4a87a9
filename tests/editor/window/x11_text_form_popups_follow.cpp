// Popups of the editor are windows of their own: moved or resized by openbox, the window they
// belong to takes an open palette or font list along, which stays where it was beside its button.

#include "TextFormFixture.h"

#include "editor/window/EditorFloatingControls.h"
#include "editor/window/EditorPopover.h"
#include "support/DockedDesk.h"

#include <cmath>
#include <cstdlib>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

class PopupsFollow : public TextForm {
protected:
    // Where the server shows `popup` from where it shows `button`; far off while it is not shown.
    QPoint offset(QWidget* popup, QWidget* button)
    {
        const QRect shown = x.rootGeometry(std::uint32_t(popup->winId()));
        const QRect window = x.rootGeometry(std::uint32_t(button->window()->winId()));
        if (shown.isEmpty() || window.isEmpty())
            return {-99999, -99999};
        return shown.topLeft() - (window.topLeft() + inPixels(button->mapTo(button->window(), QPoint())));
    }
    // Above 1× the windows' places (in any pixel the window manager chooses) and the popups' are
    // each rounded to whole points.
    static bool near(QPoint a, QPoint b)
    {
        const double scale = qApp->devicePixelRatio();
        const int slack = scale > 1 ? int(std::ceil(scale)) : 0;
        return std::abs(a.x() - b.x()) <= slack && std::abs(a.y() - b.y()) <= slack;
    }
    // Points of the windows in the server's pixels, at any scale.
    static QPoint inPixels(QPoint points) { return (QPointF(points) * qApp->devicePixelRatio()).toPoint(); }
    QPoint settledOffset(QWidget* popup, QWidget* button, const std::string& what)
    {
        return settledPlace([&] { return QRect(offset(popup, button), QSize(1, 1)); }, what).topLeft();
    }
    // `top`, a framed window, moved by openbox by `by` or resized to `size`, once the server shows it so.
    testing::AssertionResult moveBy(QWidget* top, QPoint by)
    {
        const auto id = std::uint32_t(top->winId());
        const QRect before = settledPlace([&] { return x.rootGeometry(id); }, "the window");
        const std::vector<std::uint32_t> extents = x.cardinals(id, "_NET_FRAME_EXTENTS");
        if (extents.size() != 4)
            return testing::AssertionFailure() << "the window has no frame";
        const QPoint frame = before.topLeft() - QPoint(int(extents[0]), int(extents[2])) + by;
        x.moveWindow(id, frame.x(), frame.y());
        QRect now;
        if (!waitUntil([&] { return (now = x.rootGeometry(id)).topLeft() == before.topLeft() + by; }))
            return testing::AssertionFailure() << "openbox did not move the window: " << text(before) << " to " << text(now);
        return testing::AssertionSuccess();
    }
    testing::AssertionResult resizeTo(QWidget* top, QSize size)
    {
        const auto id = std::uint32_t(top->winId());
        if (runProcess(QStringLiteral("xdotool"), {QStringLiteral("windowsize"), QString::number(id),
                                                   QString::number(size.width()), QString::number(size.height())}) != 0)
            return testing::AssertionFailure() << "xdotool windowsize failed";
        QRect now;
        if (!waitUntil([&] { return (now = x.rootGeometry(id)).size() == size; }))
            return testing::AssertionFailure() << "openbox did not resize the window, it is " << text(now);
        return testing::AssertionSuccess();
    }
    // Where the server shows `button`.
    QPoint shownAt(QWidget* button)
    {
        return x.rootGeometry(std::uint32_t(button->window()->winId())).topLeft() + inPixels(button->mapTo(button->window(), QPoint()));
    }
    // Once the button has moved from `buttonWas`, the popup is still open and back where it was from it.
    void expectAttached(QWidget* popup, QWidget* button, QPoint beside, QPoint buttonWas, const std::string& after)
    {
        EXPECT_TRUE(waitUntil([&] { return shownAt(button) != buttonWas; })) << "the button did not move with " << after;
        EXPECT_TRUE(popup->isVisible()) << after << " closed it";
        QPoint now;
        EXPECT_TRUE(waitUntil([&] { return near(now = offset(popup, button), beside); }))
            << "after " << after << " it is at " << now.x() << "," << now.y() << " from its button, was " << beside.x()
            << "," << beside.y();
    }
};

} // namespace

TEST_F(PopupsFollow, ThePaletteStaysByItsButtonWhenTheEditorIsMovedAndResized)
{
    state().setTool(AnnotationTool::arrow);
    EditorFloatingControls* controls = window->view().floatingToolbar()->controls();
    QAbstractButton* colour = controls->colorButton();
    EditorPopover* palette = controls->palettePopover();
    ASSERT_TRUE(waitUntil([&] { return colour->isEnabled() && colour->isVisible(); }));
    colour->click();
    ASSERT_TRUE(waitUntil([&] { return palette->isOpen(); })) << "the palette did not open";
    const QPoint beside = settledOffset(palette, colour, "the palette");

    QPoint was = shownAt(colour);
    ASSERT_TRUE(moveBy(window, {-150, 70}));
    expectAttached(palette, colour, beside, was, "a move");

    // Wider and taller (at 2× it is as small as it goes): the toolbar, centred under the canvas,
    // moves both ways.
    was = shownAt(colour);
    ASSERT_TRUE(resizeTo(window, x.rootGeometry(std::uint32_t(window->winId())).size() + QSize(120, 60)));
    expectAttached(palette, colour, beside, was, "a resize");
}

TEST_F(PopupsFollow, TheFontListStaysByItsButtonWhenTheEditorOrTheTextPanelMovesOrTheEditorIsResized)
{
    openPanel("ab");
    ASSERT_FALSE(HasFatalFailure());
    TextFontControls* fonts = form().fontControls();
    QWidget* button = fonts->fontButton();
    QWidget* list = fonts->picker()->window();
    const QPoint centre = inPixels(button->mapToGlobal(button->rect().center()));
    x.click(centre.x(), centre.y());
    ASSERT_TRUE(waitUntil([&] { return fonts->choosingFont(); })) << "the font list did not open";
    const QPoint beside = settledOffset(list, button, "the font list");

    // The editor moved: the text panel goes along, and the list with it.
    QPoint was = shownAt(button);
    ASSERT_TRUE(moveBy(window, {-140, 60}));
    expectAttached(list, button, beside, was, "a move of the editor");

    // The panel itself moved by openbox.
    was = shownAt(button);
    ASSERT_TRUE(moveBy(panel(), {90, -50}));
    expectAttached(list, button, beside, was, "a move of the text panel");
    // The editor resized under it: the list stays by its button, wherever the panel is left.
    ASSERT_TRUE(resizeTo(window, x.rootGeometry(std::uint32_t(window->winId())).size() + QSize(120, 60)));
    EXPECT_TRUE(fonts->choosingFont()) << "a resize of the editor closed the list";
    QPoint now;
    EXPECT_TRUE(near(settledPlace([&] { return QRect(now = offset(list, button), QSize(1, 1)); }, "the font list").topLeft(), beside))
        << "after a resize of the editor it is at " << now.x() << "," << now.y() << " from its button, was " << beside.x() << "," << beside.y();
    EXPECT_EQ(draft(), QStringLiteral("ab"));
}
