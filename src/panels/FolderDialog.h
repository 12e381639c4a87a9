#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace tarnwick {

// A folder chooser: the desktop's own dialog where its platform theme offers
// one, Qt's otherwise. The window title stays short (window managers cut long
// ones); `instruction` is shown as a line of text inside Qt's dialog, and the
// widget dialog is wide enough for its name, size and date columns.
// The caller owns the result; GUI thread.
QFileDialog* makeFolderDialog(QWidget* parent, const QString& title, const QString& instruction,
                              const QString& acceptText, const QString& start);

} // namespace tarnwick
