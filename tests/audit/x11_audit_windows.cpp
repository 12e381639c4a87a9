// Every window of the program on openbox, in each state that changes its content, at its
// default and its minimum size. A window fails where a visible widget leaves its parent or
// the screen, a text needs more room than it has (unless elided with the whole text in its
// tool tip), an icon stands out less than 3:1 from what is behind it or is not drawn at all, or
// a control on a dark surface is drawn light. Every button with a menu is looked at also under
// the pointer, with its menu open and after the menu closed; every tool tip and context menu is
// opened, and a menu, list, tip or question opened from a dark surface must be dark too. TARNWICK_DOCS_PICTURES=1 on the
// small screen writes a picture of each scene into docs/gallery/.
#include "AuditedShell.h"
#include "OpenedWindows.h"

#include "app/AppShell.h"
#include "app/ScrollingCaptureControlView.h"
#include "app/ScrollingCaptureModel.h"
#include "editor/canvas/ColorFormatButton.h"
#include "editor/model/EditorState.h"
#include "editor/tools/InstalledFontPicker.h"
#include "editor/tools/TextFontControls.h"
#include "editor/window/EditorFloatingControls.h"
#include "editor/window/EditorFloatingToolbar.h"
#include "editor/window/EditorCommentSheet.h"
#include "editor/window/EditorHeader.h"
#include "editor/window/EditorPopover.h"
#include "editor/window/EditorView.h"
#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelView.h"
#include "recording/RecordingWindow.h"
#include "recording/ScreenRecordingController.h"
#include "recording/review/RecordingTimelineView.h"

#include "support/X11Client.h"

#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <numeric>

using namespace tarnwick;
using namespace tarnwick::audit;

namespace {

auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
auto luminance = [](QColor c) { return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF()); };
auto contrast = [](QColor a, QColor b) { return (std::max(luminance(a), luminance(b)) + 0.05) / (std::min(luminance(a), luminance(b)) + 0.05); };
// The commonest colour of a rectangle of the picture: what lies behind what is drawn on it.
QColor ground(const QImage& image, QRect r)
{
    std::map<QRgb, int> counts;
    r &= image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000];
    return QColor(std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first);
}
// An icon's ink, the mean of its opaque pixels, is at least 3:1 against `behind`; a blank icon passes.
bool standsOut(const QIcon& icon, QSize size, QColor behind)
{
    const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
    double r = 0, g = 0, b = 0, n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (const QColor c = image.pixelColor(x, y); c.alphaF() > 0.6)
                r += c.redF(), g += c.greenF(), b += c.blueF(), ++n;
    return !n || contrast(QColor::fromRgbF(float(r / n), float(g / n), float(b / n)), behind) >= 3;
}
// A button whose icon is set draws it: without the icon it looks different.
bool drawsIcon(QAbstractButton* button)
{
    const QIcon icon = button->icon();
    const QImage with = button->grab().toImage();
    button->setIcon(QIcon());
    const QImage without = button->grab().toImage();
    button->setIcon(icon);
    return with != without;
}

// What lies behind a widget in its window as drawn there is dark.
bool onDarkSurface(const QWidget* w)
{
    QWidget* window = w->window();
    const QImage picture = window->grab(QRect(w->mapTo(window, QPoint()), w->size())).toImage();
    return luminance(ground(picture, picture.rect())) < 0.1;
}

