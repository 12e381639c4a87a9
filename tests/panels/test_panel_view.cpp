#include "panels/FloatingPanelMenu.h"
#include "panels/FloatingPanelView.h"
#include "panels/ShotStack.h"
#include "series/SeriesTestSupport.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarnwick;
using E = FloatingPanelMenu::Entry;

namespace {

class PanelViewTest : public test::SeriesModelTest {
protected:
    FloatingPanelView view{*model};
    QList<QUuid> edited;

    PanelViewTest() { model->editAction = [this](const QUuid& id) { edited << id; }; }
    void addShots(int count, int commentsEach = 0)
    {
        for (Screenshot shot; count-- > 0;)
            model->save(shot = test::shotWithComments(QStringList(commentsEach, QStringLiteral("к"))), shot.annotations, false);
    }
    void settle() { QCoreApplication::processEvents(); }
    FloatingPanelMenu& menu() { return view.menu(); }
    QSet<E> disabledEntries()
    {
        QSet<E> off;
        for (int i = 0; i < FloatingPanelMenu::entryCount; ++i)
            if (!menu().action(E(i))->isEnabled())
                off << E(i);
        return off;
    }
};

} // namespace

TEST_F(PanelViewTest, EnabledStatesFollowTheModel)
{
    const QSet<E> series{E::paste, E::chatMode, E::combinedMode, E::imagesMode, E::commentsMode, E::exportSeries,
                         E::clearSeries};
    const QSet<E> packet{E::copyComments, E::repeatTransfer};
    const QSet<E> captures{E::captureWindow, E::captureText, E::captureScrolling, E::record};
    settle();
    EXPECT_EQ(disabledEntries(), series + packet) << "empty, nothing handed over";
    EXPECT_FALSE(menu().shotSection()->isVisible());
    EXPECT_TRUE(view.newShotButton().isEnabled());

    saveSeries();
    model->clear(false);
    settle();
    EXPECT_EQ(disabledEntries(), series) << "a prepared packet outlives the clear";
    EXPECT_EQ(view.shotStack().emptyStateText(), QStringLiteral("Серия передана"));

    saveSeries();
    model->setBusy(true);
    settle();
    EXPECT_EQ(disabledEntries(), series + packet + captures) << "busy";
    EXPECT_FALSE(menu().shotActions().value(0)->isEnabled());
    EXPECT_FALSE(view.newShotButton().isEnabled());
    EXPECT_EQ(view.newShotButton().text(), QStringLiteral("Подготовка…"));

    model->setBusy(false);
    model->clear(false);
    addShots(26, 1);
    settle();
    EXPECT_EQ(disabledEntries(), (QSet<E>{E::captureWindow, E::captureScrolling})) << "full";
    EXPECT_FALSE(view.newShotButton().isEnabled());
    EXPECT_EQ(view.statusLabel().text(), QStringLiteral("Серия заполнена — вставьте её"));
    EXPECT_EQ(view.countLabel().text(), QStringLiteral("26"));
    EXPECT_EQ(menu().shotActions().value(25)->text(), QStringLiteral("Z · 1 комм."));
}

