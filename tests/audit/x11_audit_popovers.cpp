// The editor's popovers are windows of their own: dragged by its title bar under openbox, the
// editor takes an open popover along, which stays where it belongs beside its button.
#include "AuditedShell.h"

#include "editor/model/EditorState.h"
#include "editor/window/EditorExportWindow.h"
#include "editor/window/EditorFloatingControls.h"
#include "editor/window/EditorFloatingToolbar.h"
#include "editor/window/EditorPopover.h"
#include "editor/window/EditorView.h"
#include "support/DockedDesk.h"

using namespace tarnwick;
using namespace tarnwick::audit;
using namespace tarnwick::test;
using namespace std::chrono_literals;

namespace {

using PopoverAudit = AuditedShell;

TEST_F(PopoverAudit, TheDetailsPopoverFollowsItsButtonWhenTheEditorIsDraggedByItsTitleBar)
{
    X11Client x;
    const FramedEditor framed = openFramedEditor(x, {800, 500}, 1);
    ASSERT_TRUE(framed.window && !framed.client.isEmpty()) << "the editor was not framed";
    EditorExportWindow* editor = framed.window;
    const auto window = std::uint32_t(editor->winId());
    const QRect client = framed.client;
    const std::vector<std::uint32_t>& extents = framed.extents;

    editor->state().setTool(AnnotationTool::arrow);
    QToolButton* details = editor->view().floatingToolbar()->controls()->settingsButton();
    EditorPopover* popover = editor->view().floatingToolbar()->controls()->detailsPopover();
    ASSERT_TRUE(waitUntil([&] { return details->isEnabled() && details->isVisible(); }));
    const QPoint button = details->mapToGlobal(details->rect().center());
    x.click(button.x(), button.y());
    ASSERT_TRUE(waitUntil([&] { return popover->isOpen(); })) << "the details did not open";
    // Where the server shows the popover's lower left corner, from where it shows the button: the
    // popover stands above its button and may grow once the drag gives it more room above.
    QRect shown;
    const auto offset = [&] {
        shown = x.rootGeometry(std::uint32_t(popover->winId()));
        return shown.isEmpty() ? QPoint(-99999, -99999)
                               : shown.bottomLeft() - (x.rootGeometry(window).topLeft() + details->mapTo(editor, QPoint()));
    };
    const QPoint beside = settledPlace([&] { return QRect(offset(), QSize(1, 1)); }, "the popover").topLeft();

    const QPoint grip(client.center().x(), client.top() - int(extents[2]) / 2), by(-160, 90);
    // As a hand drags: pressed on the title bar, moved on, never quite still, until openbox has
    // taken the window there; then released.
    x.movePointer(grip.x(), grip.y());
    x.button(1, true);
    int turn = 0;
    QRect moved;
    const bool dragged = waitUntil([&] {
        ++turn;
        const QPoint to = grip + by * std::min(turn, 8) / 8 + QPoint(0, turn % 2);
        x.movePointer(to.x(), to.y());
        return ((moved = x.rootGeometry(window)).topLeft() - client.topLeft() - by).manhattanLength() <= 1;
    });
    x.button(1, false);
    ASSERT_TRUE(dragged) << "openbox did not move the editor by its title bar: " << text(client) << " to " << text(moved);
    settledPlace([&] { return x.rootGeometry(window); }, "the dragged editor");

    EXPECT_TRUE(popover->isOpen()) << "the drag closed the popover";
    QPoint now;
    EXPECT_TRUE(waitUntil([&] { return (now = offset()) == beside; }))
        << "the popover stays behind: " << text(QRect(now, QSize(1, 1))) << " from its button, was " << text(QRect(beside, QSize(1, 1)))
        << "; shown at " << text(shown);
}

} // namespace
