#include "ShellFixture.h"

#include "app/ScrollingCaptureControlView.h"
#include "app/ScrollingCaptureModel.h"
#include "editor/model/EditorState.h"
#include "editor/tools/InstalledFontPicker.h"
#include "editor/tools/TextEditorPresenter.h"
#include "editor/window/EditorExportWindow.h"
#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelMenu.h"
#include "panels/FloatingPanelView.h"
#include "panels/FileDialogs.h"
#include "panels/PermissionCard.h"
#include "panels/PermissionSetupView.h"
#include "panels/ShortcutGuideView.h"
#include "platform/QtTranslations.h"
#include "recording/RecordingReview.h"
#include "recording/RecordingUIModel.h"
#include "recording/RecordingWindow.h"

#include <QTest>
#include <QtWidgets>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// Names, units and key caps that stay Latin in a Russian interface.
const QSet<QString> latinAllowed{
    "Tarnwick", "Ctrl", "Shift", "Alt", "Super", "Tab", "Esc", "Enter", "Delete", "Backspace", "PNG", "JPEG", "MP4",
    "MPEG-4", "HEVC", "H.264", "QR", "px", "RGB", "HEX", "HSL", "X11", "XTEST", "RECORD", "PulseAudio", "MIT-SHM",
    "GetImage", "Xorg", "xorg.conf", "Extensions", "extension", "Wayland", "pt", "720p"};
const QStringList macWords{"Конфиденциальн", "Универсальный доступ", "Мониторинг ввода", "строке меню", "строка меню", "⌘",
                           "⇧", "⌥", "⌃"};

// A text field's own right-click menu.
template <typename Edit>
QStringList editTexts(QWidget* w)
{
    auto* edit = qobject_cast<Edit*>(w);
    std::unique_ptr<QMenu> menu(edit ? edit->createStandardContextMenu() : nullptr);
    QStringList out{edit ? edit->placeholderText() : QString()};
    for (QAction* a : menu ? menu->actions() : QList<QAction*>())
        out << a->text() << a->shortcut().toString(QKeySequence::NativeText);
    return out;
}

// What the user can read in `root` and its children, hidden ones included (they show in some state).
QStringList visibleTexts(QWidget* root)
{
    QStringList out;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        out << w->windowTitle() << w->toolTip();
        for (QAction* a : w->actions())
            out << a->text() << a->toolTip() << a->shortcut().toString(QKeySequence::NativeText);
        if (auto* label = qobject_cast<QLabel*>(w))
            out << label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            out << button->text();
        else if (auto* menu = qobject_cast<QMenu*>(w))
            out << menu->title();
        if (auto* combo = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i)
                out << combo->itemText(i);
        if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->model())
            for (int c = 0; c < view->model()->columnCount(); ++c)
                out << view->model()->headerData(c, Qt::Horizontal).toString();
        out << editTexts<QLineEdit>(w) << editTexts<QPlainTextEdit>(w);
    }
    return out;
}

// Texts with a Latin word outside the allow-list or a macOS name; paths, file patterns,
// monitor names and shot labels are data.
QStringList faults(const QStringList& texts)
{
    static const QRegularExpression markup(QStringLiteral(R"(<[^>]*>|&|\*\.\w+)")),
        word(QStringLiteral(R"(\d*[A-Za-z][A-Za-z0-9]*(?:[.\-][A-Za-z0-9]+)*)")), shotLabel(QStringLiteral(R"(^[A-Z]\d*$)"));
    QSet<QString> allowed = latinAllowed;
    for (QScreen* screen : QGuiApplication::screens())
        allowed << screen->name();
    QStringList found;
    for (QString text : texts) {
        text.remove(markup);
        bool bad = std::any_of(macWords.begin(), macWords.end(), [&](const QString& m) { return text.contains(m); });
        for (const auto& m : word.globalMatch(text.startsWith(u'/') ? QString() : text))
            bad = bad || (!allowed.contains(m.captured()) && !shotLabel.match(m.captured()).hasMatch());
        if (bad && !found.contains(text))
            found << text;
    }
    return found;
}

template <typename Window>
Window* shown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<Window*>(w); window && w->isVisible())
            return window;
    return nullptr;
}

