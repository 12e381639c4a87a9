#pragma once

#include <QWidget>
#include <array>

class QAbstractButton;
class QLabel;
class QScrollArea;
class QStackedWidget;

namespace tarnwick {

class ShortcutGuideRow;

// The shortcut guide: a sidebar of contexts and the cards of the chosen one.
// Every section's cards are built once; choosing a section shows its list from the top.
class ShortcutGuideView : public QWidget {
    Q_OBJECT
public:
    explicit ShortcutGuideView(QWidget* parent = nullptr);

    int selectedSection() const { return selected_; }
    void selectSection(int index);

    QAbstractButton* sectionButton(int index) const;
    QLabel* sectionTitle() const { return title_; }
    QLabel* commandCount() const { return count_; }
    QLabel* legend() const { return legend_; }
    QList<ShortcutGuideRow*> rows(int section) const;
    QScrollArea* page(int section) const;

private:
    int selected_ = 0;
    QStringList titles_;
    QList<QAbstractButton*> buttons_;
    QLabel* title_;
    QLabel* count_;
    QLabel* legend_;
    QStackedWidget* pages_;
};

} // namespace tarnwick
