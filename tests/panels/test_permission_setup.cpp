#include "panels/PermissionCard.h"
#include "panels/PermissionSetupController.h"
#include "panels/PermissionSetupView.h"
#include "panels/Theme.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarnwick;
using P = SetupPermission;

namespace {

// What the system grants, and what the wizard asked of it.
struct FakeSystem {
    PermissionSet granted;
    QVector<P> requests, settings;
    std::function<void(P)> duringRequest;

    std::unique_ptr<PermissionSetupModel> model()
    {
        return std::make_unique<PermissionSetupModel>(
            [this](P p) { return granted.contains(p); },
            [this](P p) {
                requests << p;
                if (duringRequest)
                    duringRequest(p);
            },
            [this](P p) { settings << p; }, [](P p) { return QStringLiteral("нет ") + rawString(p); });
    }
};

struct Wizard {
    FakeSystem system;
    std::unique_ptr<PermissionSetupModel> model = system.model();
    int closes = 0;
    PermissionSetupView view{*model, [this] { ++closes; }};

    void click(QAbstractButton* button)
    {
        view.refresh();
        ASSERT_TRUE(button->isVisibleTo(&view) && button->isEnabled()) << button->text().toStdString();
        button->click();
        view.refresh();
    }
    QPushButton* cardButton(P p) const { return view.card(p)->button(); }
};

} // namespace

TEST(PermissionWizard, MainAndCardButtonsWalkTheStateMachine)
{
    Wizard w;
    EXPECT_EQ(w.view.countLabel()->text(), QStringLiteral("0/3"));
    EXPECT_EQ(w.view.closeButton()->text(), QStringLiteral("Продолжить позже"));
    struct Step {
        std::function<void()> press;
        QString title;
        std::optional<P> current;
        QVector<P> requests, settings;
    };
    const Step steps[] = {
        {[] {}, "Настроить все разрешения", {}, {}, {}},
        // A card's own request leaves the run idle.
        {[&] { w.click(w.cardButton(P::pasteWatch)); }, "Продолжить настройку", {}, {P::pasteWatch}, {}},
        {[&] { w.click(w.view.primaryButton()); }, "Следующий доступ", P::screen, {P::pasteWatch, P::screen}, {}},
        {[&] { w.click(w.view.primaryButton()); }, "Проверить доступ", P::autoPaste,
         {P::pasteWatch, P::screen, P::autoPaste}, {}},
        // Nothing left to ask: the run ends after a refresh.
        {[&] { w.click(w.view.primaryButton()); }, "Проверить доступ", {}, {P::pasteWatch, P::screen, P::autoPaste}, {}},
        // Asked once already: the card points to the settings and asks no more.
        {[&] { w.click(w.cardButton(P::screen)); }, "Проверить доступ", {}, {P::pasteWatch, P::screen, P::autoPaste},
         {P::screen}},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        steps[i].press();
        SCOPED_TRACE(i);
        EXPECT_EQ(w.model->primaryTitle(), steps[i].title);
        EXPECT_EQ(w.view.primaryButton()->text(), steps[i].title);
        EXPECT_EQ(w.model->current(), steps[i].current);
        EXPECT_EQ(w.model->guided(), steps[i].current.has_value());
        EXPECT_EQ(w.system.requests, steps[i].requests);
        EXPECT_EQ(w.system.settings, steps[i].settings);
        for (P p : allCases<P>())
            EXPECT_EQ(w.view.card(p)->highlighted(), w.model->current() == p);
    }
    // Every refused permission says what is missing, and its button leads to the settings.
    for (P p : allCases<P>()) {
        EXPECT_TRUE(w.view.card(p)->notice()->isVisibleTo(&w.view));
        EXPECT_EQ(w.view.card(p)->notice()->text(), QStringLiteral("нет ") + rawString(p));
        EXPECT_EQ(w.cardButton(p)->text(), QStringLiteral("Как включить"));
    }
    EXPECT_EQ(w.cardButton(P::screen)->accessibleName(), QStringLiteral("Запись экрана: как включить"));
}

