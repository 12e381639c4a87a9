#include "editor/tools/TextEditorPresenter.h"

#include "editor/model/EditorState.h"
#include "editor/tools/TextEditorView.h"
#include "platform/CloseOnlyFrame.h"
#include "platform/RoomScrollArea.h"
#include "platform/WindowPlacement.h"

#include <QCloseEvent>
#include <QEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwick {

TextPanelStep textPanelStep(bool showText, bool hasParent, bool panelExists, bool panelVisible, bool pickingColor)
{
    if (!showText)
        return panelExists ? TextPanelStep::dismiss : TextPanelStep::nothing;
    if (!hasParent)
        return TextPanelStep::nothing;
    if (!panelExists)
        return TextPanelStep::create;
    if (pickingColor && panelVisible)
        return TextPanelStep::hide;
    if (!pickingColor && !panelVisible)
        return TextPanelStep::show;
    return TextPanelStep::nothing;
}

TextEditorPanel::TextEditorPanel(EditorState& state, QWidget* parent)
    : QWidget(parent, textPanelFlags), form_(new TextEditorView(state, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // On a low screen the form scrolls, its buttons with it.
    layout->addWidget(new platform::RoomScrollArea(form_));
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor::fromRgbF(0.1f, 0.1f, 0.1f));
    setPalette(p);
    setAutoFillBackground(true);
    platform::WindowPlacement& placement = platform::WindowPlacement::of(*this);
    placement.setPlace(platform::WindowPlacement::Place::besideParent(textPanelInset));
    placement.ask(QSize(form_->width(), std::max(form_->sizeHint().height(), 400)));
    // Created, not asked for winId(), which would make every sibling under the editor window
    // native as well.
    create();
    platform::frameWithCloseOnly(std::uint32_t(internalWinId()));
}

void TextEditorPanel::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (!dismissing_)
        emit closedByUser();
}

TextEditorPresenter::TextEditorPresenter(EditorState& state, QObject* parent) : QObject(parent), state_(state)
{
    connect(&state_, &EditorState::changed, this, &TextEditorPresenter::refresh);
}

TextEditorPresenter::~TextEditorPresenter() { dismiss(); }

void TextEditorPresenter::setParentWindow(QWidget* window)
{
    if (parentWindow_)
        parentWindow_->removeEventFilter(this);
    parentWindow_ = window;
    if (window) {
        parentOrigin_ = window->pos();
        window->installEventFilter(this);
    }
    refresh();
}

bool TextEditorPresenter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Move && watched == parentWindow_) {
        const QPoint origin = parentWindow_->pos();
        if (panel_)
            panel_->move(panel_->pos() + origin - parentOrigin_);
        parentOrigin_ = origin;
    }
    return QObject::eventFilter(watched, event);
}

void TextEditorPresenter::setCanvas(QWidget* canvas) { canvas_ = canvas; }

void TextEditorPresenter::refresh()
{
    const bool visible = panel_ && panel_->isVisible();
    const TextPanelStep step = textPanelStep(state_.text().isOpen(), parentWindow_ != nullptr, panel_ != nullptr,
                                             visible, state_.style().pickingColor());
    if (panel_ && step != TextPanelStep::dismiss)
        panel_->setWindowTitle(state_.text().editingID() ? QStringLiteral("Изменить текст")
                                                         : QStringLiteral("Текст на снимке"));
    switch (step) {
    case TextPanelStep::nothing:
        break;
    case TextPanelStep::dismiss:
        dismiss();
        break;
    case TextPanelStep::create:
        create();
        break;
    case TextPanelStep::hide:
        panel_->form().closeFontList();
        panel_->hide();
        parentWindow_->activateWindow();
        if (canvas_)
            canvas_->setFocus(Qt::OtherFocusReason);
        break;
    case TextPanelStep::show:
        panel_->show();
        panel_->raise();
        panel_->activateWindow();
        break;
    }
}

void TextEditorPresenter::create()
{
    auto* panel = new TextEditorPanel(state_, parentWindow_);
    panel->setWindowTitle(state_.text().editingID() ? QStringLiteral("Изменить текст")
                                                    : QStringLiteral("Текст на снимке"));
    if (customColorSlot)
        if (QWidget* slot = customColorSlot(state_, &panel->form()))
            panel->form().setCustomColorSlot(slot);
    connect(panel, &TextEditorPanel::closedByUser, this, &TextEditorPresenter::closedByUser);
    panel_ = panel;
    panel->show();
    panel->raise();
    panel->activateWindow();
}

void TextEditorPresenter::dismiss()
{
    TextEditorPanel* panel = panel_;
    if (!panel)
        return;
    panel_ = nullptr;
    panel->dismissing_ = true;
    // Its font list first: a popup closed with its window takes Qt's active window along, and
    // the editor behind would get the X focus without the keys.
    panel->form().closeFontList();
    QWidget* parent = panel->parentWidget();
    panel->close();
    panel->deleteLater();
    if (parent)
        parent->activateWindow();
}

void TextEditorPresenter::closedByUser()
{
    TextEditorPanel* panel = panel_;
    if (!panel)
        return;
    panel_ = nullptr;
    panel->deleteLater();
    state_.text().setOpen(false);
}

} // namespace tarnwick
