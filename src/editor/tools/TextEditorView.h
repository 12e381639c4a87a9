#pragma once

#include "series/Annotation.h"

#include <QAbstractButton>
#include <QWidget>
#include <array>

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSlider;

namespace tarnwick {

class EditorState;
class TextFontControls;
class TextPreviewView;

// One colour of the text form: a 20 px disc with a ring when it is the chosen
// colour (a faint one on the black disc otherwise).
class TextSwatch : public QAbstractButton {
    Q_OBJECT
public:
    TextSwatch(int index, QWidget* parent = nullptr);
    void setChosen(bool chosen);
    bool chosen() const { return chosen_; }
    QSize sizeHint() const override { return {26, 26}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int index_;
    bool chosen_ = false;
};

// The form of the text editor: the text, its font, style, size, outline and
// colour, a live preview drawn exactly as the shot will show it, and the
// "Отмена" (Escape) and save (Ctrl+Enter) buttons. Every control is bound to
// the model's text drafts; saving and cancelling go through the model, and the
// panel around the form closes in reaction. GUI thread; the state outlives it.
class TextEditorView : public QWidget {
    Q_OBJECT
public:
    static constexpr int formWidth = 440;

    explicit TextEditorView(EditorState& state, QWidget* parent = nullptr);

    // The element the preview draws: the draft (or "Введите текст") with the chosen
    // colour, size, outline and style, at the origin and without a width limit.
    static Annotation previewAnnotation(const EditorState& state);

    // The colour picker of the palette, placed at the end of the colour row.
    void setCustomColorSlot(QWidget* slot);

    QPlainTextEdit* textField() const { return text_; }
    TextFontControls* fontControls() const { return fontControls_; }
    QSlider* sizeSlider() const { return size_; }
    QLabel* sizeLabel() const { return sizeLabel_; }
    TextPreviewView* preview() const { return preview_; }
    QScrollArea* previewArea() const { return previewArea_; }
    QCheckBox* outline() const { return outline_; }
    TextSwatch* swatch(int index) const { return swatches_[std::size_t(index)]; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }
    void refresh();
    // Closes the font list when it is open; false when it was not.
    bool closeFontList();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void save();

    EditorState& state_;
    QPlainTextEdit* text_;
    TextFontControls* fontControls_;
    QSlider* size_;
    QLabel* sizeLabel_;
    QScrollArea* previewArea_;
    TextPreviewView* preview_;
    QCheckBox* outline_;
    QHBoxLayout* colorRow_;
    std::array<TextSwatch*, 6> swatches_{};
    QPushButton* cancel_;
    QPushButton* save_;
};

} // namespace tarnwick
