// The recording module's entry: the program looks this function up when it loads the module.
#include "recording/RecorderSession.h"
#include "recording/RecordingRecovery.h"
#include "recording/ScreenRecordingController.h"

extern "C" __attribute__((visibility("default"))) const void* tarnwick_recorder_module()
{
    using namespace tarnwick::recording;
    static const RecorderModule entries{
        .createSession = [](QSettings* preferences, std::function<bool()> permission) -> RecorderSession* {
            return new ScreenRecordingController(preferences, std::move(permission));
        },
        .recoverInBackground = &recoverRecordingsInBackground,
    };
    return &entries;
}