// What is wrong with one shown window, one line per fault.
std::vector<std::string> audit(QWidget* window)
{
    std::vector<std::string> found;
    const QImage picture = window->grab().toImage();
    if (!window->screen()->availableGeometry().contains(window->frameGeometry()))
        found.push_back("outside the screen: " + QDebug::toString(window->frameGeometry()).toStdString());
    // A menu, a drop-down list or a question opened from a dark surface is dark too.
    if (const QWidget* opener = window->parentWidget(); opener && (window->windowType() == Qt::Popup || qobject_cast<QMessageBox*>(window))
        && onDarkSurface(opener) && luminance(ground(picture, picture.rect())) >= 0.1)
        found.push_back("light, opened from the dark " + nameOf(opener));
    if (auto* menu = qobject_cast<QMenu*>(window)) {
        for (QAction* action : menu->actions())
            if (action->isVisible() && action->isEnabled() && !standsOut(action->icon(), {16, 16}, ground(picture, menu->actionGeometry(action))))
                found.push_back("menu icon of «" + action->text().toStdString() + "» hardly visible");
        return found;
    }
    const bool dark = luminance(ground(picture, picture.rect())) < 0.1;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->isWindow())
            continue;
        const QWidget* parent = w->parentWidget();
        const auto* area = qobject_cast<const QAbstractScrollArea*>(parent->parentWidget()); // scrolled content may lie beyond
        if (!(area && area->viewport() == parent) && !parent->rect().contains(w->geometry()))
            found.push_back(nameOf(w) + " sticks out of " + nameOf(parent));
        const QRect inWindow(w->mapTo(window, QPoint()), w->size());
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
            const bool elided = label->text().contains(u'…') && label->toolTip().size() > label->text().size();
            const QSize needed = label->wordWrap() ? QSize(0, label->heightForWidth(label->width())) : label->sizeHint();
            if (!elided && (needed.width() > label->width() || needed.height() > label->height()))
                found.push_back(nameOf(label) + " is cut");
        }
        if (auto* scroll = qobject_cast<QScrollArea*>(w); scroll && scroll->widget() && window->windowType() != Qt::Window) {
            const int hidden = scroll->widget()->height() - scroll->viewport()->height(); // a popover sizes itself
            if (hidden > 0 && window->frameGeometry().height() + hidden <= window->screen()->availableGeometry().height())
                found.push_back(nameOf(w) + " hides " + std::to_string(hidden) + " px the screen has room for");
        }
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            const auto* tool = qobject_cast<QToolButton*>(button);
            const auto* push = qobject_cast<QPushButton*>(button);
            const bool text = !button->text().isEmpty() && (!tool || tool->toolButtonStyle() != Qt::ToolButtonIconOnly);
            if (text && button->sizeHint().width() > button->width())
                found.push_back(nameOf(button) + " is cut");
            // A framed button the style draws (not a paint event of ours) keeps 8 px each side of its icon and text.
            const bool styled = button->metaObject() == &QPushButton::staticMetaObject || button->metaObject() == &QToolButton::staticMetaObject;
            const int ink = button->fontMetrics().horizontalAdvance(button->text()) + (button->icon().isNull() ? 0 : button->iconSize().width());
            if (text && styled && ((push && !push->isFlat()) || (tool && !tool->autoRaise())) && button->width() - ink < 16)
                found.push_back(nameOf(button) + " has its text against its frame");
            if (button->isEnabled() && !standsOut(button->icon(), button->iconSize(), ground(picture, inWindow)))
                found.push_back(nameOf(button) + " icon hardly visible");
            if (!button->icon().isNull() && !drawsIcon(button))
                found.push_back(nameOf(button) + " does not draw its icon");
        }
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w)
                             || qobject_cast<QAbstractSlider*>(w) || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QAbstractScrollArea*>(w);
        if (dark && control && luminance(ground(picture, inWindow)) > 0.3)
            found.push_back(nameOf(w) + " drawn light on a dark window");
        // A line between the parts of a dark window is faint; a plain one takes the near-white of its text.
        if (auto* frame = qobject_cast<QFrame*>(w);
            dark && frame && (frame->frameShape() == QFrame::HLine || frame->frameShape() == QFrame::VLine)) {
            const QColor behind = ground(picture, inWindow.adjusted(-4, -4, 4, 4));
            double strongest = 1;
            for (int y = inWindow.top(); y <= inWindow.bottom(); ++y)
                for (int x = inWindow.left(); x <= inWindow.right(); ++x)
                    if (picture.rect().contains(x, y))
                        strongest = std::max(strongest, contrast(picture.pixelColor(x, y), behind));
            if (strongest > 3)
                found.push_back(nameOf(w) + " glares: a divider at " + std::to_string(strongest).substr(0, 4) + ":1 on a dark window");
        }
    }
    return found;
}

// One state of the program: `enter` opens or changes windows, `leave` closes what must not stay.
// With `menus`, the buttons that open menus are looked at in their other states too.
// Without `pictured`, it shows nothing the gallery does not show already.
struct Scene {
    std::string name;
    std::function<void()> enter, leave = [] {};
    bool menus = false;
    bool pictured = true;
};

void settle()
{
    for (int turn = 0; turn < 3; ++turn) // the queued refreshes, then the layouts they ask for
        QCoreApplication::processEvents();
}

