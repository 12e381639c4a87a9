#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QSettings;

namespace tarnwick {

// The names of the entries of `folder` (none when it does not exist).
QStringList sessionEntries(const QString& folder);
// Removes every entry of `folder` but those named in `keep`; failures are ignored.
void removeSessionEntries(const QString& folder, const QStringList& keep);

// A fresh path for the picker's output in the private temporary root.
QString newCaptureFile(const QString& temporaryRoot);
// Removes the picker's output files left in the private temporary root.
void removeCaptureFiles(const QString& temporaryRoot);

// At start: marks this run in `temporaryRoot` for as long as the process lives. A mark
// that a crashed run left names the clipboard folders it made (those changed since it
// started), which go now. Recordings that a crash left are recovered in the background,
// and `report` receives the sentence for the status line on the GUI thread.
void recoverCrashedRuns(const QString& temporaryRoot, const QString& clipboardFolder, const QSettings* preferences,
                        std::function<void(const QString&)> report);

} // namespace tarnwick
