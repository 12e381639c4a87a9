#include "editor/window/EditorCommentSheet.h"

#include "editor/model/EditorState.h"
#include "panels/Theme.h"
#include "platform/CloseOnlyFrame.h"
#include "platform/Icons.h"
#include "platform/KeyNames.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwick {

EditorCommentSheet::EditorCommentSheet(EditorState& state, QWidget* parent)
    : QDialog(parent, Qt::Sheet | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), state_(state)
{
    setWindowModality(Qt::WindowModal);
    setPalette(Theme::darkPalette());
    setAutoFillBackground(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);

    auto* head = new QHBoxLayout;
    auto* symbol = new QLabel(this);
    symbol->setPixmap(platform::symbolPixmap(u"message-square-text", 18, Theme::accent()));
    head->addWidget(symbol);
    title_ = new QLabel(this);
    title_->setFont(Theme::font(17, QFont::DemiBold));
    head->addWidget(title_, 1);
    column->addLayout(head);

    auto* note = new QLabel(QStringLiteral("На изображении появится номер. Этот текст будет храниться отдельно."), this);
    note->setFont(Theme::font(12));
    note->setWordWrap(true);
    QPalette muted = note->palette();
    muted.setColor(QPalette::WindowText, Theme::muted());
    note->setPalette(muted);
    column->addWidget(note);

    editor_ = new QPlainTextEdit(this);
    editor_->setFont(Theme::font(14));
    editor_->setFixedHeight(120);
    // A style sheet drops the inherited palette's text colour: it is named here with the background.
    editor_->setStyleSheet(
        QStringLiteral("QPlainTextEdit { background: %1; color: %2; border: none; border-radius: 10px; padding: 8px; }")
            .arg(Theme::card().name(), Theme::darkPalette().color(QPalette::Text).name()));
    column->addWidget(editor_);
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        state_.comment().setText(editor_->toPlainText());
        save_->setEnabled(!state_.comment().text().trimmed().isEmpty());
    });

    auto* buttons = new QHBoxLayout;
    auto* hint = new QLabel(platform::keyText(u"⌘↩ — сохранить"), this);
    hint->setFont(Theme::font(11));
    hint->setPalette(muted);
    hint->setMinimumWidth(hint->sizeHint().width());
    buttons->addWidget(hint);
    buttons->addStretch(1);
    cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &EditorCommentSheet::reject);
    buttons->addWidget(cancel_);
    save_ = new PrimaryButton(QStringLiteral("Сохранить"), this);
    save_->setAutoDefault(false);
    connect(save_, &QPushButton::clicked, this, [this] { state_.comment().save(); });
    buttons->addWidget(save_);
    column->addLayout(buttons);

    // The design's width, wider only when the key hint and the buttons need more.
    setFixedWidth(std::max(440, column->totalMinimumSize().width()));

    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | key), this);
        connect(shortcut, &QShortcut::activated, save_, &QPushButton::click);
    }
}

void EditorCommentSheet::refresh()
{
    title_->setText(state_.comment().editingID() ? QStringLiteral("Изменить комментарий")
                                                 : QStringLiteral("Новый комментарий"));
    setWindowTitle(title_->text());
    if (editor_->toPlainText() != state_.comment().text()) {
        const QSignalBlocker quiet(editor_);
        editor_->setPlainText(state_.comment().text());
        editor_->moveCursor(QTextCursor::End);
    }
    save_->setEnabled(!state_.comment().text().trimmed().isEmpty());
    if (state_.comment().isOpen() && !isVisible()) {
        // Created, not asked for winId(): that marks the sheet native, and Qt then turns every
        // sibling under the view into a native child window, where the translucent option strip
        // beside the toolbar no longer shows.
        create();
        platform::frameWithCloseOnly(std::uint32_t(internalWinId()));
        open();
        editor_->setFocus();
    } else if (!state_.comment().isOpen() && isVisible()) {
        hide();
    }
}

void EditorCommentSheet::reject()
{
    state_.comment().setOpen(false);
    QDialog::reject();
}

} // namespace tarnwick