class WindowAudit : public AuditedShell {
protected:
    // Each window of the scene as it opens, then (when it can shrink) at its minimum size.
    void check(const std::vector<Scene>& scenes)
    {
        for (const Scene& scene : scenes) {
            scene.enter();
            for (QWidget* w : shownWindows()) // shown, grown to what it needs, framed by the window manager when it frames it
                ASSERT_TRUE(QTest::qWaitForWindowExposed(w) && QTest::qWaitFor([w] {
                    return w->size() == w->size().expandedTo(w->minimumSize())
                           && (w->windowType() != Qt::Window || (w->windowFlags() & Qt::FramelessWindowHint) || w->frameGeometry() != w->geometry());
                })) << scene.name << " " << nameOf(w);
            settle();
            if (scene.pictured)
                picture(scene.name);
            openTipsAndContextMenus(scene.name, &WindowAudit::expectDarkFromDark);
            for (QWidget* w : shownWindows()) {
                expectNoFault(w, scene.name);
                if (w->windowType() != Qt::Window || w->minimumSize() == w->maximumSize())
                    continue;
                const QSize normal = w->size(), least = w->minimumSize().expandedTo(w->minimumSizeHint());
                w->resize(least); // a narrower window may need to be taller
                EXPECT_TRUE(QTest::qWaitFor([&] { return w->width() == least.width() && w->height() == w->minimumHeight(); }));
                expectNoFault(w, scene.name + " at its minimum size");
                w->resize(normal);
            }
            if (scene.menus)
                checkMenuButtons(scene.name);
            scene.leave();
        }
    }

    // Each enabled button that opens a menu: under the pointer, with its menu open (pressed), after
    // the menu closed with the pointer still on it, and after the pointer left.
    void checkMenuButtons(const std::string& scene)
    {
        const std::map<QString, std::string> slugs{{"Добавить снимок", "add"},
                                                   {"Папка сохранения снимков", "save-folder"},
                                                   {"Расположение панели инструментов", "orientation"}};
        for (QWidget* window : shownWindows())
            for (QToolButton* button : window->findChildren<QToolButton*>()) {
                if (!button->menu() || !button->isVisible() || !button->isEnabled())
                    continue;
                const std::string name = scene + ", " + nameOf(button);
                const auto slug = slugs.find(button->accessibleName());
                auto show = [&](const char* state) { // a picture of each button, the first time it is seen
                    static std::set<std::string> shown;
                    if (slug != slugs.end() && shown.insert(state + slug->second).second)
                        picture(scene + "-" + state + "-" + slug->second);
                };
                // The pointer is moved for real (the small screen's server has no XTEST; a warp needs none).
                QCursor::setPos(button->mapToGlobal(button->rect().center()));
                ASSERT_TRUE(QTest::qWaitFor([&] { return button->underMouse(); })) << name;
                settle();
                show("hover");
                expectNoFault(window, name + " under the pointer");

                // The menu runs a loop of its own: it is looked at and closed from inside that loop.
                bool seen = false;
                QTimer look;
                look.setInterval(50);
                QObject::connect(&look, &QTimer::timeout, [&] {
                    if (!button->menu()->isVisible())
                        return;
                    look.stop();
                    settle();
                    show("open");
                    expectNoFault(window, name + " with its menu open");
                    button->menu()->hide();
                    seen = true;
                });
                look.start();
                QTest::mouseClick(button, Qt::LeftButton);
                EXPECT_TRUE(QTest::qWaitFor([&] { return seen && !button->menu()->isVisible(); })) << name;
                look.stop();
                settle();
                expectNoFault(window, name + " after its menu closed");
                QCursor::setPos(window->mapToGlobal(QPoint(window->width() / 2, window->height() / 2)));
                EXPECT_TRUE(QTest::qWaitFor([&] { return !button->underMouse(); })) << name;
                settle();
                expectNoFault(window, name + " after the pointer left");
            }
    }

    // A menu is looked at whole; a tip opened from a dark surface is dark too.
    static void expectDarkFromDark(QWidget* shown, QWidget* opener, const std::string& name)
    {
        if (shown->windowType() != Qt::ToolTip)
            return expectNoFault(shown, name);
        const QImage tip = shown->grab().toImage();
        if (opener && onDarkSurface(opener) && luminance(ground(tip, tip.rect())) >= 0.1)
            ADD_FAILURE() << name << ": light, opened from a dark surface";
    }

