#include "panels/PermissionCard.h"
#include "panels/PermissionSetupController.h"
#include "panels/PermissionSetupView.h"
#include "panels/Theme.h"
#include "support/Xvfb.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarnwick;
using P = SetupPermission;

TEST(PermissionWizardOnX11, FullServerGrantsAllAndTheWizardStaysAway)
{
    PermissionSetupModel model;
    EXPECT_EQ(model.granted(), (PermissionSet{P::screen, P::pasteWatch, P::autoPaste}));
    PermissionSetupController controller(model);
    EXPECT_FALSE(controller.presentAtLaunch());
    EXPECT_EQ(controller.window(), nullptr);
}

TEST(PermissionWizardOnX11, ServerWithoutRecordGetsTheWizardAndAnExplanation)
{
    // The checks ask $DISPLAY, which now names a server without RECORD (and so without XTEST).
    test::Xvfb bare({QStringLiteral("-extension"), QStringLiteral("RECORD")});
    PermissionSetupModel model;
    EXPECT_EQ(model.granted(), PermissionSet{P::screen});
    PermissionSetupController controller(model);
    ASSERT_TRUE(controller.presentAtLaunch());
    PermissionSetupView* window = controller.window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(window->countLabel()->text(), QStringLiteral("1/3"));

    // The guided run skips the screen and asks for input monitoring, which
    // no X server can grant on request: the card says what to do instead.
    window->primaryButton()->click();
    window->refresh();
    PermissionCard* input = window->card(P::pasteWatch);
    EXPECT_EQ(model.current(), P::pasteWatch);
    EXPECT_TRUE(input->notice()->isVisible());
    EXPECT_TRUE(input->notice()->text().contains(QStringLiteral("Включите расширение RECORD на X-сервере")));
    ASSERT_EQ(input->button()->text(), QStringLiteral("Как включить"));

    // "Как включить" explains afresh, here with the Wayland session as the cause.
    qputenv("XDG_SESSION_TYPE", "wayland");
    input->button()->click();
    qunsetenv("XDG_SESSION_TYPE");
    window->refresh();
    EXPECT_TRUE(input->notice()->text().startsWith(QStringLiteral("Tarnwick нужен сеанс X11")));
    EXPECT_TRUE(input->notice()->text().contains(QStringLiteral("RECORD")));
    EXPECT_FALSE(window->card(P::screen)->notice()->isVisible());
}
