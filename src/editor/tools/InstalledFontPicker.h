#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QListView;
class QStringListModel;

namespace tarnwick {

class FontRow;

// The installed families as the picker lists them: fontconfig's foundry
// duplicates ("Nimbus Sans [URW]") merged into one name, sorted for people
// (runs of digits by value, case ignored), ties kept in the database's order.
QStringList familyDisplayOrder(const QStringList& databaseFamilies);
// The families whose name holds `query` ignoring case and diacritics; all for an
// empty query. The query is not trimmed.
QStringList filterFamilies(const QStringList& families, const QString& query);

// The searchable list of installed font families with a first row "Системный"
// for the system font (stored as the empty family). A choice writes the family
// through `setFamily` and then calls `onChoose`. The list is read from the font
// folders each time the picker is shown, so fonts installed or removed meanwhile show so.
// GUI thread.
class InstalledFontPicker : public QWidget {
    Q_OBJECT
public:
    InstalledFontPicker(std::function<QString()> family, std::function<void(const QString&)> setFamily,
                        std::function<void()> onChoose, QWidget* parent = nullptr);

    QStringList families() const { return families_; }
    QStringList filteredFamilies() const;
    QLineEdit* search() const { return search_; }
    QListView* list() const { return list_; }
    FontRow* systemRow() const { return systemRow_; }
    QLabel* note() const { return note_; }
    // Reads the installed families again.
    void reload();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void choose(const QString& family);
    void applyFilter();

    std::function<QString()> family_;
    std::function<void(const QString&)> setFamily_;
    std::function<void()> onChoose_;
    QStringList families_;
    QLineEdit* search_;
    FontRow* systemRow_;
    QListView* list_;
    QStringListModel* model_;
    QLabel* empty_;
    QLabel* note_; // why the font folders were not read again
};

} // namespace tarnwick
