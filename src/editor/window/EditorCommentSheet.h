#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tarnwick {

class EditorState;
class PrimaryButton;

// The sheet where a comment's text is written: up exactly while the model's
// `comment().isOpen()` is; Ctrl+Enter saves, Escape cancels.
class EditorCommentSheet : public QDialog {
    Q_OBJECT
public:
    EditorCommentSheet(EditorState& state, QWidget* parent);

    void refresh();

    QPlainTextEdit* editor() const { return editor_; }
    PrimaryButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    void reject() override;

private:
    EditorState& state_;
    QLabel* title_;
    QPlainTextEdit* editor_;
    QPushButton* cancel_;
    PrimaryButton* save_;
};

} // namespace tarnwick
