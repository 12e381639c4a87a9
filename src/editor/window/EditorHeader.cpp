#include "editor/window/EditorHeader.h"

#include "editor/model/EditorState.h"
#include "editor/window/EditorChrome.h"
#include "editor/window/EditorSaveControls.h"
#include "panels/PanelDragRegion.h"
#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/KeyNames.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolButton>

namespace tarnwick {
namespace {

const QColor ink = QColor::fromRgbF(0.94f, 0.94f, 0.94f);

QToolButton* symbolButton(const char16_t* symbol, QSize size, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setIcon(platform::symbolIcon(QStringView(symbol), ink));
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setFixedSize(size);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

template <typename Run>
void call(const Run& run)
{
    if (run)
        run();
}

} // namespace

EditorHeader::EditorHeader(EditorState& state, AppModel* exportModel, EditorHeaderActions actions, QWidget* parent)
    : QWidget(parent), state_(state), actions_(std::move(actions)), row_(new QHBoxLayout(this))
{
    setFixedHeight(height);
    setFont(Theme::font(12));
    // The window manager's title bar stays, so no room is kept for window buttons.
    row_->setContentsMargins(15, 0, 15, 1);
    row_->setSpacing(9);

    add_ = symbolButton(u"image-plus", QSize(25, 28), this);
    add_->setToolTip(QStringLiteral("Добавить снимок или изображение"));
    add_->setAccessibleName(QStringLiteral("Добавить снимок"));
    add_->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(add_);
    connect(menu->addAction(QStringLiteral("Снять область экрана…")), &QAction::triggered, this, [this] {
        if (actions_.onAddScreenshot)
            actions_.onAddScreenshot(ScreenCaptureMode::area);
    });
    connect(menu->addAction(QStringLiteral("Снять окно…")), &QAction::triggered, this, [this] {
        if (actions_.onAddScreenshot)
            actions_.onAddScreenshot(ScreenCaptureMode::window);
    });
    paste_ = menu->addAction(platform::keyText(u"Вставить изображение · ⌘V"));
    connect(paste_, &QAction::triggered, this,
            [this] { state_.images().paste(QGuiApplication::clipboard()->mimeData()); });
    connect(menu->addAction(QStringLiteral("Выбрать файл…")), &QAction::triggered, this, [this] { call(actions_.onImportImage); });
    add_->setMenu(menu);

    auto* separator = new QWidget(this);
    separator->setFixedSize(1, 18);
    separator->setAutoFillBackground(true);
    QPalette line = separator->palette();
    line.setColor(QPalette::Window, QColor::fromRgbF(1, 1, 1, 0.15f));
    separator->setPalette(line);

    undo_ = symbolButton(u"undo-2", QSize(26, 28), this);
    undo_->setToolTip(platform::keyText(u"Отменить · ⌘Z"));
    undo_->setAccessibleName(QStringLiteral("Отменить действие"));
    connect(undo_, &QToolButton::clicked, this, [this] { state_.undo(); });
    redo_ = symbolButton(u"redo-2", QSize(26, 28), this);
    redo_->setToolTip(platform::keyText(u"Повторить · ⌘⇧Z"));
    redo_->setAccessibleName(QStringLiteral("Повторить действие"));
    connect(redo_, &QToolButton::clicked, this, [this] { state_.redo(); });

    readOutSlot_ = new QHBoxLayout;
    readOutSlot_->setContentsMargins(0, 0, 0, 0);

    copy_ = new QToolButton(this);
    copy_->setIconSize(QSize(14, 14));
    copy_->setFocusPolicy(Qt::NoFocus);
    copy_->setToolTip(platform::keyText(u"Скопировать без маркировки, оставив редактор открытым. ⌘C — скопировать и закрыть."));
    copy_->setAccessibleName(QStringLiteral("Скопировать без маркировки"));
    connect(copy_, &QToolButton::clicked, this, [this] { call(actions_.onCopyWithoutMarkers); });

    saveControls_ = new EditorSaveControls(
        exportModel, [this] { call(actions_.onSaveWithoutMarkers); }, [this] { call(actions_.onChooseSaveDirectory); }, this);

    cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
    cancel_->setFlat(true);
    cancel_->setFocusPolicy(Qt::NoFocus);
    connect(cancel_, &QPushButton::clicked, this, [this] { call(actions_.onCancel); });

    save_ = new PrimaryButton(QStringLiteral("В серию"), this);
    save_->setIcon(platform::symbolIcon(u"check", Qt::white));
    save_->setIconSize(QSize(14, 14));
    save_->setFocusPolicy(Qt::NoFocus);
    connect(save_, &QPushButton::clicked, this, [this] { call(actions_.onSave); });

    row_->addWidget(add_);
    row_->addSpacing(2);
    row_->addWidget(separator);
    row_->addSpacing(2);
    row_->addWidget(undo_);
    row_->addWidget(redo_);
    // The empty middle moves the window, as the title bar does.
    auto* drag = new PanelDragRegion(this);
    drag->setMinimumWidth(8);
    drag->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    drag->setToolTip(QStringLiteral("Перетащите, чтобы переместить окно"));
    row_->addWidget(drag, 1);
    row_->addLayout(readOutSlot_);
    row_->addWidget(copy_);
    row_->addWidget(saveControls_);
    row_->addWidget(cancel_);
    row_->addWidget(save_);

    updateCopyLabel();
    refresh();
}

void EditorHeader::setColorReadOut(QWidget* readOut)
{
    while (QLayoutItem* item = readOutSlot_->takeAt(0))
        delete item;
    if (readOut)
        readOutSlot_->addWidget(readOut);
}

void EditorHeader::refresh()
{
    add_->setEnabled(state_.images().canAdd());
    paste_->setEnabled(state_.images().canAdd());
    undo_->setEnabled(state_.canUndo());
    redo_->setEnabled(state_.canRedo());
    copy_->setEnabled(state_.canExport());
    save_->setEnabled(state_.canExport());
    // Held back by effects that failed (a missing module, an area that cannot be prepared): the
    // button says why, as the notice over the canvas does.
    const std::optional<QString> failure = state_.effects().failed() ? state_.effects().message() : std::nullopt;
    const QString why = !state_.canExport() && failure ? *failure : QString();
    if (save_->toolTip() != why)
        save_->setToolTip(why);
    saveControls_->setCanSave(state_.canExport() && !state_.comment().isOpen());
    saveControls_->setCanChoose(state_.images().canAdd());
    if (copied_ != state_.copiedWithoutMarkers()) {
        copied_ = state_.copiedWithoutMarkers();
        updateCopyLabel();
    }
}

void EditorHeader::updateCopyLabel()
{
    copy_->setIcon(platform::symbolIcon(copied_ ? u"check" : u"copy", ink));
    if (compact_) {
        copy_->setToolButtonStyle(Qt::ToolButtonIconOnly);
        copy_->setText(QString());
        copy_->setFixedSize(23 + 8, 22 + 4);
    } else {
        copy_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        copy_->setText(copied_ ? QStringLiteral("Скопировано") : QStringLiteral("Без маркировки"));
        copy_->setMinimumSize(0, 0);
        copy_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
}

void EditorHeader::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The header's width is the window's; what it shows never changes that width.
    const bool compact = event->size().width() < compactWidth;
    if (compact == compact_)
        return;
    compact_ = compact;
    row_->setSpacing(compact ? 6 : 9);
    updateCopyLabel();
}

void EditorHeader::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), EditorChrome::bar());
    painter.fillRect(QRect(0, height - 1, width(), 1), EditorChrome::border());
}

bool EditorHeader::undo()
{
    if (!isEnabled() || !undo_->isEnabled())
        return false;
    undo_->click();
    return true;
}

bool EditorHeader::redo()
{
    if (!isEnabled() || !redo_->isEnabled())
        return false;
    redo_->click();
    return true;
}

bool EditorHeader::pasteImage()
{
    if (!isEnabled() || !paste_->isEnabled())
        return false;
    paste_->trigger();
    return true;
}

bool EditorHeader::save()
{
    if (!isEnabled() || !save_->isEnabled())
        return false;
    save_->click();
    return true;
}

} // namespace tarnwick