    // The window manager answers moves and resizes late: a fault counts when it lasts.
    static void expectNoFault(QWidget* w, const std::string& scene)
    {
        std::vector<std::string> faults;
        if (!QTest::qWaitFor([&] { return (faults = audit(w)).empty(); }, 1000))
            for (const std::string& fault : faults)
                ADD_FAILURE() << scene << ", " << nameOf(w) << ": " << fault;
    }

    // The windows as they draw themselves (the screen may not show a new one yet), popups over windows.
    static void picture(const std::string& name)
    {
        if (qEnvironmentVariableIntValue("TARNWICK_DOCS_PICTURES") != 1 || QGuiApplication::primaryScreen()->size() != QSize(1280, 720))
            return;
        QList<QWidget*> windows = shownWindows();
        // Stacked as the window manager stacks them: windows, the panel and the popovers, questions,
        // then menus and lists (the application lists its windows in no order).
        const auto layer = [](const QWidget* w) {
            switch (w->windowType()) {
            case Qt::Window: return 0;
            case Qt::Tool: return 1;
            case Qt::Dialog:
            case Qt::Sheet: return 2;
            default: return 3;
            }
        };
        std::ranges::stable_sort(windows, {}, layer);
        const QRect shown = std::accumulate(windows.begin(), windows.end(), QRect(), [](QRect r, QWidget* w) { return r | w->geometry(); });
        QImage canvas(shown.size(), QImage::Format_RGB32);
        canvas.fill(Qt::black);
        QPainter painter(&canvas);
        for (QWidget* w : windows)
            painter.drawPixmap(w->geometry().topLeft() - shown.topLeft(), w->grab());
        QDir().mkpath(TARNWICK_DOCS "/gallery");
        // Flat colours: a palette keeps the file small. It holds the picture's commonest colours,
        // so that a faint fill (a button under the pointer) keeps its own shade.
        std::map<QRgb, int> counts;
        for (int y = 0; y < canvas.height(); ++y)
            for (int x = 0; x < canvas.width(); ++x)
                ++counts[canvas.pixel(x, y)];
        std::vector<std::pair<int, QRgb>> common;
        for (auto [colour, count] : counts)
            common.emplace_back(-count, colour);
        std::ranges::sort(common);
        QList<QRgb> palette;
        for (std::size_t i = 0; i < std::min<std::size_t>(256, common.size()); ++i)
            palette.push_back(common[i].second);
        canvas.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither | Qt::AvoidDither)
            .save(QStringLiteral(TARNWICK_DOCS "/gallery/%1.png").arg(QString::fromStdString(name)), "PNG", 0);
    }
};

