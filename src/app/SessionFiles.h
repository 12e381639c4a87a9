#pragma once

#include <QString>
#include <functional>

class QSettings;

namespace tarnwick {

// A fresh path for the picker's output in the private temporary root.
QString newCaptureFile(const QString& temporaryRoot);
// Removes the picker's output files left in the private temporary root.
void removeCaptureFiles(const QString& temporaryRoot);

// At start: recordings that a crash left are recovered in the background, and
// `report` receives the sentence for the status line on the GUI thread. Prepared
// series a crashed run made stay, like every other: a chat may still read them.
void recoverCrashedRuns(const QSettings* preferences, std::function<void(const QString&)> report);

} // namespace tarnwick
