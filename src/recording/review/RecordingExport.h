#pragma once

#include "recording/review/RecordingTrim.h"

#include <QString>

namespace tarnwick::review {

// Writes the kept fragment of a recording without re-encoding, and installs a
// finished file at the user's destination. Both block and throw TarnwickError.
class RecordingExport {
public:
    // The whole recording is copied byte for byte; a fragment is cut by copying
    // packets from the key frame before `start`, with an edit list that hides
    // the frames before `start` so playback begins exactly there.
    static void prepare(const QString& source, const RecordingTrim& trim, const QString& destination);
    // Copies `prepared` to a hidden file beside `destination` and renames it
    // over the destination, so an existing file is replaced whole or not at all.
    // `prepared` stays where it is.
    static void install(const QString& prepared, const QString& destination);
    // Refuses an empty or out-of-range fragment with the user's sentence.
    static void checkTrim(const RecordingTrim& trim);
    // The duration of the file's longest stream in seconds; throws when unreadable.
    static double duration(const QString& source);
};

} // namespace tarnwick::review