TEST_F(WindowAudit, PanelEditorAndHelpWindows)
{
    AppModel& model = shell->model();
    FloatingPanelView& panel = shell->panel()->view();
    QMenu* menu = panel.findChild<QMenu*>();
    auto shot = [](int hue) {
        QImage image(800, 500, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor::fromHsv(hue, 120, 200));
        return Screenshot::make(image, 1);
    };
    auto shots = [&](int count) {
        model.clear(false);
        for (int i = 0; i < count; ++i)
            model.save(shot(i * 13), {}, false);
    };
    auto close = [](const char* type) { std::ranges::for_each(shownWindows(), [&](QWidget* w) { w->setHidden(w->inherits(type)); }); };
    auto state = [&]() -> EditorState& { return shell->editor()->state(); };
    auto toolbar = [&] { return shell->editor()->view().floatingToolbar(); };
    TextFontControls* fonts = nullptr;
    // An element of the shot, for the forms that change one.
    auto added = [&](AnnotationTool kind) {
        Annotation element = freshAnnotation(kind, {80, 80});
        element.text = QStringLiteral("Надпись");
        state().add(element, false);
        return std::optional(element.id);
    };
    std::vector<Scene> scenes{
        {"permissions", [&] { shell->showPermissionSetup(); }, [&] { close("tarnwick::PermissionSetupView"); }},
        {"shortcut-guide", [&] { shell->showShortcutGuide(); }, [&] { close("tarnwick::ShortcutGuideView"); }},
        {"panel", [&] { shell->showPanel(); }, [] {}, true},
        {"panel-menu", [&] { menu->popup(panel.mapToGlobal(QPoint())); }, [&] { menu->hide(); }},
        {"panel-long-status", [&] { model.setStatus("Снимок сохранён: Tarnwick 2026-12-07 02.08.18 80498670.png"); }},
        {"panel-three-shots", [&] { shots(3); }},
        {"panel-busy", [&] { model.setBusy(true); }, [&] { model.setBusy(false); }},
        {"panel-full", [&] { shots(AppModel::maximumShots); }},
        {"clear-question", [&] { model.setConfirmClear(true); }, [&] { panel.findChild<QMessageBox*>()->reject(); }},
        {"editor", [&] { shots(0); shell->panel()->hide(); shell->openEditor(shot(210), "A"); }, [] {}, true},
    };
    for (AnnotationTool tool : allCases<AnnotationTool>())
        scenes.push_back({"editor-details-" + rawString(tool).toStdString(), [&, tool] {
            state().setTool(tool);
            QCoreApplication::processEvents();
            if (QToolButton* details = toolbar()->controls()->settingsButton(); details->isEnabled())
                details->click();
        }, [&] { toolbar()->controls()->detailsPopover()->hide(); }});
    scenes.insert(scenes.end(), {
        {"editor-orientation-menu", [&] { toolbar()->orientationMenu()->popup(toolbar()->orientationButton()->mapToGlobal(QPoint())); },
         [&] { toolbar()->orientationMenu()->hide(); }},
        {"editor-vertical-toolbar", [&] { shell->editor()->view().setVerticalToolbar(true); }, [] {}, true},
        {"editor-vertical-notice", [&] { state().setTool(AnnotationTool::select); state().style().setPickingColor(true); },
         [&] { state().style().setPickingColor(false); }},
        {"editor-image-layer", [&] { // the option strip with the mirror button, beside the horizontal bar
            shell->editor()->view().setVerticalToolbar(false);
            QImage layer(240, 160, QImage::Format_ARGB32_Premultiplied);
            layer.fill(QColor(230, 140, 60));
            state().images().add({layer});
        }, [&] { state().undo(); shell->editor()->view().setVerticalToolbar(true); }},
        {"editor-details-list", [&] {
            state().setTool(AnnotationTool::arrow);
            QCoreApplication::processEvents();
            toolbar()->controls()->settingsButton()->click();
            settle();
            for (QComboBox* combo : toolbar()->controls()->detailsPopover()->findChildren<QComboBox*>())
                if (combo->isVisible())
                    return combo->showPopup();
            ADD_FAILURE() << "no drop-down in the details of the arrow";
        }, [&] {
            for (QComboBox* combo : toolbar()->controls()->detailsPopover()->findChildren<QComboBox*>())
                combo->hidePopup();
            toolbar()->controls()->detailsPopover()->hide();
        }},
        {"editor-readout-menu", [&] { shell->editor()->view().header()->findChild<ColorFormatButton*>()->click(); },
         [&] { close("QMenu"); }},
        {"editor-comment", [&] { state().comment().request({40, 40}, std::nullopt); },
         [&] { shell->editor()->view().commentSheet()->close(); }},
        {"editor-comment-edit", [&] { state().comment().request({60, 60}, added(AnnotationTool::comment)); },
         [&] { shell->editor()->view().commentSheet()->close(); }},
        {"editor-text", [&] { state().text().request({40, 40}, std::nullopt); }},
        {"editor-font-picker", [&] {
            for (QWidget* w : shownWindows())
                fonts = fonts ? fonts : w->findChild<TextFontControls*>();
            fonts->setChoosingFont(true);
            EXPECT_TRUE(QTest::qWaitFor([&] { return fonts->picker()->search()->hasFocus(); })) << "typing starts the search";
        }, [&] { fonts->setChoosingFont(false); state().text().setOpen(false); }},
        {"editor-text-edit", [&] { state().text().request({80, 80}, added(AnnotationTool::text)); }},
    });
    check(scenes);
}

