// Every key the shortcut guide shows, pressed where the guide says it works,
// against the real shell, editor and picker on an X server.

#include "ShellFixture.h"

#include "NoisePage.h"
#include "app/QuitGuard.h"
#include "app/ScrollingCaptureController.h"
#include "editor/canvas/ImageCanvasView.h"
#include "editor/model/EditorState.h"
#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelMenu.h"
#include "panels/FloatingPanelView.h"
#include "panels/ShortcutGuide.h"
#include "panels/ShortcutGuideView.h"
#include "capture/RecordingAreaSelector.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <X11/keysym.h>
#include <map>
#include <vector>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

class GuideKeys : public ShellTest {
protected:
    // The keys go through XTEST as a person types them, by key symbol of the first group.
    void press(const std::vector<std::uint32_t>& keysyms)
    {
        std::vector<std::uint8_t> codes;
        for (std::uint32_t sym : keysyms)
            codes.push_back(x.keycodeOf(sym));
        x.chord(codes);
    }

    // Another program's window, active, as a user leaves it before a global key.
    void inChat()
    {
        x.setActiveWindow(chat);
        x.focus(chat);
        waitUntil([] { return QApplication::activeWindow() == nullptr; }, 2s);
    }

    // A fresh editor on a grey shot with an arrow of width 5 from (20, 20) selected, the canvas focused.
    EditorState* freshEditor()
    {
        if (shell->editor())
            shell->finishEditor(false, false);
        QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(200, 210, 220));
        shell->openEditor(Screenshot::make(image, 1), QStringLiteral("A"));
        EditorExportWindow* window = shell->editor();
        if (!window)
            return nullptr;
        Annotation arrow = freshAnnotation(AnnotationTool::arrow, {20, 20});
        arrow.end = {120, 60};
        arrow.strokeWidth = 5;
        window->state().add(arrow, false);
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            return nullptr;
        window->canvas()->setFocus();
        if (!waitUntil([&] { return window->canvas()->hasFocus(); }))
            return nullptr;
        return &window->state();
    }

    EditorState& state() { return shell->editor()->state(); }
    double zoom() { return state().navigation().zoom; }
    QPointF arrowStart() { return state().annotations().value(0).start; }

    // A point of the canvas, in root pixels.
    QPoint onCanvas(QPoint offset = {})
    {
        ImageCanvasView* canvas = shell->editor()->canvas();
        return canvas->mapToGlobal(canvas->rect().center() + offset);
    }

    bool editorClosed()
    {
        return waitUntil([&] { return shell->editor() == nullptr; });
    }

    // A picker of ours holds the keyboard, started by the key just pressed.
    bool pickerUp() { return waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 10s); }
    bool pickerGone() { return waitUntil([&] { return idle() && !x.keyboardGrabbedElsewhere(); }, 10s); }

    std::uint32_t chat = 0;
};

// What a guide line's key must do: where it is pressed, and a run that presses it and says whether it worked.
struct Check {
    const char* window;
    std::function<bool()> run;
};

