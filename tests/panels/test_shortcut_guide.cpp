#include "panels/ShortcutGuide.h"
#include "panels/ShortcutGuideController.h"
#include "panels/ShortcutGuideRow.h"
#include "panels/ShortcutGuideView.h"
#include "platform/Icons.h"
#include "series/Annotation.h"

#include <QAbstractButton>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarnwick;

TEST(ShortcutGuide, SectionsEndTheEditorWithTheToolbarDigits)
{
    const auto sections = ShortcutGuide::sections();
    QVector<qsizetype> counts;
    for (const auto& section : sections)
        counts << section.entries.size();
    EXPECT_EQ(counts, (QVector<qsizetype>{3, 4, 26, 3, 1}));
    for (const char* symbol : ShortcutGuide::symbols())
        EXPECT_FALSE(platform::iconResource(QString::fromLatin1(symbol)).isEmpty()) << symbol;

    const QStringList& editor = sections[2].entries;
    EXPECT_EQ(editor[16], QStringLiteral("Esc — Снять выделение / отменить рисование"));
    EXPECT_EQ(editor[17], QStringLiteral("1 — Выбор"));
    EXPECT_EQ(editor[24], QStringLiteral("8 — Блюр/удаление"));
    EXPECT_EQ(editor[25], QStringLiteral("9 — Лупа / рулетка / выделитель / QR-код"));
    // Each digit names the tool the digit key picks.
    for (std::size_t i = 0; i + 1 < toolbarTools().size(); ++i)
        EXPECT_TRUE(editor[17 + static_cast<qsizetype>(i)].endsWith(title(toolbarTools()[i])));
}

TEST(ShortcutGuide, RowsSplitKeysIntoCapsShownWithLinuxNames)
{
    struct Case {
        QString entry;
        QVector<QStringList> shown;
        QString description;
    };
    const Case cases[] = {
        {"⌘+ / ⌘− — Увеличить / уменьшить масштаб вдвое", {{"Ctrl++"}, {"Ctrl+−"}},
         "Увеличить / уменьшить масштаб вдвое"},
        {"[ / ] — Уменьшить / увеличить толщину линии на 1 px", {{"["}, {"]"}},
         "Уменьшить / увеличить толщину линии на 1 px"},
        {"⇧⌘Пробел — Снимок выбранного окна", {{"Ctrl+Shift+Пробел"}}, "Снимок выбранного окна"},
        {"9 — Лупа / рулетка / выделитель / QR-код", {{"9"}}, "Лупа / рулетка / выделитель / QR-код"},
        {"⌘ с рулеткой, карандашом или выделителем — Горизонталь / вертикаль", {{"Ctrl"}},
         "Ровная линия с рулеткой, карандашом или выделителем"},
        {"Пробел + перетаскивание — Переместить холст", {{"Пробел", "↔"}}, "Переместить холст перетаскиванием"},
        {"Shift + ← ↑ → ↓ — Сдвинуть на 10 px", {{"Shift+← ↑ → ↓"}}, "Сдвинуть на 10 px"},
        {"⌘↩ — Сохранить разметку / комментарий", {{"Ctrl+Enter"}}, "Сохранить разметку / комментарий"},
        {"Пробел — Область / окно (при ⌘2)", {{"Пробел"}}, "Область / окно (при Ctrl+2)"},
        {"Колесо", {{"Колесо"}}, ""},
        {"Esc — a — b", {{"Esc"}}, "a — b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry.toStdString());
        const ShortcutGuide::Row row = ShortcutGuide::row(c.entry);
        EXPECT_EQ(row.id, c.entry);
        ShortcutGuideRow card(row);
        EXPECT_EQ(card.shownCaps(), c.shown);
        EXPECT_EQ(card.shownDescription(), c.description);
    }
    // The stored caps keep the glyphs; only what is shown is renamed.
    EXPECT_EQ(ShortcutGuide::row("⇧⌘0 — x").combinations, (QVector<QStringList>{{"⇧", "⌘", "0"}}));
    EXPECT_EQ(ShortcutGuide::legend(), QStringLiteral("Ctrl   Shift\nAlt   Super"));
}

TEST(ShortcutGuideWindow, ReopensOnTheLastSectionAndRemembersItsFrame)
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    {
        ShortcutGuideController guide(settings, QStringLiteral("ShortcutGuideWindow"));
        ShortcutGuideView* view = guide.window();
        EXPECT_EQ(view->size(), QSize(820, 650));
        guide.show();
        EXPECT_EQ(view->windowTitle(), QStringLiteral("Горячие клавиши · Tarnwick"));

        view->sectionButton(2)->click();
        EXPECT_EQ(view->selectedSection(), 2);
        EXPECT_EQ(view->sectionTitle()->text(), QStringLiteral("В редакторе"));
        EXPECT_EQ(view->commandCount()->text(), QStringLiteral("Команд: 26"));
        EXPECT_EQ(view->rows(2).size(), 26);
        // Down the list, away and back: the list starts from its top again.
        view->page(2)->verticalScrollBar()->setValue(200);
        ASSERT_EQ(view->page(2)->verticalScrollBar()->value(), 200);
        view->sectionButton(4)->click();
        EXPECT_EQ(view->commandCount()->text(), QStringLiteral("Команд: 1"));
        view->sectionButton(2)->click();
        EXPECT_EQ(view->page(2)->verticalScrollBar()->value(), 0);

        view->resize(900, 700);
        view->close();
        EXPECT_FALSE(view->isVisible());
        guide.show();
        EXPECT_TRUE(view->isVisible());
        EXPECT_EQ(view->selectedSection(), 2);
        EXPECT_TRUE(view->sectionButton(2)->isChecked());
        view->close();
    }
    EXPECT_TRUE(settings.contains(QStringLiteral("ShortcutGuideWindow")));
    ShortcutGuideController next(settings, QStringLiteral("ShortcutGuideWindow"));
    EXPECT_EQ(next.window()->size(), QSize(900, 700));
    EXPECT_EQ(next.window()->selectedSection(), 0);
}