// The server lacks RECORD (and so XTEST): the permission cards explain both, and the walk reads those texts too.
TEST_F(ShellTest, EveryWindowSpeaksRussianAndNamesLinuxThings)
{
    ASSERT_EQ(platform::installQtTranslations(*qApp), QString());
    start();
    // Each capability command of the panel's menu shows the permission window on its card and its state.
    using E = FloatingPanelMenu::Entry;
    const std::vector<std::tuple<E, int, QString>> commands{
        {E::screenAccess, 0, {}}, {E::monitoring, 1, "Без расширения RECORD"}, {E::automaticPaste, 2, "Без расширения XTEST"}};
    for (const auto& [entry, card, notice] : commands) {
        shell->panel()->view().menu().action(entry)->trigger();
        QList<PermissionCard*> cards;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return shown<PermissionSetupView>()
                && (cards = shown<PermissionSetupView>()->findChildren<PermissionCard*>())[card]->highlighted();
        }, 5000)) << card;
        for (int i = 0; i < cards.size(); ++i)
            EXPECT_EQ(cards[i]->highlighted(), i == card) << card;
        EXPECT_TRUE(cards[card]->notice()->text().startsWith(notice)) << cards[card]->notice()->text().toStdString();
        EXPECT_EQ(cards[card]->notice()->isHidden(), notice.isEmpty());
    }

    model().save(Screenshot::make(QImage(300, 200, QImage::Format_RGB32), 1), {}, false);
    recording::RecordingUIModel recording(nullptr);
    recording::RecordingReview review(recording);
    recording::RecordingWindow recorder(review);
    ScrollingCaptureModel scrolling;
    ScrollingCaptureControlView scrollingControls(scrolling);
    const QString instruction = "Выберите папку. Tarnwick создаст внутри отдельную папку со снимками и комментариями.";
    std::unique_ptr<QFileDialog> folder(makeFolderDialog(nullptr, "Сохранить серию", instruction, "Сохранить серию", {}));
    QFileDialog open(nullptr, "Открыть изображение", {}, "Изображения (*.png *.jpg)");
    QFileDialog save(nullptr, "Сохранить запись", {}, "MPEG-4 (*.mp4)");
    save.setAcceptMode(QFileDialog::AcceptSave);
    QWidget* editor = nullptr;

    const std::vector<std::pair<const char*, std::function<QStringList()>>> windows{
        {"меню в трее", [&] { return visibleTexts(shell->trayMenu()) << shell->tray()->toolTip(); }},
        {"панель и её меню", [&] { return visibleTexts(shell->panel()) << visibleTexts(&shell->panel()->view().menu()); }},
        {"о программе", [] { return QStringList{AppShell::aboutTitle(), AppShell::aboutText()}; }},
        {"разрешения", [&] { return visibleTexts(shown<PermissionSetupView>()); }},
        {"горячие клавиши", [&] { return shell->showShortcutGuide(), visibleTexts(shown<ShortcutGuideView>()); }},
        {"редактор", [&] {
             model().editAction(model().shots().constFirst().id);
             return visibleTexts(editor = shell->editor());
         }},
        {"редактор текста и выбор шрифта", [&] {
             shell->editor()->state().comment().setOpen(false);
             shell->editor()->state().text().request({5, 5}, std::nullopt);
             return QTest::qWaitFor([&] { return editor->findChild<InstalledFontPicker*>(); }, 5000)
                 ? visibleTexts(editor->findChild<TextEditorPanel*>()) << visibleTexts(editor->findChild<InstalledFontPicker*>())
                 : QStringList{"нет окна"};
         }},
        {"подготовка записи", [&] { return visibleTexts(&recorder); }},
        {"просмотр записи", [&] { return recording.setPhase(recording::RecordingPhase::review), visibleTexts(&recorder); }},
        {"снимок со скроллом", [&] { return visibleTexts(&scrollingControls); }},
        {"папка для серии", [&] { return visibleTexts(folder.get()); }},
        {"открыть изображение", [&] { return visibleTexts(&open); }},
        {"сохранить MP4", [&] { return visibleTexts(&save); }},
    };
    for (const auto& [name, texts] : windows) {
        QCoreApplication::processEvents();
        EXPECT_EQ(faults(texts()), QStringList()) << name;
    }
    // Window managers cut long titles; the instruction is inside the dialog.
    EXPECT_EQ(folder->windowTitle(), "Сохранить серию");
    EXPECT_EQ(folder->findChild<QLabel*>("instruction")->text(), instruction);
    for (QAction* item : shell->trayMenu()->actions())
        EXPECT_TRUE(item->isSeparator() || !item->icon().isNull()) << item->text().toStdString();
}

} // namespace