TEST(PermissionWizard, GrantedSkipsAndCloses)
{
    Wizard w;
    w.system.granted = {P::screen};
    w.click(w.view.primaryButton());
    EXPECT_EQ(w.system.requests, QVector<P>{P::pasteWatch});
    EXPECT_FALSE(w.cardButton(P::screen)->isVisibleTo(&w.view));
    EXPECT_TRUE(w.view.card(P::pasteWatch)->notice()->isVisibleTo(&w.view));

    // Granted in the meantime: the notice goes, the count and texts follow.
    w.system.granted = {P::screen, P::pasteWatch, P::autoPaste};
    QSignalSpy changes(w.model.get(), &PermissionSetupModel::changed);
    w.click(w.view.refreshButton());
    EXPECT_EQ(w.view.countLabel()->text(), QStringLiteral("3/3"));
    EXPECT_FALSE(w.view.card(P::pasteWatch)->notice()->isVisibleTo(&w.view));
    EXPECT_EQ(w.view.primaryButton()->text(), QStringLiteral("Готово"));
    EXPECT_EQ(w.view.closeButton()->text(), QStringLiteral("Закрыть"));
    // An unchanged status publishes nothing.
    const auto published = changes.count();
    w.model->refresh();
    EXPECT_EQ(changes.count(), published);

    w.click(w.view.primaryButton());
    EXPECT_EQ(w.closes, 1);
    QTest::keyClick(&w.view, Qt::Key_Escape);
    EXPECT_EQ(w.closes, 2);
    EXPECT_EQ(w.system.requests, QVector<P>{P::pasteWatch});
}

TEST(PermissionWizard, NoSecondRequestWhileOneRuns)
{
    Wizard w;
    bool disabled = false;
    w.system.duringRequest = [&](P) {
        EXPECT_TRUE(w.model->requesting());
        w.model->requestNext();
        w.model->requestIndividually(P::autoPaste);
        w.view.refresh();
        disabled = !w.view.primaryButton()->isEnabled() && !w.view.refreshButton()->isEnabled() &&
                   !w.cardButton(P::autoPaste)->isEnabled();
    };
    w.click(w.view.primaryButton());
    EXPECT_EQ(w.system.requests, QVector<P>{P::screen});
    EXPECT_TRUE(disabled);
    EXPECT_FALSE(w.model->requesting());
    EXPECT_TRUE(w.view.primaryButton()->isEnabled());
}

TEST(PermissionWizardWindow, GuidedRunMovesOnByItselfAndEndsOnClose)
{
    FakeSystem system;
    system.granted = {P::screen};
    auto model = system.model();
    PermissionSetupController controller(*model);
    int notified = 0;
    controller.onPermissionsChanged = [&] { ++notified; };

    EXPECT_TRUE(controller.presentAtLaunch());
    EXPECT_FALSE(controller.presentAtLaunch());
    EXPECT_TRUE(model->presentedThisLaunch);
    EXPECT_EQ(notified, 1);
    PermissionSetupView* window = controller.window();
    ASSERT_TRUE(window && window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tarnwick · Разрешения"));

    window->primaryButton()->click();
    ASSERT_EQ(model->current(), P::pasteWatch);
    // Let the activation pass, so that only the timer can notice the grant.
    QCoreApplication::processEvents();
    // Granted elsewhere: the one-second refresh moves the run on without a click.
    system.granted.insert(P::pasteWatch);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->current() == P::autoPaste; },
                                PermissionSetupController::refreshIntervalMs + 500));
    EXPECT_EQ(system.requests, (QVector<P>{P::pasteWatch, P::autoPaste}));
    EXPECT_GE(notified, 2);

    const int before = notified;
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(model->guided());
    EXPECT_EQ(model->current(), std::nullopt);
    EXPECT_FALSE(controller.refreshing());
    EXPECT_EQ(notified, before + 1);

    // Shown again: the same window, idle, with the earlier requests remembered.
    controller.present(false);
    EXPECT_EQ(controller.window(), window);
    EXPECT_TRUE(controller.refreshing());
    EXPECT_EQ(model->primaryTitle(), QStringLiteral("Проверить доступ"));
    EXPECT_EQ(model->requested(), (PermissionSet{P::pasteWatch, P::autoPaste}));
}

TEST(PermissionWizardWindow, NotPresentedAtLaunchWhenAllGranted)
{
    FakeSystem system;
    system.granted = {P::screen, P::pasteWatch, P::autoPaste};
    auto model = system.model();
    PermissionSetupController controller(*model);
    EXPECT_FALSE(controller.presentAtLaunch());
    EXPECT_EQ(controller.window(), nullptr);
    EXPECT_FALSE(model->hasUnrequested());
    EXPECT_EQ(model->primaryTitle(), QStringLiteral("Готово"));
}
