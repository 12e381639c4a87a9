#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>
#include <optional>

namespace tarnwick {

class EditorState;
class TextEditorView;

// What one refresh does to the text editor's panel.
enum class TextPanelStep { nothing, create, hide, show, dismiss };

// The panel's state machine: the panel exists exactly while the model's text
// editor is open and there is a window to attach it to; it steps aside while a
// colour is picked and comes back when picking ends.
TextPanelStep textPanelStep(bool showText, bool hasParent, bool panelExists, bool panelVisible, bool pickingColor);

// Where a new panel opens: its top right corner this far left of the editor's right edge and
// below its top.
inline constexpr QPoint textPanelInset{24, 55};

// The text panel's window: a title bar with the close button only (no minimize or maximize).
inline constexpr Qt::WindowFlags textPanelFlags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// The text editor's own window: titled, closable, moved by its title bar. The
// close button tells the presenter, which closes the model's text editor.
class TextEditorPanel : public QWidget {
    Q_OBJECT
public:
    TextEditorPanel(EditorState& state, QWidget* parent);
    TextEditorView& form() const { return *form_; }

signals:
    void closedByUser();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class TextEditorPresenter;
    TextEditorView* form_;
    bool dismissing_ = false;
};

// Keeps the text editor's panel in line with the model after every change:
// creates it beside the editor window when the text editor opens, hides it while
// a colour is picked (the editor window and its canvas take the keyboard), shows
// it again at the same place, retitles it ("Текст на снимке" or "Изменить
// текст") and closes it when the text editor closes. The editor window sets
// itself and its canvas; a panel is only made while there is a window.
// GUI thread; the state outlives it.
class TextEditorPresenter : public QObject {
    Q_OBJECT
public:
    explicit TextEditorPresenter(EditorState& state, QObject* parent = nullptr);
    ~TextEditorPresenter() override;

    void setParentWindow(QWidget* window);
    void setCanvas(QWidget* canvas);
    // Makes the colour picker of the palette for a new form's colour row.
    std::function<QWidget*(EditorState&, QWidget* parent)> customColorSlot;

    TextEditorPanel* panel() const { return panel_; }
    void refresh();
    // Closes the panel without touching the model.
    void dismiss();

protected:
    // Moves the panel along with the editor window, as a child window would.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void create();
    void closedByUser();

    EditorState& state_;
    QPointer<QWidget> parentWindow_;
    QPointer<QWidget> canvas_;
    QPointer<TextEditorPanel> panel_;
    QPoint parentOrigin_;
};

} // namespace tarnwick
