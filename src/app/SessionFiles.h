#pragma once

#include <QString>
#include <QStringList>

namespace tarnwick {

// The names of the entries of `folder` (none when it does not exist).
QStringList sessionEntries(const QString& folder);
// Removes every entry of `folder` but those named in `keep`; failures are ignored.
void removeSessionEntries(const QString& folder, const QStringList& keep);

// A fresh path for the picker's output in the private temporary root.
QString newCaptureFile(const QString& temporaryRoot);
// Removes the picker's output files left in the private temporary root.
void removeCaptureFiles(const QString& temporaryRoot);

} // namespace tarnwick
