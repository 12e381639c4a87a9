#pragma once

#include <QHash>
#include <QUuid>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace tarnwick {

class EditorCommentRow;
class EditorState;

// The side column listing the shot's numbered comments in the order the series
// text numbers them: select, edit or delete one, or start a new one. Every action
// goes to the model; rows are kept per comment and only their difference applied.
class EditorCommentsPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 264;

    // `close` hides the panel (the root view's flag).
    EditorCommentsPanel(EditorState& state, std::function<void()> close, QWidget* parent = nullptr);

    void refresh();

    QList<EditorCommentRow*> rows() const;
    QToolButton* closeButton() const { return close_; }
    QPushButton* addButton() const { return add_; }
    QLabel* countLabel() const { return count_; }
    QWidget* emptyState() const { return empty_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void addComment();

    EditorState& state_;
    std::function<void()> closePanel_;
    QLabel* count_;
    QToolButton* close_;
    QWidget* empty_;
    QVBoxLayout* list_;
    QPushButton* add_;
    QHash<QUuid, EditorCommentRow*> rows_;
    QList<QUuid> order_;
};

// One comment: its badge, edit and delete buttons and its text.
class EditorCommentRow : public QWidget {
    Q_OBJECT
public:
    EditorCommentRow(EditorState& state, const QUuid& id, QWidget* parent);

    void display(const QString& badge, const QString& text, bool selected);
    const QUuid& id() const { return id_; }
    QString badge() const;
    QString text() const;
    bool selected() const { return selected_; }
    QToolButton* editButton() const { return edit_; }
    QToolButton* deleteButton() const { return delete_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    EditorState& state_;
    QUuid id_;
    QLabel* badge_;
    QLabel* text_;
    QToolButton* edit_;
    QToolButton* delete_;
    bool selected_ = false;
};

} // namespace tarnwick
