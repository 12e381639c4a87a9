#pragma once

#include <QString>

namespace tarnwick::platform {

// The libraries behind text and code recognition, image effects and screen recording
// (Tesseract, ZXing, OpenCV, FFmpeg with its codecs) are most of the program's size, and
// most runs use few of them. Each engine is a module of ours that links them; the program
// loads it the first time it is asked for, and keeps it to the end.
//
// `library` is the module's file name (found beside the program's other modules),
// `entry` the name of its C function that returns its table. Thread-safe.
// Throws TarnwickError with a Russian sentence when the module cannot be loaded.
const void* engineEntries(const char* library, const char* entry);

// What makes the module file at `path` unsafe to hand to dlopen (a file cut short, damaged
// program headers), in English for the log; empty when it is whole or cannot be opened.
QString moduleFileProblem(const QString& path);

// The same for the module at `path` and every module of its folder that it needs, directly or
// through another: "file: problem" for the first one found unsafe, empty when none is.
QString moduleProblem(const QString& path);

template<class Entries>
const Entries& engine(const char* library, const char* entry)
{
    return *static_cast<const Entries*>(engineEntries(library, entry));
}

} // namespace tarnwick::platform
