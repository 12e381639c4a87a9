#include "editor/tools/InstalledFontPicker.h"

#include "editor/tools/FontRow.h"
#include "editor/tools/InstalledFonts.h"
#include "editor/tools/ToolLook.h"
#include "panels/Theme.h"

#include <QCollator>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwick {
namespace {

// Lower case without combining marks, so "É" matches "e" and "Й" matches "и".
QString folded(const QString& text)
{
    QString out;
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    out.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            out.append(c);
    return out.toCaseFolded();
}

class RowDelegate : public QStyledItemDelegate {
public:
    RowDelegate(std::function<QString()> family, QObject* parent) : QStyledItemDelegate(parent), family_(std::move(family)) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString name = index.data().toString();
        FontRow::paint(*painter, option.rect.adjusted(0, 1, 0, -1), name, name == family_());
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {200, FontRow::rowHeight + 2}; }

private:
    std::function<QString()> family_;
};

} // namespace

QStringList familyDisplayOrder(const QStringList& databaseFamilies)
{
    static const QRegularExpression foundry(QStringLiteral("\\s*\\[[^\\]]*\\]$"));
    QStringList names;
    QSet<QString> seen;
    for (QString name : databaseFamilies) {
        name.remove(foundry);
        if (!name.isEmpty() && !seen.contains(name)) {
            seen.insert(name);
            names.push_back(name);
        }
    }
    // The C locale compares code points and ignores numeric mode; the interface is Russian.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::Russian, QLocale::Russia);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(),
                     [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return names;
}

QStringList filterFamilies(const QStringList& families, const QString& query)
{
    if (query.isEmpty())
        return families;
    const QString wanted = folded(query);
    QStringList out;
    for (const QString& name : families)
        if (folded(name).contains(wanted))
            out.push_back(name);
    return out;
}

InstalledFontPicker::InstalledFontPicker(std::function<QString()> family, std::function<void(const QString&)> setFamily,
                                         std::function<void()> onChoose, QWidget* parent)
    : QWidget(parent), family_(std::move(family)), setFamily_(std::move(setFamily)), onChoose_(std::move(onChoose)),
      search_(new QLineEdit(this)), systemRow_(new FontRow(QStringLiteral("Системный"), this)),
      list_(new QListView(this)), model_(new QStringListModel(this)),
      empty_(toolLook::label(QStringLiteral("Шрифты не найдены"), 12, list_->viewport())),
      note_(toolLook::label(QString(), 12, this))
{
    setPalette(Theme::darkPalette());
    setAutoFillBackground(true);
    setFixedWidth(290);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(10);
    search_->setPlaceholderText(QStringLiteral("Поиск шрифта"));
    search_->setAccessibleName(QStringLiteral("Поиск установленного шрифта"));
    column->addWidget(search_);
    column->addWidget(systemRow_);
    column->addWidget(toolLook::divider(this));
    list_->setModel(model_);
    list_->setItemDelegate(new RowDelegate(family_, list_));
    list_->setUniformItemSizes(true);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setFixedHeight(250);
    list_->viewport()->setAutoFillBackground(false);
    list_->viewport()->setCursor(Qt::PointingHandCursor);
    column->addWidget(list_);
    empty_->move(8, 8);
    empty_->adjustSize();
    QPalette p = empty_->palette();
    p.setColor(QPalette::WindowText, Theme::muted());
    empty_->setPalette(p);
    note_->setPalette(p);
    note_->setWordWrap(true);
    note_->hide();
    column->addWidget(note_);

    connect(search_, &QLineEdit::textChanged, this, &InstalledFontPicker::applyFilter);
    connect(systemRow_, &FontRow::clicked, this, [this] { choose(QString()); });
    connect(list_, &QListView::clicked, this, [this](const QModelIndex& index) { choose(index.data().toString()); });
}

QStringList InstalledFontPicker::filteredFamilies() const { return filterFamilies(families_, search_->text()); }

void InstalledFontPicker::reload()
{
    QString problem;
    families_ = familyDisplayOrder(installedFontFamilies(&problem));
    const bool resized = note_->isHidden() != problem.isEmpty();
    note_->setText(problem);
    note_->setVisible(!problem.isEmpty());
    applyFilter();
    // The popup the list opens in was sized before the list was read.
    if (resized && isVisible())
        window()->adjustSize();
}

void InstalledFontPicker::showEvent(QShowEvent* event)
{
    reload();
    QWidget::showEvent(event);
}

void InstalledFontPicker::applyFilter()
{
    const QStringList shown = filteredFamilies();
    if (model_->stringList() != shown)
        model_->setStringList(shown);
    empty_->setVisible(shown.isEmpty());
    systemRow_->setSelected(family_().isEmpty());
    list_->viewport()->update();
}

void InstalledFontPicker::choose(const QString& family)
{
    setFamily_(family);
    systemRow_->setSelected(family_().isEmpty());
    list_->viewport()->update();
    onChoose_();
}

} // namespace tarnwick
