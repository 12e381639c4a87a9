#include "panels/FileDialogs.h"

#include <QDateTime>
#include <QFileIconProvider>
#include <QGridLayout>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QTreeView>

namespace tarnwick {
namespace {

// Qt's Russian catalogue lacks the folder type of the file list.
class RussianFileTypes final : public QFileIconProvider {
public:
    QString type(const QFileInfo& info) const override
    {
        return info.isDir() && !info.isRoot() ? QStringLiteral("Папка") : QFileIconProvider::type(info);
    }
};

// A file's size as the interface writes it: Russian units ("3,00 МБ"); Qt's Russian data has
// none for the binary prefixes ("МиБ").
QString fileSize(qint64 bytes) { return QLocale().formattedDataSize(bytes, 2, QLocale::DataSizeTraditionalFormat); }

// Qt's file list writes sizes and dates in the system's locale; the interface's is Russian
// (Qt's default locale), so those two columns are written again in it.
class FileColumnsInDefaultLocale final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files || (index.column() != 1 && index.column() != 3))
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        if (index.column() == 3)
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        return files->isDir(source) ? QIdentityProxyModel::data(index, role) : QVariant(fileSize(files->size(source)));
    }
};

} // namespace

void fitQtFileDialog(QFileDialog& dialog)
{
    // A native dialog has no layout of ours.
    if (!qobject_cast<QGridLayout*>(dialog.layout()))
        return;
    static RussianFileTypes types;
    dialog.setIconProvider(&types);
    dialog.setProxyModel(new FileColumnsInDefaultLocale(&dialog));
    dialog.resize(dialog.size().expandedTo(QSize(860, 520)));
    auto* tree = dialog.findChild<QTreeView*>();
    if (!tree || tree->header()->count() < 4)
        return;
    // At Qt's default widths the size column shows "30....KiB" and the date "7 Dec ...".
    const QFontMetrics metrics(tree->font());
    const QLocale locale;
    const int padding = 3 * metrics.averageCharWidth();
    const QDateTime late(QDate(2000, 12, 28), QTime(23, 58));
    tree->header()->resizeSection(1, metrics.horizontalAdvance(fileSize(1023 << 20)) + padding);
    tree->header()->resizeSection(2, metrics.horizontalAdvance(QStringLiteral("Изображение JPEG")) + padding);
    tree->header()->resizeSection(3, metrics.horizontalAdvance(locale.toString(late, QLocale::ShortFormat)) + padding);
}

QStringList runFileDialog(QWidget* parent, const QString& title, const QString& filter, QFileDialog::FileMode mode,
                          QFileDialog::AcceptMode accept, const QString& start)
{
    QFileDialog dialog(parent, title, start, filter);
    dialog.setFileMode(mode);
    dialog.setAcceptMode(accept);
    fitQtFileDialog(dialog);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

QFileDialog* makeFolderDialog(QWidget* parent, const QString& title, const QString& instruction,
                              const QString& acceptText, const QString& start)
{
    auto* dialog = new QFileDialog(parent, title, start);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, acceptText);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
        auto* label = new QLabel(instruction, dialog);
        label->setObjectName(QStringLiteral("instruction"));
        label->setWordWrap(true);
        grid->addWidget(label, grid->rowCount(), 0, 1, grid->columnCount());
    }
    fitQtFileDialog(*dialog);
    return dialog;
}

} // namespace tarnwick
