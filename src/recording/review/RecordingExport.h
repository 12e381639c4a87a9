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
    // A new private file beside `destination`, hidden (".Tarnwick-…mp4"), to prepare
    // the export in: on the destination's own disk, so that only its room counts,
    // and installed by a rename. The caller removes it when the export fails.
    static QString reserveBeside(const QString& destination);
    // Puts `prepared` at `destination` whole or not at all, replacing an existing
    // file, with the mode a new file of the user's gets. A file reserved beside the
    // destination is renamed into place; one elsewhere is copied to a hidden file
    // beside it first, and stays where it is.
    static void install(const QString& prepared, const QString& destination);
    // Refuses an empty or out-of-range fragment with the user's sentence.
    static void checkTrim(const RecordingTrim& trim);
    // The duration of the file's longest stream in seconds; throws when unreadable.
    static double duration(const QString& source);
};

} // namespace tarnwick::review