TEST_F(WindowAudit, RecordingAndScrollingWindows)
{
    for (QWidget* w : shownWindows()) // the panel, and the permission window a server without RECORD opens at launch
        w->hide();
    const QString video = dir.filePath("recording.mp4");
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=640x360:rate=30:duration=2", "-c:v", "libx264", video});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
    recording::ScreenRecordingController controller(&settings, [] { return true; });
    recording::RecordingUIModel& model = controller.model();
    recording::RecordingReview& review = controller.review();
    review::VideoBlurRegion lost; // tracked, with a lost interval not yet accepted
    lost.setInterval(0, 2);
    std::tie(lost.keys, lost.gaps, lost.tracked) = std::tuple(std::vector{review::VideoBlurKey{0, {0.2, 0.2, 0.3, 0.3}, true}}, std::vector{review::VideoBlurGap{0.5, 1.5}}, true);
    ScrollingCaptureModel scrolling;
    ScrollingCaptureControlView scroll(scrolling);
    check({
        {"recording-setup", [&] { controller.present(); }},
        {"recording-setup-error", [&] { model.setMessage("Запись не началась: сервер X не ответил на запрос захвата экрана. Проверьте доступ к записи экрана и попробуйте ещё раз."); },
         [&] { model.setMessage(std::nullopt); }},
        {"recording-review", [&] {
             model.setOutputSize({640, 360}), model.setTrim({2, 0, 2}), model.setVideoSource(video), review.player().setSource(video);
             model.setPhase(recording::RecordingPhase::review), model.setBlurRegions({lost}), model.setSelectedBlurID(lost.id);
             controller.window()->resizeForReview(); // as the end of a recording does
         }},
        {"recording-review-popups", [&] {
             // The time typed after a double click on the start's: its field's menu and tips.
             auto* timeline = controller.window()->findChild<RecordingTimelineView*>();
             ASSERT_TRUE(timeline);
             QTest::mouseDClick(timeline, Qt::LeftButton, {}, timeline->label(RecordingTimelineView::Target::start).center().toPoint());
             ASSERT_TRUE(QTest::qWaitFor([&] { return timeline->editor() && timeline->editor()->isVisible(); }));
             openTipsAndContextMenus("recording-time-editor", &WindowAudit::expectDarkFromDark);
             timeline->editor()->close();
             // The window's close button, the recording not saved.
             EXPECT_TRUE(lookInside([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
                                    [&] { model.discardAction(); },
                                    [](QWidget* box) {
                                        settle();
                                        expectNoFault(box, "recording-discard-question");
                                    })) << "no question before the recording is dropped";
         }, [&] { controller.window()->hide(); }, false, false},
        {"scrolling-controls", [&] {
             scrolling.setMessage("Для прокрутки выберите область высотой хотя бы 32 пикселя."), scroll.show();
         }},
    });
}

} // namespace

namespace {

// The text panel and the comment sheet are titled and closable windows, nothing more: openbox
// offers no minimize or maximize for them.
TEST_F(WindowAudit, TextPanelAndCommentSheetOnlyClose)
{
    test::X11Client x;
    QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::darkCyan);
    shell->openEditor(Screenshot::make(image, 1), "A");
    EditorState& state = shell->editor()->state();
    const struct {
        const char* name;
        std::function<void()> open, close;
        std::function<QWidget*()> window;
    } windows[] = {
        {"text panel", [&] { state.text().request({40, 40}, std::nullopt); }, [&] { state.text().setOpen(false); },
         [] {
             for (QWidget* w : shownWindows())
                 if (w->inherits("tarnwick::TextEditorPanel"))
                     return w;
             return static_cast<QWidget*>(nullptr);
         }},
        {"comment sheet", [&] { state.comment().request({40, 40}, std::nullopt); }, [&] { state.comment().setOpen(false); },
         [&]() -> QWidget* {
             QWidget* sheet = shell->editor()->view().commentSheet();
             return sheet->isVisible() ? sheet : nullptr;
         }},
    };
    for (const auto& w : windows) {
        w.open();
        QStringList actions;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            QWidget* shown = w.window();
            return shown && !(actions = x.atomNames(std::uint32_t(shown->winId()), "_NET_WM_ALLOWED_ACTIONS")).isEmpty();
        }, 5000)) << w.name;
        EXPECT_TRUE(actions.contains("_NET_WM_ACTION_CLOSE")) << w.name;
        for (const char* action : {"_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT"})
            EXPECT_FALSE(actions.contains(action)) << w.name << " offers " << action;
        w.close();
        QTest::qWait(100);
    }
}

} // namespace
