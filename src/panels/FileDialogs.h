#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>

namespace tarnwick {

// File dialogs: the desktop's own where its platform theme offers one, Qt's
// otherwise. Titles stay short (window managers cut long ones).

// Qt's widget dialog made wide enough for its name, size, type and date
// columns; a native dialog is left as it is.
void fitQtFileDialog(QFileDialog& dialog);

// Runs a modal file dialog, fitted as above: the chosen paths, none on cancel.
QStringList runFileDialog(QWidget* parent, const QString& title, const QString& filter, QFileDialog::FileMode mode,
                          QFileDialog::AcceptMode accept, const QString& start = {});

// A folder chooser; `instruction` is shown as a line of text inside Qt's
// dialog. The caller owns the result; GUI thread.
QFileDialog* makeFolderDialog(QWidget* parent, const QString& title, const QString& instruction,
                              const QString& acceptText, const QString& start);

} // namespace tarnwick
