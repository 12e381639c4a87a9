#pragma once

#include <QString>

namespace tarnwick::recording {

// Whether every sample count in the MP4 file's tables fits the bytes it stands for: a table
// within its box, samples of a known size within the file. FFmpeg sizes its index from these
// counts before it reads a sample, so a few damaged bytes in a small file can make it take
// gigabytes for seconds; recovery asks here first. Boxes cut off by the end of the file (a
// crash's torn tail) are judged by what is there. Reads with plain system calls; any thread.
bool sampleTablesFit(const QString& path);

} // namespace tarnwick::recording
