#pragma once

#include "platform/EngineModule.h"

#include <QObject>
#include <QString>
#include <functional>

class QSettings;

namespace tarnwick::recording {

// The shell's hold on one recording: from the area choice through the review to saving.
// The session, its encoder and its player live in the recording module, which the program
// loads the first time the user records (or finds a recording a crash left behind).
class RecorderSession : public QObject {
public:
    using QObject::QObject;

    std::function<void()> onDismiss;
    std::function<void(const QString&)> onSaved;
    std::function<void(bool)> onCaptureChanged;

    virtual void present() = 0;
    virtual void cleanup() = 0;
    virtual void keepForRecovery() = 0;
    virtual bool canQuit() const = 0;
    virtual bool holdsScreen() const = 0;
    // Past the setup: something recorded is at stake.
    virtual bool unsaved() const = 0;
};

// The recording module's table.
struct RecorderModule {
    RecorderSession* (*createSession)(QSettings* preferences, std::function<bool()> permission);
    // Recovers what crashed runs left in the working folders, off the GUI thread; `report`
    // gets the sentence for the status line on the GUI thread, when there is one.
    void (*recoverInBackground)(const QSettings* preferences, std::function<void(const QString&)> report);
};

inline constexpr const char* recorderLibrary = "libtarnwick_recording.so";
inline constexpr const char* recorderEntry = "tarnwick_recorder_module";

// Loads the module on the first call; throws TarnwickError when it cannot be loaded.
inline const RecorderModule& recorderModule()
{
    return platform::engine<RecorderModule>(recorderLibrary, recorderEntry);
}

} // namespace tarnwick::recording