TEST_F(PanelViewTest, EveryEntryRunsItsAction)
{
    saveSeries({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    addShots(1);
    settle();
    // Each menu entry and button runs its own closure once.
    auto choose = [this](E entry) { return [this, entry] { menu().action(entry)->trigger(); }; };
    auto click = [](QAbstractButton& button) { return [&button] { QTest::mouseClick(&button, Qt::LeftButton); }; };
    const std::pair<std::function<void()>, std::function<void()> AppModel::*> closures[] = {
        {choose(E::captureWindow), &AppModel::captureWindowAction}, {choose(E::record), &AppModel::recordAction},
        {choose(E::captureText), &AppModel::captureTextAction}, {choose(E::paste), &AppModel::pasteAction},
        {choose(E::captureScrolling), &AppModel::captureScrollingAction}, {choose(E::hide), &AppModel::hideAction},
        {choose(E::exportSeries), &AppModel::exportAction}, {choose(E::shortcuts), &AppModel::shortcutGuideAction},
        {choose(E::permissions), &AppModel::permissionSetupAction}, {click(view.hideButton()), &AppModel::hideAction},
        {click(view.newShotButton()), &AppModel::captureAction}};
    for (std::size_t i = 0; i < std::size(closures); ++i) {
        int runs = 0;
        (*model).*closures[i].second = [&runs] { ++runs; };
        closures[i].first();
        EXPECT_EQ(runs, 1) << i;
    }
    ASSERT_EQ(menu().shotActions().size(), 2);
    EXPECT_EQ(menu().shotActions()[0]->text(), QStringLiteral("A · 3 комм."));
    menu().shotActions()[1]->trigger();
    EXPECT_EQ(edited, QList<QUuid>{model->shots()[1].id});

    menu().action(E::imagesMode)->trigger();
    EXPECT_EQ(model->transferMode(), TransferMode::images);
    menu().action(E::copyComments)->trigger();
    EXPECT_TRUE(model->awaitingComments());
    EXPECT_EQ(model->transferMode(), TransferMode::comments);
    menu().action(E::repeatTransfer)->trigger();
    EXPECT_EQ(model->status(), QStringLiteral("Последняя серия снова готова к вставке"));
    const bool taskbar = model->showsTaskbarIcon(), autoClear = model->autoClear();
    menu().action(E::taskbarIcon)->trigger();
    menu().action(E::autoClear)->trigger();
    EXPECT_NE(model->showsTaskbarIcon(), taskbar);
    EXPECT_NE(model->autoClear(), autoClear);
    settle();
    EXPECT_EQ(menu().action(E::autoClear)->isChecked(), model->autoClear());
    permission = false;
    menu().action(E::automaticPaste)->trigger();
    EXPECT_FALSE(model->automaticPasteAllowed());
    EXPECT_EQ(model->status(), QStringLiteral("Включите расширение XTEST на X-сервере"));

    // Clearing asks first: "Отмена" keeps the series, "Очистить" empties it.
    for (const QString& answer : {QStringLiteral("Отмена"), QStringLiteral("Очистить")}) {
        menu().action(E::clearSeries)->trigger();
        settle();
        QMessageBox& ask = view.clearConfirmation();
        ASSERT_TRUE(ask.isVisible());
        for (QAbstractButton* button : ask.buttons())
            if (button->text() == answer)
                button->click();
        settle();
        EXPECT_FALSE(model->confirmClear());
        EXPECT_FALSE(ask.isVisible());
    }
    EXPECT_TRUE(model->shots().isEmpty());
    EXPECT_EQ(view.countLabel().text(), QStringLiteral("0"));
}

TEST_F(PanelViewTest, TheClearConfirmationIsHiddenWithThePanelAndAsksAgainWhenItComesBack)
{
    addShots(1);
    view.show();
    settle();
    menu().action(E::clearSeries)->trigger();
    settle();
    QMessageBox& ask = view.clearConfirmation();
    ASSERT_TRUE(ask.isVisible());

    view.hide();
    settle();
    EXPECT_FALSE(ask.isVisible()) << "left on the screen a capture takes";
    // A status change while the panel is away brings no question back without it.
    model->setStatus(QStringLiteral("Захват"));
    settle();
    EXPECT_FALSE(ask.isVisible());
    EXPECT_TRUE(model->confirmClear()) << "hiding the question answered it";

    view.show();
    settle();
    EXPECT_TRUE(ask.isVisible());
    EXPECT_EQ(ask.defaultButton()->text(), QStringLiteral("Отмена"));
    ask.defaultButton()->click();
    settle();
    EXPECT_FALSE(model->confirmClear());
    EXPECT_EQ(model->shots().size(), 1);
}

TEST_F(PanelViewTest, StackShowsTheLastThreeShotsAndFollowsDeletions)
{
    for (Screenshot shot : {test::shotWithComments({}, Qt::red), test::shotWithComments({"к"}, Qt::green),
                            test::shotWithComments({"к", "к"}, Qt::blue)})
        model->save(shot, shot.annotations, false);
    settle();
    QList<ShotCard*> cards = view.shotStack().cards();
    auto letters = [&] {
        QStringList shown;
        for (ShotCard* card : cards = view.shotStack().cards())
            shown << card->letter() + QString::number(card->commentCount()) + u'@' + QString::number(card->y());
        return shown;
    };
    EXPECT_EQ(letters(), (QStringList{"A0@0", "B1@18", "C2@36"}));
    EXPECT_EQ(cards[2]->accessibleName(), QStringLiteral("Снимок C, 2 комментариев"));
    // The thumbnail shows the shot's own picture.
    const QImage thumbnail = cards[1]->thumbnail().toImage();
    EXPECT_EQ(thumbnail.pixelColor(thumbnail.width() / 2, thumbnail.height() / 2), QColor(Qt::green));

    QTest::mouseClick(cards[2], Qt::LeftButton);
    EXPECT_EQ(edited, QList<QUuid>{model->shots()[2].id});

    // Thumbnails are made again only for a shot whose picture changed.
    const qint64 keyA = cards[0]->thumbnail().cacheKey(), keyB = cards[1]->thumbnail().cacheKey();
    Screenshot changed = model->shots()[1];
    changed.annotations << test::element(AnnotationTool::rectangle, {2, 2}, {30, 30}, 4);
    model->save(changed, changed.annotations, false);
    settle();
    EXPECT_EQ(cards[0]->thumbnail().cacheKey(), keyA);
    EXPECT_NE(cards[1]->thumbnail().cacheKey(), keyB);

    // While busy the cards take no clicks and cannot be deleted, yet the editor can be opened.
    model->setBusy(true);
    settle();
    QTest::mouseClick(cards[0], Qt::LeftButton);
    EXPECT_EQ(edited.size(), 1);
    const QList<QAction*> menuOfB = cards[1]->contextMenu().actions();
    EXPECT_TRUE(menuOfB[0]->isEnabled());
    EXPECT_FALSE(menuOfB[1]->isEnabled());

    // Deleting B: C becomes B and keeps its card.
    model->setBusy(false);
    settle();
    const QUuid idOfC = cards[2]->id();
    menuOfB[1]->trigger();
    settle();
    EXPECT_EQ(letters(), (QStringList{"A0@0", "B2@18"}));
    EXPECT_EQ(cards[1]->id(), idOfC);
    addShots(3);
    settle();
    EXPECT_EQ(letters(), (QStringList{"C0@0", "D0@18", "E0@36"}));
}
