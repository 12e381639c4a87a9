#include "panels/FolderDialog.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

namespace tarnwick {

QFileDialog* makeFolderDialog(QWidget* parent, const QString& title, const QString& instruction,
                              const QString& acceptText, const QString& start)
{
    auto* dialog = new QFileDialog(parent, title, start);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, acceptText);
    // A native dialog has no layout of ours to add to.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
        auto* label = new QLabel(instruction, dialog);
        label->setObjectName(QStringLiteral("instruction"));
        label->setWordWrap(true);
        grid->addWidget(label, grid->rowCount(), 0, 1, grid->columnCount());
        // At Qt's default width the size column shows "30....".
        dialog->resize(dialog->size().expandedTo(QSize(860, 520)));
    }
    return dialog;
}

} // namespace tarnwick