TEST_F(GuideKeys, EveryKeyTheGuideShowsDoesWhatItSaysWhereItSaysSo)
{
    qputenv(AppShell::pickerVariable, TARNWICK_CAPTURE);
    chat = x.createWindow(4242, "chat", "Chat");
    x.paintNoise(chat, 0, 0, 200, 100, 9);
    start();
    QuitGuard guard([this] { return log << QStringLiteral("quit"), false; });
    const auto isTool = [this](AnnotationTool tool) { return [this, tool] { return state().tool() == tool; }; };
    const auto digit = [&](std::uint32_t key, AnnotationTool tool) {
        return Check{"the editor", [=, this] { return freshEditor() && (press({key}), waitUntil(isTool(tool))); }};
    };
    // A menu-bar key pressed in the guide: what its menu entry does must follow.
    const auto inGuide = [&](std::uint32_t key, QString logged) {
        return Check{"the shortcut guide", [=, this] {
                         shell->showShortcutGuide();
                         QWidget* guide = nullptr;
                         for (QWidget* w : QApplication::topLevelWidgets())
                             if (qobject_cast<ShortcutGuideView*>(w))
                                 guide = w;
                         if (!guide || !QTest::qWaitForWindowActive(guide))
                             return false;
                         log.clear();
                         press({XK_Control_L, key});
                         // A quit is heard only inside the application's loop, as in the program.
                         QTimer look, giveUp;
                         QObject::connect(&look, &QTimer::timeout, [&] {
                             if (log.contains(logged))
                                 QCoreApplication::exit(0);
                         });
                         QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(1); });
                         look.start(20);
                         giveUp.start(5000);
                         QApplication::exec();
                         const bool done = log.contains(logged);
                         guide->hide();
                         return done;
                     }};
    };
    // A global key pressed in another program's window: our picker takes the keyboard and says what to do.
    const auto globalPicker = [&](std::vector<std::uint32_t> keys, QString status) {
        return Check{"another program", [=, this] {
                         inChat();
                         press(keys);
                         const bool up = pickerUp() && model().status() == status;
                         press({XK_Escape});
                         return up && pickerGone();
                     }};
    };
    const auto scrolling = [&](std::uint32_t key) {
        return [=, this] {
            QLabel page;
            page.setWindowFlags(Qt::FramelessWindowHint);
            page.setPixmap(QPixmap::fromImage(noisePage(400, 500, 3)));
            page.setGeometry(600, 200, 400, 500);
            page.show();
            if (!QTest::qWaitForWindowExposed(&page))
                return false;
            shell->captureScrolling();
            ScrollingCaptureController* session = shell->scrollingCapture();
            if (!session || !waitUntil([&] { return session->selector() && !session->selector()->panels().empty(); }))
                return false;
            x.drag(620, 220, 980, 680);
            if (!waitUntil([&] { return session->model().ready() && session->model().dimensions().endsWith(u"px"); }, 20s))
                return false;
            press({key});
            return waitUntil([&] { return shell->scrollingCapture() == nullptr; }, 10s)
                && (key == XK_Return) == (shell->editor() != nullptr);
        };
    };

    const std::map<QString, Check> table{
        // Everywhere: global keys, pressed in another program's window.
        {"⌘2 — Снимок области", globalPicker({XK_Control_L, XK_2}, QStringLiteral("Выделите область снимка"))},
        {"⇧⌘Пробел — Снимок выбранного окна", globalPicker({XK_Control_L, XK_Shift_L, XK_space}, QStringLiteral("Выберите окно щелчком. Esc — отмена"))},
        {"⇧⌘0 — Скопировать текст с экрана", globalPicker({XK_Control_L, XK_Shift_L, XK_0}, QStringLiteral("Выделите область с текстом. Esc — отмена"))},
        // During a capture.
        {"Esc — Отменить захват", {"the area picker", [&] {
             inChat();
             press({XK_Control_L, XK_2});
             if (!pickerUp())
                 return false;
             press({XK_Escape});
             return pickerGone() && shell->editor() == nullptr;
         }}},
        {"Пробел — Область / окно (при ⌘2)", {"the area picker", [&] {
             inChat();
             press({XK_Control_L, XK_2});
             if (!pickerUp())
                 return false;
             press({XK_space});
             x.click(100, 50); // the chat window, 200 × 100 at the origin
             const bool picked = waitUntil([&] { return shell->editor() != nullptr; }, 10s)
                 && state().shot().pixelSize == QSizeF(200, 100);
             return picked;
         }}},
        {"Enter — Завершить снимок со скроллом", {"the scrolling capture", scrolling(XK_Return)}},
        {"Esc — Отменить снимок со скроллом", {"the scrolling capture", scrolling(XK_Escape)}},
        // In the editor.
        {"⌘↩ — Сохранить разметку / комментарий", {"the editor", [&] {
             const qsizetype before = model().shots().size();
             return freshEditor() && (press({XK_Control_L, XK_Return}), editorClosed())
                 && model().shots().size() == before + 1;
         }}},
        {"⌘Z — Отменить изменение", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             state().remove(state().annotations()[0].id);
             press({XK_Control_L, XK_z});
             return waitUntil([&] { return state().annotations().size() == 1; });
         }}},
        {"Tab — Скопировать цвет под курсором и закрыть редактор", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             const QPoint at = onCanvas({60, 60});
             x.movePointer(at.x(), at.y());
             // The canvas has read the colour under the pointer.
             if (!waitUntil([&] { return state().cursorColor().insideCanvas() && state().cursorColor().sample(); }))
                 return false;
             press({XK_Tab});
             return editorClosed() && QGuiApplication::clipboard()->text().startsWith(u'#');
         }}},
        {"⌘+ / ⌘− — Увеличить / уменьшить масштаб вдвое", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             const double fitted = zoom();
             press({XK_Control_L, XK_equal});
             if (!waitUntil([&] { return zoom() == fitted * 2; }))
                 return false;
             press({XK_Control_L, XK_minus});
             return waitUntil([&] { return zoom() == fitted; });
         }}},
        {"⌘0 — Вернуть 100%", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             press({XK_Control_L, XK_equal});
             press({XK_Control_L, XK_0});
             return waitUntil([&] { return zoom() == 1; });
         }}},
        {"Колесо — Масштаб с шагом 25%", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             const double before = zoom();
             const QPoint at = onCanvas();
             x.movePointer(at.x(), at.y());
             x.button(4, true);
             x.button(4, false);
             return waitUntil([&] { return std::abs(zoom() - before * 1.25) < 1e-6 || std::abs(zoom() - (before + 0.25)) < 1e-6; });
         }}},
        {"Пробел + перетаскивание — Переместить холст", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             const double fitted = zoom();
             press({XK_Control_L, XK_equal});
             press({XK_Control_L, XK_equal});
             if (!waitUntil([&] { return zoom() == fitted * 4; }))
                 return false;
             const QSizeF before = state().navigation().pan;
             const QPoint at = onCanvas();
             x.press(x.keycodeOf(XK_space));
             x.drag(at.x(), at.y(), at.x() + 80, at.y() + 50);
             x.release(x.keycodeOf(XK_space));
             return waitUntil([&] { return state().navigation().pan != before; });
         }}},
        {"⌘ с рулеткой, карандашом или выделителем — Горизонталь / вертикаль", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             state().style().activateExtraTool(ExtraToolKind::ruler);
             const QPoint at = onCanvas();
             x.press(x.keycodeOf(XK_Control_L));
             x.drag(at.x() - 60, at.y(), at.x() + 60, at.y() + 25);
             x.release(x.keycodeOf(XK_Control_L));
             return waitUntil([&] {
                 const Annotation last = state().annotations().last();
                 return last.kind == AnnotationTool::ruler && last.start.y() == last.end.y() && last.start.x() != last.end.x();
             });
         }}},
        {"[ / ] — Уменьшить / увеличить толщину линии на 1 px", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             press({XK_bracketright});
             if (!waitUntil([&] { return state().annotations()[0].strokeWidth == 6; }))
                 return false;
             press({XK_bracketleft});
             return waitUntil([&] { return state().annotations()[0].strokeWidth == 5; });
         }}},
        {"⌘V — Добавить изображение из буфера", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             QImage tile(16, 16, QImage::Format_RGB32);
             tile.fill(Qt::red);
             QGuiApplication::clipboard()->setImage(tile);
             press({XK_Control_L, XK_v});
             return waitUntil([&] {
                 return state().annotations().size() == 2 && state().annotations().last().kind == AnnotationTool::image;
             });
         }}},
        {"⌘C — Скопировать без маркировки и закрыть редактор", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             QGuiApplication::clipboard()->setText(QStringLiteral("before"));
             press({XK_Control_L, XK_c});
             return editorClosed() && waitUntil([] {
                        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
                        return data && (data->hasImage() || data->hasFormat(QStringLiteral("image/png")));
                    });
         }}},
        {"Enter — Применить кадрирование", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             state().setTool(AnnotationTool::crop);
             state().cropping().select(QRectF(50, 40, 200, 150));
             press({XK_Return});
             return waitUntil([&] { return state().cropRect().has_value() && !state().cropping().pending(); });
         }}},
        {"⇧⌘Z — Повторить изменение", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             state().remove(state().annotations()[0].id);
             state().undo();
             press({XK_Control_L, XK_Shift_L, XK_z});
             return waitUntil([&] { return state().annotations().isEmpty(); });
         }}},
        {"Delete — Удалить выбранную разметку", {"the editor", [&] {
             return freshEditor() && (press({XK_Delete}), waitUntil([&] { return state().annotations().isEmpty(); }));
         }}},
        {"← ↑ → ↓ — Сдвинуть выбранный объект на 1 px", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             for (auto [key, to] : {std::pair{XK_Right, QPointF(21, 20)}, {XK_Down, QPointF(21, 21)},
                                    {XK_Left, QPointF(20, 21)}, {XK_Up, QPointF(20, 20)}}) {
                 press({std::uint32_t(key)});
                 if (!waitUntil([&, to = to] { return arrowStart() == to; }))
                     return false;
             }
             return true;
         }}},
        {"Shift + ← ↑ → ↓ — Сдвинуть на 10 px", {"the editor", [&] {
             if (!freshEditor())
                 return false;
             for (auto [key, to] : {std::pair{XK_Right, QPointF(30, 20)}, {XK_Down, QPointF(30, 30)},
                                    {XK_Left, QPointF(20, 30)}, {XK_Up, QPointF(20, 20)}}) {
                 press({XK_Shift_L, std::uint32_t(key)});
                 if (!waitUntil([&, to = to] { return arrowStart() == to; }))
                     return false;
             }
             return true;
         }}},
        {"Esc — Снять выделение / отменить рисование", {"the editor", [&] {
             return freshEditor() && (press({XK_Escape}), waitUntil([&] { return !state().selectedID(); }))
                 && shell->editor() != nullptr;
         }}},
        {"1 — Выбор", digit(XK_1, AnnotationTool::select)},
        {"2 — Стрелка", digit(XK_2, AnnotationTool::arrow)},
        {"3 — Фигуры", digit(XK_3, AnnotationTool::rectangle)},
        {"4 — Кадрирование", digit(XK_4, AnnotationTool::crop)},
        {"5 — Комментарий", digit(XK_5, AnnotationTool::comment)},
        {"6 — Текст", digit(XK_6, AnnotationTool::text)},
        {"7 — Карандаш", digit(XK_7, AnnotationTool::pencil)},
        {"8 — Блюр/удаление", digit(XK_8, AnnotationTool::blur)},
        {"9 — Лупа / рулетка / выделитель / QR-код", digit(XK_9, AnnotationTool::magnifier)},
        // In Tarnwick: any of its windows; the entry of the menu that stands in for the menu bar runs.
        {"⌘O — Открыть изображение", inGuide(XK_o, QStringLiteral("open"))},
        {"⌘E — Сохранить серию в папку", inGuide(XK_e, QStringLiteral("folder: Сохранить серию"))},
        {"⌘Q — Завершить Tarnwick", inGuide(XK_q, QStringLiteral("quit"))},
        // In the application that pastes: the series goes over and is released.
        {"⌘V — Вставить серию или распознанный текст", {"another program", [&] {
             if (model().shots().isEmpty())
                 return false;
             // The editor's keys above put other things on the clipboard: the series goes back on it.
             model().prepareClipboard(TransferMode::chat);
             inChat();
             press({XK_Control_L, XK_v});
             return waitUntil([&] { return model().shots().isEmpty(); }, 10s);
         }}},
    };

    QStringList shown;
    for (const ShortcutGuide::Section& section : ShortcutGuide::sections()) {
        for (const QString& entry : section.entries) {
            shown << entry;
            const auto check = table.find(entry);
            if (check == table.end()) {
                ADD_FAILURE() << "the guide shows «" << entry.toStdString() << "» (" << section.title.toStdString()
                              << ") but nothing here says what it must do";
                continue;
            }
            if (shell->editor())
                shell->finishEditor(false, false);
            EXPECT_TRUE(check->second.run()) << "«" << entry.toStdString() << "» in " << check->second.window
                                             << " does not do what the guide says";
            // A check that failed half-way may leave a picker or a scrolling capture running: end it.
            if (x.keyboardGrabbedElsewhere() || shell->scrollingCapture()) {
                press({XK_Escape});
                waitUntil([&] { return idle() && !x.keyboardGrabbedElsewhere() && !shell->scrollingCapture(); }, 10s);
            }
        }
    }
    for (const auto& [entry, check] : table)
        EXPECT_TRUE(shown.contains(entry)) << "«" << entry.toStdString() << "» is no longer in the guide";
}

} // namespace
